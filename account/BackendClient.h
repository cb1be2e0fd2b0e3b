#pragma once

#include "account/AuthKeychain.h"
#include "platform/Services.h"
#include "state/BackendCalls.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace platform {
class URLSession;
} // namespace platform

// The backend's answer to the user check: a refusal and a backend that cannot be asked are kept
// apart, since the session signs out on the first and retries on the second.
enum class SessionCheckResult
{
    Valid,
    Rejected,
    Unreachable,
};

// The backend's answer to a token refresh.
struct TokenRefreshResult
{
    enum class Kind
    {
        Success,
        Rejected,
        Unreachable,
    };

    Kind kind = Kind::Rejected;
    QString accessToken;                 // Success: non-empty
    std::optional<QString> refreshToken; // Success: the rotated refresh token, when sent

    static TokenRefreshResult success(QString accessToken, std::optional<QString> refreshToken);
    static TokenRefreshResult rejected() { return {Kind::Rejected, {}, {}}; }
    static TokenRefreshResult unreachable() { return {Kind::Unreachable, {}, {}}; }
    bool operator==(const TokenRefreshResult& other) const = default;
};

// The account session's client of the backend service (a Supabase project reached by plain web
// requests) and the source of its configuration: the local token check, the user check, the token
// refresh, the server logout, and the authenticated backend call with its valid access token.
// Settings come from the bundle each time; tokens from the keychain each time. All requests go
// through the one URL session; answers come back on the main thread. Completions run exactly
// once, never after `context` (when given) or the client is gone. Nothing here logs a token, a
// code, a header or a body.
class BackendClient final
    : public QObject
    , public BackendCalls
{
    Q_OBJECT

public:
    // The account web service's base address (sign-in page and code exchange).
    static inline const QString accountServiceURLPlistKey = QStringLiteral("ACCOUNT_SERVICE_URL");

    explicit BackendClient(const platform::Services& services, QObject* parent = nullptr);
    ~BackendClient() override;

    // The process's client, created on first use with the process's services.
    static BackendClient& shared();

    // A bundle setting as a string, trimmed; none when absent, empty or not a string.
    std::optional<QString> infoPlistValue(const QString& key) const;
    // The base address and the path joined as text; none when the base is not set or the result
    // is not a URL the session may send to (https, or http to a loopback address).
    std::optional<QUrl> backendURL(const QString& path) const;
    std::optional<QUrl> accountServiceURL(const QString& path) const;

    // The local token check at the current time, with the configured base address.
    bool isAccessTokenUsable(const QString& token) const;

    using Completion = std::function<void()>;
    void
    fetchUser(const QString& accessToken, QObject* context, std::function<void(SessionCheckResult)> done);
    // Calls with the same refresh token while one is in flight share its answer: a refresh token
    // is sent once, since a server that rotates them may take a second use as theft. A token
    // that is not well formed, sent or answered, is a refusal.
    void refreshTokens(const QString& refreshToken,
                       QObject* context,
                       std::function<void(const TokenRefreshResult&)> done);
    // Best effort; `done` (optional) runs when nothing more will be sent.
    void logoutOnServer(const std::optional<QString>& accessToken,
                        const std::optional<QString>& refreshToken,
                        QObject* context = nullptr,
                        Completion done = {});

    // The stored access token, refreshed when it fails the local check. A refreshed pair is
    // stored only while the keychain still holds the refresh token that was used.
    void validAccessToken(QObject* context, std::function<void(const AccessTokenResult&)> done) override;
    void callRPC(const QString& path,
                 const QString& method,
                 const std::optional<QJsonObject>& body,
                 QObject* context,
                 std::function<void(const RPCResult&)> done) override;

    AuthKeychain keychain() const { return AuthKeychain(m_services); }

signals:
    // A refreshed pair the keychain could not take is held in memory (see AuthKeychain).
    void refreshedPairHeld();

private:
    struct RefreshWaiter
    {
        QPointer<QObject> context;
        bool hasContext = false;
        std::function<void(const TokenRefreshResult&)> done;
    };

    platform::URLSession& session() const;
    void sendLogout(const QUrl& url, const QString& accessToken, Completion done);
    void finishRefresh(const QString& refreshToken, const TokenRefreshResult& result);

    platform::Services m_services;
    QHash<QString, QList<RefreshWaiter>> m_refreshesInFlight;
};
