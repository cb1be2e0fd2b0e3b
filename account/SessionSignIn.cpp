// The browser sign-in of the account session: the hand-off to the account web service's page,
// the "veilmox://auth" callback with its code, and the exchange of the code for tokens.
#include "account/AuthKeychain.h"
#include "account/BackendClient.h"
#include "account/OnboardingAnalytics.h"
#include "account/SessionLifecycle.h"
#include "account/TokenCheck.h"
#include "platform/BoundedRead.h"
#include "platform/Workspace.h"
#include "state/WindowManager.h"

#include <QJsonDocument>
#include <QPointer>
#include <QUrlQuery>

#include <algorithm>

namespace {

constexpr qsizetype kShortestCode = 40;
constexpr qsizetype kLongestCode = 128;

const QString kCouldNotReach = QStringLiteral("Couldn't reach Veilmox. Check your connection and try again.");
const QString kSignInFailed = QStringLiteral("Sign-in failed. Try again.");
const QString kInvalidToken = QStringLiteral("Sign-in failed: invalid or expired token.");
const QString kCouldNotSave = QStringLiteral("Couldn't save your sign-in on this computer. Try again.");

bool isCodeCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
           || u == u'-';
}

// What the account service's exchange answered: a token pair, or the status text of the failure.
struct ExchangeAnswer
{
    std::optional<QString> failure;
    QString accessToken;
    std::optional<QString> refreshToken;
};

ExchangeAnswer readExchangeAnswer(const platform::URLSessionResult& result)
{
    const auto* response = std::get_if<platform::HTTPResponse>(&result);
    if (response == nullptr) {
        return {kCouldNotReach, {}, {}};
    }
    if (response->statusCode != 200) {
        return {response->statusCode == 410 ? QStringLiteral("That sign-in link expired. Sign in again.")
                                            : kSignInFailed,
                {},
                {}};
    }
    const auto parsed = platform::parseJson(response->data);
    if (!parsed) {
        return {kCouldNotReach, {}, {}};
    }
    const QJsonDocument& answer = *parsed;
    const QJsonValue accessToken = answer.object().value(QStringLiteral("access_token"));
    const QJsonValue refreshToken = answer.object().value(QStringLiteral("refresh_token"));
    // A token that could break out of a request header is a failed answer, never stored.
    if (!answer.isObject() || !accessToken.isString() || !isWellFormedToken(accessToken.toString())
        || (refreshToken.isString() && !isWellFormedToken(refreshToken.toString()))) {
        return {kSignInFailed, {}, {}};
    }
    return {std::nullopt,
            accessToken.toString(),
            refreshToken.isString() ? std::optional(refreshToken.toString()) : std::nullopt};
}

} // namespace

bool SessionLifecycle::isValidHandoffCode(const QString& code)
{
    if (code.size() < kShortestCode || code.size() > kLongestCode) {
        return false;
    }
    return std::all_of(code.cbegin(), code.cend(), isCodeCharacter);
}

void SessionLifecycle::startBrowserSignIn()
{
    const auto page = m_backend.accountServiceURL(QStringLiteral("/desktop/connect"));
    if (!page) {
        return;
    }
    m_state.setAuthInProgress(true);
    m_state.setAuthStatusMessage(QStringLiteral("Waiting for browser sign-in..."));
    m_state.setHandoffRequestedAt(m_services.scheduler->currentDate());
    m_state.setBrowserReturnHost(QStringLiteral("auth"));
    if (AppDelegateInterface* shell = m_state.appDelegate()) {
        if (shell->isPopoverShown()) {
            shell->closePopover();
        }
        // The onboarding window stops floating so the browser's page can come above it; the
        // callback raises it again.
        shell->returnFocusToBrowser();
    }
    if (m_services.workspace != nullptr) {
        m_services.workspace->openURL(*page);
    }
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
    const auto url = m_backend.accountServiceURL(QStringLiteral("/api/auth/desktop-handoff/exchange"));
    if (!url) {
        return;
    }
    const quint64 exchange = m_nextExchange++;
    m_state.setAuthInProgress(true);
    m_state.setAuthStatusMessage(QStringLiteral("Connecting your account..."));

    platform::URLRequest request(*url);
    request.httpMethod = "POST";
    request.setValue("application/json", "Content-Type");
    request.httpBody =
        QJsonDocument(QJsonObject{{QStringLiteral("code"), code}}).toJson(QJsonDocument::Compact);
    platform::URLSession& session =
        m_services.urlSession != nullptr ? *m_services.urlSession : platform::URLSession::shared();
    session.dataTask(request, this, [this, exchange](const platform::URLSessionResult& result) {
        exchanged(exchange, result);
    });
}

