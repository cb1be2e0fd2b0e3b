#include "account/AuthKeychain.h"

#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

using platform::KeychainAccessibility;

namespace {

const QString kAccess = AuthKeychain::accessTokenAccount;
const QString kRefresh = AuthKeychain::refreshTokenAccount;

// A keychain whose writes can be made to fail, as a locked or unwritable store would.
class FailingKeychain final : public platform::Keychain
{
public:
    platform::OSStatus copyMatching(const platform::KeychainQuery& q, platform::KeychainItem* r) override
    {
        return inner.copyMatching(q, r);
    }
    platform::OSStatus update(const platform::KeychainQuery& q, const QByteArray& d) override
    {
        return inner.update(q, d);
    }
    platform::OSStatus add(const platform::KeychainItem& item) override
    {
        return item.account == failingAccount ? platform::errSecIO : inner.add(item);
    }
    platform::OSStatus deleteItem(const platform::KeychainQuery& q) override { return inner.deleteItem(q); }

    platform::InMemoryKeychain inner;
    QString failingAccount;
};

} // namespace

TEST(AuthKeychain, ReadsWritesAndDeletesTheItemsOfTheSessionService)
{
    testing_support::TestDesktop system;
    AuthKeychain store(system.services());
    EXPECT_EQ(store.read(kAccess), std::nullopt);

    store.write("first", kAccess);
    store.write("second", kAccess);
    store.write("", kRefresh);
    EXPECT_EQ(store.read(kAccess), "second");
    EXPECT_EQ(store.read(kRefresh), ""); // an empty item is not a missing one
    ASSERT_EQ(system.keychain.items().size(), 2);
    EXPECT_EQ(system.keychain.items()[0].service, "getveilmox.Veilmox.session");
    EXPECT_EQ(system.keychain.items()[0].accessible, KeychainAccessibility::AfterFirstUnlockThisDeviceOnly);

    store.deleteItem(kAccess);
    store.deleteItem(kAccess);
    EXPECT_EQ(store.read(kAccess), std::nullopt);
    EXPECT_EQ(store.read(kRefresh), "");
}

TEST(AuthKeychain, AWriteKeepsTheItemsAccessibilityAndBadDataReadsAsMissing)
{
    testing_support::TestDesktop system;
    platform::KeychainItem existing;
    existing.service = AuthKeychain::service;
    existing.account = kAccess;
    existing.data = "old";
    existing.accessible = KeychainAccessibility::AfterFirstUnlock;
    system.keychain.add(existing);
    existing.account = kRefresh;
    existing.data = QByteArray("\xff\xfe", 2);
    system.keychain.add(existing);

    AuthKeychain store(system.services());
    store.write("new", kAccess);
    EXPECT_EQ(store.read(kAccess), "new");
    EXPECT_EQ(system.keychain.items()[0].accessible, KeychainAccessibility::AfterFirstUnlock);
    EXPECT_EQ(store.read(kRefresh), std::nullopt);
}

TEST(AuthKeychain, MigratesLegacyTokensFromTheUserDefaults)
{
    struct Case
    {
        const char* name;
        std::optional<QString> legacyAccess;
        std::optional<QString> legacyRefresh;
        std::optional<QString> storedAccess;
        std::optional<QString> expectedAccess;
        std::optional<QString> expectedRefresh;
        bool legacyKeysRemain;
    };
    const std::vector<Case> cases = {
        {"both legacy tokens", "a", "r", std::nullopt, "a", "r", false},
        {"only the access token", "a", std::nullopt, std::nullopt, "a", std::nullopt, false},
        {"an empty access token", "", "r", std::nullopt, "", "r", false},
        {"a keychain that holds a token already", "a", "r", "kept", "kept", std::nullopt, false},
        {"only a refresh token", std::nullopt, "r", std::nullopt, std::nullopt, std::nullopt, true},
    };
    for (const Case& c : cases) {
        testing_support::TestDesktop system;
        AuthKeychain store(system.services());
        if (c.legacyAccess) {
            system.defaults.setObject(*c.legacyAccess, "desktopAuthToken");
        }
        if (c.legacyRefresh) {
            system.defaults.setObject(*c.legacyRefresh, "desktopAuthRefreshToken");
        }
        if (c.storedAccess) {
            store.write(*c.storedAccess, kAccess);
        }

        store.migrateLegacyDefaults();

        EXPECT_EQ(store.read(kAccess), c.expectedAccess) << c.name;
        EXPECT_EQ(store.read(kRefresh), c.expectedRefresh) << c.name;
        EXPECT_EQ(system.defaults.hasObject("desktopAuthRefreshToken"), c.legacyKeysRemain && c.legacyRefresh)
            << c.name;
        EXPECT_FALSE(system.defaults.hasObject("desktopAuthToken")) << c.name;
    }
}

TEST(AuthKeychain, AMigrationThatCannotWriteKeepsTheLegacyTokensForTheNextLaunch)
{
    for (const QString& failing : {kAccess, kRefresh}) {
        testing_support::TestDesktop system;
        FailingKeychain keychain;
        keychain.failingAccount = failing;
        platform::Services services = system.services();
        services.keychain = &keychain;
        system.defaults.setObject(QStringLiteral("a"), "desktopAuthToken");
        system.defaults.setObject(QStringLiteral("r"), "desktopAuthRefreshToken");

        AuthKeychain(services).migrateLegacyDefaults();

        EXPECT_TRUE(system.defaults.hasObject("desktopAuthToken")) << failing.toStdString();
        EXPECT_TRUE(system.defaults.hasObject("desktopAuthRefreshToken")) << failing.toStdString();
        // Nothing half-moved: the next launch finds no access token and tries again.
        EXPECT_TRUE(keychain.inner.items().isEmpty()) << failing.toStdString();

        keychain.failingAccount.clear();
        AuthKeychain(services).migrateLegacyDefaults();
        EXPECT_EQ(AuthKeychain(services).read(kRefresh), "r") << failing.toStdString();
        EXPECT_FALSE(system.defaults.hasObject("desktopAuthToken")) << failing.toStdString();
    }
}
