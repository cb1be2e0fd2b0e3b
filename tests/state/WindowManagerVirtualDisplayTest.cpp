#include "capture/VirtualDisplayManager.h"
#include "platform/VirtualDisplay.h"
#include "tests/state/StateFixture.h"

#include <QPointer>

#include <gtest/gtest.h>

using testing_support::StateFixture;
using Output = VirtualDisplayManager::Output;

namespace {

const QString kA = QStringLiteral("com.example.A");
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

ShareMask mask(quint32 windowID, const QString& bundleID)
{
    ShareMask m;
    m.id = QUuid::createUuid();
    m.windowID = windowID;
    m.bundleID = bundleID;
    m.rect = QRectF(0, 0, 50, 20);
    return m;
}

} // namespace

TEST(WindowManagerVirtualDisplay, StartingHandsTheChoicesToANewManagerAndStoppingClearsEverything)
{
    StateFixture f;
    const QString b = QStringLiteral("com.example.B");
    const quint32 window = f.t.launchAppWithWindow(b, QStringLiteral("B")).second;
    f.store(WindowManager::hiddenKey, QStringList{kA});
    f.store(WindowManager::hiddenWindowsKey, QVariantMap{{QString::number(window), b}});
    f.store(WindowManager::sharedDisplayKey, qint64(f.t.mainDisplay));
    f.store(WindowManager::hideNotificationsKey, false);
    f.store(WindowManager::focusStageKey, false);
    WindowManager& m = f.start();
    m.setShareMasks({mask(window, b)});
    m.startVirtualDisplay();

    const VirtualDisplayManager* manager = m.virtualDisplayManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->excludedBundleIDs, QSet<QString>{kA});
    EXPECT_EQ(manager->excludedWindowIDs, QSet<quint32>{window});
    EXPECT_EQ(manager->sourceDisplayID, f.t.mainDisplay);
    EXPECT_FALSE(manager->hideNotifications);
    EXPECT_FALSE(manager->focusStageEnabled);
    EXPECT_EQ(manager->masks, m.shareMasks());
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Creating virtual display…"));

    f.t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
    EXPECT_FALSE(m.virtualDisplayStatusIsError());
    EXPECT_TRUE(m.virtualDisplayPreviewImage());
    // The virtual display is never offered as a source.
    EXPECT_EQ(m.availableDisplays().size(), 1);

    // Later changes reach the running manager.
    m.toggleHidden(QStringLiteral("com.example.C"));
    EXPECT_EQ(manager->excludedBundleIDs, (QSet<QString>{kA, QStringLiteral("com.example.C")}));
    m.addShareMask(mask(window, b));
    EXPECT_EQ(manager->masks.size(), 2);

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

TEST(WindowManagerVirtualDisplay, SignedOutOnlyAStatusLineAndStoppingClearsItAnyway)
{
    StateFixture f;
    WindowManager& m = f.start(false);
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Sign in to start virtual display."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());
    EXPECT_TRUE(f.t.virtualDisplays.displays().isEmpty());

    m.setVirtualDisplayPreviewImage(QImage(2, 2, QImage::Format_ARGB32));
    m.stopVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayStatus(), QString());
    EXPECT_FALSE(m.virtualDisplayStatusIsError());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
}

