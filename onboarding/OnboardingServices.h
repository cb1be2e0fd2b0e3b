#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class OnboardingAnalytics;
class WindowManager;

namespace platform {
class Scheduler;
class UserDefaults;
} // namespace platform

// Everything the onboarding flow reads from and does to the rest of the system, so that the flow
// itself holds no reference to the state object, the session or the network. Main thread only.
class OnboardingServices : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isAuthenticated() const = 0;
    virtual bool hasScreenRecordingPermission() const = 0;
    // The user's setting for the system-wide ⇧⌘H hot key.
    virtual bool globalShortcutEnabled() const = 0;
    // The bundle identifiers of the running regular apps the system offers.
    virtual QSet<QString> runningBundleIDs() const = 0;

    virtual void hideApps(const QSet<QString>& bundleIDs) = 0;
    virtual void suspendGlobalShortcut() = 0;
    virtual void registerGlobalShortcut() = 0;
    virtual void startBrowserSignIn() = 0;
    virtual void signOut() = 0;
    virtual void openScreenRecordingSettings() = 0;
    virtual void refreshScreenRecordingPermission() = 0;

    // Hands a progress event to the analytics, which stamps, sends or buffers it.
    virtual void track(const QString& eventType, int step, const QJsonObject& metadata) = 0;
    // Monotonic seconds, for the time spent on a step.
    virtual double now() const = 0;
    // Where the draft is kept.
    virtual platform::UserDefaults& defaults() = 0;

signals:
    // Sent whenever the system reports the value, which may be unchanged.
    void authenticationChanged(bool isAuthenticated);
    void screenRecordingPermissionChanged(bool granted);
};

// The flow's services in the running application: the state object (sign-in, permission, running
// apps, the global hot key, hiding), the onboarding analytics and the scheduler's clock. Without
// analytics the events go nowhere; once the state object is gone every call does nothing.
class SystemOnboardingServices final : public OnboardingServices
{
    Q_OBJECT

public:
    SystemOnboardingServices(WindowManager& windowManager,
                             OnboardingAnalytics* analytics,
                             platform::Scheduler& scheduler,
                             platform::UserDefaults& defaults,
                             QObject* parent = nullptr);

    bool isAuthenticated() const override;
    bool hasScreenRecordingPermission() const override;
    bool globalShortcutEnabled() const override;
    QSet<QString> runningBundleIDs() const override;
    void hideApps(const QSet<QString>& bundleIDs) override;
    void suspendGlobalShortcut() override;
    void registerGlobalShortcut() override;
    void startBrowserSignIn() override;
    void signOut() override;
    void openScreenRecordingSettings() override;
    void refreshScreenRecordingPermission() override;
    void track(const QString& eventType, int step, const QJsonObject& metadata) override;
    double now() const override;
    platform::UserDefaults& defaults() override { return m_defaults; }

private:
    QPointer<WindowManager> m_windowManager;
    QPointer<OnboardingAnalytics> m_analytics;
    platform::Scheduler& m_scheduler;
    platform::UserDefaults& m_defaults;
};
