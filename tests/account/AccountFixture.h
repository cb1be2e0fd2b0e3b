#pragma once

#include "account/AuthKeychain.h"
#include "account/BackendClient.h"
#include "devservices/LocalServices.h"
#include "tests/support/TestDesktop.h"

#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace testing_support {

// A token with the given header and payload and a signature that nobody checks locally.
QString makeToken(const QJsonObject& header, const QJsonObject& payload, const QString& signature = "c2ln");
// Claims that pass the local check at `now` (seconds since 1970), for a base address.
QJsonObject usableClaims(double now, const QString& base);

// The account code against the local stand-in services on loopback, with the backend and
// account addresses in the bundle settings, a keychain in memory and the virtual clock shared
// by the client and the services.
class AccountTest : public ::testing::Test
{
protected:
    AccountTest();

    double now() const;
    // Replaces the bundle settings (the stand-in's addresses and key unless given otherwise).
    void configure(const std::optional<QString>& supabaseURL, const std::optional<QString>& anonKey);
    // Stores a signed-in session of the stand-in's default account in the keychain.
    devservices::LocalServices::TokenPair signIn();
    // An access token of that session that has expired (the clock is moved past it).
    void expireAccessToken();

    // Runs the event loop until the value is there.
    template <typename T>
    static bool arrives(const std::optional<T>& value)
    {
        return QTest::qWaitFor([&] { return value.has_value(); }, 5000);
    }

    TestDesktop system;
    devservices::LocalServices services;
    std::unique_ptr<BackendClient> client;
    AuthKeychain tokens{system.services()};
};

} // namespace testing_support
