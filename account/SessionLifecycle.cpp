#include "account/SessionLifecycle.h"

#include "account/AuthKeychain.h"
#include "account/BackendClient.h"
#include "account/OnboardingAnalytics.h"
#include "state/WindowManager.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

SessionLifecycle::SessionLifecycle(WindowManager& state,
                                   BackendClient& backend,
                                   OnboardingAnalytics& analytics,
                                   const platform::Services& services,
                                   QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_backend(backend)
    , m_analytics(analytics)
    , m_services(services)
{
    if (QCoreApplication::instance() != nullptr) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            saveUnsavedSession();
            if (m_removalPending) {
                removeEndedSession();
            }
        });
    }
    // The backend call refreshes on its own as access tokens expire during a long run.
    connect(&m_backend, &BackendClient::refreshedPairHeld, this, &SessionLifecycle::scheduleUnsavedSave);
}

SessionLifecycle::~SessionLifecycle() = default;

void SessionLifecycle::saveUnsavedSession()
{
    AuthKeychain(m_services).saveUnsavedPair();
}

namespace {
const QString kSignedOut = QStringLiteral("Signed out");
const QString kCouldNotRemove =
    QStringLiteral("Couldn't remove your sign-in from this computer. Trying again...");
} // namespace

bool SessionLifecycle::removeEndedSession()
{
    AuthKeychain tokens(m_services);
    // A damaged store kept aside, or a save a kill cut short, may still hold token text.
    const bool removed = tokens.deleteSession();
    tokens.discardLeftovers();
    if (!removed) {
        return false;
    }
    forgetRemoval();
    if (m_state.authStatusMessage() == kCouldNotRemove) {
        m_state.setAuthStatusMessage(kSignedOut);
    }
    return true;
}

void SessionLifecycle::scheduleRemoval()
{
    m_removalPending = true;
    if (m_removalRetry.isActive()) {
        return;
    }
    m_removalRetry = m_services.scheduler->after(m_removalRetryDelay, [this] {
        // A sign-in since has stored a session of its own, which is not this one to remove.
        if (!m_removalPending) {
            return;
        }
        if (!removeEndedSession()) {
            m_removalRetryDelay = std::min(2 * m_removalRetryDelay, longestUnsavedSaveDelay);
            scheduleRemoval();
        }
    });
}

void SessionLifecycle::forgetRemoval()
{
    m_removalPending = false;
    m_removalRetry.cancel();
    m_removalRetryDelay = firstUnsavedSaveDelay;
}

bool SessionLifecycle::isRemovingEndedSession() const
{
    return m_removalPending;
}

void SessionLifecycle::scheduleUnsavedSave()
{
    if (m_unsavedSave.isActive()) {
        return;
    }
    m_unsavedSave = m_services.scheduler->after(m_unsavedSaveDelay, [this] {
        // Each attempt logs one line, and the delay grows, so a disk that stays full is no spam.
        if (AuthKeychain(m_services).saveUnsavedPair()) {
            m_unsavedSaveDelay = firstUnsavedSaveDelay;
            return;
        }
        m_unsavedSaveDelay = std::min(2 * m_unsavedSaveDelay, longestUnsavedSaveDelay);
        scheduleUnsavedSave();
    });
}

SessionLifecycle& SessionLifecycle::shared()
{
    // Lives until the process ends.
    static auto* instance = new SessionLifecycle(WindowManager::shared(),
                                                 BackendClient::shared(),
                                                 OnboardingAnalytics::shared(),
                                                 platform::Services::current());
    return *instance;
}

void SessionLifecycle::migrateLegacyDefaults()
{
    AuthKeychain(m_services).migrateLegacyDefaults();
}

// Launch.

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
    // Returns at once; the check goes on from the next turn, unless the session changed first.
    const quint64 generation = m_generation;
    m_services.scheduler->post(this, [this, token = *accessToken, generation] {
        if (generation == m_generation) {
            validate(token, generation);
        }
    });
}

void SessionLifecycle::validateSession(const QString& accessToken)
{
    validate(accessToken, m_generation);
}

void SessionLifecycle::validate(const QString& accessToken, quint64 generation)
{
    // A token that fails the local check is never sent: only the refresh is tried.
    if (!m_backend.isAccessTokenUsable(accessToken)) {
        refreshSavedSession(accessToken, generation);
        return;
    }
    m_backend.fetchUser(accessToken, this, [this, accessToken, generation](SessionCheckResult result) {
        if (generation != m_generation) {
            return;
        }
        switch (result) {
        case SessionCheckResult::Valid:
            applySignedIn(QStringLiteral("Signed in"));
            return;
        case SessionCheckResult::Rejected:
            refreshSavedSession(accessToken, generation);
            return;
        case SessionCheckResult::Unreachable:
            goOffline();
            return;
        }
    });
}

