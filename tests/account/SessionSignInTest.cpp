#include "account/TokenCheck.h"
#include "tests/account/SessionFixture.h"

#include <gtest/gtest.h>

using devservices::Fault;
using devservices::HttpResponse;
using devservices::LocalServices;
using testing_support::SessionTest;

namespace {

const QString kCouldNotReach = QStringLiteral("Couldn't reach Veilmox. Check your connection and try again.");
const QString kSignInFailed = QStringLiteral("Sign-in failed. Try again.");
const QString kInvalidToken = QStringLiteral("Sign-in failed: invalid or expired token.");
const QString kExchangePath = QStringLiteral("/api/auth/desktop-handoff/exchange");

using SessionSignInTest = SessionTest;

QString code(int length, QChar fill = QLatin1Char('a'))
{
    return QString(length, fill);
}

QDateTime secondsAgo(const QDateTime& now, double seconds)
{
    return now.addMSecs(static_cast<qint64>(-seconds * 1000));
}

} // namespace

TEST_F(SessionSignInTest, StartingOpensTheConnectPageClosesThePopoverAndLowersTheOnboarding)
{
    shell.popoverShown = true;
    state->startBrowserSignIn();
    EXPECT_TRUE(state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Waiting for browser sign-in..."));
    EXPECT_EQ(state->handoffRequestedAt(), system.scheduler.currentDate());
    EXPECT_EQ(state->browserReturnHost(), QStringLiteral("auth"));
    EXPECT_EQ(shell.popoverCloses, 1);
    EXPECT_EQ(shell.browserFocusReturns, 1);
    EXPECT_EQ(system.desktop.openedURLs(),
              QList<QUrl>{services.accountURL().resolved(QUrl("/desktop/connect"))});

    // Without the account service's address nothing starts.
    QVariantMap info = system.bundle.infoDictionary();
    info.remove("ACCOUNT_SERVICE_URL");
    system.bundle = platform::Bundle(info);
    state->setAuthStatusMessage(QString());
    state->startBrowserSignIn();
    EXPECT_TRUE(state->authStatusMessage().isEmpty());
    EXPECT_EQ(system.desktop.openedURLs().size(), 1);
}

TEST_F(SessionSignInTest, OnlyAWellFormedCodeOfARecentOrNeededHandOffIsExchanged)
{
    const QString good = code(40);
    struct Case
    {
        const char* name;
        QString query;
        bool signedIn;
        std::optional<double> handoffSecondsAgo;
        bool exchanged;
    };
    const Case cases[] = {
        {"40 characters", "code=" + good, false, std::nullopt, true},
        {"128 characters", "code=" + code(128, 'Z'), false, std::nullopt, true},
        {"every allowed character", "code=aZ09_-" + code(34), false, std::nullopt, true},
        {"39 characters", "code=" + code(39), false, std::nullopt, false},
        {"129 characters", "code=" + code(129), false, std::nullopt, false},
        {"a dot", "code=" + code(39) + ".", false, std::nullopt, false},
        {"a plus sign", "code=" + code(39) + "+", false, std::nullopt, false},
        {"a percent-encoded plus sign", "code=" + code(39) + "%2B", false, std::nullopt, false},
        {"a letter beyond ASCII", "code=" + code(39) + "%C3%A9", false, std::nullopt, false},
        {"no code", "state=" + good, false, std::nullopt, false},
        {"a capital C", "Code=" + good, false, std::nullopt, false},
        {"an empty code", "code=", false, std::nullopt, false},
        {"the first code counts (short)", "code=short&code=" + good, false, std::nullopt, false},
        {"the first code counts (good)", "code=" + good + "&code=short", false, std::nullopt, true},
        {"signed in without a hand-off", "code=" + good, true, std::nullopt, false},
        {"signed in, hand-off just under 30 minutes ago", "code=" + good, true, 1799.9, true},
        {"signed in, hand-off 30 minutes ago", "code=" + good, true, 1800.0, false},
        {"signed out, hand-off 2 hours ago", "code=" + good, false, 7200.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state->setIsAuthenticated(c.signedIn);
        state->setHandoffRequestedAt(c.handoffSecondsAgo ? std::optional(
                                         secondsAgo(system.scheduler.currentDate(), *c.handoffSecondsAgo))
                                                         : std::nullopt);
        state->setAuthStatusMessage(QString());
        state->handleCallbackURL(QUrl("veilmox://auth?" + c.query));
        system.scheduler.runPending();
        EXPECT_EQ(state->authStatusMessage() == QStringLiteral("Connecting your account..."), c.exchanged);
    }
}

TEST_F(SessionSignInTest, EveryExchangeOutcomeHasItsTextAndAFailureKeepsTheSession)
{
    const auto old = signIn();
    state->setIsAuthenticated(true);
    const auto fresh = [this] {
        return services.createSession(LocalServices::defaultAccount());
    };
    struct Case
    {
        const char* name;
        std::function<devservices::Reply()> answer;
        QString status;
        std::function<void()> arrange = [] {
        };
    };
    const Case cases[] = {
        {"transport error", [] { return Fault::DropConnection; }, kCouldNotReach},
        {"410",
         [] { return HttpResponse::json(410, "{}"); },
         QStringLiteral("That sign-in link expired. Sign in again.")},
        {"500", [] { return HttpResponse::json(500, "{}"); }, kSignInFailed},
        {"200, not JSON", [] { return HttpResponse::json(200, "<html>"); }, kCouldNotReach},
        {"200, not an object", [] { return HttpResponse::json(200, "[]"); }, kSignInFailed},
        {"200, empty token", [] { return HttpResponse::json(200, R"({"access_token":""})"); }, kSignInFailed},
        {"200, token not text",
         [] { return HttpResponse::json(200, R"({"access_token":7})"); },
         kSignInFailed},
        {"token fails the local check",
         [] { return HttpResponse::json(200, R"({"access_token":"a.b.c"})"); },
         kInvalidToken},
        {"backend refuses the token",
         [this] {
             const QJsonObject token{{"access_token",
                                      services.signToken(testing_support::usableClaims(
                                          now(), services.backendURL().toString()))}};
             return HttpResponse::json(200, QJsonDocument(token).toJson());
         },
         kInvalidToken},
        {"backend unreachable",
         [&] {
             return HttpResponse::json(
                 200, QJsonDocument(QJsonObject{{"access_token", fresh().accessToken}}).toJson());
         },
         kCouldNotReach,
         [this] {
             services.script("/auth/v1/user", HttpResponse::json(503, "{}"));
         }},
    };
    const QDateTime handoff = system.scheduler.currentDate();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state->setHandoffRequestedAt(handoff);
        c.arrange();
        // Enough for Qt Network's resends of a request whose connection closed unanswered.
        for (int attempt = 0; attempt < 4; ++attempt) {
            services.script(kExchangePath, c.answer());
        }
        session->exchangeHandoffCode(code(40));
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), c.status);
        EXPECT_FALSE(state->authInProgress());
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), old.accessToken);
        EXPECT_EQ(stored(AuthKeychain::refreshTokenAccount), old.refreshToken);
        // A failed exchange keeps the hand-off, so a new link soon after is still taken.
        EXPECT_EQ(state->handoffRequestedAt(), handoff);
        services.clearScript();
    }

    // An answer without a refresh token signs in and leaves none stored.
    const auto pair = fresh();
    services.script(
        kExchangePath,
        HttpResponse::json(200, QJsonDocument(QJsonObject{{"access_token", pair.accessToken}}).toJson()));
    session->exchangeHandoffCode(code(40));
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), pair.accessToken);
    EXPECT_FALSE(stored(AuthKeychain::refreshTokenAccount));
    EXPECT_FALSE(state->handoffRequestedAt());
}

