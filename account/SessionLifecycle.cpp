#include "account/SessionLifecycle.h"

#include "account/AuthKeychain.h"
#include "account/BackendClient.h"
#include "platform/Scheduler.h"
#include "state/WindowManager.h"

#include <QLoggingCategory>
#include <QUrlQuery>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(sessionLog, "veilmox.session")

constexpr qsizetype kShortestCode = 40;
constexpr qsizetype kLongestCode = 128;

bool isCodeCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
           || u == u'-';
}

} // namespace

SessionLifecycle::SessionLifecycle(WindowManager& state,
                                   BackendClient& backend,
                                   const platform::Services& services,
                                   QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_backend(backend)
    , m_services(services)
{}

SessionLifecycle& SessionLifecycle::shared()
{
    // Lives until the process ends.
    static auto* instance =
        new SessionLifecycle(WindowManager::shared(), BackendClient::shared(), platform::Services::current());
    return *instance;
}

void SessionLifecycle::migrateLegacyDefaults()
{
    AuthKeychain(m_services).migrateLegacyDefaults();
}

void SessionLifecycle::validateSavedSession()
{
    const auto accessToken = AuthKeychain(m_services).read(AuthKeychain::accessTokenAccount);
    if (!accessToken || accessToken->isEmpty()) {
        m_state.setIsAuthenticated(false);
        m_state.setAuthStatusMessage(QStringLiteral("Sign in required"));
        return;
    }
    m_state.setAuthInProgress(true);
    m_state.setAuthStatusMessage(QStringLiteral("Validating saved session..."));
    // Returns at once; the check goes on from the next turn.
    m_services.scheduler->post(this, [this, token = *accessToken] { validateSession(token); });
}

void SessionLifecycle::validateSession(const QString& accessToken)
{
    // A token that fails the local check is never sent: only the refresh is tried.
    if (!m_backend.isAccessTokenUsable(accessToken)) {
        refreshSavedSession();
        return;
    }
    m_backend.fetchUser(accessToken, this, [this](SessionCheckResult result) {
        switch (result) {
        case SessionCheckResult::Valid:
            applySignedIn(QStringLiteral("Signed in"));
            return;
        case SessionCheckResult::Rejected:
            refreshSavedSession();
            return;
        case SessionCheckResult::Unreachable:
            goOffline();
            return;
        }
    });
}

void SessionLifecycle::refreshSavedSession()
{
    const auto refreshToken = AuthKeychain(m_services).read(AuthKeychain::refreshTokenAccount);
    if (!refreshToken) {
        expireSavedSession();
        return;
    }
    m_backend.refreshTokens(
        *refreshToken, this, [this, used = *refreshToken](const TokenRefreshResult& result) {
            switch (result.kind) {
            case TokenRefreshResult::Kind::Success: {
                AuthKeychain tokens(m_services);
                tokens.write(result.accessToken, AuthKeychain::accessTokenAccount);
                // A backend that does not rotate refresh tokens answers without one: keep the old.
                tokens.write(result.refreshToken.value_or(used), AuthKeychain::refreshTokenAccount);
                applySignedIn(QStringLiteral("Session refreshed"));
                return;
            }
            case TokenRefreshResult::Kind::Rejected:
                expireSavedSession();
                return;
            case TokenRefreshResult::Kind::Unreachable:
                goOffline();
                return;
            }
        });
}

void SessionLifecycle::applySignedIn(const QString& status)
{
    m_state.setAuthInProgress(false);
    m_state.setIsAuthenticated(true);
    m_state.setAuthStatusMessage(status);
    m_state.applySessionState();
}

void SessionLifecycle::goOffline()
{
    // A backend that cannot be reached never signs the user out: protection goes on.
    m_state.setAuthInProgress(false);
    m_state.setIsAuthenticated(true);
    m_state.setAuthStatusMessage(QStringLiteral("Offline — reconnecting..."));
    m_state.applySessionState();
}

void SessionLifecycle::expireSavedSession()
{
    m_state.setAuthInProgress(false);
    AuthKeychain tokens(m_services);
    tokens.deleteItem(AuthKeychain::accessTokenAccount);
    tokens.deleteItem(AuthKeychain::refreshTokenAccount);
    m_state.setIsAuthenticated(false);
    m_state.setAuthStatusMessage(QStringLiteral("Saved session expired. Sign in required"));
    m_state.applySessionState();
}

bool SessionLifecycle::isValidHandoffCode(const QString& code)
{
    if (code.size() < kShortestCode || code.size() > kLongestCode) {
        return false;
    }
    return std::all_of(code.cbegin(), code.cend(), isCodeCharacter);
}

void SessionLifecycle::handleAuthCallback(const QUrl& url)
{
    // Anything the browser hands back is untrusted: a malformed or foreign code ends here,
    // silently.
    std::optional<QString> code;
    for (const auto& [name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("code")) {
            code = value;
            break;
        }
    }
    if (!code || !isValidHandoffCode(*code)) {
        return;
    }
    // While signed in, only a hand-off asked for lately may replace the session: an old or
    // planted link must not switch accounts.
    const auto& requestedAt = m_state.handoffRequestedAt();
    const bool recent = requestedAt.has_value()
                        && requestedAt->msecsTo(m_services.scheduler->currentDate())
                               < static_cast<qint64>(handoffValiditySeconds * 1000);
    if (m_state.isAuthenticated() && !recent) {
        return;
    }
    m_services.scheduler->post(this, [this, accepted = *code] { exchangeHandoffCode(accepted); });
}

void SessionLifecycle::exchangeHandoffCode(const QString& code)
{
    // The exchange for tokens is not built yet; the code waits here. Never logged: it is a
    // credential until it is used.
    m_pendingHandoffCode = code;
    qCInfo(sessionLog, "Sign-in code received; its exchange is not available yet");
}
