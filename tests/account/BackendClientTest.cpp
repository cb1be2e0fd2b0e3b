#include "state/WindowManager.h"
#include "tests/account/AccountFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using platform::URLError;

namespace {

const QJsonObject kStartBody{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};

class BackendClientTest : public AccountTest
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

    AccessTokenResult token()
    {
        return await<AccessTokenResult>([&](auto done) { client.validAccessToken(nullptr, done); });
    }

    RPCResult call(const QString& path, const std::optional<QJsonObject>& body = kStartBody)
    {
        return await<RPCResult>([&](auto done) { client.callRPC(path, "POST", body, nullptr, done); });
    }
};

} // namespace

TEST_F(BackendClientTest, TheUserCheckAndTheRefreshMapEveryAnswer)
{
    HttpResponse elsewhere = HttpResponse::empty(302);
    elsewhere.headers.emplaceBack("Location", services.accountURL().resolved(QUrl("/stolen")).toEncoded());
    using User = SessionCheckResult;
    const auto refused = TokenRefreshResult::rejected();
    const auto down = TokenRefreshResult::unreachable();
    const auto ok = &TokenRefreshResult::success;
    // Transport faults, time-outs, throttling and server errors mean "unreachable"; anything else
    // the server says is a refusal unless it is a well-formed success.
    const std::tuple<const char*, Reply, SessionCheckResult, TokenRefreshResult> cases[] = {
        {"400", json(400, "{}"), User::Rejected, refused},
        {"401", json(401, "{}"), User::Rejected, refused},
        {"403", json(403, "{}"), User::Rejected, refused},
        {"404", json(404, "{}"), User::Rejected, refused},
        // Timed out before the server read the request: no verdict.
        {"408", json(408, "{}"), User::Unreachable, down},
        {"429", json(429, "{}"), User::Unreachable, down},
        {"500", json(500, "{}"), User::Unreachable, down},
        {"503", json(503, "{}"), User::Unreachable, down},
        {"a dropped connection", Fault::DropConnection, User::Unreachable, down},
        {"garbage", Fault::Garbage, User::Unreachable, down},
        {"an answer over the size cap", json(200, QByteArray(2 << 20, ' ')), User::Unreachable, down},
        {"a redirect to another origin", elsewhere, User::Rejected, refused},
        // A success that cannot be read was cut short or came from something in between.
        {"not JSON", json(200, "<html>"), User::Unreachable, down},
        {"JSON cut short", json(200, R"({"id":"u","access_token":"A")"), User::Unreachable, down},
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

TEST_F(BackendClientTest, TokensAndTheKeyGoOnlyToAUsableBaseAndTheCallChecksItBeforeTheKeychain)
{
    // The stand-in confirms only a request with the key and a valid token; without the key the
    // header is left out (and this backend refuses).
    EXPECT_EQ(fetch(signIn().accessToken), SessionCheckResult::Valid);
    configure(services.backendURL().toString(), std::nullopt);
    EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
    EXPECT_FALSE(services.requests().last().hasHeader("apikey"));
    // The call reports a missing setting even with nothing stored.
    tokens.deleteItem(kAccess);
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::notConfigured()));

    // Without a usable base address nothing is sent: tokens must not travel in clear text.
    const auto sentSoFar = services.requests().size();
    for (const auto& base : {std::optional<QString>(),
                             std::optional<QString>("  "),
                             std::optional<QString>("http://backend.example.com")}) {
        configure(base, services.options().anonKey);
        EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
        EXPECT_EQ(refresh("r0"), TokenRefreshResult::rejected());
        EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::notConfigured()));
    }
    EXPECT_EQ(services.requests().size(), sentSoFar);
    WindowManager withoutClient(system.services());
    EXPECT_EQ(await<RPCResult>([&](auto done) { withoutClient.callRPC("rpc/x", "POST", {}, nullptr, done); }),
              RPCResult(SupabaseRPCError::notConfigured()));
    configure(services.backendURL().toString(), services.options().anonKey);
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::signedOut()));

    // A refresh that cannot reach the backend sends no call.
    tokens.write("expired-access", kAccess);
    script("/auth/v1/token", json(502, "{}"));
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::unreachable()));
    EXPECT_EQ(services.requestCount("/rest/v1/rpc/x"), 0);
}

TEST_F(BackendClientTest, CallersThatNeedTheSameRefreshAtOnceShareIt)
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
    client.callRPC(
        "rpc/start_or_resume_onboarding", "POST", kStartBody, nullptr, [&](const RPCResult& r) { rpc = r; });
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

TEST_F(BackendClientTest, TheServerLogoutUsesAFreshTokenWhenTheStoredOneExpired)
{
    const QString refresh = "/auth/v1/token";
    const QString logout = "/auth/v1/logout";
    // The tokens the caller holds, and the requests that follow.
    const std::pair<QString, QStringList> cases[] = {
        {"access and refresh tokens", {logout}},
        {"expired access and refresh tokens", {refresh, logout}},
        {"expired access and refused refresh tokens", {refresh}},
        {"expired access token", {}},
        {"refresh token", {refresh, logout}},
        {"nothing", {}},
    };
    for (const auto& [heldTokens, expectedPaths] : cases) {
        // A plain reference, since clang 14 cannot capture a structured binding.
        const QString& held = heldTokens;
        SCOPED_TRACE(held.toStdString());
        const auto pair = signIn();
        if (held.contains("expired")) {
            expireAccessToken();
        }
        if (held.contains("refused")) {
            script(refresh, json(400, "{}"));
        }
        const auto before = services.requests().size();
        const int activeBefore = services.activeSessionCount();
        await<bool>([&](auto done) {
            client.logoutOnServer(held.contains("access") ? std::optional(pair.accessToken) : std::nullopt,
                                  held.contains("refresh") ? std::optional(pair.refreshToken) : std::nullopt,
                                  nullptr,
                                  [done] { done(true); });
        });
        QStringList paths;
        for (auto i = before; i < services.requests().size(); ++i) {
            paths << services.requests()[i].path;
        }
        EXPECT_EQ(paths, expectedPaths);
        // Only a valid token of this session, with the local scope, ends it and it alone.
        EXPECT_EQ(services.activeSessionCount(), activeBefore - int(expectedPaths.contains(logout)));
    }
}

