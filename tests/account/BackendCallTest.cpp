#include "state/WindowManager.h"
#include "tests/account/AccountFixture.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using devservices::Fault;
using devservices::HttpRequest;
using devservices::HttpResponse;
using platform::URLError;
using testing_support::AccountTest;

namespace {

const QJsonObject kStartBody{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};

class BackendCall : public AccountTest
{
protected:
    AccessTokenResult token()
    {
        std::optional<AccessTokenResult> result;
        client->validAccessToken(nullptr, [&](const AccessTokenResult& r) { result = r; });
        EXPECT_TRUE(arrives(result));
        return result.value_or(SupabaseRPCError::http(-1, "no answer"));
    }

    RPCResult call(const QString& path, const std::optional<QJsonObject>& body = kStartBody)
    {
        std::optional<RPCResult> result;
        client->callRPC(path, "POST", body, nullptr, [&](const RPCResult& r) { result = r; });
        EXPECT_TRUE(arrives(result));
        return result.value_or(SupabaseRPCError::http(-1, "no answer"));
    }

    std::optional<QString> stored(const QString& account) const { return tokens.read(account); }
};

template <typename T, typename Variant>
std::optional<T> as(const Variant& v)
{
    if (const T* value = std::get_if<T>(&v)) {
        return *value;
    }
    return std::nullopt;
}

} // namespace

TEST_F(BackendCall, ValidAccessTokenUsesTheStoredTokenOrRefreshesIt)
{
    // Absent: signed out, even with a refresh token stored.
    tokens.write("r", AuthKeychain::refreshTokenAccount);
    EXPECT_EQ(as<SupabaseRPCError>(token()), SupabaseRPCError::signedOut());

    const auto pair = signIn();
    EXPECT_EQ(as<QString>(token()), pair.accessToken);
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 0);

    expireAccessToken();
    const auto fresh = as<QString>(token());
    ASSERT_TRUE(fresh);
    EXPECT_NE(*fresh, pair.accessToken);
    EXPECT_TRUE(client->isAccessTokenUsable(*fresh));
    EXPECT_EQ(stored(AuthKeychain::accessTokenAccount), *fresh);
    EXPECT_NE(stored(AuthKeychain::refreshTokenAccount), pair.refreshToken); // rotated and kept
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 1);
}

TEST_F(BackendCall, ValidAccessTokenMapsTheRefreshOutcome)
{
    struct Case
    {
        const char* name;
        std::optional<devservices::Reply> refreshAnswer; // none: no refresh token stored
        AccessTokenResult expected;
        std::optional<QString> storedRefreshToken;
    };
    const std::vector<Case> cases = {
        {"an answer without a new refresh token",
         HttpResponse::json(200, R"({"access_token":"new-access"})"),
         QString("new-access"),
         QString("stale-refresh")},
        {"a refused refresh",
         HttpResponse::json(400, "{}"),
         SupabaseRPCError::signedOut(),
         QString("stale-refresh")},
        {"a backend in trouble",
         HttpResponse::json(503, "{}"),
         SupabaseRPCError::unreachable(),
         QString("stale-refresh")},
        {"a backend that is not answering",
         devservices::Reply(Fault::Garbage),
         SupabaseRPCError::unreachable(),
         QString("stale-refresh")},
        {"no refresh token", std::nullopt, SupabaseRPCError::signedOut(), std::nullopt},
    };
    for (const Case& c : cases) {
        tokens.write("expired-access", AuthKeychain::accessTokenAccount);
        tokens.deleteItem(AuthKeychain::refreshTokenAccount);
        if (c.refreshAnswer) {
            tokens.write("stale-refresh", AuthKeychain::refreshTokenAccount);
            // Enough for Qt Network's resends of a request whose connection closed unanswered.
            for (int attempt = 0; attempt < 4; ++attempt) {
                services.script("/auth/v1/token", *c.refreshAnswer);
            }
        }
        EXPECT_EQ(token(), c.expected) << c.name;
        // Nothing is deleted here, whatever the answer; the session decides that.
        EXPECT_EQ(stored(AuthKeychain::refreshTokenAccount), c.storedRefreshToken) << c.name;
        EXPECT_TRUE(stored(AuthKeychain::accessTokenAccount)) << c.name;
        services.clearScript();
    }
}

