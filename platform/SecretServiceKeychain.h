#pragma once

#include "platform/Keychain.h"

#include <memory>

using SecretService = struct _SecretService;
using GError = struct _GError;

namespace platform {

// The user's keychain on a Linux desktop: items in the login keyring of the freedesktop Secret
// Service (GNOME Keyring, KWallet, ...), encrypted at rest by it, reached through libsecret's
// synchronous calls on the session bus. Items carry the attributes "service", "account" and
// "accessible" under a schema of their own. A locked keyring may ask the user to unlock it.
// Main thread only.
class SecretServiceKeychain final : public Keychain
{
public:
    // The store, or none when no Secret Service answers on the session bus.
    static std::unique_ptr<SecretServiceKeychain> open();
    ~SecretServiceKeychain() override;
    SecretServiceKeychain(const SecretServiceKeychain&) = delete;
    SecretServiceKeychain& operator=(const SecretServiceKeychain&) = delete;

    OSStatus copyMatching(const KeychainQuery& query, KeychainItem* result) override;
    OSStatus update(const KeychainQuery& query, const QByteArray& data) override;
    OSStatus add(const KeychainItem& item) override;
    OSStatus deleteItem(const KeychainQuery& query) override;

private:
    explicit SecretServiceKeychain(SecretService* service);
    OSStatus failed(const char* operation, GError* error);

    SecretService* m_service;
};

// The store of this user's secrets: the Secret Service when one answers (items the file store
// kept are moved into it and the file is removed), else the file store in `fileDirectory`. The
// log says which.
std::unique_ptr<Keychain> openUserKeychain(const QString& fileDirectory = FileKeychain::standardDirectory());

} // namespace platform
