#include "capture/SCOverlayController.h"
#include "capture/ShareMaskEditor.h"
#include "capture/VirtualDisplayManager.h"
#include "tests/state/StateFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using testing_support::StateFixture;
using LoginStatus = platform::SMAppService::Status;

namespace {

// Mask n sits at (n, n), so the list reads back as its numbers.
ShareMask mask(int n)
{
    ShareMask m;
    m.id = QUuid(QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0')));
    m.bundleID = QStringLiteral("com.example.A");
    m.rect = QRectF(n, n, 10, 10);
    return m;
}

QList<int> numbers(const QList<ShareMask>& masks)
{
    QList<int> list;
    for (const ShareMask& m : masks) {
        list << static_cast<int>(m.rect.x());
    }
    return list;
}

} // namespace

using WindowManagerSettings = testing_support::StateTest;

TEST_F(WindowManagerSettings, OnlyTheLastMaskRemovalCanBeUndone)
{
    // Steps: "-n" removes mask n, "+n" adds it, "~n" moves it to 7, "clear", "undo", "back n"
    // puts mask n back without the undo.
    struct Case
    {
        QStringList steps;
        QList<int> masks;
        bool canUndo;
    };
    const Case cases[] = {
        {{"-1", "undo"}, {2, 3, 1}, false},
        {{"-1", "+4", "undo"}, {2, 3, 4}, false},
        {{"clear", "undo"}, {1, 2, 3}, false},
        {{"clear", "clear"}, {}, true},
        {{"-2", "back 2", "undo"}, {1, 3, 2}, false},
        {{"-1", "~9", "-9"}, {2, 3}, true},
        {{"-1", "~2"}, {7, 3}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps.join(' ').toStdString());
        StateFixture f;
        WindowManager& m = f.start();
        m.startVirtualDisplay();
        for (int n : {1, 2, 3}) {
            m.addShareMask(mask(n));
        }
        for (const QString& step : c.steps) {
            const int n = step.right(1).toInt();
            ShareMask moved = mask(n);
            moved.rect.moveLeft(7);
            step == "undo"         ? m.undoShareMaskRemoval()
            : step == "clear"      ? m.clearShareMasks()
            : step.startsWith('-') ? m.removeShareMask(mask(n).id)
            : step.startsWith('+') ? m.addShareMask(mask(n))
            : step.startsWith('~') ? m.updateShareMask(moved)
                                   : m.setShareMasks(m.shareMasks() + QList<ShareMask>{mask(n)});
        }
        EXPECT_EQ(numbers(m.shareMasks()), c.masks);
        EXPECT_EQ(m.canUndoShareMaskRemoval(), c.canUndo);
        EXPECT_EQ(numbers(m.virtualDisplayManager()->masks), c.masks);
        const auto stored =
            ShareMask::decodeList(f.t.defaults.dataForKey(WindowManager::shareMasksKey).value());
        EXPECT_EQ(numbers(stored.value()), c.masks);
    }
}

TEST_F(WindowManagerSettings, TheMaskEditorOpensOnlySignedInOverADisplay)
{
    ShareMaskEditor editor(t.services(), manager.get());
    manager->setShareMaskEditor(&editor);
    WindowManager& m = start(false);
    shell.showPopover();
    m.openShareMaskEditor();
    m.setIsAuthenticated(true);
    t.desktop.removeDisplay(t.mainDisplay);
    m.openShareMaskEditor();
    EXPECT_FALSE(editor.isEditing());
    EXPECT_TRUE(shell.popoverShown);

    platform::sim::SimDesktop::DisplaySpec side;
    side.frame = QRectF(1512, 0, 1280, 800);
    const quint32 display = t.desktop.addDisplay(side);
    m.openShareMaskEditor();
    EXPECT_FALSE(shell.popoverShown);
    EXPECT_TRUE(editor.isEditing());
    EXPECT_EQ(editor.displayBounds(), t.desktop.displayBounds(display));
}

TEST_F(WindowManagerSettings, LaunchAtLoginShowsWhatTheSystemDid)
{
    struct Case
    {
        LoginStatus before;
        bool wanted;
        std::optional<QString> error; // of the one call expected
        bool approval;
        bool shown;
        int calls;
    };
    const Case cases[] = {
        {LoginStatus::NotRegistered, true, std::nullopt, false, true, 1},
        {LoginStatus::Enabled, true, std::nullopt, false, true, 0},
        {LoginStatus::Enabled, false, std::nullopt, false, false, 1},
        {LoginStatus::NotRegistered, true, std::nullopt, true, false, 1},
        {LoginStatus::NotRegistered, true, QStringLiteral("Operation not permitted"), false, false, 1},
        {LoginStatus::Enabled, false, QStringLiteral("Busy"), false, true, 1},
    };
    for (const Case& c : cases) {
        StateFixture f;
        f.t.loginItems.setStatus(c.before);
        f.t.loginItems.setRequiresApproval(c.approval);
        f.t.loginItems.setRegisterError(c.error);
        f.t.loginItems.setUnregisterError(c.error);
        WindowManager& m = f.start();
        EXPECT_EQ(m.launchAtLogin(), c.before == LoginStatus::Enabled);
        testing::internal::CaptureStdout();
        m.setLaunchAtLogin(c.wanted);
        const QString printed = c.error ? "Failed to set Launch at Login: " + *c.error + "\n" : QString();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), printed.toStdString());
        EXPECT_EQ(m.launchAtLogin(), c.shown);
        EXPECT_EQ(f.t.loginItems.registerCalls() + f.t.loginItems.unregisterCalls(), c.calls);
    }
}

