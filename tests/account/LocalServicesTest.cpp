#include "tests/account/AccountFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrlQuery>

#include <gtest/gtest.h>

using platform::HTTPResponse;
using platform::URLRequest;
using platform::URLSessionResult;
using testing_support::AccountTest;

namespace {

class LocalServicesTest : public AccountTest
{
protected:
    HTTPResponse send(URLRequest request)
    {
        std::optional<URLSessionResult> result;
        system.urlSession.dataTask(request, nullptr, [&](const URLSessionResult& r) { result = r; });
        EXPECT_TRUE(arrives(result));
        const auto* response = result ? std::get_if<HTTPResponse>(&*result) : nullptr;
        return response != nullptr ? *response : HTTPResponse{};
    }

    HTTPResponse
    post(const QUrl& base, const QString& path, const QJsonObject& body, const QString& token = {})
    {
        URLRequest request(QUrl(base.toString() + path));
        request.httpMethod = "POST";
        request.setValue("application/json", "Content-Type");
        request.setValue(services.options().anonKey.toUtf8(), "apikey");
        if (!token.isEmpty()) {
            request.setValue("Bearer " + token.toUtf8(), "Authorization");
        }
        request.httpBody = QJsonDocument(body).toJson(QJsonDocument::Compact);
        return send(request);
    }

    HTTPResponse exchange(const QString& code)
    {
        return post(services.accountURL(), "/api/auth/desktop-handoff/exchange", {{"code", code}});
    }

    static QJsonObject object(const HTTPResponse& response)
    {
        return QJsonDocument::fromJson(response.data).object();
    }
};

QJsonObject event(const QString& id, const QString& session)
{
    return {{"p_event_id", id},
            {"p_onboarding_session_id", session},
            {"p_event_type", "step_viewed"},
            {"p_step", 2},
            {"p_client_version", "1.0.0"},
            {"p_metadata", QJsonObject{{"platform", "macos"}}}};
}

} // namespace

TEST_F(LocalServicesTest, TheSignInPageHandsTheBrowserASingleUseCode)
{
    const HTTPResponse page = send(URLRequest(QUrl(services.accountURL().toString() + "/desktop/connect")));
    ASSERT_EQ(page.statusCode, 302);
    const QUrl callback(QString::fromLatin1(page.value("Location").value_or("")));
    EXPECT_EQ(callback.scheme(), "veilmox");
    EXPECT_EQ(callback.host(), "auth");
    const QString code = QUrlQuery(callback).queryItemValue("code");
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{40,128}$").match(code).hasMatch()) << code.toStdString();

    const HTTPResponse tokensAnswer = exchange(code);
    ASSERT_EQ(tokensAnswer.statusCode, 200);
    const QString accessToken = object(tokensAnswer)["access_token"].toString();
    EXPECT_FALSE(object(tokensAnswer)["refresh_token"].toString().isEmpty());
    // Its tokens pass the app's own check and the backend's.
    EXPECT_TRUE(client->isAccessTokenUsable(accessToken));
    std::optional<SessionCheckResult> user;
    client->fetchUser(accessToken, nullptr, [&](SessionCheckResult r) { user = r; });
    ASSERT_TRUE(arrives(user));
    EXPECT_EQ(*user, SessionCheckResult::Valid);

    EXPECT_EQ(exchange(code).statusCode, 400);
    EXPECT_EQ(exchange("unknown-code").statusCode, 400);
    EXPECT_EQ(post(services.accountURL(), "/api/auth/desktop-handoff/exchange", {}).statusCode, 400);

    const QString late = services.issueCode(devservices::LocalServices::defaultAccount());
    system.scheduler.advance(services.options().codeLifetime);
    EXPECT_EQ(exchange(late).statusCode, 410);
}

TEST_F(LocalServicesTest, KeepsOneOnboardingSessionPerAccountAndRecordsEachEventOnce)
{
    const auto pair = services.createSession(devservices::LocalServices::defaultAccount());
    const QJsonObject start{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};
    const HTTPResponse first =
        post(services.backendURL(), "/rest/v1/rpc/start_or_resume_onboarding", start, pair.accessToken);
    ASSERT_EQ(first.statusCode, 200);
    EXPECT_EQ(object(first)["resumed"], false);
    const QString session = object(first)["session_id"].toString();
    const HTTPResponse again =
        post(services.backendURL(), "/rest/v1/rpc/start_or_resume_onboarding", start, pair.accessToken);
    EXPECT_EQ(object(again)["resumed"], true);
    EXPECT_EQ(object(again)["session_id"].toString(), session);

    const QString record = "/rest/v1/rpc/record_onboarding_event";
    EXPECT_EQ(post(services.backendURL(), record, event("e1", session), pair.accessToken).statusCode, 204);
    EXPECT_EQ(post(services.backendURL(), record, event("e1", session), pair.accessToken).statusCode, 204);
    EXPECT_EQ(services.recordedEvents().size(), 1);

    const auto stranger = services.createSession({"someone-else", "else@veilmox.local"});
    EXPECT_EQ(post(services.backendURL(), record, event("e2", session), stranger.accessToken).statusCode,
              403);
    QJsonObject invalid = event("e3", session);
    invalid["p_step"] = "two";
    EXPECT_EQ(post(services.backendURL(), record, invalid, pair.accessToken).statusCode, 400);
    EXPECT_EQ(post(services.backendURL(), "/rest/v1/rpc/unknown", start, pair.accessToken).statusCode, 404);
    EXPECT_EQ(post(services.backendURL(), record, event("e4", session), "forged.token.here").statusCode, 401);
}
