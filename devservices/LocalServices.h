#pragma once

#include "devservices/HttpServer.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace devservices {

// Local stand-ins for the two remote services, each on its own loopback port: the backend (auth
// under "/auth/v1" with tokens it signs and checks itself and single-use, rotating refresh tokens;
// the onboarding remote procedures under "/rest/v1/rpc/") and the account web service (the
// sign-in page "/desktop/connect" and the code exchange). Codes are issued only against a proof
// key's S256 challenge, and exchanged only with its verifier (RFC 7636), so a code read on its
// way to the app is worthless to anyone else. Tests script answers and faults per
// path; the developer command serves a local sign-in with them. Main thread only.
class LocalServices final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString anonKey = QStringLiteral("veilmox-local-anon-key");
        double accessTokenLifetime = 3600;
        // How long a sign-in code may wait for its exchange.
        double codeLifetime = 300;
        // Signs the access tokens; random when empty.
        QByteArray signingSecret;
    };

    struct TokenPair
    {
        QString accessToken;
        QString refreshToken;
    };

    struct Account
    {
        QString id; // the tokens' "sub"
        QString email;
    };

    explicit LocalServices(QObject* parent = nullptr);
    explicit LocalServices(Options options, QObject* parent = nullptr);
    ~LocalServices() override;

    // Listens on loopback; port 0 picks a free one.
    bool start(quint16 backendPort = 0, quint16 accountPort = 0);
    QUrl backendURL() const { return m_backend.baseURL(); }
    QUrl accountURL() const { return m_account.baseURL(); }
    HttpServer& backend() { return m_backend; }
    HttpServer& account() { return m_account; }
    const Options& options() const { return m_options; }

    // The clock of codes and tokens (the real one unless a test installs its own).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // The account that the sign-in page signs in.
    void setSignInAccount(const Account& account) { m_signInAccount = account; }
    static Account defaultAccount();

    // The next request whose path begins with the prefix gets this reply instead of the
    // stand-in's own answer; replies for one prefix are used in the order given.
    void script(const QString& pathPrefix, const Reply& reply);
    void clearScript() { m_scripted.clear(); }

    // Direct set-up for tests: a fresh sign-in code for a challenge (as the sign-in page issues
    // it), and a signed-in session of an account.
    QString issueCode(const Account& account, const QString& codeChallenge);
    // The S256 challenge of a verifier.
    static QString codeChallenge(const QString& codeVerifier);
    TokenPair createSession(const Account& account);
    // An access token signed by this service with the given claims (header {"alg":"HS256"}).
    QString signToken(const QJsonObject& claims) const;

    // What arrived, in order (the last 10,000 requests).
    const QList<HttpRequest>& requests() const { return m_requests; }
    int requestCount(const QString& path) const;
    // Onboarding events recorded by "record_onboarding_event", in order.
    const QList<QJsonObject>& recordedEvents() const { return m_events; }
    bool isSessionActive(const QString& sessionID) const;
    int activeSessionCount() const;

private:
    struct Session
    {
        Account account;
        bool active = true;
        QString currentRefreshToken;
    };
    struct Code
    {
        Account account;
        QDateTime issuedAt;
        QString challenge;
        bool used = false;
    };
    struct Claims
    {
        QString sub;
        QString sessionID;
    };

    Reply handleBackend(const HttpRequest& request);
    Reply handleAccount(const HttpRequest& request);
    std::optional<Reply> scripted(const HttpRequest& request);
    void record(const HttpRequest& request);

    HttpResponse user(const HttpRequest& request);
    HttpResponse refresh(const HttpRequest& request);
    HttpResponse logout(const HttpRequest& request);
    HttpResponse startOrResumeOnboarding(const Claims& claims, const QJsonObject& body);
    HttpResponse recordOnboardingEvent(const Claims& claims, const QJsonObject& body);
    HttpResponse connectPage(const HttpRequest& request);
    HttpResponse exchange(const HttpRequest& request);

    // The caller's claims when the bearer token is one of ours, unexpired, of a live session.
    std::optional<Claims> verify(const HttpRequest& request) const;
    std::optional<Claims> verifyToken(const QString& token) const;
    TokenPair issueTokens(const QString& sessionID);
    QJsonObject tokenAnswer(const TokenPair& pair, const Account& account) const;
    void endSession(const QString& sessionID);
    QDateTime now() const { return m_clock(); }

    Options m_options;
    std::function<QDateTime()> m_clock;
    Account m_signInAccount;
    HttpServer m_backend;
    HttpServer m_account;
    QList<std::pair<QString, Reply>> m_scripted;
    QList<HttpRequest> m_requests;

    QHash<QString, Session> m_sessions;      // session id → session
    QHash<QString, QString> m_refreshTokens; // every refresh token ever issued → session id
    QHash<QString, Code> m_codes;
    QHash<QString, QString> m_onboardingSessions; // account id → onboarding session id
    QHash<QString, QString> m_onboardingOwners;   // onboarding session id → account id
    QSet<QString> m_eventIDs;
    QList<QJsonObject> m_events;
};

} // namespace devservices
