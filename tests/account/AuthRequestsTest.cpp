#include "tests/account/AccountFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class AuthRequests : public AccountTest
{
protected:
    SessionCheckResult fetch(const QString& token)
    {
        return await<SessionCheckResult>([&](auto done) { client.fetchUser(token, nullptr, done); });
    }

    TokenRefreshResult refresh(const QString& token)
    {
        return await<TokenRefreshResult>([&](auto done) { client.refreshTokens(token, nullptr, done); });
    }

    // The paths of the requests sent from the given one on.
    QStringList pathsSince(qsizetype first) const
    {
        QStringList paths;
        for (auto i = first; i < services.requests().size(); ++i) {
            paths.append(services.requests()[i].path);
        }
        return paths;
    }
};

} // namespace

TEST_F(AuthRequests, TheUserCheckAndTheRefreshMapEveryAnswer)
{
    HttpResponse elsewhere = HttpResponse::empty(302);
    elsewhere.headers.emplaceBack("Location", services.accountURL().resolved(QUrl("/stolen")).toEncoded());
    using User = SessionCheckResult;
    const auto refused = TokenRefreshResult::rejected();
    const auto down = TokenRefreshResult::unreachable();
    const auto ok = &TokenRefreshResult::success;
    // Transport faults, throttling and server errors mean "unreachable"; anything else the server
    // says is a refusal unless it is a well-formed success.
    const std::tuple<const char*, Reply, SessionCheckResult, TokenRefreshResult> cases[] = {
        {"400", json(400, "{}"), User::Rejected, refused},
        {"401", json(401, "{}"), User::Rejected, refused},
        {"403", json(403, "{}"), User::Rejected, refused},
        {"404", json(404, "{}"), User::Rejected, refused},
        {"429", json(429, "{}"), User::Unreachable, down},
        {"500", json(500, "{}"), User::Unreachable, down},
        {"503", json(503, "{}"), User::Unreachable, down},
        {"a dropped connection", Fault::DropConnection, User::Unreachable, down},
        {"garbage", Fault::Garbage, User::Unreachable, down},
        {"an answer over the size cap", json(200, QByteArray(2 << 20, ' ')), User::Unreachable, down},
        {"a redirect to another origin", elsewhere, User::Rejected, refused},
        {"not JSON", json(200, "<html>"), User::Rejected, refused},
        {"an array", json(200, "[]"), User::Rejected, refused},
        {"id, both tokens",
         json(200, R"({"id":"u","access_token":"A","refresh_token":"R"})"),
         User::Valid,
         ok("A", "R")},
        {"empty id, access token only",
         json(200, R"({"id":"","access_token":"A"})"),
         User::Rejected,
         ok("A", {})},
        {"numbers",
         json(200, R"({"id":5,"access_token":"A","refresh_token":7})"),
         User::Rejected,
         ok("A", {})},
        {"no id, empty access token", json(200, R"({"access_token":""})"), User::Rejected, refused},
    };
    for (const auto& [name, reply, user, refreshed] : cases) {
        script("/auth/v1/user", reply, 4);
        EXPECT_EQ(fetch("token"), user) << name;
        script("/auth/v1/token", reply, 4);
        EXPECT_EQ(refresh("r0"), refreshed) << name;
        services.clearScript();
    }
    // The redirect to the other origin (which records what it gets too) was not followed, so the
    // token never reached it.
    EXPECT_EQ(services.requestCount("/stolen"), 0);
}

TEST_F(AuthRequests, TokensAndTheKeyGoOnlyToAUsableBase)
{
    // The stand-in confirms only a request with the key and a valid token.
    const auto pair = signIn();
    EXPECT_EQ(fetch(pair.accessToken), SessionCheckResult::Valid);
    expireAccessToken();
    EXPECT_EQ(fetch(pair.accessToken), SessionCheckResult::Rejected);
    // A refresh token goes in the body alone.
    EXPECT_EQ(refresh("r0"), TokenRefreshResult::rejected());
    const HttpRequest sent = services.requests().last();
    EXPECT_FALSE(sent.hasHeader("Authorization"));
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), QJsonObject({{"refresh_token", "r0"}}));

    // Without the key the header is left out (and this backend refuses).
    configure(services.backendURL().toString(), std::nullopt);
    EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
    EXPECT_FALSE(services.requests().last().hasHeader("apikey"));

    // Without a usable base address nothing is sent: tokens must not travel in clear text.
    const auto sentSoFar = services.requests().size();
    for (const auto& base : {std::optional<QString>(),
                             std::optional<QString>("  "),
                             std::optional<QString>("http://backend.example.com")}) {
        configure(base, services.options().anonKey);
        EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
        EXPECT_EQ(refresh("r0"), TokenRefreshResult::rejected());
    }
    EXPECT_EQ(services.requests().size(), sentSoFar);
}