TEST_F(WindowManagerSettings, HotKeysFollowTheirSettingsAndThePanicShortcutIsRefusedOrReplaced)
{
    t.hotKeys.claimForOtherApplication(35, 0x1900);
    store(WindowManager::globalShortcutKey, false);
    WindowManager& m = start();
    EXPECT_FALSE(m.panicShortcutAvailable());
    EXPECT_FALSE(t.hotKeys.isRegistered(4, 0x300));
    t.hotKeys.releaseFromOtherApplication(35, 0x1900);
    EXPECT_TRUE(m.registerPanicShortcut());
    EXPECT_TRUE(m.panicShortcutAvailable());

    // Suspending does nothing while the global shortcut is off.
    m.registerGlobalShortcut();
    m.suspendGlobalShortcut();
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));
    m.setGlobalShortcutEnabled(false);
    EXPECT_FALSE(t.hotKeys.isRegistered(4, 0x300));
    EXPECT_EQ(t.defaults.object(WindowManager::globalShortcutKey), QVariant(false));
    m.setGlobalShortcutEnabled(true);
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));
    m.suspendGlobalShortcut();
    EXPECT_FALSE(t.hotKeys.isRegistered(4, 0x300));
    m.registerGlobalShortcut();
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));

    // ⇧⌘H whatever its text, a combination without ⌃ ⌥ ⌘, and one another application holds.
    t.hotKeys.claimForOtherApplication(40, 0xA00);
    for (const HotKeyCombo& refused : {HotKeyCombo{4, 0x300, QStringLiteral("⇧⌘H")},
                                       HotKeyCombo{4, 0x300, QStringLiteral("H")},
                                       HotKeyCombo{35, 0x200, QStringLiteral("⇧P")},
                                       HotKeyCombo{40, 0xA00, QStringLiteral("⌥⇧K")}}) {
        EXPECT_FALSE(m.setPanicShortcut(refused));
        EXPECT_EQ(m.panicShortcut(), HotKeyCombo::defaultPanicShortcut());
        EXPECT_TRUE(m.panicShortcutAvailable() && t.hotKeys.isRegistered(35, 0x1900));
        EXPECT_FALSE(t.defaults.hasObject(WindowManager::panicShortcutKey));
    }
    const HotKeyCombo accepted{40, 0x1100, QStringLiteral("⌃⌘K")};
    EXPECT_TRUE(m.setPanicShortcut(accepted));
    EXPECT_TRUE(t.hotKeys.isRegistered(40, 0x1100));
    EXPECT_FALSE(t.hotKeys.isRegistered(35, 0x1900));
    EXPECT_EQ(HotKeyCombo::decode(t.defaults.dataForKey(WindowManager::panicShortcutKey).value()), accepted);
}

TEST_F(WindowManagerSettings, ThePermissionFlagFollowsTheProbesTheCaptureAndDiscovery)
{
    t.desktop.setScreenRecordingPermission(false);
    WindowManager& m = start();
    // Assumed granted until the start-up probe answers.
    EXPECT_TRUE(m.hasScreenRecordingPermission());
    t.scheduler.runPending();
    EXPECT_FALSE(m.hasScreenRecordingPermission());

    // Opening the pane probes once more half a second later.
    t.desktop.setScreenRecordingPermission(true);
    const int requests = t.screenCapture.contentRequestCount();
    m.openScreenRecordingSettings();
    EXPECT_EQ(t.desktop.openedURLs(), QList<QUrl>{QUrl(WindowManager::screenRecordingPaneURL)});
    t.scheduler.advance(0.4);
    EXPECT_EQ(t.screenCapture.contentRequestCount(), requests);
    t.scheduler.advance(0.1);
    EXPECT_EQ(t.screenCapture.contentRequestCount(), requests + 1);
    EXPECT_TRUE(m.hasScreenRecordingPermission());

    // The pinned overlays' discovery reports reach the flag, and only changes publish.
    QSignalSpy published(&m, &WindowManager::hasScreenRecordingPermissionChanged);
    for (const bool granted : {true, false, false}) {
        m.pinnedWindowController().permissionStatusHandler(granted);
    }
    EXPECT_EQ(published.count(), 1);
    // So do the virtual display's captures.
    m.startVirtualDisplay();
    t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_TRUE(m.hasScreenRecordingPermission());
    t.desktop.setScreenRecordingPermission(false);
    t.scheduler.advance(0.1);
    EXPECT_FALSE(m.hasScreenRecordingPermission());
}

TEST_F(WindowManagerSettings, TheResetToolIsWaitedForAtMostTenSecondsThenThePaneOpens)
{
    for (const platform::ProcessResult& outcome : {platform::ProcessResult::exited(0),
                                                   platform::ProcessResult::timedOut(),
                                                   platform::ProcessResult::failedToStart("not found")}) {
        StateFixture f;
        WindowManager& m = f.start();
        f.t.processes.queueResult(outcome);
        m.resetScreenRecordingPermission();
        ASSERT_EQ(f.t.processes.runs().size(), 1);
        const auto& run = f.t.processes.runs().first();
        EXPECT_EQ(run.executable, QStringLiteral("/usr/bin/tccutil"));
        EXPECT_EQ(run.arguments, (QStringList{"reset", "ScreenCapture", "getveilmox.Veilmox"}));
        EXPECT_EQ(run.timeoutSeconds, 10.0);
        EXPECT_EQ(f.t.desktop.openedURLs().size(), 1);
    }
}