TEST_F(BackendClientTest, ValidAccessTokenUsesTheStoredTokenOrRefreshesIt)
{
    // Absent: signed out, even with a refresh token stored.
    tokens.write("r", kRefresh);
    EXPECT_EQ(token(), AccessTokenResult(SupabaseRPCError::signedOut()));

    const auto pair = signIn();
    EXPECT_EQ(token(), AccessTokenResult(pair.accessToken));
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 0);

    expireAccessToken();
    const AccessTokenResult fresh = token();
    EXPECT_EQ(fresh, AccessTokenResult(stored(kAccess).value_or("")));
    EXPECT_TRUE(client.isAccessTokenUsable(stored(kAccess).value_or("")));
    EXPECT_NE(stored(kRefresh), pair.refreshToken); // rotated and kept
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 1);

    // The refresh's outcome; with no answer scripted, no refresh token is stored.
    const std::pair<std::optional<Reply>, AccessTokenResult> cases[] = {
        {json(200, R"({"access_token":"new-access"})"), QString("new-access")},
        {json(400, "{}"), SupabaseRPCError::signedOut()},
        {json(503, "{}"), SupabaseRPCError::unreachable()},
        {std::nullopt, SupabaseRPCError::signedOut()},
    };
    for (const auto& [answer, expected] : cases) {
        tokens.write("expired-access", kAccess);
        tokens.deleteItem(kRefresh);
        if (answer) {
            tokens.write("stale-refresh", kRefresh);
            script("/auth/v1/token", *answer);
        }
        EXPECT_EQ(token(), expected);
        // Nothing is deleted here, whatever the answer; the session decides that.
        EXPECT_EQ(stored(kRefresh), answer ? std::optional<QString>("stale-refresh") : std::nullopt);
        EXPECT_TRUE(stored(kAccess));
    }
}

TEST_F(BackendClientTest, TheBackendCallReportsEachOutcomeWithItsOwnKind)
{
    HttpResponse elsewhere = HttpResponse::empty(307);
    elsewhere.headers.emplaceBack("Location", services.accountURL().toEncoded() + "/x");
    const std::tuple<const char*, Reply, RPCResult> cases[] = {
        {"a conflict",
         json(409, R"({"message":"duplicate"})"),
         SupabaseRPCError::http(409, R"({"message":"duplicate"})")},
        {"a refusal that is not text", json(400, QByteArray("\xff\xfe", 2)), SupabaseRPCError::http(400, "")},
        {"a server error", json(500, "oops"), SupabaseRPCError::http(500, "oops")},
        {"a redirect elsewhere", elsewhere, SupabaseRPCError::http(307, "")},
        {"a dropped connection", Fault::DropConnection, URLError{URLError::Code::NetworkConnectionLost}},
        {"an answer over the size cap",
         json(200, QByteArray(2 << 20, 'x')),
         URLError{URLError::Code::DataLengthExceedsMaximum}},
    };
    signIn();
    // (The analytics tests make the successful calls; the stand-in checks their key, token and body.)
    script("/rest/v1/rpc/ping", HttpResponse::empty(204));
    EXPECT_EQ(call("rpc/ping", std::nullopt), RPCResult(QByteArray()));
    EXPECT_EQ(services.requests().last().header("Content-Type"), "application/json");
    EXPECT_TRUE(services.requests().last().body.isEmpty());
    for (const auto& [name, answer, expected] : cases) {
        script("/rest/v1/rpc/", answer, 4);
        EXPECT_EQ(call("rpc/record_onboarding_event"), expected) << name;
        services.clearScript();
    }
}

TEST(SupabaseRPCError, DescriptionsShortenLongBodies)
{
    EXPECT_EQ(SupabaseRPCError::http(409, "short").description(), "http(409, \"short\")");
    const QString described = SupabaseRPCError::http(500, QString(5000, 'b')).description();
    EXPECT_LT(described.size(), 220);
    EXPECT_TRUE(described.contains(QString(200, 'b') + "…"));
    EXPECT_EQ(SupabaseRPCError::signedOut().description(), "signedOut");
}

TEST_F(BackendClientTest, NoTokenOrBodyReachesTheLog)
{
    const auto pair = signIn();
    expireAccessToken();
    // A refresh, a failing call whose answer echoes what was sent, and a failed server logout.
    script("/rest/v1/rpc/", json(500, "echo " + pair.refreshToken.toUtf8()));
    EXPECT_TRUE(std::holds_alternative<SupabaseRPCError>(call("rpc/record_onboarding_event")));
    await<bool>([&](auto done) {
        client.logoutOnServer(pair.accessToken, pair.refreshToken, nullptr, [done] { done(true); });
    });

    const QString fresh = stored(kAccess).value_or("-");
    for (const auto& [category, message] : logged()) {
        for (const QString& secret : {pair.accessToken, pair.refreshToken, fresh}) {
            EXPECT_FALSE(message.contains(secret)) << message.toStdString();
        }
    }
}
