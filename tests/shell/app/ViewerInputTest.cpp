// The application used as a person uses it on Linux: through the desktop viewer's window, with
// Qt's own mouse, key and wheel events sent to that window, so that Qt finds what lies under the
// pointer and the viewer passes the input on to the simulated desktop.
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingView.h"
#include "platform/EventMonitor.h"
#include "platform/Popover.h"
#include "platform/StatusBar.h"
#include "platform/Window.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/DesktopViewer.h"
#include "popover/ShortcutRecorder.h"
#include "tests/shell/app/ViewerApp.h"

#include <QApplication>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_support;
using platform::sim::DesktopViewer;

namespace {

const QColor kWallpaper = platform::sim::SimDesktop::DisplaySpec().desktopColor;
const QColor kSlackColour = platform::sim::SimDesktop::WindowSpec().color;
const QRectF kSlackFrame(100, 500, 300, 300); // clear of the popover and the HUD

// Whether a widget lies wholly inside the visible part of the scroll area around it.
bool inView(const QWidget& widget, const QScrollArea& scroll)
{
    const QRect rect(widget.mapTo(scroll.viewport(), QPoint()), widget.size());
    return scroll.viewport()->rect().contains(rect);
}

} // namespace

TEST(ViewerKeyboard, HotKeysTypedIntoTheViewerVeilTheFrontmostAppAndPauseTheShare)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.f.env.t.launchAppWithWindow(
        QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("Slack"), kSlackFrame);
    app.start(true);
    ASSERT_NE(app.veilmoxDisplay(), 0U);
    app.click(kSlackFrame.center());
    // Away from the pointer, which the audience sees too.
    const QPointF slack = kSlackFrame.center() + QPointF(60, 60);
    ASSERT_EQ(app.f.desktop.frontmostApplication()->localizedName(), QStringLiteral("Slack"));
    ASSERT_EQ(app.audienceSees(slack), kSlackColour);
    // The toast's place, under the menu bar of the display the pointer is on.
    const QPointF toast(756, 24 + 16 + 40);
    const QColor beforeToast = app.userSees(toast);

    // Shift+Ctrl+H is ⇧⌘H: Slack leaves what the audience sees, and the toast says so.
    app.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    app.settle(0.5);
    EXPECT_EQ(app.f.manager->hiddenBundleIDs(), QSet<QString>{QStringLiteral("com.tinyspeck.slackmacgap")});
    EXPECT_EQ(app.audienceSees(slack), kWallpaper);
    EXPECT_EQ(app.userSees(slack), kSlackColour);
    ASSERT_TRUE(app.f.hud && app.f.hud->isVisible());
    EXPECT_EQ(app.f.hud->window()->frame().center(), toast);
    EXPECT_NE(app.userSees(toast), beforeToast);

    app.type(Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(app.f.manager->hiddenBundleIDs().isEmpty());
    EXPECT_EQ(app.audienceSees(slack), kSlackColour);

    // Super+Alt+Ctrl+P is the panic hot key ⌃⌥⌘P: the audience keeps the last picture while
    // Slack's window moves away, until it is pressed again.
    app.type(Qt::Key_P, Qt::MetaModifier | Qt::AltModifier | Qt::ControlModifier);
    EXPECT_TRUE(app.f.manager->sharePaused());
    app.f.desktop.setWindowBounds(app.f.desktop.windowAt(slack).value_or(0), kSlackFrame.translated(600, 0));
    app.settle(0.5);
    EXPECT_EQ(app.userSees(slack), kWallpaper);
    EXPECT_EQ(app.audienceSees(slack), kSlackColour);
    app.type(Qt::Key_P, Qt::MetaModifier | Qt::AltModifier | Qt::ControlModifier);
    app.settle(0.5);
    EXPECT_FALSE(app.f.manager->sharePaused());
    EXPECT_EQ(app.audienceSees(slack), kWallpaper);
}

TEST(ViewerScrolling, TheWheelOverTheSettingsPageBringsQuitIntoViewAndAClickOnItEndsTheRunLoop)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.start(true);
    app.openSettings();
    const auto* scroll = app.inPopover<QScrollArea>("settingsScroll");
    const QWidget* quit = app.inPopover("settingsQuitButton");
    ASSERT_TRUE(scroll && quit && scroll->isVisible());
    ASSERT_FALSE(inView(*quit, *scroll));

    const QPointF page = ShellFixture::centerOf(*scroll, app.popoverWindow());
    for (int notch = 0; notch < 30 && !inView(*quit, *scroll); ++notch) {
        app.scrollDown(page);
    }
    ASSERT_TRUE(inView(*quit, *scroll));

    // The quit button ends the application's run loop, as the program's own quit handler does.
    app.f.desktop.setTerminateHandler([] { QApplication::quit(); });
    const QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        app.click(*quit, app.popoverWindow());
        // Had the click not ended the loop, this would, with a failure.
        QTimer::singleShot(0, &guard, [] { QCoreApplication::exit(1); });
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(app.f.desktop.terminateRequests(), 1);
}

