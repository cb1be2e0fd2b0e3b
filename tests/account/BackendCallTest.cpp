#include "state/WindowManager.h"
#include "tests/account/AccountFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using platform::URLError;

namespace {

const QJsonObject kStartBody{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};

class BackendCall : public AccountTest
{
protected:
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

TEST_F(BackendCall, ValidAccessTokenUsesTheStoredTokenOrRefreshesIt)
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

TEST_F(BackendCall, CallsTheRemoteProcedureWithAValidToken)
{
    // The stand-in answers only a request with the key, a valid token and a well-formed body.
    signIn();
    const RPCResult answer = call("rpc/start_or_resume_onboarding");
    ASSERT_TRUE(std::holds_alternative<QByteArray>(answer));
    EXPECT_FALSE(QJsonDocument::fromJson(std::get<QByteArray>(answer))["session_id"].toString().isEmpty());
    EXPECT_EQ(services.requests().last().header("Content-Type"), "application/json");
    // An expired token is refreshed first.
    expireAccessToken();
    EXPECT_TRUE(std::holds_alternative<QByteArray>(call("rpc/start_or_resume_onboarding")));
    // A call without a body sends none.
    script("/rest/v1/rpc/ping", HttpResponse::empty(204));
    EXPECT_EQ(call("rpc/ping", std::nullopt), RPCResult(QByteArray()));
    EXPECT_TRUE(services.requests().last().body.isEmpty());
}

TEST_F(BackendCall, ReportsEachFailureWithItsOwnKind)
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
    for (const auto& [name, answer, expected] : cases) {
        script("/rest/v1/rpc/", answer, 4);
        EXPECT_EQ(call("rpc/record_onboarding_event"), expected) << name;
        services.clearScript();
    }
}

TEST_F(BackendCall, AHeldRequestTimesOutAndAClosedBackendCannotBeReached)
{
    signIn();
    std::optional<SessionCheckResult> user;
    std::optional<TokenRefreshResult> refreshed;
    std::optional<RPCResult> rpc;
    const auto ask = [&] {
        user.reset();
        refreshed.reset();
        rpc.reset();
        client.fetchUser("t", nullptr, [&](SessionCheckResult r) { user = r; });
        client.refreshTokens("r0", nullptr, [&](const TokenRefreshResult& r) { refreshed = r; });
        client.callRPC("rpc/x", "POST", kStartBody, nullptr, [&](const RPCResult& r) { rpc = r; });
    };
    const auto expectUnreachable = [&](URLError::Code rpcError) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return user && refreshed && rpc; }, 5000));
        EXPECT_EQ(*user, SessionCheckResult::Unreachable);
        EXPECT_EQ(*refreshed, TokenRefreshResult::unreachable());
        // With a usable token the backend call passes the transport's own error on.
        EXPECT_EQ(*rpc, RPCResult(URLError{rpcError}));
    };
    for (const char* path : {"/auth/v1/user", "/auth/v1/token", "/rest/v1/rpc/"}) {
        script(path, Fault::NoAnswer);
    }
    ask();
    ASSERT_TRUE(QTest::qWaitFor([&] { return services.backend().heldConnections() == 3; }, 5000));
    system.scheduler.advance(system.urlSession.configuration().timeoutInterval);
    expectUnreachable(URLError::Code::TimedOut);

    services.backend().close();
    ask();
    expectUnreachable(URLError::Code::CannotConnectToHost);
}

TEST_F(BackendCall, ChecksTheConfigurationBeforeTheKeychainAndTheTokenBeforeTheNetwork)
{
    // Nothing stored: a missing setting, or a missing client, must win over "signed out".
    const RPCResult notConfigured = SupabaseRPCError::notConfigured();
    WindowManager withoutClient(system.services());
    EXPECT_EQ(await<RPCResult>([&](auto done) { withoutClient.callRPC("rpc/x", "POST", {}, nullptr, done); }),
              notConfigured);
    const std::pair<std::optional<QString>, std::optional<QString>> settings[] = {
        {services.backendURL().toString(), std::nullopt},
        {std::nullopt, QString("k")},
        {QString("http://backend.example.com"), QString("k")},
    };
    for (const auto& [base, key] : settings) {
        configure(base, key);
        EXPECT_EQ(call("rpc/x"), notConfigured) << base.value_or("no address").toStdString();
    }
    configure(services.backendURL().toString(), services.options().anonKey);
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::signedOut()));

    tokens.write("expired-access", kAccess);
    tokens.write("r", kRefresh);
    script("/auth/v1/token", json(502, "{}"));
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::unreachable()));
    EXPECT_EQ(services.requestCount("/rest/v1/rpc/x"), 0);
}

TEST(SupabaseRPCError, DescriptionsShortenLongBodies)
{
    EXPECT_EQ(SupabaseRPCError::http(409, "short").description(), "http(409, \"short\")");
    const QString described = SupabaseRPCError::http(500, QString(5000, 'b')).description();
    EXPECT_LT(described.size(), 220);
    EXPECT_TRUE(described.contains(QString(200, 'b') + "…"));
    EXPECT_EQ(SupabaseRPCError::signedOut().description(), "signedOut");
}

TEST_F(BackendCall, NoTokenOrBodyReachesTheLog)
{
    const auto pair = signIn();
    expireAccessToken();
    // A refresh, a failing call whose answer echoes what was sent, and a failed server logout.
    script("/rest/v1/rpc/", json(500, "echo " + pair.refreshToken.toUtf8()));
    EXPECT_TRUE(std::holds_alternative<SupabaseRPCError>(call("rpc/record_onboarding_event")));
    std::optional<bool> loggedOut;
    client.logoutOnServer(pair.accessToken, pair.refreshToken, nullptr, [&] { loggedOut = true; });
    EXPECT_TRUE(arrives(loggedOut));

    const QString fresh = stored(kAccess).value_or("-");
    for (const LogLine& line : logged()) {
        for (const QString& secret : {pair.accessToken, pair.refreshToken, fresh}) {
            EXPECT_FALSE(line.message.contains(secret)) << line.message.toStdString();
        }
    }
}