void SessionLifecycle::refreshSavedSession(const QString& checkedAccessToken, quint64 generation)
{
    const auto refreshToken = AuthKeychain(m_services).read(AuthKeychain::refreshTokenAccount);
    if (!refreshToken) {
        expireIfUnchanged(checkedAccessToken, std::nullopt, generation);
        return;
    }
    m_backend.refreshTokens(
        *refreshToken,
        this,
        [this, checkedAccessToken, used = *refreshToken, generation](const TokenRefreshResult& result) {
            if (generation != m_generation) {
                // Signed out, expired or signed in anew meanwhile: these tokens are not wanted.
                return;
            }
            switch (result.kind) {
            case TokenRefreshResult::Kind::Success: {
                AuthKeychain tokens(m_services);
                const auto stored = tokens.read(AuthKeychain::refreshTokenAccount);
                // The same answer may already have been stored by the backend call, which shares
                // the refresh; anything else stored meanwhile is newer than this answer.
                if (stored != used && (!result.refreshToken || stored != result.refreshToken)) {
                    validateStoredTokens(generation);
                    return;
                }
                // A backend that does not rotate refresh tokens answers without one: keep the old.
                // A pair the keychain cannot take is held in memory: the session goes on with it.
                if (!tokens.writeRefreshedPair(result.accessToken, result.refreshToken.value_or(used))) {
                    scheduleUnsavedSave();
                }
                applySignedIn(QStringLiteral("Session refreshed"));
                return;
            }
            case TokenRefreshResult::Kind::Rejected:
                expireIfUnchanged(checkedAccessToken, used, generation);
                return;
            case TokenRefreshResult::Kind::Unreachable:
                goOffline();
                return;
            }
        });
}

void SessionLifecycle::expireIfUnchanged(const QString& checkedAccessToken,
                                         const std::optional<QString>& refusedRefreshToken,
                                         quint64 generation)
{
    const AuthKeychain tokens(m_services);
    if (tokens.read(AuthKeychain::accessTokenAccount) == checkedAccessToken
        && tokens.read(AuthKeychain::refreshTokenAccount) == refusedRefreshToken) {
        expireSavedSession();
        return;
    }
    validateStoredTokens(generation);
}

void SessionLifecycle::validateStoredTokens(quint64 generation)
{
    const auto accessToken = AuthKeychain(m_services).read(AuthKeychain::accessTokenAccount);
    if (!accessToken) {
        expireSavedSession();
        return;
    }
    validate(*accessToken, generation);
}

// States.

void SessionLifecycle::applySignedIn(const QString& status)
{
    // Forgotten, not cancelled: a retry that still sleeps validates the session once more.
    m_sessionRetryTask.reset();
    m_state.setOfflineRetryDelay(WindowManager::shortestOfflineRetryDelay);
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

    const double delay = m_state.offlineRetryDelay();
    m_state.setOfflineRetryDelay(std::min(2 * delay, WindowManager::longestOfflineRetryDelay));
    const quint64 retry = m_nextRetry++;
    QPointer<WindowManager> state(&m_state);
    m_retries.emplace(retry, m_services.scheduler->after(delay, [this, retry, state] {
        m_retries.erase(retry);
        if (!state.isNull()) {
            retrySessionAfterDelay();
        }
    }));
    m_sessionRetryTask = retry;
}

bool SessionLifecycle::hasSessionRetryTask() const
{
    return m_sessionRetryTask && m_retries.count(*m_sessionRetryTask) > 0;
}

void SessionLifecycle::retrySessionAfterDelay()
{
    if (!m_state.isAuthenticated()) {
        return;
    }
    // An empty stored token still counts as a session to retry; its check refuses it.
    const auto accessToken = AuthKeychain(m_services).read(AuthKeychain::accessTokenAccount);
    if (!accessToken) {
        return;
    }
    validateSession(*accessToken);
}

void SessionLifecycle::expireSavedSession()
{
    ++m_generation;
    m_state.setAuthInProgress(false);
    // Refused tokens are worthless, but they are not left behind either.
    if (!removeEndedSession()) {
        scheduleRemoval();
    }
    m_state.setIsAuthenticated(false);
    m_state.setAuthStatusMessage(QStringLiteral("Saved session expired. Sign in required"));
    // A sleeping retry is left alone: it finds the user signed out and stops.
    m_state.applySessionState();
}

void SessionLifecycle::signOut()
{
    m_analytics.setSessionID(std::nullopt);
    if (m_sessionRetryTask) {
        m_retries.erase(*m_sessionRetryTask);
        m_sessionRetryTask.reset();
    }
    // Answers still on their way, and exchanges under way, belong to the session that ends here.
    ++m_generation;
    m_exchangeBarrier = m_nextExchange;

    AuthKeychain tokens(m_services);
    const auto accessToken = tokens.read(AuthKeychain::accessTokenAccount);
    const auto refreshToken = tokens.read(AuthKeychain::refreshTokenAccount);
    // The user is told the truth: signed out only once no token is left on this computer (the
    // next launch would sign in with one); until then the removal is tried again.
    const bool removed = removeEndedSession();
    if (!removed) {
        scheduleRemoval();
    }
    // Best effort and not waited for; it sends nothing when there is nothing to end.
    BackendClient* backend = &m_backend;
    m_services.scheduler->post(
        this, [backend, accessToken, refreshToken] { backend->logoutOnServer(accessToken, refreshToken); });

    m_state.setAuthInProgress(false);
    m_state.setIsAuthenticated(false);
    m_state.setAuthStatusMessage(removed ? kSignedOut : kCouldNotRemove);
    m_state.setHandoffRequestedAt(std::nullopt);
    m_codeVerifier.reset();
    m_state.applySessionState();
}
