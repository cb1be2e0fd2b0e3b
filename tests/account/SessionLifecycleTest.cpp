#include "tests/account/SessionFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using devservices::HttpResponse;
using testing_support::SessionTest;

namespace {

const QString kOffline = QString::fromUtf8("Offline — reconnecting...");
const QString kExpired = QStringLiteral("Saved session expired. Sign in required");

class SessionLifecycleTest : public SessionTest
{
protected:
    // Lets the deferred check and the backend's answers arrive.
    bool settles()
    {
        return QTest::qWaitFor(
            [this] {
                system.scheduler.runPending();
                return !state->authInProgress();
            },
            5000);
    }

    int userChecks() const { return services.requestCount("/auth/v1/user"); }

    // The next user checks answer 503: the backend cannot be reached now.
    void outage(int checks)
    {
        for (int i = 0; i < checks; ++i) {
            services.script("/auth/v1/user", HttpResponse::json(503, "{}"));
        }
    }
};

} // namespace

TEST_F(SessionLifecycleTest, WithoutASavedTokenASignInIsRequired)
{
    // Absent, and stored but empty.
    for (const bool storeEmpty : {false, true}) {
        if (storeEmpty) {
            tokens.write(QString(), AuthKeychain::accessTokenAccount);
        }
        session->validateSavedSession();
        EXPECT_FALSE(state->isAuthenticated() || state->authInProgress());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Sign in required"));
    }
    launch();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(state->isVirtualDisplayRunning());
    EXPECT_TRUE(services.requests().isEmpty());
}

TEST_F(SessionLifecycleTest, TheSavedSessionIsConfirmedRefreshedKeptOrExpired)
{
    struct Case
    {
        const char* status;
        std::function<void()> arrange;
        bool signedIn;
    };
    const auto refuseUserCheck = [this] {
        services.script("/auth/v1/user", HttpResponse::json(401, R"({"msg":"invalid"})"));
    };
    const Case cases[] = {
        {"Signed in", [] {}, true},
        {"Session refreshed",
         [this] { tokens.write(expiredToken(), AuthKeychain::accessTokenAccount); },
         true},
        {"Saved session expired. Sign in required",
         [&] {
             refuseUserCheck();
             tokens.deleteItem(AuthKeychain::refreshTokenAccount);
         },
         false},
        {"Saved session expired. Sign in required",
         [&] {
             refuseUserCheck();
             services.script("/auth/v1/token", HttpResponse::json(400, R"({"error":"invalid_grant"})"));
         },
         false},
        {"Offline — reconnecting...", [this] { outage(1); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        state->stopVirtualDisplay();
        signIn();
        c.arrange();
        session->validateSavedSession();
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Validating saved session..."));
        EXPECT_TRUE(state->authInProgress());
        ASSERT_TRUE(settles());
        EXPECT_EQ(state->authStatusMessage(), QString::fromUtf8(c.status));
        EXPECT_EQ(state->isAuthenticated(), c.signedIn);
        // Signed in (or kept while offline), the virtual display runs; only a definite refusal
        // removes the tokens.
        EXPECT_EQ(state->isVirtualDisplayRunning(), c.signedIn);
        EXPECT_EQ(stored(AuthKeychain::accessTokenAccount).has_value(), c.signedIn);
        services.clearScript();
    }
}

TEST_F(SessionLifecycleTest, ARefreshStoresTheNewTokensAndNeverSendsTheExpiredOne)
{
    const auto pair = signIn();
    tokens.write(expiredToken(), AuthKeychain::accessTokenAccount);
    session->validateSavedSession();
    ASSERT_TRUE(settles());
    EXPECT_EQ(userChecks(), 0);
    EXPECT_TRUE(client->isAccessTokenUsable(stored(AuthKeychain::accessTokenAccount).value_or("")));
    EXPECT_NE(stored(AuthKeychain::refreshTokenAccount).value_or(pair.refreshToken), pair.refreshToken);

    // An answer without a refresh token keeps the one that was used.
    const QString used = stored(AuthKeychain::refreshTokenAccount).value_or("");
    tokens.write(expiredToken(), AuthKeychain::accessTokenAccount);
    services.script("/auth/v1/token", HttpResponse::json(200, R"({"access_token":"fresh"})"));
    session->validateSavedSession();
    ASSERT_TRUE(settles());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
    EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), QStringLiteral("fresh"));
    EXPECT_EQ(stored(AuthKeychain::refreshTokenAccount), used);
}

