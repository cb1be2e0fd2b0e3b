#include "account/BackendClient.h"

#include "account/TokenCheck.h"
#include "platform/BoundedRead.h"
#include "platform/Bundle.h"
#include "platform/Scheduler.h"
#include "platform/URLSession.h"
#include "state/WindowManager.h"

#include <QJsonDocument>
#include <QStringDecoder>

namespace {

// Wraps a completion so that it does nothing once the caller's context object is gone.
template <typename... Args>
std::function<void(Args...)> guarded(QObject* context, std::function<void(Args...)> done)
{
    if (context == nullptr) {
        return done;
    }
    QPointer<QObject> guard(context);
    return [guard, done = std::move(done)](Args... args) {
        if (!guard.isNull()) {
            done(std::forward<Args>(args)...);
        }
    };
}

// A success whose body is not JSON was cut short on its way (a body that ends with the connection
// has no length to check it by) or came from something in between: the service was not heard, so
// the answer neither confirms nor refuses.
bool isUnreadableSuccess(const platform::HTTPResponse& response)
{
    return response.statusCode == 200 && !platform::parseJson(response.data);
}

std::optional<QJsonObject> jsonObject(const QByteArray& body)
{
    const auto document = platform::parseJson(body);
    if (!document || !document->isObject()) {
        return std::nullopt;
    }
    return document->object();
}

std::optional<QString> nonEmptyString(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString() || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

// Throttling and server faults mean "not now", not "no"; so does a request that timed out before
// the server read it whole (408), which never reached a verdict.
bool isTemporaryFailure(int statusCode)
{
    return statusCode == 0 || statusCode == 408 || statusCode == 429 || statusCode >= 500;
}

QByteArray bearer(const QString& token)
{
    return "Bearer " + token.toUtf8();
}

std::optional<QUrl> joinedURL(const std::optional<QString>& base, const QString& path)
{
    if (!base) {
        return std::nullopt;
    }
    const QUrl url(*base + path, QUrl::StrictMode);
    if (!platform::URLSession::isPermitted(url)) {
        return std::nullopt;
    }
    return url;
}

} // namespace

TokenRefreshResult TokenRefreshResult::success(QString accessToken, std::optional<QString> refreshToken)
{
    return {Kind::Success, std::move(accessToken), std::move(refreshToken)};
}

BackendClient::BackendClient(const platform::Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{}

BackendClient::~BackendClient() = default;

BackendClient& BackendClient::shared()
{
    // Lives until the process ends.
    static auto* instance = new BackendClient(platform::Services::current());
    return *instance;
}

platform::URLSession& BackendClient::session() const
{
    return m_services.urlSession != nullptr ? *m_services.urlSession : platform::URLSession::shared();
}

std::optional<QString> BackendClient::infoPlistValue(const QString& key) const
{
    const platform::Bundle& bundle =
        m_services.bundle != nullptr ? *m_services.bundle : platform::Bundle::main();
    const auto value = bundle.stringForInfoDictionaryKey(key);
    if (!value) {
        return std::nullopt;
    }
    const QString trimmed = value->trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return trimmed;
}

std::optional<QUrl> BackendClient::backendURL(const QString& path) const
{
    return joinedURL(infoPlistValue(WindowManager::supabaseURLPlistKey), path);
}

std::optional<QUrl> BackendClient::accountServiceURL(const QString& path) const
{
    return joinedURL(infoPlistValue(accountServiceURLPlistKey), path);
}

bool BackendClient::isAccessTokenUsable(const QString& token) const
{
    const platform::Scheduler& scheduler =
        m_services.scheduler != nullptr ? *m_services.scheduler : platform::Scheduler::current();
    const double now = static_cast<double>(scheduler.currentDate().toMSecsSinceEpoch()) / 1000.0;
    return ::isAccessTokenUsable(token,
                                 now,
                                 infoPlistValue(WindowManager::supabaseURLPlistKey),
                                 WindowManager::jwtExpiryLeewaySeconds);
}

void BackendClient::fetchUser(const QString& accessToken,
                              QObject* context,
                              std::function<void(SessionCheckResult)> done)
{
    auto finish = guarded(context, std::move(done));
    const auto url = backendURL(QStringLiteral("/auth/v1/user"));
    if (!url) {
        finish(SessionCheckResult::Rejected);
        return;
    }
    platform::URLRequest request(*url);
    request.httpMethod = "GET";
    request.setValue(bearer(accessToken), "Authorization");
    if (const auto key = infoPlistValue(WindowManager::supabaseAnonKeyPlistKey)) {
        request.setValue(key->toUtf8(), "apikey");
    }
    session().dataTask(request, this, [finish](const platform::URLSessionResult& result) {
        const auto* response = std::get_if<platform::HTTPResponse>(&result);
        if (response == nullptr || isTemporaryFailure(response->statusCode)
            || isUnreadableSuccess(*response)) {
            finish(SessionCheckResult::Unreachable);
            return;
        }
        const auto user = response->statusCode == 200 ? jsonObject(response->data) : std::nullopt;
        const bool valid = user && nonEmptyString(*user, QStringLiteral("id"));
        finish(valid ? SessionCheckResult::Valid : SessionCheckResult::Rejected);
    });
}

void BackendClient::refreshTokens(const QString& refreshToken,
                                  QObject* context,
                                  std::function<void(const TokenRefreshResult&)> done)
{
    const auto url = backendURL(QStringLiteral("/auth/v1/token?grant_type=refresh_token"));
    if (!url || !isWellFormedToken(refreshToken)) {
        guarded(context, std::move(done))(TokenRefreshResult::rejected());
        return;
    }
    RefreshWaiter waiter;
    waiter.context = context;
    waiter.hasContext = context != nullptr;
    waiter.done = std::move(done);
    const bool inFlight = m_refreshesInFlight.contains(refreshToken);
    m_refreshesInFlight[refreshToken].append(std::move(waiter));
    if (inFlight) {
        return;
    }

    platform::URLRequest request(*url);
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    if (const auto key = infoPlistValue(WindowManager::supabaseAnonKeyPlistKey)) {
        request.setValue(key->toUtf8(), "apikey");
    }
    request.httpBody = QJsonDocument(QJsonObject{{QStringLiteral("refresh_token"), refreshToken}})
                           .toJson(QJsonDocument::Compact);
    session().dataTask(request, this, [this, refreshToken](const platform::URLSessionResult& result) {
        const auto* response = std::get_if<platform::HTTPResponse>(&result);
        if (response == nullptr || isTemporaryFailure(response->statusCode)
            || isUnreadableSuccess(*response)) {
            finishRefresh(refreshToken, TokenRefreshResult::unreachable());
            return;
        }
        const auto answer = response->statusCode == 200 ? jsonObject(response->data) : std::nullopt;
        const auto accessToken =
            answer ? nonEmptyString(*answer, QStringLiteral("access_token")) : std::nullopt;
        const QJsonValue rotated = answer ? answer->value(QStringLiteral("refresh_token")) : QJsonValue();
        // A token that could break out of a header is never stored: the whole answer is refused.
        if (!accessToken || !isWellFormedToken(*accessToken)
            || (rotated.isString() && !isWellFormedToken(rotated.toString()))) {
            finishRefresh(refreshToken, TokenRefreshResult::rejected());
            return;
        }
        finishRefresh(refreshToken,
                      TokenRefreshResult::success(*accessToken,
                                                  rotated.isString() ? std::optional(rotated.toString())
                                                                     : std::nullopt));
    });
}

void BackendClient::finishRefresh(const QString& refreshToken, const TokenRefreshResult& result)
{
    const QList<RefreshWaiter> waiters = m_refreshesInFlight.take(refreshToken);
    for (const RefreshWaiter& waiter : waiters) {
        if (!waiter.hasContext || !waiter.context.isNull()) {
            waiter.done(result);
        }
    }
}

void BackendClient::logoutOnServer(const std::optional<QString>& accessToken,
                                   const std::optional<QString>& refreshToken,
                                   QObject* context,
                                   Completion done)
{
    auto finish = guarded(context, done ? std::move(done) : Completion([] {}));
    const auto url = backendURL(QStringLiteral("/auth/v1/logout?scope=local"));
    if (!url) {
        finish();
        return;
    }
    if (accessToken && isAccessTokenUsable(*accessToken)) {
        sendLogout(*url, *accessToken, finish);
        return;
    }
    if (!refreshToken) {
        finish();
        return;
    }
    // An expired access token cannot end the session; a fresh one (not stored) can.
    refreshTokens(*refreshToken, this, [this, url = *url, finish](const TokenRefreshResult& result) {
        if (result.kind != TokenRefreshResult::Kind::Success) {
            finish();
            return;
        }
        sendLogout(url, result.accessToken, finish);
    });
}

void BackendClient::sendLogout(const QUrl& url, const QString& accessToken, Completion done)
{
    platform::URLRequest request(url);
    request.httpMethod = "POST";
    request.setValue(bearer(accessToken), "Authorization");
    if (const auto key = infoPlistValue(WindowManager::supabaseAnonKeyPlistKey)) {
        request.setValue(key->toUtf8(), "apikey");
    }
    session().dataTask(request, this, [done](const platform::URLSessionResult&) { done(); });
}

void BackendClient::validAccessToken(QObject* context, std::function<void(const AccessTokenResult&)> done)
{
    auto finish = guarded(context, std::move(done));
    AuthKeychain store = keychain();
    const auto accessToken = store.read(AuthKeychain::accessTokenAccount);
    if (!accessToken) {
        finish(SupabaseRPCError::signedOut());
        return;
    }
    if (isAccessTokenUsable(*accessToken)) {
        finish(*accessToken);
        return;
    }
    const auto refreshToken = store.read(AuthKeychain::refreshTokenAccount);
    if (!refreshToken) {
        finish(SupabaseRPCError::signedOut());
        return;
    }
    refreshTokens(
        *refreshToken, this, [this, finish, used = *refreshToken](const TokenRefreshResult& result) {
            switch (result.kind) {
            case TokenRefreshResult::Kind::Success: {
                AuthKeychain tokens = keychain();
                if (tokens.read(AuthKeychain::refreshTokenAccount) != used) {
                    // Signed out, or signed in anew, while the refresh was under way: these
                    // tokens must not come back. Whatever is stored now decides.
                    validAccessToken(nullptr, finish);
                    return;
                }
                if (!tokens.writeRefreshedPair(result.accessToken, result.refreshToken.value_or(used))) {
                    emit refreshedPairHeld();
                }
                finish(result.accessToken);
                return;
            }
            case TokenRefreshResult::Kind::Rejected:
                finish(SupabaseRPCError::signedOut());
                return;
            case TokenRefreshResult::Kind::Unreachable:
                finish(SupabaseRPCError::unreachable());
                return;
            }
        });
}

void BackendClient::callRPC(const QString& path,
                            const QString& method,
                            const std::optional<QJsonObject>& body,
                            QObject* context,
                            std::function<void(const RPCResult&)> done)
{
    auto finish = guarded(context, std::move(done));
    const auto key = infoPlistValue(WindowManager::supabaseAnonKeyPlistKey);
    const auto url = backendURL(QStringLiteral("/rest/v1/") + path);
    if (!key || !url) {
        finish(SupabaseRPCError::notConfigured());
        return;
    }
    validAccessToken(
        this, [this, finish, key = *key, url = *url, method, body](const AccessTokenResult& token) {
            if (const auto* error = std::get_if<SupabaseRPCError>(&token)) {
                finish(*error);
                return;
            }
            platform::URLRequest request(url);
            request.httpMethod = method.toUtf8();
            request.setValue("application/json", "Content-Type");
            request.setValue(key.toUtf8(), "apikey");
            request.setValue(bearer(std::get<QString>(token)), "Authorization");
            if (body) {
                request.httpBody = QJsonDocument(*body).toJson(QJsonDocument::Compact);
            }
            session().dataTask(request, this, [finish](const platform::URLSessionResult& result) {
                if (const auto* error = std::get_if<platform::URLError>(&result)) {
                    finish(*error);
                    return;
                }
                const auto& response = std::get<platform::HTTPResponse>(result);
                if (response.statusCode >= 200 && response.statusCode <= 299) {
                    finish(response.data);
                    return;
                }
                QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                QString text = decoder.decode(response.data);
                finish(SupabaseRPCError::http(response.statusCode, decoder.hasError() ? QString() : text));
            });
        });
}