TEST_F(AuthRequests, CallersThatNeedTheSameRefreshAtOnceShareIt)
{
    const auto pair = signIn();
    expireAccessToken();
    std::vector<TokenRefreshResult> refreshed;
    for (int i = 0; i < 2; ++i) {
        client.refreshTokens(
            pair.refreshToken, nullptr, [&](const TokenRefreshResult& r) { refreshed.push_back(r); });
    }
    std::optional<AccessTokenResult> accessToken;
    client.validAccessToken(nullptr, [&](const AccessTokenResult& r) { accessToken = r; });
    std::optional<RPCResult> rpc;
    const QJsonObject start{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};
    client.callRPC(
        "rpc/start_or_resume_onboarding", "POST", start, nullptr, [&](const RPCResult& r) { rpc = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshed.size() == 2 && accessToken && rpc; }, 5000));
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 1);
    ASSERT_EQ(refreshed[0].kind, TokenRefreshResult::Kind::Success);
    EXPECT_EQ(refreshed[1], refreshed[0]);
    EXPECT_EQ(*accessToken, AccessTokenResult(refreshed[0].accessToken));
    EXPECT_TRUE(std::holds_alternative<QByteArray>(*rpc));
    // The rotating backend kept the session: nothing was taken for a stolen token.
    EXPECT_EQ(services.activeSessionCount(), 1);

    // Once answered, the used token is sent again if asked, and the backend sees its reuse.
    EXPECT_EQ(refresh(pair.refreshToken), TokenRefreshResult::rejected());
    EXPECT_EQ(services.activeSessionCount(), 0);
}

TEST_F(AuthRequests, TheServerLogoutUsesAFreshTokenWhenTheStoredOneExpired)
{
    struct Case
    {
        const char* name;
        bool access;
        bool expired;
        bool refresh;
        bool refreshRefused;
        QStringList expectedPaths;
    };
    const Case cases[] = {
        {"a usable access token", true, false, true, false, {"/auth/v1/logout"}},
        {"an expired access token", true, true, true, false, {"/auth/v1/token", "/auth/v1/logout"}},
        {"an expired token, refresh refused", true, true, true, true, {"/auth/v1/token"}},
        {"an expired token, no refresh token", true, true, false, false, {}},
        {"only a refresh token", false, false, true, false, {"/auth/v1/token", "/auth/v1/logout"}},
        {"no tokens", false, false, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pair = signIn();
        if (c.expired) {
            expireAccessToken();
        }
        if (c.refreshRefused) {
            script("/auth/v1/token", json(400, "{}"));
        }
        const auto before = services.requests().size();
        const int activeBefore = services.activeSessionCount();
        std::optional<bool> done;
        client.logoutOnServer(c.access ? std::optional(pair.accessToken) : std::nullopt,
                              c.refresh ? std::optional(pair.refreshToken) : std::nullopt,
                              nullptr,
                              [&] { done = true; });
        ASSERT_TRUE(arrives(done));
        EXPECT_EQ(pathsSince(before), c.expectedPaths);
        const bool loggedOut = c.expectedPaths.contains("/auth/v1/logout");
        EXPECT_EQ(services.activeSessionCount(), loggedOut ? activeBefore - 1 : activeBefore);
        if (loggedOut) {
            const HttpRequest sent = services.requests().last();
            EXPECT_EQ(sent.target, "/auth/v1/logout?scope=local");
            EXPECT_EQ(sent.header("Authorization") == "Bearer " + pair.accessToken.toLatin1(),
                      !c.expired && c.access);
        }
    }
}
