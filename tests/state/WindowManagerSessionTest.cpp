#include "capture/VirtualDisplayManager.h"
#include "tests/state/StateFixture.h"

#include <gtest/gtest.h>

using testing_support::RecordingAccountSession;
using testing_support::StateFixture;

TEST(WindowManagerSession, StartUpMovesLegacyTokensThenValidatesTheSavedSession)
{
    StateFixture f;
    RecordingAccountSession session;
    f.manager->setAccountSession(&session);
    f.start(false);
    EXPECT_EQ(session.calls, (QStringList{"migrate", "validate"}));
    // The popover's and the onboarding's buttons reach the session through the state object.
    f.manager->startBrowserSignIn();
    f.manager->signOut();
    EXPECT_EQ(session.calls.mid(2), (QStringList{"startBrowserSignIn", "signOut"}));

    // Without a session nobody can confirm a saved one.
    StateFixture g;
    WindowManager& m = g.start(false);
    EXPECT_FALSE(m.isAuthenticated());
    EXPECT_EQ(m.authStatusMessage(), QStringLiteral("Sign in required"));
}

TEST(WindowManagerSession, ApplyingTheSessionStartsOrStopsProtection)
{
    StateFixture f;
    f.store(WindowManager::hiddenKey, QStringList{QStringLiteral("com.example.A")});
    f.store(WindowManager::pinnedKey, QStringList{QStringLiteral("com.example.B")});
    WindowManager& m = f.start(false);

    m.setIsAuthenticated(true);
    m.applySessionState();
    const VirtualDisplayManager* manager = m.virtualDisplayManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(m.isVirtualDisplayRunning());
    EXPECT_EQ(m.pinnedWindowController().pinnedBundleIDs(), QSet<QString>{QStringLiteral("com.example.B")});
    EXPECT_EQ(f.shell.statusIconCounts.last(), 1);
    // A running display is kept.
    m.applySessionState();
    EXPECT_EQ(m.virtualDisplayManager(), manager);

    m.togglePanic();
    m.setIsAuthenticated(false);
    m.applySessionState();
    EXPECT_FALSE(m.sharePaused());
    EXPECT_EQ(m.virtualDisplayManager(), nullptr);
    EXPECT_FALSE(m.isVirtualDisplayRunning());
    EXPECT_TRUE(m.pinnedWindowController().pinnedBundleIDs().isEmpty());
    EXPECT_EQ(f.shell.statusIconCounts.last(), 0);
    // Hidden and pinned choices stay for the next sign-in.
    EXPECT_EQ(m.hiddenBundleIDs().size(), 1);
    EXPECT_EQ(m.pinnedBundleIDs().size(), 1);
}

TEST(WindowManagerSession, TheOfflineRetryDelayStaysWithin15And300Seconds)
{
    StateFixture f;
    WindowManager& m = *f.manager;
    EXPECT_EQ(m.offlineRetryDelay(), 15);
    const std::pair<double, double> cases[] = {
        {60, 60}, {600, 300}, {1, 15}, {-5, 15}, {qQNaN(), 15}, {qInf(), 15}};
    for (const auto& [given, kept] : cases) {
        m.setOfflineRetryDelay(given);
        EXPECT_EQ(m.offlineRetryDelay(), kept) << given;
    }
}
