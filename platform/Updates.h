#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

class Window;
class WindowDelegate;

// The software-update framework's controller: it owns the updater and the update dialogs.
// Created once by the application; main thread only.
class StandardUpdaterController
{
public:
    virtual ~StandardUpdaterController() = default;

    virtual bool updaterStarted() const = 0;
    // A check the user asked for; the framework answers it on screen itself, without blocking.
    virtual void checkForUpdates() = 0;
    // A check nobody asked for (the framework's own schedule): it stays silent.
    virtual void checkForUpdatesInBackground() = 0;
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

// What an update feed says when it is read.
struct UpdateSourceAnswer
{
    // The newest version on offer; none when the feed could not be read.
    std::optional<QString> newestVersion;
    // Why it could not be read.
    QString failure;
};

// Where a build learns which version is the newest.
class UpdateSource
{
public:
    virtual ~UpdateSource() = default;
    // Reads the feed and answers once, now or later, on the main thread.
    virtual void fetchNewestVersion(std::function<void(const UpdateSourceAnswer&)> answer) = 0;
};

// The framework on a platform that has none: checks ask the build's update source, when it has
// one. A check the user asked for is answered in an alert window of its own on the main display
// (one at a time: a later answer replaces the shown one), which the user dismisses; while it is
// open it takes Return and Escape whichever of the application's windows is key, as a modal
// alert does. The call returns at once. A background check only writes the log. The alert is made
// with the process's services (platform::Services::current()) and names the application by its
// main bundle.
class UpdateFrameworkStandIn final : public UpdateFramework
{
public:
    // Without a source, every check reports that none is configured.
    explicit UpdateFrameworkStandIn(UpdateSource* source = nullptr);
    ~UpdateFrameworkStandIn() override;
    UpdateFrameworkStandIn(const UpdateFrameworkStandIn&) = delete;
    UpdateFrameworkStandIn& operator=(const UpdateFrameworkStandIn&) = delete;

    std::unique_ptr<StandardUpdaterController> makeStandardUpdaterController(bool startingUpdater) override;

    int controllersMade() const { return m_controllersMade; }
    // Checks the user asked for, and those the framework made itself.
    int checks() const { return m_checks; }
    int backgroundChecks() const { return m_backgroundChecks; }
    // What each check reported, in order.
    QStringList reports() const { return m_reports; }

    // The alert that answered the last check the user asked for; null before the first answer.
    Window* alertWindow() const { return m_alert.get(); }
    // Its heading and message, by object name "updateAlertHeading" and "updateAlertMessage";
    // its button is "updateAlertButton".
    static QString alertText(const Window& alert, const QString& part);

    static inline const QString kNoUpdateSourceReport =
        QStringLiteral("No update source is configured for this build; updates come with the package.");
    static inline const QString kUpToDateHeading = QStringLiteral("You're up to date");
    static inline const QString kUpdateAvailableHeading = QStringLiteral("A new version is available");
    static inline const QString kCouldNotCheckHeading = QStringLiteral("Can't check for updates");

private:
    class Controller;
    void check(bool userInitiated);
    void answer(bool userInitiated, const UpdateSourceAnswer& answer);
    void showAlert(const QString& heading, const QString& message);

    // Return and Escape dismiss the alert while it is open.
    void watchAlertKeys();
    void stopWatchingAlertKeys();

    UpdateSource* m_source;
    int m_controllersMade = 0;
    int m_checks = 0;
    int m_backgroundChecks = 0;
    QStringList m_reports;
    std::unique_ptr<WindowDelegate> m_alertClosing; // before the alert, which holds it
    std::unique_ptr<Window> m_alert;
    std::optional<std::uint64_t> m_alertKeys; // the key monitor while the alert is open
    // Cleared when the framework goes, so that a late answer from the source finds nobody.
    std::shared_ptr<UpdateFrameworkStandIn*> m_self;
};

// -1, 0 or 1 as version `a` is older than, the same as or newer than `b`, compared by their
// dot-separated numeric parts ("1.10" is newer than "1.9"; a missing part counts as 0); parts
// that are not numbers compare as text.
int compareVersions(const QString& a, const QString& b);

} // namespace platform
