#include "capture/SCOverlayController.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/VirtualDisplay.h"
#include "tests/state/StateFixture.h"

#include <QPointer>

#include <gtest/gtest.h>

using testing_support::RecordingAccountSession;
using testing_support::StateFixture;
using Output = VirtualDisplayManager::Output;
using Toast = testing_support::RecordingHUD::Toast;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");
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

using WindowManagerSession = testing_support::StateTest;
using WindowManagerVirtualDisplay = testing_support::StateTest;

TEST_F(WindowManagerSession, StartUpMovesLegacyTokensThenValidatesTheSavedSession)
{
    RecordingAccountSession session;
    manager->setAccountSession(&session);
    start(false);
    EXPECT_EQ(session.calls, (QStringList{"migrate", "validate"}));

    // Without a session nobody can confirm a saved one.
    StateFixture g;
    WindowManager& m = g.start(false);
    EXPECT_FALSE(m.isAuthenticated());
    EXPECT_EQ(m.authStatusMessage(), QStringLiteral("Sign in required"));
}

TEST_F(WindowManagerSession, TheOfflineRetryDelayStaysWithin15And300Seconds)
{
    WindowManager& m = *manager;
    EXPECT_EQ(m.offlineRetryDelay(), 15);
    const std::pair<double, double> cases[] = {
        {60, 60}, {600, 300}, {1, 15}, {-5, 15}, {qQNaN(), 15}, {qInf(), 15}};
    for (const auto& [given, kept] : cases) {
        m.setOfflineRetryDelay(given);
        EXPECT_EQ(m.offlineRetryDelay(), kept) << given;
    }
}

TEST_F(WindowManagerVirtualDisplay, TheSessionStartsItWithTheChoicesAndSigningOutClearsEverything)
{
    const quint32 window = t.launchAppWithWindow(kA, QStringLiteral("A")).second;
    const quint32 second = t.desktop.addDisplay();
    store(WindowManager::hiddenWindowsKey, QVariantMap{{QString::number(window), kA}});
    store(WindowManager::pinnedKey, QStringList{kB});
    store(WindowManager::hideNotificationsKey, false);
    WindowManager& m = start(false);
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Sign in to start virtual display."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());

    m.setIsAuthenticated(true);
    m.applySessionState();
    VirtualDisplayManager* display = m.virtualDisplayManager();
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->excludedWindowIDs, QSet<quint32>{window});
    EXPECT_FALSE(display->hideNotifications);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), kCreating);
    EXPECT_EQ(m.pinnedWindowController().pinnedBundleIDs(), QSet<QString>{kB});
    EXPECT_EQ(shell.statusIconCounts.last(), 1);
    t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
    EXPECT_TRUE(m.virtualDisplayPreviewImage());

    // Later choices reach the running display and are stored.
    m.toggleHidden(kA);
    EXPECT_EQ(display->excludedBundleIDs, QSet<QString>{kA});
    m.toggleFocusStage();
    EXPECT_FALSE(display->focusStageEnabled);
    EXPECT_EQ(t.defaults.object(WindowManager::focusStageKey), QVariant(false));
    m.selectSharedDisplay(second);
    EXPECT_EQ(t.defaults.object(WindowManager::sharedDisplayKey), QVariant(qint64(second)));
    EXPECT_EQ(std::pair(display->sourceDisplayID, display->mainDisplayID),
              std::pair(std::optional(second), std::optional(second)));
    // A saved display that is gone falls back to the first listed, without losing the choice.
    t.desktop.removeDisplay(second);
    EXPECT_EQ(m.effectiveSharedDisplayID(), t.mainDisplay);
    EXPECT_EQ(m.sharedDisplayID(), second);

    // A running display is kept, however it is asked for.
    m.startVirtualDisplay();
    EXPECT_EQ(m.virtualDisplayStatus(), QStringLiteral("Virtual display is already running."));
    m.applySessionState();
    EXPECT_EQ(m.virtualDisplayManager(), display);

    m.togglePanic();
    m.setIsAuthenticated(false);
    m.applySessionState();
    t.scheduler.runPending();
    EXPECT_FALSE(m.sharePaused());
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), QString());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
    EXPECT_TRUE(t.virtualDisplays.displays().isEmpty());
    EXPECT_TRUE(m.pinnedWindowController().pinnedBundleIDs().isEmpty());
    EXPECT_EQ(shell.statusIconCounts.last(), 0);
    // Hidden and pinned choices stay for the next sign-in.
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
    EXPECT_EQ(m.pinnedBundleIDs(), QSet<QString>{kB});
}