TEST_F(SessionLifecycleTest, OfflineRetriesBackOffWithoutEndAndStartAgainAt15SecondsAfterRecovery)
{
    // Without the permission the display takes no pictures while the clock runs for minutes.
    system.desktop.setScreenRecordingPermission(false);
    signIn();
    outage(8);
    launch();
    ASSERT_TRUE(settles());
    EXPECT_EQ(state->authStatusMessage(), kOffline);
    EXPECT_TRUE(state->isVirtualDisplayRunning());

    int checks = userChecks();
    for (const double delay : {15, 30, 60, 120, 240, 300, 300}) {
        SCOPED_TRACE(delay);
        system.scheduler.advance(delay - 0.5);
        ASSERT_TRUE(drain());
        EXPECT_EQ(userChecks(), checks);
        system.scheduler.advance(0.5);
        ASSERT_TRUE(drain());
        EXPECT_EQ(userChecks(), ++checks);
        EXPECT_EQ(state->authStatusMessage(), kOffline);
        EXPECT_TRUE(state->isAuthenticated());
    }

    // The backend answers again: signed in, and the next outage starts over at 15 s.
    services.clearScript();
    system.scheduler.advance(300);
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_EQ(state->offlineRetryDelay(), 15);
    EXPECT_FALSE(session->hasSessionRetryTask());

    outage(1);
    session->validateSession(stored(AuthKeychain::accessTokenAccount).value_or(""));
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), kOffline);
    EXPECT_EQ(state->offlineRetryDelay(), 30);
    system.scheduler.advance(15);
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
}

TEST_F(SessionLifecycleTest, ARetryThatWakesAfterASignInValidatesTheNewSessionAndAfterExpiryDoesNothing)
{
    signIn();
    outage(1);
    launch();
    ASSERT_TRUE(settles());
    ASSERT_TRUE(session->hasSessionRetryTask());

    // A sign-in during the outage forgets the retry without cancelling it.
    session->applySignedIn(QStringLiteral("Signed in"));
    EXPECT_FALSE(session->hasSessionRetryTask());
    state->setAuthStatusMessage(QString());
    const int checks = userChecks();
    system.scheduler.advance(15);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks + 1);
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));

    // Offline again, then the session expires before the retry wakes.
    outage(1);
    session->validateSession(stored(AuthKeychain::accessTokenAccount).value_or(""));
    ASSERT_TRUE(drain());
    session->expireSavedSession();
    EXPECT_EQ(state->authStatusMessage(), kExpired);
    system.scheduler.advance(300);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks + 2);
    EXPECT_FALSE(state->isAuthenticated());
}

TEST_F(SessionLifecycleTest, SignOutCancelsTheRetryLiftsThePauseBeforeTheDisplayStopsAndEndsTheServerSession)
{
    signIn();
    outage(1);
    launch();
    ASSERT_TRUE(settles());
    state->togglePanic();
    ASSERT_TRUE(state->sharePaused());
    analytics->setSessionID(QStringLiteral("onboarding-1"));
    state->setHandoffRequestedAt(system.scheduler.currentDate());

    QStringList order;
    QObject::connect(state.get(), &WindowManager::sharePausedChanged, [&](bool paused) {
        order << (paused ? "paused" : "live");
    });
    QObject::connect(state.get(), &WindowManager::isVirtualDisplayRunningChanged, [&](bool running) {
        order << (running ? "running" : "stopped");
    });
    state->signOut();
    EXPECT_EQ(order, (QStringList{"live", "stopped"}));
    EXPECT_FALSE(state->isAuthenticated() || state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
    EXPECT_FALSE(state->handoffRequestedAt().has_value());
    EXPECT_FALSE(analytics->sessionID().has_value());
    EXPECT_FALSE(stored(AuthKeychain::accessTokenAccount) || stored(AuthKeychain::refreshTokenAccount));
    EXPECT_FALSE(session->hasSessionRetryTask());

    const int checks = userChecks();
    system.scheduler.advance(20);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks);
    EXPECT_EQ(services.requestCount("/auth/v1/logout"), 1);
    EXPECT_EQ(services.activeSessionCount(), 0);

    // With nothing stored the logout sends nothing.
    const int logouts = services.requestCount("/auth/v1/logout");
    state->signOut();
    ASSERT_TRUE(drain());
    EXPECT_EQ(services.requestCount("/auth/v1/logout"), logouts);
}

