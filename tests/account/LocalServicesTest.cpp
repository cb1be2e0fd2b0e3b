// The stand-in's own rules that no client flow reaches; the clients' tests cover the rest of it.
#include "tests/account/AccountFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using platform::HTTPResponse;

namespace {

class LocalServicesTest : public AccountTest
{
protected:
    HTTPResponse
    post(const QUrl& base, const QString& path, const QJsonObject& body, const QString& token = {})
    {
        platform::URLRequest request(QUrl(base.toString() + path));
        request.httpMethod = "POST";
        request.setValue(services.options().anonKey.toUtf8(), "apikey");
        request.setValue("Bearer " + token.toUtf8(), "Authorization");
        request.httpBody = QJsonDocument(body).toJson(QJsonDocument::Compact);
        const auto result = await<platform::URLSessionResult>(
            [&](auto done) { system.urlSession.dataTask(request, nullptr, done); });
        const auto* response = std::get_if<HTTPResponse>(&result);
        return response != nullptr ? *response : HTTPResponse{};
    }

    int exchange(const QJsonObject& body)
    {
        return post(services.accountURL(), "/api/auth/desktop-handoff/exchange", body).statusCode;
    }
};

QJsonObject event(const QString& id, const QString& session, const QJsonValue& step = 2)
{
    return {{"p_event_id", id},
            {"p_onboarding_session_id", session},
            {"p_event_type", "step_viewed"},
            {"p_step", step},
            {"p_client_version", "1.0.0"},
            {"p_metadata", QJsonObject{{"platform", "macos"}}}};
}

} // namespace

TEST_F(LocalServicesTest, ASignInCodeIsExchangedOnceOnlyWithItsVerifierAndExpires)
{
    const QString verifier = QString(43, 'v');
    const QString code =
        services.issueCode(LocalServices::defaultAccount(), LocalServices::codeChallenge(verifier));
    // Without its verifier, or with another, the code is refused and not used up.
    EXPECT_EQ(exchange({{"code", code}}), 400);
    EXPECT_EQ(exchange({{"code", code}, {"code_verifier", QString(43, 'w')}}), 400);
    EXPECT_EQ(exchange({{"code", code}, {"code_verifier", LocalServices::codeChallenge(verifier)}}), 400);
    EXPECT_EQ(exchange({{"code", code}, {"code_verifier", verifier}}), 200);
    EXPECT_EQ(exchange({{"code", code}, {"code_verifier", verifier}}), 400);
    EXPECT_EQ(exchange({{"code", "unknown-code"}, {"code_verifier", verifier}}), 400);
    EXPECT_EQ(exchange({}), 400);
    const QString late =
        services.issueCode(LocalServices::defaultAccount(), LocalServices::codeChallenge(verifier));
    system.scheduler.advance(services.options().codeLifetime);
    EXPECT_EQ(exchange({{"code", late}, {"code_verifier", verifier}}), 410);

    // The sign-in page issues a code only for an S256 challenge.
    const auto page = [&](const QString& query) {
        const auto result = await<platform::URLSessionResult>([&](auto done) {
            system.urlSession.dataTask(
                platform::URLRequest(QUrl(services.accountURL().toString() + "/desktop/connect" + query)),
                nullptr,
                done);
        });
        const auto* response = std::get_if<HTTPResponse>(&result);
        return response != nullptr ? response->statusCode : 0;
    };
    const QString challenge = LocalServices::codeChallenge(verifier);
    EXPECT_EQ(page("?code_challenge=" + challenge + "&code_challenge_method=S256"), 302);
    EXPECT_EQ(page(""), 400);
    EXPECT_EQ(page("?code_challenge=" + challenge), 400);
    EXPECT_EQ(page("?code_challenge=" + challenge + "&code_challenge_method=plain"), 400);
    EXPECT_EQ(page("?code_challenge=short&code_challenge_method=S256"), 400);
}

TEST_F(LocalServicesTest, RecordsEachEventOnceForTheOwnerOfItsSession)
{
    const QString owner = services.createSession(LocalServices::defaultAccount()).accessToken;
    const QString stranger = services.createSession({"someone-else", "else@veilmox.local"}).accessToken;
    const auto rpc = [&](const QString& name, const QJsonObject& body, const QString& token) {
        return post(services.backendURL(), "/rest/v1/rpc/" + name, body, token);
    };
    const QJsonObject start{{"requested_flow_version", 2}, {"client_version", "1.0.0"}};
    const QString session =
        QJsonDocument::fromJson(rpc("start_or_resume_onboarding", start, owner).data)["session_id"]
            .toString();
    ASSERT_FALSE(session.isEmpty());
    const std::tuple<const char*, QString, QJsonObject, QString, int> cases[] = {
        {"an event", "record_onboarding_event", event("e1", session), owner, 204},
        {"the same event again", "record_onboarding_event", event("e1", session), owner, 204},
        {"another account's session", "record_onboarding_event", event("e2", session), stranger, 403},
        {"a step that is not a number", "record_onboarding_event", event("e3", session, "two"), owner, 400},
        {"an unknown procedure", "unknown", start, owner, 404},
        {"a forged token", "record_onboarding_event", event("e4", session), "forged.token.here", 401},
    };
    for (const auto& [name, procedure, body, token, status] : cases) {
        EXPECT_EQ(rpc(procedure, body, token).statusCode, status) << name;
    }
    EXPECT_EQ(services.recordedEvents().size(), 1);
}