TEST_F(WindowManagerVirtualDisplay, AStartThatFailsAtOnceLeavesNoManagerAndKeepsTheError)
{
    // Before a display is made, and in the making (each failure's text is the manager's own).
    const std::pair<std::function<void(testing_support::TestDesktop&)>, const char*> cases[] = {
        {[](auto& d) { d.desktop.removeDisplay(d.mainDisplay); }, "No display found."},
        {[](auto& d) { d.virtualDisplays.setSettingsFail(true); }, "Failed to configure virtual display."},
    };
    for (const auto& [arrange, text] : cases) {
        SCOPED_TRACE(text);
        StateFixture f;
        arrange(f.t);
        WindowManager& m = f.start();
        m.startVirtualDisplay();
        f.t.scheduler.advance(10);
        EXPECT_EQ(m.virtualDisplayManager(), nullptr);
        EXPECT_FALSE(m.isVirtualDisplayRunning());
        EXPECT_EQ(std::pair(m.virtualDisplayStatus(), m.virtualDisplayStatusIsError()),
                  std::pair(QString::fromUtf8(text), true));
    }
}

TEST_F(WindowManagerVirtualDisplay, TheDisplaysOwnEndClearsItsStateButKeepsAnErrorLine)
{
    t.virtualDisplays.setRefusesRegistration(true);
    WindowManager& m = start();
    m.startVirtualDisplay();
    // The manager calls the close handler from inside its own check: it must outlive that call.
    VirtualDisplayManager* display = m.virtualDisplayManager();
    QPointer<VirtualDisplayManager> watched(display);
    bool aliveAfterHandler = false;
    display->closeHandler = [handler = display->closeHandler, &watched, &aliveAfterHandler] {
        handler();
        aliveAfterHandler = !watched.isNull();
    };
    t.scheduler.advance(6.5);
    EXPECT_TRUE(aliveAfterHandler);
    EXPECT_TRUE(watched.isNull());
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(),
              QStringLiteral("Virtual display did not register after 5 attempts. Try again."));
    EXPECT_TRUE(m.virtualDisplayStatusIsError());
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
}

TEST_F(WindowManagerVirtualDisplay, LateReportsOfAnEarlierManagerLeaveTheNewerOneAlone)
{
    WindowManager& m = startReady(*this);
    const VirtualDisplayManager* old = m.virtualDisplayManager();
    const auto oldStatus = old->statusHandler;
    const auto oldFrame = old->frameHandler;
    const auto oldClose = old->closeHandler;
    // The stopped manager's mirror window closes a turn later and reports the end then.
    m.stopVirtualDisplay();
    m.startVirtualDisplay();
    t.scheduler.runPending();
    oldStatus(QStringLiteral("Shared display not found."), true);
    oldFrame(QImage(2, 2, QImage::Format_ARGB32));
    oldClose();

    ASSERT_NE(m.virtualDisplayManager(), nullptr);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.virtualDisplayStatus(), kCreating);
    EXPECT_FALSE(m.virtualDisplayPreviewImage());
    t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    EXPECT_EQ(m.virtualDisplayStatus(), kReady);
}

TEST_F(WindowManagerVirtualDisplay, TheCoverFallsBackToItsDefaultSizeAndThenToFreezing)
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
        RecordingAccountSession session;
        f.manager->setAccountSession(&session);
        WindowManager& m = f.start();
        m.setBrowserReturnHost(c.awaited ? std::optional<QString>("auth") : std::nullopt);
        const QUrl url(QString::fromUtf8(c.url));
        m.handleCallbackURL(url);
        EXPECT_EQ(std::pair(f.shell.onboardingRaises, f.shell.browserFocusReturns),
                  std::pair(c.raises, c.focusReturns));
        EXPECT_EQ(session.callbacks, c.toSession ? QList<QUrl>{url} : QList<QUrl>{});
        // The awaited hand-off is over only when it came back.
        EXPECT_EQ(m.browserReturnHost().has_value(), c.awaited && c.raises == 0);
    }
}
