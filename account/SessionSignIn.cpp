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

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr qsizetype kShortestCode = 40;
constexpr qsizetype kLongestCode = 128;

const QString kCouldNotReach = QStringLiteral("Couldn't reach Veilmox. Check your connection and try again.");
const QString kSignInFailed = QStringLiteral("Sign-in failed. Try again.");
const QString kInvalidToken = QStringLiteral("Sign-in failed: invalid or expired token.");
const QString kCouldNotSave = QStringLiteral("Couldn't save your sign-in on this computer. Try again.");
const QString kWaitingForBrowser = QStringLiteral("Waiting for browser sign-in...");
const QString kCouldNotOpenBrowser =
    QStringLiteral("Couldn't open your browser to sign in. Set a default browser and try again.");

// A proof key for one hand-off: the verifier never leaves this process except in the exchange;
// the page gets only its SHA-256, so a code read off a command line is worthless to anyone else.
struct ProofKey
{
    QString verifier;
    QString challenge;
};

QByteArray base64URL(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

ProofKey newProofKey()
{
    // 256 random bits: 43 characters of letters, digits, "-" and "_".
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const QByteArray verifier =
        base64URL(QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)));
    return {QString::fromLatin1(verifier),
            QString::fromLatin1(base64URL(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)))};
}

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
    // A request that timed out before the service read it (408) was not refused.
    if (response->statusCode == 408) {
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
    auto page = m_backend.accountServiceURL(QStringLiteral("/desktop/connect"));
    if (!page) {
        return;
    }
    // Each hand-off has a key of its own; a page opened earlier can no longer complete.
    const ProofKey key = newProofKey();
    m_codeVerifier = key.verifier;
    QUrlQuery query(*page);
    query.addQueryItem(QStringLiteral("code_challenge"), key.challenge);
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    page->setQuery(query);
    m_state.setAuthInProgress(true);
    m_state.setAuthStatusMessage(kWaitingForBrowser);
    m_state.setHandoffRequestedAt(m_services.scheduler->currentDate());
    m_state.setBrowserReturnHost(QStringLiteral("auth"));
    const quint64 handoff = ++m_lastHandoff;
    const QString address = page->toString(QUrl::FullyEncoded);
    AppDelegateInterface* shell = m_state.appDelegate();
    m_popoverShownAtHandoff = shell != nullptr && shell->isPopoverShown();
    if (m_services.workspace == nullptr) {
        browserNotOpened(handoff, address, false);
        return;
    }
    // The launcher may say only later that it found no browser (it exits non-zero).
    QPointer<SessionLifecycle> self(this);
    auto returned = std::make_shared<bool>(false);
    m_services.workspace->openURLWithCompletion(*page, [self, handoff, address, returned](bool opened) {
        if (!opened && !self.isNull()) {
            self->browserNotOpened(handoff, address, *returned);
        }
    });
    *returned = true;
    if (!isWaitingForBrowser(handoff)) {
        // It failed at once: the popover stays to say so.
        return;
    }
    if (shell != nullptr) {
        if (shell->isPopoverShown()) {
            shell->closePopover();
        }
        // The onboarding window stops floating so the browser's page can come above it; the
        // callback raises it again.
        shell->returnFocusToBrowser();
    }
}

bool SessionLifecycle::isWaitingForBrowser(quint64 handoff) const
{
    // Not a later hand-off, not signed in or out since, and no callback came (from the page
    // opened by hand, say).
    return handoff == m_lastHandoff && m_codeVerifier && m_state.authInProgress()
           && m_state.authStatusMessage() == kWaitingForBrowser;
}

void SessionLifecycle::browserNotOpened(quint64 handoff, const QString& page, bool madeWay)
{
    if (!isWaitingForBrowser(handoff)) {
        return;
    }
    // Nothing will come back: the hand-off failed. The page still works when opened by hand (its
    // challenge is no secret; the verifier stays here), so the log gives its address.
    qWarning("Sign-in: no browser could be opened; to sign in, open %s", page.toUtf8().constData());
    m_state.setAuthInProgress(false);
    m_state.setAuthStatusMessage(kCouldNotOpenBrowser);
    AppDelegateInterface* shell = m_state.appDelegate();
    if (madeWay && shell != nullptr) {
        // What made way for the browser comes back to say so.
        shell->raiseOnboardingWindow();
        if (m_popoverShownAtHandoff) {
            shell->showPopover();
        }
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
    // A code that arrives with no hand-off started in this run goes without a verifier, and a
    // service that checks them refuses it: nobody else's sign-in can be slipped in.
    QJsonObject body{{QStringLiteral("code"), code}};
    if (m_codeVerifier) {
        body.insert(QStringLiteral("code_verifier"), *m_codeVerifier);
    }
    request.httpBody = QJsonDocument(body).toJson(QJsonDocument::Compact);
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
    const StoredPair previous{tokens.read(AuthKeychain::accessTokenAccount),
                              tokens.read(AuthKeychain::refreshTokenAccount)};
    if (m_state.isAuthenticated()) {
        const auto& stored = previous.accessToken;
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
        failToSave(accessToken, refreshToken, previous);
        return;
    }
    forgetRemoval();
    // Answers about the session this one replaces, and exchanges begun before this one, are
    // stale from here on.
    ++m_generation;
    m_exchangeBarrier = std::max(m_exchangeBarrier, exchange + 1);
    m_state.setHandoffRequestedAt(std::nullopt);
    m_codeVerifier.reset();
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

void SessionLifecycle::failToSave(const QString& accessToken,
                                  const std::optional<QString>& refreshToken,
                                  const StoredPair& previous)
{
    // A sign-in the next launch cannot find must not look complete now. Half a pair is dropped
    // too, and the server session that nobody can use any more is ended.
    AuthKeychain tokens(m_services);
    tokens.deleteItem(AuthKeychain::accessTokenAccount);
    tokens.deleteItem(AuthKeychain::refreshTokenAccount);
    m_backend.logoutOnServer(accessToken, refreshToken);
    qWarning("Sign-in: the new session could not be saved in the keychain");
    // A store that took no change at all (a full disk) still holds the previous session whole:
    // a user who was signed in with it stays so.
    bool previousKept = previous.accessToken
                        && tokens.read(AuthKeychain::accessTokenAccount) == previous.accessToken
                        && tokens.read(AuthKeychain::refreshTokenAccount) == previous.refreshToken;
    // A session that ended but could not be removed yet is not brought back.
    if (!previousKept && previous.accessToken && previous.refreshToken && !m_removalPending) {
        // The attempt cost the store the previous pair (or it never held it: a refreshed pair
        // held in memory, whose stored predecessor the service has retired). That session is
        // still good with the service, so it stays in force, held in memory until it is saved.
        tokens.holdUnsavedPair(*previous.accessToken, *previous.refreshToken);
        scheduleUnsavedSave();
        previousKept = true;
        qWarning("Sign-in: the session in force before is kept in memory and saved as soon as the "
                 "keychain takes it");
    }
    if (m_state.isAuthenticated() && !previousKept) {
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
