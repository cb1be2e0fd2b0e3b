#include "tests/account/AccountFixture.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using devservices::Fault;
using devservices::HttpRequest;
using devservices::HttpResponse;
using devservices::Reply;
using testing_support::AccountTest;

namespace {

struct Scripted
{
    const char* name;
    Reply reply;
    // Qt Network resends a request whose connection closed before any answer (up to three
    // times), so a fault meant to reach the caller is scripted for every attempt.
    int attempts = 1;
};

HttpResponse json(int status, const char* body)
{
    return HttpResponse::json(status, body);
}

HttpResponse redirectTo(const QUrl& url)
{
    HttpResponse response = HttpResponse::empty(302);
    response.headers.emplaceBack("Location", url.toEncoded());
    return response;
}

class AuthRequests : public AccountTest
{
protected:
    SessionCheckResult fetch(const QString& token)
    {
        std::optional<SessionCheckResult> result;
        client->fetchUser(token, nullptr, [&](SessionCheckResult r) { result = r; });
        EXPECT_TRUE(arrives(result));
        return result.value_or(SessionCheckResult::Valid);
    }

    TokenRefreshResult refresh(const QString& token)
    {
        std::optional<TokenRefreshResult> result;
        client->refreshTokens(token, nullptr, [&](const TokenRefreshResult& r) { result = r; });
        EXPECT_TRUE(arrives(result));
        return result.value_or(TokenRefreshResult::success("unset", std::nullopt));
    }

    void logout(const std::optional<QString>& access, const std::optional<QString>& refreshToken)
    {
        std::optional<bool> done;
        client->logoutOnServer(access, refreshToken, nullptr, [&] { done = true; });
        EXPECT_TRUE(arrives(done));
    }

    // A request the stand-in holds without answering fails once the session's timeout passes.
    template <typename Start>
    void timeOut(const QString& path, Start start)
    {
        services.script(path, Fault::NoAnswer);
        start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return services.backend().heldConnections() == 1; }, 5000));
        system.scheduler.advance(system.urlSession.configuration().timeoutInterval);
    }

    QList<HttpRequest> requestsTo(const QString& path) const
    {
        QList<HttpRequest> result;
        for (const HttpRequest& r : services.requests()) {
            if (r.path == path) {
                result.append(r);
            }
        }
        return result;
    }

    // Answers every status mapping shares: faults of the transport, throttling and server errors
    // mean "unreachable"; everything else the server says is a refusal unless listed as success.
    std::vector<Scripted> commonAnswers()
    {
        return {
            {"400", json(400, "{}")},
            {"401", json(401, "{}")},
            {"403", json(403, "{}")},
            {"404", json(404, "{}")},
            {"429", json(429, "{}")},
            {"500", json(500, "{}")},
            {"503", json(503, "{}")},
            {"a dropped connection", Fault::DropConnection, 4},
            {"garbage", Fault::Garbage, 4},
            {"an answer over the size cap", json(200, QByteArray(2 * 1024 * 1024, ' ').constData())},
            {"a redirect to another origin", redirectTo(services.accountURL().resolved(QUrl("/stolen")))},
            {"200 that is not JSON", json(200, "<html>")},
            {"200 with an array", json(200, "[]")},
        };
    }
};

bool isUnreachableAnswer(const std::string& name)
{
    return name == "429" || name == "500" || name == "503" || name == "a dropped connection"
           || name == "garbage" || name == "an answer over the size cap";
}

} // namespace

TEST_F(AuthRequests, TheUserCheckMapsEveryAnswer)
{
    auto cases = commonAnswers();
    cases.push_back({"200 with an id", json(200, R"({"id":"u1"})")});
    cases.push_back({"200 with an empty id", json(200, R"({"id":""})")});
    cases.push_back({"200 with a numeric id", json(200, R"({"id":5})")});
    cases.push_back({"200 without an id", json(200, "{}")});
    for (const Scripted& c : cases) {
        for (int i = 0; i < c.attempts; ++i) {
            services.script("/auth/v1/user", c.reply);
        }
        const std::string name = c.name;
        const SessionCheckResult expected = name == "200 with an id"    ? SessionCheckResult::Valid
                                            : isUnreachableAnswer(name) ? SessionCheckResult::Unreachable
                                                                        : SessionCheckResult::Rejected;
        EXPECT_EQ(fetch("token"), expected) << c.name;
        services.clearScript();
    }
    // The redirect to the other origin (which records what it gets too) was not followed, so the
    // token never reached it.
    EXPECT_EQ(services.requestCount("/stolen"), 0);

    std::optional<SessionCheckResult> timedOut;
    timeOut("/auth/v1/user",
            [&] { client->fetchUser("t", nullptr, [&](SessionCheckResult r) { timedOut = r; }); });
    ASSERT_TRUE(arrives(timedOut));
    EXPECT_EQ(*timedOut, SessionCheckResult::Unreachable);

    services.backend().close();
    EXPECT_EQ(fetch("token"), SessionCheckResult::Unreachable);
}

