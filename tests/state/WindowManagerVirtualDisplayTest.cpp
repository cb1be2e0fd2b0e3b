#include "capture/VirtualDisplayManager.h"
#include "platform/VirtualDisplay.h"
#include "tests/state/StateFixture.h"

#include <QPointer>

#include <gtest/gtest.h>

using testing_support::StateFixture;
using Output = VirtualDisplayManager::Output;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kCreating = QStringLiteral("Creating virtual display…");
const QString kReady =
    QStringLiteral("Virtual display ready — in Google Meet, share the \"Veilmox\" screen.");

// Signed in with the virtual display ready and its first picture delivered.
WindowManager& startReady(StateFixture& f)
{
    WindowManager& m = f.start();
    m.startVirtualDisplay();
    f.t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
    return m;
}

} // namespace

TEST(WindowManagerVirtualDisplay, StartingHandsTheChoicesToANewManagerAndStoppingClearsEverything)
{
    StateFixture f;
    const quint32 window = f.t.launchAppWithWindow(kA, QStringLiteral("A")).second;
    f.store(WindowManager::hiddenWindowsKey, QVariantMap{{QString::number(window), kA}});
    f.store(WindowManager::hideNotificationsKey, false);
    WindowManager& m = f.start(false);
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Sign in to start virtual display."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());

    m.setIsAuthenticated(true);
    m.startVirtualDisplay();
    const VirtualDisplayManager* manager = m.virtualDisplayManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->excludedWindowIDs, QSet<quint32>{window});
    EXPECT_FALSE(manager->hideNotifications);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), kCreating);
    f.t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
    EXPECT_TRUE(m.virtualDisplayPreviewImage());
    m.toggleHidden(kA);
    EXPECT_EQ(manager->excludedBundleIDs, QSet<QString>{kA});

    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager(), manager);
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Virtual display is already running."));

    m.stopVirtualDisplay();
    f.t.scheduler.runPending();
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QString());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
    EXPECT_TRUE(f.t.virtualDisplays.displays().isEmpty());
}

TEST(WindowManagerVirtualDisplay, AStartThatFailsAtOnceLeavesNoManagerAndKeepsTheError)
{
    using Arrange = std::function<void(testing_support::TestDesktop&)>;
    const std::pair<const char*, Arrange> cases[] = {
        {"No display found.",
         [](auto& d) {
             d.desktop.removeDisplay(d.mainDisplay);
         }},
        {"Failed to create virtual display.",
         [](auto& d) {
             d.virtualDisplays.setCreationFails(true);
         }},
        {"Failed to create virtual display modes.",
         [](auto& d) {
             d.virtualDisplays.setModeCreationFails(true);
         }},
        {"Failed to configure virtual display.",
         [](auto& d) {
             d.virtualDisplays.setSettingsFail(true);
         }},
    };
    for (const auto& [text, arrange] : cases) {
        StateFixture f;
        arrange(f.t);
        WindowManager& m = f.start();
        m.startVirtualDisplay();
        f.t.scheduler.advance(10);
        EXPECT_EQ(m.virtualDisplayManager(), nullptr) << text;
        EXPECT_FALSE(m.isVirtualDisplayRunning());
        EXPECT_EQ(m.virtualDisplayStatus(), QString::fromUtf8(text));
        EXPECT_TRUE(m.virtualDisplayStatusIsError());
    }
}

TEST(WindowManagerVirtualDisplay, TheDisplaysOwnEndClearsItsStateButKeepsAnErrorLine)
{
    StateFixture f;
    f.t.virtualDisplays.setRefusesRegistration(true);
    WindowManager& m = f.start();
    m.startVirtualDisplay();
    // The manager calls the close handler from inside its own check: it must outlive that call.
    VirtualDisplayManager* manager = m.virtualDisplayManager();
    QPointer<VirtualDisplayManager> watched(manager);
    bool aliveAfterHandler = false;
    manager->closeHandler = [handler = manager->closeHandler, &watched, &aliveAfterHandler] {
        handler();
        aliveAfterHandler = !watched.isNull();
    };
    f.t.scheduler.advance(6.5);
    EXPECT_TRUE(aliveAfterHandler);
    EXPECT_TRUE(watched.isNull());
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(),
              QStringLiteral("Virtual display did not register after 5 attempts. Try again."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
}

TEST(WindowManagerVirtualDisplay, LateReportsOfAnEarlierManagerLeaveTheNewerOneAlone)
{
    StateFixture f;
    WindowManager& m = startReady(f);
    const VirtualDisplayManager* old = m.virtualDisplayManager();
    const auto oldStatus = old->statusHandler;
    const auto oldFrame = old->frameHandler;
    const auto oldClose = old->closeHandler;
    // The stopped manager's mirror window closes a turn later and reports the end then.
    m.stopVirtualDisplay();
    m.startVirtualDisplay();
    f.t.scheduler.runPending();
    oldStatus(QStringLiteral("Shared display not found."), true);
    oldFrame(QImage(2, 2, QImage::Format_ARGB32));
    oldClose();

    ASSERT_NE(m.virtualDisplayManager(), nullptr);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), kCreating);
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
    f.t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
}