TEST_F(BackendCall, CallersThatNeedARefreshAtOnceShareIt)
{
    signIn();
    expireAccessToken();
    std::vector<AccessTokenResult> results;
    for (int i = 0; i < 2; ++i) {
        client->validAccessToken(nullptr, [&](const AccessTokenResult& r) { results.push_back(r); });
    }
    std::optional<RPCResult> rpc;
    client->callRPC(
        "rpc/start_or_resume_onboarding", "POST", kStartBody, nullptr, [&](const RPCResult& r) { rpc = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 2 && rpc.has_value(); }, 5000));

    EXPECT_EQ(services.requestCount("/auth/v1/token"), 1);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_TRUE(as<QByteArray>(*rpc));
    EXPECT_EQ(services.activeSessionCount(), 1);
}

TEST_F(BackendCall, CallsTheRemoteProcedureWithTheKeyAndAValidToken)
{
    const auto pair = signIn();
    const auto answer = as<QByteArray>(call("rpc/start_or_resume_onboarding"));
    ASSERT_TRUE(answer);
    EXPECT_FALSE(QJsonDocument::fromJson(*answer)["session_id"].toString().isEmpty());

    const HttpRequest sent = services.requests().last();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.target, "/rest/v1/rpc/start_or_resume_onboarding");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(sent.header("apikey"), "veilmox-local-anon-key");
    EXPECT_EQ(sent.header("Authorization"), "Bearer " + pair.accessToken.toLatin1());
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), kStartBody);

    // An expired token is refreshed first and the call goes out with the new one.
    expireAccessToken();
    EXPECT_TRUE(as<QByteArray>(call("rpc/start_or_resume_onboarding")));
    EXPECT_EQ(services.requests().last().header("Authorization"),
              "Bearer " + stored(AuthKeychain::accessTokenAccount)->toLatin1());

    // A call without a body sends none.
    services.script("/rest/v1/rpc/ping", HttpResponse::empty(204));
    EXPECT_EQ(as<QByteArray>(call("rpc/ping", std::nullopt)), QByteArray());
    EXPECT_TRUE(services.requests().last().body.isEmpty());
}

TEST_F(BackendCall, ReportsEachFailureWithItsOwnKind)
{
    struct Case
    {
        const char* name;
        devservices::Reply answer;
        RPCResult expected;
    };
    const std::vector<Case> cases = {
        {"a conflict",
         HttpResponse::json(409, R"({"message":"duplicate"})"),
         SupabaseRPCError::http(409, R"({"message":"duplicate"})")},
        {"a refusal that is not text",
         HttpResponse::json(400, QByteArray("\xff\xfe", 2)),
         SupabaseRPCError::http(400, "")},
        {"a server error", HttpResponse::json(500, "oops"), SupabaseRPCError::http(500, "oops")},
        {"a redirect elsewhere",
         [this] {
             HttpResponse r = HttpResponse::empty(307);
             r.headers.emplaceBack("Location", services.accountURL().toEncoded() + "/x");
             return devservices::Reply(r);
         }(),
         SupabaseRPCError::http(307, "")},
        {"a dropped connection", Fault::DropConnection, URLError{URLError::Code::NetworkConnectionLost}},
        {"an answer over the size cap",
         HttpResponse::json(200, QByteArray(2 * 1024 * 1024, 'x')),
         URLError{URLError::Code::DataLengthExceedsMaximum}},
    };
    signIn();
    for (const Case& c : cases) {
        // Enough for Qt Network's resends of a request whose connection closed unanswered.
        for (int attempt = 0; attempt < 4; ++attempt) {
            services.script("/rest/v1/rpc/", c.answer);
        }
        EXPECT_EQ(call("rpc/record_onboarding_event"), c.expected) << c.name;
        services.clearScript();
    }

    services.script("/rest/v1/rpc/", Fault::NoAnswer);
    std::optional<RPCResult> timedOut;
    client->callRPC("rpc/x", "POST", kStartBody, nullptr, [&](const RPCResult& r) { timedOut = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return services.backend().heldConnections() == 1; }, 5000));
    system.scheduler.advance(60);
    ASSERT_TRUE(arrives(timedOut));
    EXPECT_EQ(*timedOut, RPCResult(URLError{URLError::Code::TimedOut}));

    // Offline with a usable token: the transport's own error, not "unreachable".
    services.backend().close();
    EXPECT_EQ(call("rpc/x"), RPCResult(URLError{URLError::Code::CannotConnectToHost}));
}

