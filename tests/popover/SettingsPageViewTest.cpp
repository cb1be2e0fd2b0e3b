#include "popover/SettingsPageView.h"

#include "capture/VirtualDisplayManager.h"
#include "pip/PiPController.h"
#include "platform/EventMonitor.h"
#include "popover/MenuBarView.h"
#include "popover/PauseShareButton.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingRow.h"
#include "popover/ShortcutRecorder.h"
#include "shell/kit/FlameToggle.h"
#include "tests/popover/PopoverFixture.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

const QUrl kPane(WindowManager::screenRecordingPaneURL);

// The settings page over a started, signed-in state object. The tables make one scene per case.
struct SettingsScene : PopoverTest
{
    PiPController pip{t.services()};
    RecordingUpdater updater;
    PopoverNavigation navigation;
    std::unique_ptr<SettingsPageView> page;

    SettingsPageView& open()
    {
        if (!manager->isStarted()) {
            start();
        }
        navigation.setShowingSettings(true);
        page = std::make_unique<SettingsPageView>(*manager, pip, updater, navigation);
        page->resize(350, 680);
        page->show();
        return *page;
    }
    void clickControl(const QString& name)
    {
        QWidget* control = child(*page, name);
        ASSERT_NE(control, nullptr) << name.toStdString();
        click(*control);
    }
    QString panicSubtitle() const
    {
        return qobject_cast<SettingRow*>(page->panicShortcutRecorder()->parentWidget())->subtitle();
    }
    // Presses keys as the user does, into whatever has the focus.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(page.get(), key, modifiers); }
};

using SettingsPageTest = SettingsScene;

struct ControlCase
{
    const char* control;
    std::function<void(SettingsScene&)> check;
};

const ControlCase kControlCases[] = {
    {"launchAtLoginSwitch",
     [](SettingsScene& s) {
         EXPECT_EQ(s.t.loginItems.registerCalls(), 1);
         EXPECT_TRUE(s.manager->launchAtLogin());
     }},
    {"globalShortcutSwitch",
     [](SettingsScene& s) {
         EXPECT_FALSE(s.manager->globalShortcutEnabled());
         EXPECT_FALSE(s.t.defaults.boolForKey(WindowManager::globalShortcutKey));
         EXPECT_FALSE(s.t.hotKeys.isRegistered(4, 0x300));
     }},
    {"hideNotificationsSwitch",
     [](SettingsScene& s) {
         EXPECT_FALSE(s.manager->hideNotificationsOnShare());
         EXPECT_FALSE(s.t.defaults.boolForKey(WindowManager::hideNotificationsKey));
         EXPECT_FALSE(s.manager->virtualDisplayManager()->hideNotifications);
     }},
    {"panicModeCover",
     [](SettingsScene& s) {
         EXPECT_EQ(s.manager->panicMode(), WindowManager::PanicMode::Cover);
         EXPECT_EQ(s.t.defaults.stringForKey(WindowManager::panicModeKey), QStringLiteral("cover"));
     }},
    {"pipShownSwitch",
     [](SettingsScene& s) {
         EXPECT_TRUE(s.pip.isVisible());
         EXPECT_FALSE(s.pip.openedBySharing());
     }},
    {"pipAutoShowSwitch",
     [](SettingsScene& s) {
         EXPECT_FALSE(s.pip.autoShowOnShare());
         EXPECT_EQ(s.t.defaults.object(PiPController::autoShowKey), QVariant(false));
     }},
    {"systemSettingsButton",
     [](SettingsScene& s) {
         EXPECT_EQ(s.t.desktop.openedURLs(), QList<QUrl>{kPane});
     }},
    {"recheckButton",
     [](SettingsScene& s) {
         s.t.scheduler.runPending();
         EXPECT_TRUE(s.manager->hasScreenRecordingPermission());
     }},
    {"resetButton",
     [](SettingsScene& s) {
         ASSERT_EQ(s.t.processes.runs().size(), 1);
         EXPECT_EQ(s.t.desktop.openedURLs(), QList<QUrl>{kPane});
     }},
    {"checkNowButton",
     [](SettingsScene& s) {
         EXPECT_EQ(s.updater.checks, 1);
     }},
    {"replayButton",
     [](SettingsScene& s) {
         s.t.scheduler.runPending();
         EXPECT_EQ(s.shell.onboardingResets, 1);
     }},
    {"signOutButton",
     [](SettingsScene& s) {
         EXPECT_EQ(s.session.calls.count(QStringLiteral("signOut")), 1);
     }},
    {"settingsQuitButton",
     [](SettingsScene& s) {
         EXPECT_EQ(s.t.desktop.terminateRequests(), 1);
     }},
    {"doneButton",
     [](SettingsScene& s) {
         EXPECT_FALSE(s.navigation.showingSettings());
     }},
    {"backButton",
     [](SettingsScene& s) {
         EXPECT_FALSE(s.navigation.showingSettings());
     }},
};

} // namespace

class SettingsControl
    : public SettingsScene
    , public testing::WithParamInterface<ControlCase>
{};

TEST_P(SettingsControl, ReachesItsOperation)
{
    t.desktop.setDefaultApplication(QStringLiteral("x-apple.systempreferences"),
                                    QStringLiteral("com.apple.systempreferences"));
    t.desktop.setScreenRecordingPermission(false);
    start();
    t.scheduler.runPending();
    manager->startVirtualDisplay();
    t.desktop.setScreenRecordingPermission(true);
    open();
    clickControl(QString::fromLatin1(GetParam().control));
    GetParam().check(*this);
}

