#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace platform {

// The software-update framework's controller: it owns the updater and the update dialogs.
// Created once by the application; main thread only.
class StandardUpdaterController
{
public:
    virtual ~StandardUpdaterController() = default;

    virtual bool updaterStarted() const = 0;
    // A check the user asked for; the framework reports the outcome itself.
    virtual void checkForUpdates() = 0;
};

// The update framework loaded with the application.
class UpdateFramework
{
public:
    virtual ~UpdateFramework() = default;

    // A controller with no updater delegate and no user-driver delegate; its updater starts at
    // once when `startingUpdater`.
    virtual std::unique_ptr<StandardUpdaterController>
    makeStandardUpdaterController(bool startingUpdater) = 0;
};

// This platform has no update framework: this stand-in's controllers record every check and
// report that no update source is configured, on the log and in `reports()`.
class UpdateFrameworkStandIn final : public UpdateFramework
{
public:
    std::unique_ptr<StandardUpdaterController> makeStandardUpdaterController(bool startingUpdater) override;

    int controllersMade() const { return m_controllersMade; }
    int checks() const { return m_checks; }
    // What each check reported, in order.
    QStringList reports() const { return m_reports; }

    static inline const QString kNoUpdateSourceReport =
        QStringLiteral("No update source is configured for this build; updates come with the package.");

private:
    class Controller;
    void recordCheck();

    int m_controllersMade = 0;
    int m_checks = 0;
    QStringList m_reports;
};

} // namespace platform