TEST_F(BackendCall, ChecksTheConfigurationBeforeTheKeychainAndTheTokenBeforeTheNetwork)
{
    // Nothing stored: a missing setting must win over "signed out".
    struct Case
    {
        const char* name;
        std::optional<QString> base;
        std::optional<QString> key;
    };
    for (const Case& c :
         {Case{"no key", services.backendURL().toString(), std::nullopt},
          Case{"no address", std::nullopt, QString("k")},
          Case{"an address in clear text elsewhere", QString("http://backend.example.com"), QString("k")}}) {
        configure(c.base, c.key);
        EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::notConfigured())) << c.name;
    }
    configure(services.backendURL().toString(), services.options().anonKey);
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::signedOut()));

    tokens.write("expired-access", AuthKeychain::accessTokenAccount);
    tokens.write("r", AuthKeychain::refreshTokenAccount);
    services.script("/auth/v1/token", HttpResponse::json(502, "{}"));
    EXPECT_EQ(call("rpc/x"), RPCResult(SupabaseRPCError::unreachable()));
    EXPECT_EQ(services.requestCount("/rest/v1/rpc/x"), 0);
}

TEST_F(BackendCall, TheStateObjectForwardsToTheInstalledClient)
{
    WindowManager windowManager(system.services());
    std::optional<RPCResult> before;
    windowManager.callRPC(
        "rpc/start_or_resume_onboarding", "POST", kStartBody, nullptr, [&](const RPCResult& r) {
            before = r;
        });
    EXPECT_EQ(before, RPCResult(WindowManager::SupabaseRPCError::notConfigured()));

    signIn();
    windowManager.setBackendCalls(client.get());
    std::optional<AccessTokenResult> accessToken;
    windowManager.validAccessToken(nullptr, [&](const AccessTokenResult& r) { accessToken = r; });
    ASSERT_TRUE(arrives(accessToken));
    EXPECT_TRUE(as<QString>(*accessToken));

    std::optional<RPCResult> after;
    windowManager.callRPC(
        "rpc/start_or_resume_onboarding", "POST", kStartBody, nullptr, [&](const RPCResult& r) {
            after = r;
        });
    ASSERT_TRUE(arrives(after));
    EXPECT_TRUE(as<QByteArray>(*after));
}

TEST(SupabaseRPCError, DescriptionsShortenLongBodies)
{
    EXPECT_EQ(SupabaseRPCError::http(409, "short").description(), "http(409, \"short\")");
    const QString longBody(5000, 'b');
    const QString described = SupabaseRPCError::http(500, longBody).description();
    EXPECT_LT(described.size(), 220);
    EXPECT_TRUE(described.contains(QString(200, 'b') + "…"));
    EXPECT_EQ(SupabaseRPCError::signedOut().description(), "signedOut");
}

namespace {
QStringList gLogged;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    gLogged.append(message);
}
} // namespace

TEST_F(BackendCall, NoTokenOrBodyReachesTheLog)
{
    gLogged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    const auto pair = signIn();
    expireAccessToken();
    // A refresh, a failing call whose answer echoes what was sent, and a failed server logout.
    services.script("/rest/v1/rpc/", HttpResponse::json(500, "echo " + pair.refreshToken.toUtf8()));
    const RPCResult failed = call("rpc/record_onboarding_event");
    std::optional<bool> loggedOut;
    client->logoutOnServer(pair.accessToken, pair.refreshToken, nullptr, [&] { loggedOut = true; });
    EXPECT_TRUE(arrives(loggedOut));
    qInstallMessageHandler(previous);

    const QString fresh = stored(AuthKeychain::accessTokenAccount).value_or("-");
    for (const QString& line : gLogged) {
        for (const QString& secret : {pair.accessToken, pair.refreshToken, fresh}) {
            EXPECT_FALSE(line.contains(secret)) << line.toStdString();
        }
    }
    EXPECT_TRUE(std::holds_alternative<SupabaseRPCError>(failed));
}