TEST(WindowManagerVirtualDisplay, TheCaptureKeepsThePermissionFlagCurrent)
{
    StateFixture f;
    WindowManager& m = startReady(f);
    m.setHasScreenRecordingPermission(false);
    f.t.scheduler.advance(0.1);
    EXPECT_TRUE(m.hasScreenRecordingPermission());
    f.t.desktop.setScreenRecordingPermission(false);
    f.t.scheduler.advance(0.1);
    EXPECT_FALSE(m.hasScreenRecordingPermission());
}

TEST(WindowManagerVirtualDisplay, ThePanicActionFreezesOrCoversWithItsToasts)
{
    StateFixture f;
    WindowManager& m = startReady(f);
    VirtualDisplayManager* manager = m.virtualDisplayManager();
    m.togglePanic();
    EXPECT_EQ(manager->output, Output::frozen());
    // Switching the mode while paused switches the picture at once; the cover is the preview too.
    m.setPanicMode(WindowManager::PanicMode::Cover);
    const QImage cover = manager->output.coverImage();
    EXPECT_EQ(cover.size(), QSize(3024, 1964));
    EXPECT_EQ(m.virtualDisplayPreviewImage()->cacheKey(), cover.cacheKey());
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), cover.cacheKey());
    m.togglePanic();
    EXPECT_EQ(manager->output, Output::live());
    m.togglePanic();

    const std::tuple<QString, bool, QString> expected[] = {
        {"Share frozen", true, "PRESS ⌃⌥⌘P TO RESUME"},
        {"Share is live again", false, "YOUR CALL SEES YOUR SCREEN"},
        {"“Be right back” is showing", true, "PRESS ⌃⌥⌘P TO RESUME"},
    };
    ASSERT_EQ(f.hud.toasts.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto& [title, veiled, subtitle] = expected[i];
        EXPECT_EQ(f.hud.toasts[i].appName, title);
        EXPECT_EQ(f.hud.toasts[i].isVeiled, veiled);
        EXPECT_EQ(f.hud.toasts[i].subtitle, subtitle);
        EXPECT_TRUE(f.hud.toasts[i].hasIcon);
    }

    // Signed out the action does nothing.
    m.setIsAuthenticated(false);
    m.togglePanic();
    EXPECT_TRUE(m.sharePaused());
    EXPECT_EQ(f.hud.toasts.size(), 3);
}

TEST(WindowManagerVirtualDisplay, TheCoverFallsBackToItsDefaultSizeAndThenToFreezing)
{
    // Paused before any display runs: the display starts covered. Its size unknown, the cover is
    // made for 1512 x 982 points.
    StateFixture f;
    f.store(WindowManager::panicModeKey, QStringLiteral("cover"));
    WindowManager& m = f.start();
    m.togglePanic();
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager()->output.kind(), Output::Kind::Covered);
    f.t.desktop.removeDisplay(f.t.mainDisplay);
    m.applyPanicOutput();
    EXPECT_EQ(m.virtualDisplayManager()->output.coverImage().size(), QSize(3024, 1964));

    // A cover that cannot be rendered (a display too wide to draw): the last frame stays.
    platform::sim::SimDesktop::DisplaySpec wide;
    wide.frame = QRectF(0, 0, 20000, 982);
    m.selectSharedDisplay(f.t.desktop.addDisplay(wide));
    m.applyPanicOutput();
    EXPECT_EQ(m.virtualDisplayManager()->output, Output::frozen());
}

TEST(WindowManagerCallbacks, RoutesByTheSchemeAndTheAwaitedHost)
{
    struct Case
    {
        const char* url;
        bool awaited;
        int raises;
        int focusReturns;
        bool toSession;
    };
    const Case cases[] = {
        {"veilmox://auth?code=x", false, 0, 0, true},
        {"VEILMOX://AUTH?code=x", false, 0, 0, true},
        {"VeilMox://Auth", true, 1, 0, true},
        {"veilmox://other", true, 0, 1, false},
        {"veilmox:", true, 0, 1, false},
        {"veilmox://other", false, 0, 0, false},
        {"https://auth?code=x", true, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        StateFixture f;
        testing_support::RecordingAccountSession session;
        f.manager->setAccountSession(&session);
        WindowManager& m = f.start();
        m.setBrowserReturnHost(c.awaited ? std::optional<QString>("auth") : std::nullopt);
        const QUrl url(QString::fromUtf8(c.url));
        m.handleCallbackURL(url);
        EXPECT_EQ(f.shell.onboardingRaises, c.raises);
        EXPECT_EQ(f.shell.browserFocusReturns, c.focusReturns);
        EXPECT_EQ(session.callbacks, c.toSession ? QList<QUrl>{url} : QList<QUrl>{});
        // The awaited hand-off is over only when it came back.
        EXPECT_EQ(m.browserReturnHost().has_value(), c.awaited && c.raises == 0);
    }
}
