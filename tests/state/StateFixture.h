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
    QStringList calls; // every other request, in order
    bool popoverShown = false;

    void updateStatusIcon(int veiledCount) override { statusIconCounts.append(veiledCount); }
    void showPopover() override
    {
        calls << QStringLiteral("showPopover");
        popoverShown = true;
    }
    bool isPopoverShown() const override { return popoverShown; }
    void closePopover() override { popoverShown = false; }
    void resetOnboarding() override { calls << QStringLiteral("resetOnboarding"); }
    void returnFocusToBrowser() override { calls << QStringLiteral("returnFocusToBrowser"); }
    void raiseOnboardingWindow() override { calls << QStringLiteral("raiseOnboardingWindow"); }
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
    // The hidden and pinned choices are stored as published.
    void expectSaved() const
    {
        const auto stored = [this](const QString& key) {
            const QStringList list = t.defaults.object(key).toStringList();
            return QSet<QString>(list.cbegin(), list.cend());
        };
        EXPECT_EQ(stored(WindowManager::hiddenKey), manager->hiddenBundleIDs());
        EXPECT_EQ(stored(WindowManager::pinnedKey), manager->pinnedBundleIDs());
        EXPECT_EQ(manager->decodeWindowMap(WindowManager::hiddenWindowsKey), manager->hiddenWindows());
        EXPECT_EQ(manager->decodeWindowMap(WindowManager::pinnedWindowsKey), manager->pinnedWindows());
    }
};

} // namespace testing_support