INSTANTIATE_TEST_SUITE_P(SettingsPage,
                         SettingsControl,
                         testing::ValuesIn(kControlCases),
                         [](const testing::TestParamInfo<ControlCase>& param) {
                             return std::string(param.param.control);
                         });

class SettingsLaunchAtLogin
    : public SettingsScene
    , public testing::WithParamInterface<bool>
{};

TEST_P(SettingsLaunchAtLogin, ShowsTheSystemsStateAfterAFailure)
{
    const bool enabled = GetParam();
    t.loginItems.setStatus(enabled ? platform::SMAppService::Status::Enabled
                                   : platform::SMAppService::Status::NotRegistered);
    t.loginItems.setRegisterError(QStringLiteral("Operation not permitted"));
    t.loginItems.setUnregisterError(QStringLiteral("Operation not permitted"));
    open();
    auto* toggle = child<kit::FlameToggle>(*page, "launchAtLoginSwitch");
    EXPECT_EQ(toggle->isOn(), enabled);
    testing::internal::CaptureStdout();
    click(*toggle);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to set Launch at Login: Operation not permitted\n");
    EXPECT_EQ(toggle->isOn(), enabled);
    EXPECT_EQ(manager->launchAtLogin(), enabled);
}

INSTANTIATE_TEST_SUITE_P(SettingsPage,
                         SettingsLaunchAtLogin,
                         testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "WhenEnabled" : "WhenOff");
                         });

TEST_F(SettingsPageTest, RecordsThePanicShortcutThroughThePageAndTheSystemsRegistration)
{
    open();
    PauseShareButton pause(*manager);
    ShortcutRecorder& recorder = *page->panicShortcutRecorder();
    const auto record = [&](Qt::KeyboardModifiers modifiers, Qt::Key key) {
        click(recorder);
        ASSERT_TRUE(recorder.isRecording());
        type(key, modifiers);
    };

    // ⇧⌘H is the global hide shortcut.
    record(Qt::ShiftModifier | Qt::ControlModifier, Qt::Key_H);
    EXPECT_EQ(recorder.labelText(), QStringLiteral("In use — try another"));
    EXPECT_EQ(manager->panicShortcut(), HotKeyCombo::defaultPanicShortcut());
    advance(ShortcutRecorder::kRefusalNoticeDuration);
    EXPECT_EQ(recorder.labelText(), QStringLiteral("⌃⌥⌘P"));

    // ⌃⇧⌘H is taken, registered and stored.
    record(Qt::MetaModifier | Qt::ShiftModifier | Qt::ControlModifier, Qt::Key_H);
    const HotKeyCombo chosen{4, 0x1300, QStringLiteral("⌃⇧⌘H")};
    EXPECT_EQ(manager->panicShortcut(), chosen);
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x1300));
    EXPECT_EQ(HotKeyCombo::decode(t.defaults.dataForKey(WindowManager::panicShortcutKey).value()), chosen);
    EXPECT_EQ(recorder.labelText(), QStringLiteral("⌃⇧⌘H"));
    EXPECT_EQ(pause.toolTipText(), QStringLiteral("Pause what your call sees (⌃⇧⌘H)"));

    // A combination another app holds is refused and the chosen one stays in force.
    t.hotKeys.claimForOtherApplication(40, 0x1100);
    record(Qt::MetaModifier | Qt::ControlModifier, Qt::Key_K);
    EXPECT_TRUE(recorder.isRejected());
    EXPECT_EQ(manager->panicShortcut(), chosen);
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x1300));
    EXPECT_EQ(HotKeyCombo::decode(t.defaults.dataForKey(WindowManager::panicShortcutKey).value()), chosen);
    EXPECT_EQ(panicSubtitle(), QString::fromUtf8(SettingsPageView::kPanicSubtitle));

    // A shortcut that could not be registered says so.
    manager->setPanicShortcutAvailable(false);
    EXPECT_EQ(panicSubtitle(), QString::fromUtf8(SettingsPageView::kPanicUnavailableSubtitle));
}

TEST_F(SettingsPageTest, TheAccountRowFollowsTheSession)
{
    open();
    EXPECT_TRUE(child(*page, "signOutButton")->isVisibleTo(page.get()));
    manager->setIsAuthenticated(false);
    EXPECT_FALSE(child(*page, "signOutButton")->isVisibleTo(page.get()));
    EXPECT_TRUE(child(*page, "replayButton")->isVisibleTo(page.get()));
}

TEST_F(SettingsPageTest, LeavingThePageWhileRecordingGivesTheKeysBackToTheApplication)
{
    start();
    MenuBarView root(pip);
    root.setWindowManager(*manager);
    root.setUpdaterManager(updater);
    root.show();
    root.navigation().openSettings();
    advance();
    auto* recorder = child<ShortcutRecorder>(root, "shortcutRecorder");
    ASSERT_NE(recorder, nullptr);
    click(*recorder);
    ASSERT_TRUE(recorder->isRecording());

    root.navigation().closeSettings();
    advance();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    // Another window of the application (the onboarding's, say) gets its keys.
    QLineEdit field;
    field.show();
    QTest::keyClick(&field, Qt::Key_A);
    EXPECT_EQ(field.text(), QStringLiteral("a"));
}
