#pragma once

#include "onboarding/OnboardingServices.h"
#include "platform/UserDefaults.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <functional>

namespace testing_support {

// The onboarding's services as a script: state set by the test, effects and events recorded,
// a clock the test moves, and the draft in memory.
class FakeOnboardingServices final : public OnboardingServices
{
public:
    struct Event
    {
        QString type;
        int step = 0;
        QJsonObject metadata;
    };

    bool authenticated = false;
    bool permission = false;
    bool shortcutEnabled = true;
    QSet<QString> running;
    double clock = 100;
    platform::InMemoryUserDefaults store;

    QList<Event> events;
    std::function<void(const Event&)> observer; // told of each event as it is sent
    QList<QSet<QString>> hidden;
    QStringList calls; // "suspend", "register", "signIn", "signOut", "openSettings", "refresh"

    bool isAuthenticated() const override { return authenticated; }
    bool hasScreenRecordingPermission() const override { return permission; }
    bool globalShortcutEnabled() const override { return shortcutEnabled; }
    QSet<QString> runningBundleIDs() const override { return running; }
    void hideApps(const QSet<QString>& bundleIDs) override { hidden.append(bundleIDs); }
    void suspendGlobalShortcut() override { calls << QStringLiteral("suspend"); }
    void registerGlobalShortcut() override { calls << QStringLiteral("register"); }
    void startBrowserSignIn() override { calls << QStringLiteral("signIn"); }
    void signOut() override { calls << QStringLiteral("signOut"); }
    void openScreenRecordingSettings() override { calls << QStringLiteral("openSettings"); }
    void refreshScreenRecordingPermission() override { calls << QStringLiteral("refresh"); }
    void track(const QString& eventType, int step, const QJsonObject& metadata) override
    {
        events.append({eventType, step, metadata});
        if (observer) {
            observer(events.last());
        }
    }
    double now() const override { return clock; }
    platform::UserDefaults& defaults() override { return store; }

    // As the state object does: every report is announced, changed or not.
    void reportPermission(bool granted)
    {
        permission = granted;
        emit screenRecordingPermissionChanged(granted);
    }
    void reportSignIn(bool signedIn)
    {
        authenticated = signedIn;
        emit authenticationChanged(signedIn);
    }

    // "type:step" of every event, in order.
    QStringList sent() const
    {
        QStringList list;
        for (const Event& e : events) {
            list << QStringLiteral("%1:%2").arg(e.type).arg(e.step);
        }
        return list;
    }
};

} // namespace testing_support