TEST_F(AuthRequests, TheUserCheckSendsTheTokenAndKeyToTheBackendOnly)
{
    const auto pair = signIn();
    EXPECT_EQ(fetch(pair.accessToken), SessionCheckResult::Valid);
    const HttpRequest sent = requestsTo("/auth/v1/user").last();
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.header("Authorization"), "Bearer " + pair.accessToken.toLatin1());
    EXPECT_EQ(sent.header("apikey"), "veilmox-local-anon-key");

    expireAccessToken();
    EXPECT_EQ(fetch(pair.accessToken), SessionCheckResult::Rejected);

    // Without the key the header is left out (and this backend refuses).
    configure(services.backendURL().toString(), std::nullopt);
    EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
    EXPECT_FALSE(requestsTo("/auth/v1/user").last().hasHeader("apikey"));

    // Without a usable base address nothing is sent: the token must not travel in clear text.
    const int sentSoFar = static_cast<int>(services.requests().size());
    for (const std::optional<QString>& base : {std::optional<QString>(),
                                               std::optional<QString>("  "),
                                               std::optional<QString>("http://backend.example.com")}) {
        configure(base, services.options().anonKey);
        EXPECT_EQ(fetch("t"), SessionCheckResult::Rejected);
    }
    EXPECT_EQ(services.requests().size(), sentSoFar);
}

TEST_F(AuthRequests, TheRefreshMapsEveryAnswer)
{
    auto cases = commonAnswers();
    cases.push_back({"200 with both tokens", json(200, R"({"access_token":"A","refresh_token":"R"})")});
    cases.push_back({"200 with an access token only", json(200, R"({"access_token":"A"})")});
    cases.push_back(
        {"200 with a numeric refresh token", json(200, R"({"access_token":"A","refresh_token":7})")});
    cases.push_back({"200 with an empty access token", json(200, R"({"access_token":""})")});
    for (const Scripted& c : cases) {
        for (int i = 0; i < c.attempts; ++i) {
            services.script("/auth/v1/token", c.reply);
        }
        const std::string name = c.name;
        TokenRefreshResult expected =
            isUnreachableAnswer(name) ? TokenRefreshResult::unreachable() : TokenRefreshResult::rejected();
        if (name == "200 with both tokens") {
            expected = TokenRefreshResult::success("A", "R");
        } else if (name == "200 with an access token only" || name == "200 with a numeric refresh token") {
            expected = TokenRefreshResult::success("A", std::nullopt);
        }
        EXPECT_EQ(refresh("r0"), expected) << c.name;
        services.clearScript();
    }

    const HttpRequest sent = requestsTo("/auth/v1/token").last();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.target, "/auth/v1/token?grant_type=refresh_token");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(sent.header("apikey"), "veilmox-local-anon-key");
    EXPECT_FALSE(sent.hasHeader("Authorization"));
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), QJsonObject({{"refresh_token", "r0"}}));

    std::optional<TokenRefreshResult> timedOut;
    timeOut("/auth/v1/token", [&] {
        client->refreshTokens("r0", nullptr, [&](const TokenRefreshResult& r) { timedOut = r; });
    });
    ASSERT_TRUE(arrives(timedOut));
    EXPECT_EQ(*timedOut, TokenRefreshResult::unreachable());

    configure(std::nullopt, services.options().anonKey);
    EXPECT_EQ(refresh("r0"), TokenRefreshResult::rejected());
}

TEST_F(AuthRequests, ARefreshTokenIsSentOnceEvenWhenManyAskAtTheSameTime)
{
    const auto pair = signIn();
    std::vector<TokenRefreshResult> results;
    for (int i = 0; i < 3; ++i) {
        client->refreshTokens(
            pair.refreshToken, nullptr, [&](const TokenRefreshResult& r) { results.push_back(r); });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 3; }, 5000));
    EXPECT_EQ(services.requestCount("/auth/v1/token"), 1);
    EXPECT_EQ(results[0].kind, TokenRefreshResult::Kind::Success);
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
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
    const std::vector<Case> cases = {
        {"a usable access token", true, false, true, false, {"/auth/v1/logout"}},
        {"an expired access token", true, true, true, false, {"/auth/v1/token", "/auth/v1/logout"}},
        {"an expired token, refresh refused", true, true, true, true, {"/auth/v1/token"}},
        {"an expired token, no refresh token", true, true, false, false, {}},
        {"only a refresh token", false, false, true, false, {"/auth/v1/token", "/auth/v1/logout"}},
        {"no tokens", false, false, false, false, {}},
    };
    for (const Case& c : cases) {
        const auto pair = signIn();
        if (c.expired) {
            expireAccessToken();
        }
        if (c.refreshRefused) {
            services.script("/auth/v1/token", json(400, "{}"));
        }
        const auto before = services.requests().size();
        const int activeBefore = services.activeSessionCount();
        logout(c.access ? std::optional(pair.accessToken) : std::nullopt,
               c.refresh ? std::optional(pair.refreshToken) : std::nullopt);
        QStringList paths;
        for (auto i = before; i < services.requests().size(); ++i) {
            paths.append(services.requests()[i].path);
        }
        EXPECT_EQ(paths, c.expectedPaths) << c.name;
        const bool loggedOut = c.expectedPaths.contains("/auth/v1/logout");
        EXPECT_EQ(services.activeSessionCount(), loggedOut ? activeBefore - 1 : activeBefore) << c.name;
        if (loggedOut) {
            const HttpRequest sent = services.requests().last();
            EXPECT_EQ(sent.target, "/auth/v1/logout?scope=local");
            EXPECT_EQ(sent.header("Authorization") == "Bearer " + pair.accessToken.toLatin1(),
                      !c.expired && c.access)
                << c.name;
        }
    }
}