TEST(WindowManagerVirtualDisplay, AStartThatFailsAtOnceLeavesNoManagerAndKeepsTheError)
{
    const std::pair<const char*, std::function<void(testing_support::TestDesktop&)>> cases[] = {
        {"No display found.",
         [](testing_support::TestDesktop& d) {
             d.desktop.removeDisplay(d.mainDisplay);
         }},
        {"Failed to create virtual display.",
         [](testing_support::TestDesktop& d) {
             d.virtualDisplays.setCreationFails(true);
         }},
        {"Failed to create virtual display modes.",
         [](testing_support::TestDesktop& d) {
             d.virtualDisplays.setModeCreationFails(true);
         }},
        {"Failed to configure virtual display.",
         [](testing_support::TestDesktop& d) {
             d.virtualDisplays.setSettingsFail(true);
         }},
    };
    for (const auto& [text, arrange] : cases) {
        SCOPED_TRACE(text);
        StateFixture f;
        arrange(f.t);
        WindowManager& m = f.start();
        m.startVirtualDisplay();
        f.t.scheduler.advance(10);
        EXPECT_EQ(m.virtualDisplayManager(), nullptr);
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
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(),
              QStringLiteral("Virtual display did not register after 5 attempts. Try again."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());

    // An end that is no error clears the line.
    StateFixture g;
    WindowManager& n = startReady(g);
    g.t.virtualDisplays.terminate(n.virtualDisplayManager()->virtualDisplay()->displayID());
    g.t.scheduler.runPending();
    EXPECT_EQ(n.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(n.isVirtualDisplayRunning());
    EXPECT_EQ(n.virtualDisplayStatus(), QString());
    EXPECT_FALSE(n.virtualDisplayPreviewImage());
}

TEST(WindowManagerVirtualDisplay, LateReportsOfAnEarlierManagerLeaveTheNewerOneAlone)
{
    StateFixture f;
    WindowManager& m = startReady(f);
    const VirtualDisplayManager* old = m.virtualDisplayManager();
    const auto oldStatus = old->statusHandler;
    const auto oldFrame = old->frameHandler;
    const auto oldClose = old->closeHandler;

    // The stopped manager's mirror window closes a turn later and reports its end then.
    m.stopVirtualDisplay();
    m.startVirtualDisplay();
    f.t.scheduler.runPending();
    const VirtualDisplayManager* current = m.virtualDisplayManager();
    ASSERT_NE(current, nullptr);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Creating virtual display…"));

    oldStatus(QStringLiteral("Shared display not found."), true);
    oldFrame(QImage(2, 2, QImage::Format_ARGB32));
    oldClose();
    EXPECT_EQ(m.virtualDisplayManager(), current);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Creating virtual display…"));
    EXPECT_FALSE(m.virtualDisplayStatusIsError());
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
    EXPECT_TRUE(m.virtualDisplayStatusIsError());
}

TEST(WindowManagerVirtualDisplay, ThePausedOutputIsFrozenOrCovered)
{
    StateFixture f;
    WindowManager& m = startReady(f);
    VirtualDisplayManager* manager = m.virtualDisplayManager();
    m.togglePanic();
    EXPECT_EQ(manager->output, Output::frozen());

    m.setPanicMode(WindowManager::PanicMode::Cover);
    ASSERT_EQ(manager->output.kind(), Output::Kind::Covered);
    const QImage cover = manager->output.coverImage();
    EXPECT_EQ(cover.size(), QSize(3024, 1964));
    EXPECT_EQ(m.virtualDisplayPreviewImage()->cacheKey(), cover.cacheKey());
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), cover.cacheKey());

    m.togglePanic();
    EXPECT_EQ(manager->output, Output::live());
}

TEST(WindowManagerVirtualDisplay, TheCoverFallsBackToItsDefaultSizeAndToFreezing)
{
    // A mirrored display whose size is unknown: the cover is made for 1512 x 982 points.
    StateFixture f;
    f.store(WindowManager::panicModeKey, QStringLiteral("cover"));
    WindowManager& m = f.start();
    m.startVirtualDisplay();
    f.t.desktop.removeDisplay(f.t.mainDisplay);
    ASSERT_FALSE(m.virtualDisplayManager()->sourceSize());
    m.togglePanic();
    EXPECT_EQ(m.virtualDisplayManager()->output.coverImage().size(), QSize(3024, 1964));

    // A cover that cannot be rendered (a display too wide to draw): the last frame stays.
    StateFixture g;
    platform::sim::SimDesktop::DisplaySpec wide;
    wide.frame = QRectF(1512, 0, 20000, 982);
    const quint32 wideID = g.t.desktop.addDisplay(wide);
    g.store(WindowManager::panicModeKey, QStringLiteral("cover"));
    g.store(WindowManager::sharedDisplayKey, qint64(wideID));
    WindowManager& n = g.start();
    n.startVirtualDisplay();
    n.togglePanic();
    EXPECT_EQ(n.virtualDisplayManager()->output, Output::frozen());
    EXPECT_TRUE(n.sharePaused());
}

