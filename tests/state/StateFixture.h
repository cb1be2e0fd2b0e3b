#pragma once

#include "state/GlobalHotKeyManager.h"
#include "state/ShellInterfaces.h"
#include "state/WindowManager.h"
#include "tests/support/TestDesktop.h"

#include <QList>

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// Records what the state object asks of the shell.
struct RecordingAppDelegate final : AppDelegateInterface
{
    QList<int> statusIconCounts;
    int popoverShows = 0;
    bool popoverShown = false;
    int popoverCloses = 0;
    int onboardingResets = 0;
    int browserFocusReturns = 0;
    int onboardingRaises = 0;

    void updateStatusIcon(int veiledCount) override { statusIconCounts.append(veiledCount); }
    void showPopover() override
    {
        ++popoverShows;
        popoverShown = true;
    }
    bool isPopoverShown() const override { return popoverShown; }
    void closePopover() override
    {
        ++popoverCloses;
        popoverShown = false;
    }
    void resetOnboarding() override { ++onboardingResets; }
    void returnFocusToBrowser() override { ++browserFocusReturns; }
    void raiseOnboardingWindow() override { ++onboardingRaises; }
};

// Records what the state object asks of the account session.
struct RecordingAccountSession final : AccountSession
{
    QStringList calls;
    QList<QUrl> callbacks;

    void migrateLegacyDefaults() override { calls << QStringLiteral("migrate"); }
    void validateSavedSession() override { calls << QStringLiteral("validate"); }
    void signOut() override { calls << QStringLiteral("signOut"); }
    void startBrowserSignIn() override { calls << QStringLiteral("startBrowserSignIn"); }
    void handleAuthCallback(const QUrl& url) override { callbacks << url; }
};

struct RecordingHUD final : HUDPresenter
{
    struct Toast
    {
        QString appName;
        bool hasIcon = false;
        bool isVeiled = false;
        std::optional<QString> subtitle;

        bool operator==(const Toast&) const = default;
    };
    QList<Toast> toasts;

    QStringList titles() const
    {
        QStringList list;
        for (const Toast& toast : toasts) {
            list << toast.appName;
        }
        return list;
    }

    void show(const QString& appName,
              const QImage& icon,
              bool isVeiled,
              const std::optional<QString>& subtitle) override
    {
        toasts.append(Toast{appName, !icon.isNull(), isVeiled, subtitle});
    }
};

// A state object over a simulated desktop, with the shell's stand-ins installed. Store settings
// and set up the desktop first, then start().
struct StateFixture
{
    TestDesktop t;
    GlobalHotKeyManager registry{t.hotKeys, t.scheduler};
    RecordingAppDelegate shell;
    RecordingHUD hud;
    std::unique_ptr<WindowManager> manager = std::make_unique<WindowManager>(t.services(), &registry);

    WindowManager& start(bool signedIn = true)
    {
        manager->setAppDelegate(&shell);
        manager->setHUDPresenter(&hud);
        manager->start();
        manager->setIsAuthenticated(signedIn);
        return *manager;
    }
    void store(const QString& key, const QVariant& value) { t.defaults.setObject(value, key); }
    // A meeting app showing its sharing indicator, detected by the next window refresh.
    platform::pid_type startMeetingShare(const QString& bundleID = QStringLiteral("us.zoom.xos"),
                                         const QString& name = QStringLiteral("zoom.us"),
                                         const QString& indicator = QStringLiteral("Zoom Share Toolbar"))
    {
        const auto pid = t.desktop.launchApp(bundleID, name);
        t.desktop.addWindow(pid, indicator, QRectF(500, 0, 400, 60));
        return pid;
    }
    // An automatic hiding of these apps left in force by the last run, with the share still on,
    // so that the start-up refresh keeps it.
    void storeAutoHidingDuringShare(const QStringList& veiled)
    {
        store(WindowManager::autoVeiledKey, veiled);
        store(WindowManager::autoHideEnabledKey, true);
        startMeetingShare();
    }
    QVariantMap stored() const { return t.defaults.dictionaryRepresentation(); }
    // The hidden and pinned choices are stored as published; window maps by decimal number.
    void expectSaved() const
    {
        const auto savedSet = [this](const QString& key) {
            const QStringList list = t.defaults.object(key).toStringList();
            return QSet<QString>(list.cbegin(), list.cend());
        };
        const auto asStored = [](const WindowManager::WindowMap& map) {
            QVariantMap stored;
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                stored.insert(QString::number(it.key()), it.value());
            }
            return stored;
        };
        EXPECT_EQ(savedSet(WindowManager::hiddenKey), manager->hiddenBundleIDs());
        EXPECT_EQ(savedSet(WindowManager::pinnedKey), manager->pinnedBundleIDs());
        EXPECT_EQ(t.defaults.dictionaryForKey(WindowManager::hiddenWindowsKey).value_or(QVariantMap()),
                  asStored(manager->hiddenWindows()));
        EXPECT_EQ(t.defaults.dictionaryForKey(WindowManager::pinnedWindowsKey).value_or(QVariantMap()),
                  asStored(manager->pinnedWindows()));
    }
};

// The same scene as a test fixture.
struct StateTest
    : testing::Test
    , StateFixture
{};

} // namespace testing_support
