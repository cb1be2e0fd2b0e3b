#pragma once

#include "platform/Services.h"
#include "state/AccountSession.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class BackendClient;
class WindowManager;

// The account session as the state object sees it: at launch it moves legacy tokens into the
// keychain and validates the saved session with the backend (user check, then a refresh),
// ending signed in, kept while the backend cannot be reached, or expired; it accepts the
// sign-in callback's code. Its outcome goes into the state object's session properties, ending
// in WindowManager::applySessionState(). Installed on the state object by the application;
// main thread only.
//
// Not built yet: the offline retries, sign-out, the browser sign-in start and the exchange of an
// accepted code for tokens (the code is only kept).
class SessionLifecycle final
    : public QObject
    , public AccountSession
{
    Q_OBJECT

public:
    SessionLifecycle(WindowManager& state,
                     BackendClient& backend,
                     const platform::Services& services,
                     QObject* parent = nullptr);

    // The process's session, over the shared state object and backend client.
    static SessionLifecycle& shared();

    void migrateLegacyDefaults() override;
    void validateSavedSession() override;
    void handleAuthCallback(const QUrl& url) override;

    // 40 to 128 characters, each an ASCII letter or digit, "_" or "-".
    static bool isValidHandoffCode(const QString& code);
    // While signed in, a callback is taken only this long after the hand-off was asked for.
    static constexpr double handoffValiditySeconds = 1800;

    // The code of the latest callback that was taken, waiting for its exchange.
    const std::optional<QString>& pendingHandoffCode() const { return m_pendingHandoffCode; }

private:
    void validateSession(const QString& accessToken);
    void refreshSavedSession();
    void applySignedIn(const QString& status);
    void goOffline();
    void expireSavedSession();
    void exchangeHandoffCode(const QString& code);

    WindowManager& m_state;
    BackendClient& m_backend;
    platform::Services m_services;
    std::optional<QString> m_pendingHandoffCode;
};