TEST(WindowManagerVirtualDisplay, ThePanicActionTogglesThePauseWithItsToasts)
{
    StateFixture f;
    WindowManager& m = f.start(false);
    m.togglePanic();
    EXPECT_FALSE(m.sharePaused());
    EXPECT_TRUE(f.hud.toasts.isEmpty());

    // Pausing with no display running: the display started later starts paused.
    m.setIsAuthenticated(true);
    m.setPanicMode(WindowManager::PanicMode::Cover);
    m.togglePanic();
    EXPECT_TRUE(m.sharePaused());
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager()->output.kind(), Output::Kind::Covered);
    m.togglePanic();
    m.setPanicMode(WindowManager::PanicMode::Freeze);
    m.togglePanic();

    ASSERT_EQ(f.hud.toasts.size(), 3);
    const auto& covered = f.hud.toasts[0];
    EXPECT_EQ(covered.appName, QStringLiteral("“Be right back” is showing"));
    EXPECT_TRUE(covered.isVeiled && covered.hasIcon);
    EXPECT_EQ(covered.subtitle, QStringLiteral("PRESS ⌃⌥⌘P TO RESUME"));
    const auto& live = f.hud.toasts[1];
    EXPECT_EQ(live.appName, QStringLiteral("Share is live again"));
    EXPECT_FALSE(live.isVeiled);
    EXPECT_EQ(live.subtitle, QStringLiteral("YOUR CALL SEES YOUR SCREEN"));
    EXPECT_EQ(f.hud.toasts[2].appName, QStringLiteral("Share frozen"));
    EXPECT_EQ(f.hud.toasts[2].subtitle, QStringLiteral("PRESS ⌃⌥⌘P TO RESUME"));
}

TEST(WindowManagerCallbacks, RoutesByTheSchemeAndTheAwaitedHost)
{
    struct Case
    {
        const char* url;
        std::optional<QString> awaited;
        int raises;
        int focusReturns;
        bool toSession;
        std::optional<QString> awaitedAfter;
    };
    const QString auth = QStringLiteral("auth");
    const Case cases[] = {
        {"veilmox://auth?code=x", std::nullopt, 0, 0, true, std::nullopt},
        {"VEILMOX://AUTH?code=x", std::nullopt, 0, 0, true, std::nullopt},
        {"veilmox://auth?code=x", auth, 1, 0, true, std::nullopt},
        {"VeilMox://Auth", auth, 1, 0, true, std::nullopt},
        {"veilmox://other", auth, 0, 1, false, auth},
        {"veilmox:", auth, 0, 1, false, auth},
        {"veilmox://other", std::nullopt, 0, 0, false, std::nullopt},
        {"https://auth?code=x", auth, 0, 0, false, auth},
        {"auth", auth, 0, 0, false, auth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        StateFixture f;
        testing_support::RecordingAccountSession session;
        f.manager->setAccountSession(&session);
        WindowManager& m = f.start();
        m.setBrowserReturnHost(c.awaited);
        const QUrl url(QString::fromUtf8(c.url));
        m.handleCallbackURL(url);
        EXPECT_EQ(f.shell.onboardingRaises, c.raises);
        EXPECT_EQ(f.shell.browserFocusReturns, c.focusReturns);
        EXPECT_EQ(session.callbacks, c.toSession ? QList<QUrl>{url} : QList<QUrl>{});
        EXPECT_EQ(m.browserReturnHost(), c.awaitedAfter);
    }
}
