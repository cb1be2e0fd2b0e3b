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
    // Ends the session: tokens deleted here and (best effort) on the server, signed out.
    virtual void signOut() = 0;
    // Opens the account web service's sign-in page in the browser and waits for its callback.
    virtual void startBrowserSignIn() = 0;
    // A "veilmox://auth" callback of the browser sign-in (scheme and host already checked).
    virtual void handleAuthCallback(const QUrl& url) = 0;

protected:
    AccountSession() = default;
    AccountSession(const AccountSession&) = default;
    AccountSession& operator=(const AccountSession&) = default;
};
