#include "popover/SettingsPageView.h"

#include "capture/VirtualDisplayManager.h"
#include "pip/PiPController.h"
#include "popover/PauseShareButton.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingRow.h"
#include "popover/ShortcutRecorder.h"
#include "shell/kit/FlameToggle.h"
#include "tests/popover/PagePictures.h"
#include "tests/popover/PopoverFixture.h"

#include <QMap>
#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

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

// Whether each control has done its operation, read after one of them was clicked.
QMap<QString, bool> operationsDone(SettingsScene& s)
{
    const WindowManager& m = *s.manager;
    const auto& defaults = s.t.defaults;
    const QList<QUrl> pane{QUrl(WindowManager::screenRecordingPaneURL)};
    return {
        {"launchAtLoginSwitch", s.t.loginItems.registerCalls() == 1 && m.launchAtLogin()},
        {"globalShortcutSwitch",
         !m.globalShortcutEnabled() && !defaults.boolForKey(WindowManager::globalShortcutKey)
             && !s.t.hotKeys.isRegistered(4, 0x300)},
        {"hideNotificationsSwitch",
         !m.hideNotificationsOnShare() && !defaults.boolForKey(WindowManager::hideNotificationsKey)
             && !m.virtualDisplayManager()->hideNotifications},
        {"panicModeCover",
         m.panicMode() == WindowManager::PanicMode::Cover
             && defaults.stringForKey(WindowManager::panicModeKey) == QStringLiteral("cover")},
        {"pipShownSwitch", s.pip.isVisible() && !s.pip.openedBySharing()},
        {"pipAutoShowSwitch",
         !s.pip.autoShowOnShare() && defaults.object(PiPController::autoShowKey) == false},
        {"systemSettingsButton", s.t.desktop.openedURLs() == pane},
        {"recheckButton", m.hasScreenRecordingPermission()},
        {"resetButton", s.t.processes.runs().size() == 1 && s.t.desktop.openedURLs() == pane},
        {"checkNowButton", s.updater.checks == 1},
        {"replayButton", s.shell.onboardingResets == 1},
        {"signOutButton", s.session.calls.count(QStringLiteral("signOut")) == 1},
        {"settingsQuitButton", s.t.desktop.terminateRequests() == 1},
        {"doneButton", !s.navigation.showingSettings()},
        {"backButton", !s.navigation.showingSettings()},
    };
}

} // namespace

class SettingsControl
    : public SettingsScene
    , public testing::WithParamInterface<const char*>
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
    const QString control = QString::fromLatin1(GetParam());
    EXPECT_FALSE(operationsDone(*this).value(control, true));
    clickControl(control);
    // Replies and deferred work (the permission probe, the onboarding replay) land.
    t.scheduler.runPending();
    EXPECT_TRUE(operationsDone(*this).value(control));
}

INSTANTIATE_TEST_SUITE_P(SettingsPage,
                         SettingsControl,
                         testing::Values("launchAtLoginSwitch",
                                         "globalShortcutSwitch",
                                         "hideNotificationsSwitch",
                                         "panicModeCover",
                                         "pipShownSwitch",
                                         "pipAutoShowSwitch",
                                         "systemSettingsButton",
                                         "recheckButton",
                                         "resetButton",
                                         "checkNowButton",
                                         "replayButton",
                                         "signOutButton",
                                         "settingsQuitButton",
                                         "doneButton",
                                         "backButton"),
                         [](const auto& param) { return std::string(param.param); });

TEST_F(SettingsPageTest, LaunchAtLoginShowsTheSystemsStateAfterAFailure)
{
    t.loginItems.setRegisterError(QStringLiteral("Operation not permitted"));
    open();
    auto* toggle = child<kit::FlameToggle>(*page, "launchAtLoginSwitch");
    testing::internal::CaptureStdout();
    click(*toggle);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to set Launch at Login: Operation not permitted\n");
    EXPECT_FALSE(toggle->isOn());
    EXPECT_FALSE(manager->launchAtLogin());
}

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
    EXPECT_TRUE(manager->panicShortcut() == chosen && t.hotKeys.isRegistered(4, 0x1300));
    EXPECT_EQ(panicSubtitle(), QString::fromUtf8(SettingsPageView::kPanicSubtitle));

    // A shortcut that could not be registered says so.
    manager->setPanicShortcutAvailable(false);
    EXPECT_EQ(panicSubtitle(), QString::fromUtf8(SettingsPageView::kPanicUnavailableSubtitle));
}

// Pictures of the page and its recorder, recording and refusing (see picturesFolder).
TEST_F(SettingsPageTest, PicturesOfThePageAndItsRecorder)
{
    t.desktop.setScreenRecordingPermission(false);
    start();
    t.scheduler.runPending();
    open();
    advance();
    QImage image = picture(*page, *page, QStringLiteral("settings-page"));
    EXPECT_TRUE(cardBorder(image, *page, child(*page, "permissionsCard"), true))
        << "highlighted without permission";
    EXPECT_TRUE(near(colorAt(image, at(*page, child(*page, "systemSettingsButton"), 4)), Qt::white, 20))
        << "a primary pill while the permission is missing";

    ShortcutRecorder* recorder = page->panicShortcutRecorder();
    QWidget& card = *child(*page, "shareProtectionCard");
    click(*recorder);
    advance();
    image = picture(*page, card, QStringLiteral("shortcut-recorder-recording"));
    EXPECT_TRUE(near(colorAt(image, at(card, recorder, 5)), kit::Palette::flameShade(), 6));

    type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    advance(0.5);
    image = picture(*page, card, QStringLiteral("shortcut-recorder-refused"));
    EXPECT_TRUE(near(colorAt(image, at(card, recorder, 5)), kit::Palette::surfaceRaised(), 6));
    bool redText = false;
    for (double x = 10; x < recorder->width() - 10 && !redText; x += 0.5) {
        const QColor c = colorAt(image, at(card, recorder, x));
        redText = c.red() > 200 && c.green() < 140 && c.blue() < 140;
    }
    EXPECT_TRUE(redText) << "the refusal is written in red";
}
