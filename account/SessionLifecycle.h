#pragma once

#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "state/AccountSession.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <map>
#include <optional>

class BackendClient;
class OnboardingAnalytics;
class WindowManager;

// The account session: whether the user is signed in, and the four events that change it: the
// launch (the saved session is validated with the backend: confirmed, refreshed, kept while the
// backend cannot be reached and retried with a growing delay, or expired), a completed browser
// sign-in (the callback's code exchanged for tokens at the account web service), an offline
// retry, and sign-out. Its outcome goes into the state object's session properties and ends in
// WindowManager::applySessionState(). Tokens live only in the keychain and are read each time
// (a refreshed pair the keychain could not take is held beside it until saved: AuthKeychain).
//
// The session has a generation, bumped by every sign-in, sign-out and expiry. An answer of the
// backend is applied only while the generation it was asked under is current, and tokens are
// written or deleted only while the keychain still holds the ones that were checked or
// refreshed, so a late answer can neither sign a signed-out user back in nor touch the tokens of
// a newer sign-in. Installed on the state object by the application; main thread only.
class SessionLifecycle final
    : public QObject
    , public AccountSession
{
    Q_OBJECT

public:
    SessionLifecycle(WindowManager& state,
                     BackendClient& backend,
                     OnboardingAnalytics& analytics,
                     const platform::Services& services,
                     QObject* parent = nullptr);
    ~SessionLifecycle() override;

    // The process's session, over the shared state object, backend client and analytics.
    static SessionLifecycle& shared();

    // AccountSession.
    void migrateLegacyDefaults() override;
    void validateSavedSession() override;
    void signOut() override;
    void startBrowserSignIn() override;
    void handleAuthCallback(const QUrl& url) override;

    // The launch decision chain: the user check, else a refresh; ends signed in, offline or
    // expired.
    void validateSession(const QString& accessToken);
    // Enters the signed-in state (the retry delay starts again at 15 s).
    void applySignedIn(const QString& status);
    // Keeps the session while the backend cannot be reached and schedules the next retry.
    void goOffline();
    // Drops the saved session: both tokens deleted, signed out.
    void expireSavedSession();
    // Trades the code for tokens at the account web service (with the proof key of the hand-off
    // started in this run, when there is one), checks and stores them.
    void exchangeHandoffCode(const QString& code);

    // 40 to 128 characters, each an ASCII letter or digit, "_" or "-".
    static bool isValidHandoffCode(const QString& code);
    // While signed in, a callback is taken only this long after the hand-off was asked for.
    static constexpr double handoffValiditySeconds = 1800;

    // Tries once more to save a refreshed pair the keychain could not take; also run when the
    // application quits.
    void saveUnsavedSession();
    // While a pair is held in memory, it is saved again this long after it was held, and then at
    // twice the delay each time the store still refuses, up to the longest.
    static constexpr double firstUnsavedSaveDelay = 5;
    static constexpr double longestUnsavedSaveDelay = 60;

    // Whether an offline retry is sleeping under the session's watch (the one sign-out cancels).
    bool hasSessionRetryTask() const;
    // Whether the tokens of a session that ended (signed out, expired) are still to be removed:
    // the store refused, and the removal is tried again on the same delays as a held pair's
    // save, and when the application quits.
    bool isRemovingEndedSession() const;

private:
    void validate(const QString& accessToken, quint64 generation);
    void refreshSavedSession(const QString& checkedAccessToken, quint64 generation);
    // Expires the session when the keychain still holds exactly the tokens that were refused;
    // otherwise someone stored newer ones meanwhile, and those are validated instead.
    void expireIfUnchanged(const QString& checkedAccessToken,
                           const std::optional<QString>& refusedRefreshToken,
                           quint64 generation);
    void validateStoredTokens(quint64 generation);
    void retrySessionAfterDelay();
    // Saves a pair held in memory on the session's own timer, so that it lands soon after the
    // store has room again, not only at the next use or at quit.
    void scheduleUnsavedSave();
    // Removes both tokens and what the store kept of them; true once none is left, when a
    // sign-out that could not remove them so far is said to be done.
    bool removeEndedSession();
    void scheduleRemoval();
    // A new session is stored: what the store holds is no longer the one that ended.
    void forgetRemoval();

    void exchanged(quint64 exchange, const platform::URLSessionResult& result);
    void validateNewTokens(quint64 exchange,
                           const QString& accessToken,
                           const std::optional<QString>& refreshToken);
    void
    storeNewSession(quint64 exchange, const QString& accessToken, const std::optional<QString>& refreshToken);
    struct StoredPair
    {
        std::optional<QString> accessToken;
        std::optional<QString> refreshToken;
    };
    void failToSave(const QString& accessToken,
                    const std::optional<QString>& refreshToken,
                    const StoredPair& previous);
    void failSignIn(const QString& status);
    // Whether this hand-off still waits for the browser to bring its link back.
    bool isWaitingForBrowser(quint64 handoff) const;
    // The launcher found no browser for the hand-off's page; `madeWay` once the popover was closed
    // and the onboarding window lowered for it.
    void browserNotOpened(quint64 handoff, const QString& page, bool madeWay);
    // Whether a sign-out or a later sign-in happened since this exchange began.
    bool isSuperseded(quint64 exchange) const { return exchange < m_exchangeBarrier; }

    WindowManager& m_state;
    BackendClient& m_backend;
    OnboardingAnalytics& m_analytics;
    platform::Services m_services;

    // The proof key of the last hand-off started in this run, until it signs in or the user
    // signs out. Held in memory only: never stored, never logged.
    std::optional<QString> m_codeVerifier;
    // The last hand-off started, and whether the popover was open then.
    quint64 m_lastHandoff = 0;
    bool m_popoverShownAtHandoff = false;

    quint64 m_generation = 0;
    quint64 m_nextExchange = 0;
    quint64 m_exchangeBarrier = 0;

    // Every sleeping retry. Signing in forgets the current one without cancelling it (when it
    // wakes it validates the session once more); only sign-out cancels it.
    std::map<quint64, platform::TimerHandle> m_retries;
    std::optional<quint64> m_sessionRetryTask;
    quint64 m_nextRetry = 0;

    platform::TimerHandle m_unsavedSave;
    double m_unsavedSaveDelay = firstUnsavedSaveDelay;

    bool m_removalPending = false;
    platform::TimerHandle m_removalRetry;
    double m_removalRetryDelay = firstUnsavedSaveDelay;
};
