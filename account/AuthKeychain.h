#pragma once

#include "platform/Keychain.h"

#include <QString>

#include <optional>

namespace platform {
struct Services;
class UserDefaults;
} // namespace platform

// The store of the account's two tokens: generic-password items of one service in the user's
// keychain, and nowhere else on disk. Holds no state of its own; every call goes to the store,
// so callers read a token each time they need it. To its callers a failed read looks like a
// missing token and a failed write or delete is silent, but each failure is logged (never with
// the token), and the sign-in asks for the outcome of its writes.
//
// A refreshed pair the store cannot take (a full disk) must not be lost: the service has retired
// the refresh token it replaces, so the stored pair is worthless. Such a pair is held in memory
// beside the store and read in place of the stored one; each later read, the session's own timer
// and the end of the application try to save it again. A write or delete of either token drops
// it. Main thread only.
class AuthKeychain
{
public:
    static inline const QString service = QStringLiteral("getveilmox.Veilmox.session");
    static inline const QString accessTokenAccount = QStringLiteral("access_token");
    static inline const QString refreshTokenAccount = QStringLiteral("refresh_token");

    // Over the keychain and user defaults of these services (the process's when not given).
    explicit AuthKeychain(const platform::Services& services);
    AuthKeychain();

    // The base query of one item.
    static platform::KeychainQuery query(const QString& account);

    // The token's text, or none (never written, unreadable, or not UTF-8). An item whose data is
    // empty reads as the empty string.
    std::optional<QString> read(const QString& account) const;
    // Replaces the item's data, creating the item (device-only, after first unlock) when absent.
    void write(const QString& value, const QString& account);
    // The same, telling whether the store took it.
    bool writeReportingSuccess(const QString& value, const QString& account);
    // Stores the pair a refresh answered with. When the store refuses it, the pair is held in
    // memory (logged once) and false is returned; the session goes on with it.
    bool writeRefreshedPair(const QString& accessToken, const QString& refreshToken);
    // Holds a pair the service still honours in memory, in place of whatever the store holds,
    // until it can be saved (a session the store lost while taking another that it refused).
    void holdUnsavedPair(const QString& accessToken, const QString& refreshToken);
    // Tries once to save a pair held in memory; true when none is held any more. Logs a failure.
    bool saveUnsavedPair();
    bool holdsUnsavedPair() const;
    void deleteItem(const QString& account);
    // Deletes both tokens, and a pair held in memory, as one change that needs no room on the
    // disk; true once neither is stored any more. A failure is logged once, with its reason.
    bool deleteSession();
    // Removes what the store left beside its items that may hold token text (copies of a damaged
    // store kept aside, saves a crash cut short), once the session is over.
    void discardLeftovers();

    // Moves the tokens that older versions kept in the user defaults ("desktopAuthToken",
    // "desktopAuthRefreshToken") into the keychain, unless it already holds an access token, and
    // then removes both keys. Called once per launch, before the saved session is validated.
    void migrateLegacyDefaults();

private:
    platform::OSStatus writeReportingStatus(const QString& value, const QString& account);
    platform::OSStatus writeQuietly(const QString& value, const QString& account);
    // Writes the refresh token first: should only that write succeed, the next refresh still works.
    platform::OSStatus writePairQuietly(const QString& accessToken, const QString& refreshToken);
    void dropUnsavedPair();
    // The status of a failed call, with the store's reason, for a log line.
    QString why(platform::OSStatus status) const;

    platform::Keychain* m_keychain = nullptr;
    platform::UserDefaults* m_defaults = nullptr;
};