TEST_F(SessionSignInTest, SigningInAsAnotherAccountForgetsTheOnboardingSession)
{
    signIn();
    state->setIsAuthenticated(true);
    analytics->setSessionID(QStringLiteral("onboarding-1"));
    struct Case
    {
        LocalServices::Account account;
        bool keepsSession;
    };
    for (const Case& c :
         {Case{LocalServices::defaultAccount(), true}, Case{{"another-user", "b@veilmox.local"}, false}}) {
        SCOPED_TRACE(c.account.id.toStdString());
        session->exchangeHandoffCode(services.issueCode(c.account));
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
        EXPECT_EQ(userID(stored(AuthKeychain::accessTokenAccount).value_or("")), c.account.id);
        EXPECT_EQ(analytics->sessionID().has_value(), c.keepsSession);
    }
}

TEST_F(SessionSignInTest, AnExchangeAnsweredAfterSignOutIsDropped)
{
    onRequest(kExchangePath, [this] { state->signOut(); });
    session->exchangeHandoffCode(services.issueCode(LocalServices::defaultAccount()));
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
    EXPECT_FALSE(state->isAuthenticated() || state->authInProgress());
    EXPECT_FALSE(stored(AuthKeychain::accessTokenAccount));
}

TEST_F(SessionSignInTest, TheOldSessionsLateAnswerDoesNotTouchANewerSignIn)
{
    signIn();
    // The launch check of the old session hangs until the backend goes away.
    services.script("/auth/v1/user", Fault::NoAnswer);
    launch();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            system.scheduler.runPending();
            return services.backend().heldConnections() == 1;
        },
        5000));
    session->exchangeHandoffCode(services.issueCode(LocalServices::defaultAccount()));
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    const auto newer = stored(AuthKeychain::accessTokenAccount);

    // Its answer now: the backend cannot be reached. Applied, it would put the new session
    // offline and start retrying.
    services.backend().close();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_FALSE(session->hasSessionRetryTask());
    EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), newer);
}
