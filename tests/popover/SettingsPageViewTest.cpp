// The settings page (each control reaching its operation, launch at login, the panic shortcut
// through the system's registration, pictures) and its shortcut recorder on its own.
#include "popover/SettingsPageView.h"

#include "capture/VirtualDisplayManager.h"
#include "platform/EventMonitor.h"
#include "popover/PauseShareButton.h"
#include "popover/SettingRow.h"
#include "popover/ShortcutRecorder.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "tests/popover/PopoverFixture.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMap>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

// The settings page over a started, signed-in state object. The tables make one scene per case.
struct SettingsScene : PopoverTest
{
    ShareMaskEditor maskEditor{t.services(), manager.get()};
    PiPController pip{t.services(), *manager, maskEditor};
    RecordingUpdater updater;
    std::unique_ptr<SettingsPageView> page;

    SettingsPageView& open()
    {
        if (!manager->isStarted()) {
            start();
        }
        navigation.setShowingSettings(true);
        page = std::make_unique<SettingsPageView>(*manager, pip, updater, navigation);
        holdWindowSize(*page, QSize(350, 680));
        page->show();
        return *page;
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
         !m.hideNotificationsOnShare()
             && defaults.object(WindowManager::hideNotificationsKey) == QVariant(false)
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
    , public testing::WithParamInterface<std::string>
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
    const QString control = QString::fromStdString(GetParam());
    EXPECT_FALSE(operationsDone(*this).value(control, true));
    click(scrolledTo(named(*page, control)));
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
                         [](const auto& param) { return param.param; });

TEST_F(SettingsPageTest, TheBannerSwitchStoresEachChoiceAndTheRunningDisplayFollows)
{
    start();
    manager->startVirtualDisplay();
    open();
    auto& banners = scrolledTo(named(*page, "hideNotificationsSwitch"));
    for (const bool on : {false, true}) {
        click(banners);
        EXPECT_EQ(t.defaults.object(WindowManager::hideNotificationsKey), QVariant(on));
        EXPECT_EQ(std::pair(manager->hideNotificationsOnShare(),
                            manager->virtualDisplayManager()->hideNotifications),
                  std::pair(on, on));
    }
}

TEST_F(SettingsPageTest, TheAccountRowIsThereOnlyWhileSignedIn)
{
    open();
    const QWidget& row = named(*page, "accountRow");
    const QWidget& divider = named(*page, "accountDivider");
    EXPECT_TRUE(row.isVisible() && divider.isVisible());
    click(scrolledTo(named(*page, "signOutButton")));
    EXPECT_EQ(session.calls.count(QStringLiteral("signOut")), 1);

    // Signed out, the page stays and the card holds the onboarding row alone.
    manager->setIsAuthenticated(false);
    layOut();
    EXPECT_FALSE(row.isVisible() || divider.isVisible());
    EXPECT_TRUE(named(*page, "replayButton").isVisible());
    manager->setIsAuthenticated(true);
    EXPECT_TRUE(row.isVisible() && divider.isVisible());
}

TEST_F(SettingsPageTest, LaunchAtLoginShowsTheSystemsStateAfterAFailure)
{
    t.loginItems.setRegisterError(QStringLiteral("Operation not permitted"));
    open();
    auto& toggle = named<kit::FlameToggle>(*page, "launchAtLoginSwitch");
    testing::internal::CaptureStdout();
    click(toggle);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to set Launch at Login: Operation not permitted\n");
    EXPECT_FALSE(toggle.isOn());
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
    EXPECT_TRUE(recorder.isRejected());
    EXPECT_EQ(manager->panicShortcut(), HotKeyCombo::defaultPanicShortcut());

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
    EXPECT_TRUE(cardBorder(image, *page, named(*page, "permissionsCard"), true))
        << "highlighted without permission";
    EXPECT_TRUE(near(colorAt(image, at(*page, named(*page, "systemSettingsButton"), 4)), Qt::white, 20))
        << "a primary pill while the permission is missing";

    ShortcutRecorder* recorder = page->panicShortcutRecorder();
    QWidget& card = named(*page, "shareProtectionCard");
    // The pointer comes into the window onto the capsule and clicks it, as a user's does, and
    // stays there. (A window server says when the pointer enters a window; the offscreen
    // platform has none, so the test says it.)
    QWindow* pageWindow = page->windowHandle();
    const QPoint onCapsule = recorder->mapTo(page.get(), recorder->rect().center());
    QEnterEvent entering(onCapsule, onCapsule, pageWindow->mapToGlobal(onCapsule));
    QCoreApplication::sendEvent(pageWindow, &entering);
    QTest::mouseMove(pageWindow, onCapsule);
    ASSERT_TRUE(recorder->isHovered());
    click(*recorder);
    advance();
    image = picture(*page, card, QStringLiteral("shortcut-recorder-recording"));
    EXPECT_TRUE(near(colorAt(image, at(card, *recorder, 5)), kit::Palette::flameShade(), 6));

    type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    advance(0.5);
    image = picture(*page, card, QStringLiteral("shortcut-recorder-refused"));
    EXPECT_TRUE(near(colorAt(image, at(card, *recorder, 5)), kit::Palette::surfaceHigh(), 6))
        << "refused under the pointer: the hover fill";
    bool redText = false;
    for (double x = 10; x < recorder->width() - 10 && !redText; x += 0.5) {
        const QColor c = colorAt(image, at(card, *recorder, x));
        redText = c.red() > 200 && c.green() < 140 && c.blue() < 140;
    }
    EXPECT_TRUE(redText) << "the refusal is written in red";

    // The pointer leaves for the page's top corner: the plain fill, the refusal still showing.
    QTest::mouseMove(pageWindow, QPoint(4, 4));
    advance(0.5);
    image = picture(*page, card, QStringLiteral("shortcut-recorder-refused-pointer-away"));
    EXPECT_TRUE(recorder->isRejected());
    EXPECT_TRUE(near(colorAt(image, at(card, *recorder, 5)), kit::Palette::surfaceRaised(), 6));
}

namespace {

// Counts the presses of keys other than the modifiers (whose changes are not key presses to a
// monitor) that reach a view.
struct KeyPresses final : QObject
{
    int count = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            count +=
                key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Meta || key == Qt::Key_Alt
                    ? 0
                    : 1;
        }
        return false;
    }
};