void SessionLifecycle::exchanged(quint64 exchange, const platform::URLSessionResult& result)
{
    const ExchangeAnswer answer = readExchangeAnswer(result);
    if (isSuperseded(exchange)) {
        // Signed out, or signed in anew, meanwhile: the answer is dropped, but the session the
        // account service opened for it must not stay live on the server.
        if (!answer.failure) {
            m_backend.logoutOnServer(answer.accessToken, answer.refreshToken);
        }
        return;
    }
    if (answer.failure) {
        // The hand-off time is kept, so a fresh link opened soon after is still taken.
        failSignIn(*answer.failure);
        return;
    }
    validateNewTokens(exchange, answer.accessToken, answer.refreshToken);
}

void SessionLifecycle::validateNewTokens(quint64 exchange,
                                         const QString& accessToken,
                                         const std::optional<QString>& refreshToken)
{
    m_state.setAuthInProgress(true);
    m_state.setAuthStatusMessage(QStringLiteral("Validating secure session..."));
    if (!m_backend.isAccessTokenUsable(accessToken)) {
        failSignIn(kInvalidToken);
        return;
    }
    m_backend.fetchUser(
        accessToken, this, [this, exchange, accessToken, refreshToken](SessionCheckResult result) {
            if (isSuperseded(exchange)) {
                m_backend.logoutOnServer(accessToken, refreshToken);
                return;
            }
            switch (result) {
            case SessionCheckResult::Valid:
                storeNewSession(exchange, accessToken, refreshToken);
                return;
            case SessionCheckResult::Rejected:
                failSignIn(kInvalidToken);
                return;
            case SessionCheckResult::Unreachable:
                failSignIn(kCouldNotReach);
                return;
            }
        });
}

void SessionLifecycle::storeNewSession(quint64 exchange,
                                       const QString& accessToken,
                                       const std::optional<QString>& refreshToken)
{
    AuthKeychain tokens(m_services);
    if (m_state.isAuthenticated()) {
        const auto stored = tokens.read(AuthKeychain::accessTokenAccount);
        const std::optional<QString> previousUser = stored ? userID(*stored) : std::nullopt;
        if (userID(accessToken) != previousUser) {
            // Another account: its onboarding progress goes to a session of its own.
            m_analytics.setSessionID(std::nullopt);
        }
    }
    tokens.deleteItem(AuthKeychain::accessTokenAccount);
    tokens.deleteItem(AuthKeychain::refreshTokenAccount);
    const bool saved =
        tokens.writeReportingSuccess(accessToken, AuthKeychain::accessTokenAccount)
        && (!refreshToken || tokens.writeReportingSuccess(*refreshToken, AuthKeychain::refreshTokenAccount));
    if (!saved) {
        failToSave(accessToken, refreshToken);
        return;
    }
    // Answers about the session this one replaces, and exchanges begun before this one, are
    // stale from here on.
    ++m_generation;
    m_exchangeBarrier = std::max(m_exchangeBarrier, exchange + 1);
    m_state.setHandoffRequestedAt(std::nullopt);
    if (m_analytics.hasBufferedEvents()) {
        QPointer<OnboardingAnalytics> analytics(&m_analytics);
        m_analytics.enqueue([analytics](std::function<void()> done) {
            if (analytics.isNull()) {
                done();
                return;
            }
            analytics->resumeAfterSignIn(std::move(done));
        });
    }
    applySignedIn(QStringLiteral("Signed in"));
}

void SessionLifecycle::failToSave(const QString& accessToken, const std::optional<QString>& refreshToken)
{
    // A sign-in the next launch cannot find must not look complete now. Half a pair is dropped
    // too, and the server session that nobody can use any more is ended.
    AuthKeychain tokens(m_services);
    tokens.deleteItem(AuthKeychain::accessTokenAccount);
    tokens.deleteItem(AuthKeychain::refreshTokenAccount);
    m_backend.logoutOnServer(accessToken, refreshToken);
    qWarning("Sign-in: the new session could not be saved in the keychain");
    if (m_state.isAuthenticated()) {
        // The previous session's tokens were replaced already.
        ++m_generation;
        m_state.setIsAuthenticated(false);
        m_state.applySessionState();
    }
    failSignIn(kCouldNotSave);
}

void SessionLifecycle::failSignIn(const QString& status)
{
    // A user who was signed in stays signed in with the old tokens.
    m_state.setAuthInProgress(false);
    m_state.setAuthStatusMessage(status);
}
