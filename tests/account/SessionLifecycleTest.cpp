#include "account/SessionLifecycle.h"

#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/account/AccountFixture.h"

#include <gtest/gtest.h>

using devservices::HttpResponse;
using testing_support::AccountTest;

namespace {

class SessionLifecycleTest : public AccountTest
{
protected:
    // The state object with the session installed, started as the application starts it.
    WindowManager& launch()
    {
        session.reset();
        state = std::make_unique<WindowManager>(system.services(), &registry);
        session = std::make_unique<SessionLifecycle>(*state, *client, system.services());
        state->setAccountSession(session.get());
        state->start();
        return *state;
    }

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

    std::optional<QString> stored(const QString& account) const { return tokens.read(account); }

    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    std::unique_ptr<WindowManager> state;
    std::unique_ptr<SessionLifecycle> session;
};

QString code(int length, QChar fill = QLatin1Char('a'))
{
    return QString(length, fill);
}

} // namespace

TEST_F(SessionLifecycleTest, WithoutASavedTokenASignInIsRequired)
{
    tokens.write(QString(), AuthKeychain::accessTokenAccount);
    WindowManager& m = launch();
    EXPECT_FALSE(m.isAuthenticated() || m.authInProgress());
    EXPECT_EQ(m.authStatusMessage(), QStringLiteral("Sign in required"));
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
        {"Session refreshed", [this] { expireAccessToken(); }, true},
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
        // Last: the backend stays closed.
        {"Offline — reconnecting...", [this] { services.backend().close(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        signIn();
        c.arrange();
        WindowManager& m = launch();
        EXPECT_EQ(m.authStatusMessage(), QStringLiteral("Validating saved session..."));
        ASSERT_TRUE(settles());
        EXPECT_EQ(m.authStatusMessage(), QString::fromUtf8(c.status));
        EXPECT_EQ(m.isAuthenticated(), c.signedIn);
        // Signed in, the virtual display runs; only a definite refusal removes the tokens.
        EXPECT_EQ(m.isVirtualDisplayRunning(), c.signedIn);
        EXPECT_EQ(stored(AuthKeychain::accessTokenAccount).has_value(), c.signedIn);
        services.clearScript();
        // Gone before the next case moves the clock (its display would capture all the while).
        session.reset();
        state.reset();
    }
}

TEST_F(SessionLifecycleTest, ARefreshedSessionStoresTheNewTokensAndNeverSendsTheExpiredOne)
{
    const auto pair = signIn();
    expireAccessToken();
    launch();
    ASSERT_TRUE(settles());
    EXPECT_EQ(services.requestCount("/auth/v1/user"), 0);
    EXPECT_NE(stored(AuthKeychain::accessTokenAccount), pair.accessToken);
    EXPECT_NE(stored(AuthKeychain::refreshTokenAccount).value_or(pair.refreshToken), pair.refreshToken);
}

TEST_F(SessionLifecycleTest, OnlyAWellFormedCodeOfARecentOrNeededSignInIsTaken)
{
    const QString good = code(40);
    struct Case
    {
        const char* name;
        QString query;
        bool signedIn;
        std::optional<double> handoffSecondsAgo;
        std::optional<QString> taken;
    };
    const Case cases[] = {
        {"40 characters", "code=" + good, false, std::nullopt, good},
        {"128 characters", "code=" + code(128, 'Z'), false, std::nullopt, code(128, 'Z')},
        {"all allowed characters", "code=aZ09_-" + code(34), false, std::nullopt, "aZ09_-" + code(34)},
        {"39 characters", "code=" + code(39), false, std::nullopt, std::nullopt},
        {"129 characters", "code=" + code(129), false, std::nullopt, std::nullopt},
        {"a dot", "code=" + code(39) + ".", false, std::nullopt, std::nullopt},
        {"a letter beyond ASCII", "code=" + code(39) + "%C3%A9", false, std::nullopt, std::nullopt},
        {"no code", "state=" + good, false, std::nullopt, std::nullopt},
        {"an empty code", "code=", false, std::nullopt, std::nullopt},
        {"the first code counts", "code=short&code=" + good, false, std::nullopt, std::nullopt},
        {"signed in without a hand-off", "code=" + good, true, std::nullopt, std::nullopt},
        {"signed in, hand-off 10 minutes ago", "code=" + good, true, 600.0, good},
        {"signed in, hand-off 31 minutes ago", "code=" + good, true, 1860.0, std::nullopt},
        {"signed out, hand-off 2 hours ago", "code=" + good, false, 7200.0, good},
    };
    WindowManager& m = launch();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session = std::make_unique<SessionLifecycle>(*state, *client, system.services());
        m.setAccountSession(session.get());
        m.setIsAuthenticated(c.signedIn);
        m.setHandoffRequestedAt(c.handoffSecondsAgo
                                    ? std::optional<QDateTime>(system.scheduler.currentDate().addMSecs(
                                        static_cast<qint64>(-*c.handoffSecondsAgo * 1000)))
                                    : std::nullopt);
        m.handleCallbackURL(QUrl("veilmox://auth?" + c.query));
        system.scheduler.runPending();
        EXPECT_EQ(session->pendingHandoffCode(), c.taken);
    }
}