// A window with a focused text field and a recorder, keys typed into the field as the user types
// them.
struct RecorderScene
{
    KitEnvironment env;
    QList<HotKeyCombo> offered;
    bool accepts = true;
    QWidget window;
    QLineEdit* field = new QLineEdit;
    ShortcutRecorder* recorder = new ShortcutRecorder(
        HotKeyCombo::defaultPanicShortcut(),
        [this](const HotKeyCombo& combo) {
            offered.append(combo);
            return accepts;
        },
        env.t.services());

    KeyPresses reachingField;

    RecorderScene()
    {
        field->installEventFilter(&reachingField);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(recorder);
        holdWindowSize(window, QSize(350, 200));
        window.show();
        field->setFocus();
    }
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(field, key, modifiers);
    }
    int beeps() const { return env.t.desktop.beepCount(); }
};

} // namespace

TEST(ShortcutRecorder, RecordsThroughTheKeyTranslationRefusesPlainKeysAndCancelsOnEscape)
{
    struct Case
    {
        const char* keys; // Qt's Ctrl is ⌘, Meta is ⌃, Alt is ⌥
        std::optional<HotKeyCombo> recorded;
        int beeps;
    };
    const Case cases[] = {
        {"Meta+Ctrl+K", HotKeyCombo{40, 0x1100, "⌃⌘K"}, 0},
        {"K, Shift+K", std::nullopt, 2},
        {"J, Ctrl+Space", HotKeyCombo{49, 0x100, "⌘Space"}, 1},
        {"Esc", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        RecorderScene scene;
        scene.env.t.desktop.activateApp(
            scene.env.t.desktop.launchApp(QStringLiteral("com.apple.Notes"), "Notes"));
        click(*scene.recorder);
        EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("Press keys…"));
        // The accessory application comes forward so that the keys reach it.
        EXPECT_TRUE(scene.env.t.desktop.isActive());
        const QKeySequence keys(QString::fromLatin1(c.keys));
        for (int i = 0; i < keys.count(); ++i) {
            scene.type(keys[i].key(), keys[i].keyboardModifiers());
        }
        EXPECT_EQ(scene.offered, c.recorded ? QList<HotKeyCombo>{*c.recorded} : QList<HotKeyCombo>{});
        EXPECT_EQ(scene.beeps(), c.beeps);
        // Nothing typed while recording reached the focused field (Escape neither); afterwards
        // keys do.
        EXPECT_EQ(scene.reachingField.count, 0);
        EXPECT_EQ(scene.field->text(), QString());
        const bool stillRecording = !c.recorded && c.beeps > 0;
        EXPECT_EQ(scene.recorder->isRecording(), stillRecording);
        if (!stillRecording) {
            EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("⌃⌥⌘P"));
            scene.type(Qt::Key_A);
            EXPECT_EQ(scene.field->text(), QStringLiteral("a"));
        }
    }
}

TEST(ShortcutRecorder, ARefusalNoticeLastsItsFullTimeFromTheLatestRefusal)
{
    RecorderScene scene;
    scene.accepts = false;
    click(*scene.recorder);
    scene.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(scene.recorder->isRejected());
    EXPECT_FALSE(scene.recorder->isRecording());
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("In use — try another"));

    // A click during the notice records again at once; a second refusal a second later.
    scene.env.advance(1.0);
    click(*scene.recorder);
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("Press keys…"));
    scene.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(scene.recorder->isRejected());

    // The first refusal's time is over; the second's is not.
    scene.env.advance(1.0);
    EXPECT_TRUE(scene.recorder->isRejected());
    scene.env.advance(0.75);
    EXPECT_TRUE(scene.recorder->isRejected());
    scene.env.advance(0.1);
    EXPECT_FALSE(scene.recorder->isRejected());
    EXPECT_EQ(scene.recorder->labelText(), QStringLiteral("⌃⌥⌘P"));
    EXPECT_EQ(scene.offered.size(), 2);
}

TEST(ShortcutRecorder, HidingOrDestroyingTheRecorderGivesTheKeysBack)
{
    RecorderScene scene;
    // A second click cancels like Escape.
    click(*scene.recorder);
    click(*scene.recorder);
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);

    // The popover closes with the recorder recording on it.
    click(*scene.recorder);
    scene.type(Qt::Key_A);
    scene.window.hide();
    EXPECT_FALSE(scene.recorder->isRecording());
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    scene.window.show();
    scene.type(Qt::Key_B);
    EXPECT_EQ(scene.field->text(), QStringLiteral("b"));

    // The page is torn down while recording.
    click(*scene.recorder);
    delete scene.recorder;
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 0);
    scene.type(Qt::Key_C);
    EXPECT_EQ(scene.field->text(), QStringLiteral("bc"));
    EXPECT_TRUE(scene.offered.isEmpty());
}
