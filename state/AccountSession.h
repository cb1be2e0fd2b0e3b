#pragma once

class QUrl;

// What the state object asks of the account session, which sits above it: the account code
// implements it and the application installs it (WindowManager::setAccountSession) before the
// state object starts. The session writes its outcome back through the state object's session
// properties and applySessionState().
class AccountSession
{
public:
    virtual ~AccountSession() = default;

    // Moves tokens that older versions kept in the user defaults into the keychain.
    virtual void migrateLegacyDefaults() = 0;
    // Starts checking the saved session, or reports that a sign-in is required.
    virtual void validateSavedSession() = 0;
    // A "veilmox://auth" callback of the browser sign-in (scheme and host already checked).
    virtual void handleAuthCallback(const QUrl& url) = 0;

protected:
    AccountSession() = default;
    AccountSession(const AccountSession&) = default;
    AccountSession& operator=(const AccountSession&) = default;
};