TEST_F(SessionLifecycleTest, AnswersThatArriveAfterSignOutAreDropped)
{
    // Each answer, applied, would sign the user back in or write the tokens back.
    struct Case
    {
        const char* name;
        const char* path;
        bool expiredAccessToken;
        std::optional<devservices::Reply> answer; // none: the stand-in's own
    };
    const Case cases[] = {
        {"user check confirms", "/auth/v1/user", false, std::nullopt},
        {"user check unreachable", "/auth/v1/user", false, HttpResponse::json(503, "{}")},
        {"user check refuses", "/auth/v1/user", false, HttpResponse::json(401, "{}")},
        {"refresh succeeds", "/auth/v1/token", true, std::nullopt},
        {"refresh unreachable", "/auth/v1/token", true, HttpResponse::json(503, "{}")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        signIn();
        if (c.expiredAccessToken) {
            tokens.write(expiredToken(), AuthKeychain::accessTokenAccount);
        }
        if (c.answer) {
            services.script(c.path, *c.answer);
        }
        onRequest(c.path, [this] { state->signOut(); });
        session->validateSavedSession();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
        EXPECT_FALSE(state->isAuthenticated() || state->isVirtualDisplayRunning());
        EXPECT_FALSE(session->hasSessionRetryTask());
        EXPECT_FALSE(stored(AuthKeychain::accessTokenAccount) || stored(AuthKeychain::refreshTokenAccount));
        services.clearScript();
    }
}

TEST_F(SessionLifecycleTest, ARefreshOfTheBackendCallCompletingAfterSignOutWritesNothing)
{
    signIn();
    launch();
    ASSERT_TRUE(settles());
    tokens.write(expiredToken(), AuthKeychain::accessTokenAccount);
    onRequest("/auth/v1/token", [this] { state->signOut(); });
    std::optional<AccessTokenResult> result;
    state->validAccessToken(nullptr, [&](const AccessTokenResult& r) { result = r; });
    ASSERT_TRUE(arrives(result));
    ASSERT_TRUE(drain());
    ASSERT_TRUE(std::holds_alternative<SupabaseRPCError>(*result));
    EXPECT_EQ(std::get<SupabaseRPCError>(*result), SupabaseRPCError::signedOut());
    EXPECT_FALSE(stored(AuthKeychain::accessTokenAccount) || stored(AuthKeychain::refreshTokenAccount));
}

TEST_F(SessionLifecycleTest, ALateRefusalNeverDeletesTokensStoredMeanwhile)
{
    signIn();
    tokens.write(expiredToken(), AuthKeychain::accessTokenAccount);
    services.script("/auth/v1/token", HttpResponse::json(400, R"({"error":"invalid_grant"})"));
    devservices::LocalServices::TokenPair newer;
    onRequest("/auth/v1/token", [&] {
        // Another writer stores a newer session while the refusal is on its way.
        newer = services.createSession(devservices::LocalServices::defaultAccount());
        tokens.write(newer.accessToken, AuthKeychain::accessTokenAccount);
        tokens.write(newer.refreshToken, AuthKeychain::refreshTokenAccount);
    });
    session->validateSavedSession();
    ASSERT_TRUE(settles());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), newer.accessToken);
    EXPECT_EQ(stored(AuthKeychain::refreshTokenAccount), newer.refreshToken);
}