TEST(ViewerKeyboard, TheShortcutRecorderOpenedThroughTheViewerRecordsWhatIsTypedThereOnce)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.start(true);
    app.openSettings();
    auto* recorder = app.inPopover<ShortcutRecorder>("shortcutRecorder");
    ASSERT_TRUE(recorder);
    app.click(*recorder, app.popoverWindow());
    ASSERT_TRUE(recorder->isRecording());

    // A key without ⌃, ⌥ or ⌘ beeps, once, and recording goes on.
    app.type(Qt::Key_A);
    EXPECT_EQ(app.f.desktop.beepCount(), 1);
    EXPECT_TRUE(recorder->isRecording());

    // Super+Alt+Ctrl+K is ⌃⌥⌘K: recorded, stored and registered as the panic hot key.
    app.type(Qt::Key_K, Qt::MetaModifier | Qt::AltModifier | Qt::ControlModifier);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(app.f.manager->panicShortcut().display, QString::fromUtf8("⌃⌥⌘K"));
    EXPECT_TRUE(
        QString::fromUtf8(app.f.env.t.defaults.dataForKey(WindowManager::panicShortcutKey).value_or(""))
            .contains(QString::fromUtf8("⌃⌥⌘K")));
    EXPECT_TRUE(app.f.env.t.hotKeys.isRegistered(40, 0x1900));
    EXPECT_EQ(recorder->labelText(), QString::fromUtf8("⌃⌥⌘K"));

    app.type(Qt::Key_K, Qt::MetaModifier | Qt::AltModifier | Qt::ControlModifier);
    EXPECT_TRUE(app.f.manager->sharePaused()) << "the recorded combination is the hot key now";
}

namespace {

// The demo desktop's first run: the onboarding window open on its goal step, and the demo apps
// around it. Counts the key-downs the application's monitors see.
struct FirstRunOnTheDemoDesktop : ViewerApp
{
    FirstRunOnTheDemoDesktop()
    {
        f.desktop.removeDisplay(f.desktop.mainDisplayID());
        platform::sim::populateDemoDesktop(f.desktop);
        start(false);
        onboarding = f.app->onboardingWindow();
        monitor = platform::EventMonitor::addLocalMonitorForKeyDown([this](const platform::KeyEvent& e) {
            ++keyDowns;
            return std::optional(e);
        });
    }
    ~FirstRunOnTheDemoDesktop() { platform::EventMonitor::removeMonitor(monitor.value_or(0)); }
    FirstRunOnTheDemoDesktop(const FirstRunOnTheDemoDesktop&) = delete;
    FirstRunOnTheDemoDesktop& operator=(const FirstRunOnTheDemoDesktop&) = delete;

    OnboardingFlow& flow() const { return qobject_cast<OnboardingView*>(onboarding->contentView())->flow(); }
    void pickAGoal()
    {
        const auto rows = onboarding->contentView()->findChildren<QWidget*>(
            QRegularExpression(QStringLiteral("^goal\\.persona\\.")));
        ASSERT_FALSE(rows.isEmpty());
        click(*rows.front(), *onboarding);
    }
    platform::Window* onboarding = nullptr;
    std::optional<platform::EventMonitor::Token> monitor;
    int keyDowns = 0;
    // Messages' window, beside the onboarding window.
    const QPointF messages{1360, 400};
};

} // namespace

TEST(ViewerKeyboard, ReturnOnTheGoalStepContinuesOnlyWithAGoalPicked)
{
    FirstRunOnTheDemoDesktop app;
    ASSERT_TRUE(app.onboarding != nullptr && app.onboarding->isKeyWindow());
    app.type(Qt::Key_Return);
    EXPECT_EQ(app.flow().step(), 0) << "no goal yet";
    EXPECT_EQ(app.keyDowns, 1);

    app.pickAGoal();
    ASSERT_FALSE(app.flow().persona().isEmpty());
    app.type(Qt::Key_Return);
    EXPECT_EQ(app.flow().step(), 1);
    EXPECT_EQ(app.keyDowns, 2) << "each key seen once";
}

TEST(ViewerKeyboard, AKeyTypedWhileADemoAppIsFrontmostReachesNoVeilmoxWindowUntilOneIsClicked)
{
    FirstRunOnTheDemoDesktop app;
    app.pickAGoal();
    app.click(app.messages);
    const auto messages = app.f.desktop.frontmostApplication();
    ASSERT_EQ(messages->localizedName(), QStringLiteral("Messages"));
    app.type(Qt::Key_Return);
    EXPECT_EQ(app.flow().step(), 0);
    EXPECT_EQ(app.keyDowns, 0);
    EXPECT_EQ(app.f.desktop.lastKeyRecipient(), messages->processIdentifier());

    // A click on the onboarding window makes it key and Veilmox the active app again.
    app.click(app.onboarding->frame().topLeft() + QPointF(500, 20));
    EXPECT_TRUE(app.f.desktop.isActive());
    app.type(Qt::Key_Return);
    EXPECT_EQ(app.flow().step(), 1);
}
