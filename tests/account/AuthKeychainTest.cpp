#include "account/AuthKeychain.h"

#include "tests/account/AccountFixture.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using platform::KeychainAccessibility;
using testing_support::kAccess;
using testing_support::kRefresh;

namespace {

// A keychain whose writes of one account fail, as a locked or unwritable store would.
class FailingKeychain final : public platform::Keychain
{
public:
    using Query = platform::KeychainQuery;
    platform::OSStatus copyMatching(const Query& q, platform::KeychainItem* r) override
    {
        return inner.copyMatching(q, r);
    }
    platform::OSStatus update(const Query& q, const QByteArray& d) override
    {
        return full ? platform::errSecIO : inner.update(q, d);
    }
    platform::OSStatus add(const platform::KeychainItem& item) override
    {
        return full || item.account == failingAccount ? platform::errSecIO : inner.add(item);
    }
    platform::OSStatus deleteItem(const Query& q) override
    {
        // A store whose word is wrong claims the delete and keeps the item.
        return keepsDeleted ? platform::errSecSuccess : inner.deleteItem(q);
    }

    platform::InMemoryKeychain inner;
    QString failingAccount;
    // Every write fails, as on a full disk.
    bool full = false;
    bool keepsDeleted = false;
};

// Locks the keyring that new items go to, as the desktop does when the screen locks; taking an
// item then needs the user to unlock it at a prompt.
bool lockDefaultKeyring(const QDBusConnection& bus)
{
    const auto call = [&bus](const QString& method, const QVariant& argument) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"),
                                           QStringLiteral("/org/freedesktop/secrets"),
                                           QStringLiteral("org.freedesktop.Secret.Service"),
                                           method);
        message << argument;
        return bus.call(message);
    };
    const QDBusMessage alias = call(QStringLiteral("ReadAlias"), QStringLiteral("default"));
    if (alias.type() != QDBusMessage::ReplyMessage) {
        return false;
    }
    const auto keyring = alias.arguments().value(0).value<QDBusObjectPath>();
    const QDBusMessage locked =
        call(QStringLiteral("Lock"), QVariant::fromValue(QList<QDBusObjectPath>{keyring}));
    return locked.type() == QDBusMessage::ReplyMessage
           && qdbus_cast<QList<QDBusObjectPath>>(locked.arguments().value(0))
                  == QList<QDBusObjectPath>{keyring};
}

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

    // An item stored by earlier versions keeps its accessibility; data that is not text reads as
    // missing.
    store.deleteItem(kRefresh);
    platform::KeychainItem existing;
    existing.service = AuthKeychain::service;
    existing.account = kAccess;
    existing.data = "old";
    existing.accessible = KeychainAccessibility::AfterFirstUnlock;
    system.keychain.add(existing);
    existing.account = kRefresh;
    existing.data = QByteArray("\xff\xfe", 2);
    system.keychain.add(existing);
    store.write("new", kAccess);
    EXPECT_EQ(store.read(kAccess), "new");
    EXPECT_EQ(system.keychain.items()[0].accessible, KeychainAccessibility::AfterFirstUnlock);
    EXPECT_EQ(store.read(kRefresh), std::nullopt);
}

TEST(AuthKeychain, MigratesLegacyTokensFromTheUserDefaultsOnlyOnceTheyAreStored)
{
    struct Case
    {
        const char* name;
        std::optional<QString> legacyAccess;
        std::optional<QString> legacyRefresh;
        std::optional<QString> storedAccess;
        std::optional<QString> expectedAccess;
        std::optional<QString> expectedRefresh;
        bool legacyKeysRemain = false;
        QString failingAccount = {};
    };
    const Case cases[] = {
        {"both legacy tokens", "a", "r", {}, "a", "r"},
        {"only the access token", "a", {}, {}, "a", {}},
        {"an empty access token", "", "r", {}, "", "r"},
        {"a keychain that holds a token already", "a", "r", "kept", "kept", {}},
        {"only a refresh token", {}, "r", {}, {}, {}, true},
        // Nothing half-moved: the next launch finds no access token and tries again.
        {"the access token cannot be stored", "a", "r", {}, {}, {}, true, kAccess},
        {"the refresh token cannot be stored", "a", "r", {}, {}, {}, true, kRefresh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TestDesktop system;
        FailingKeychain keychain;
        keychain.failingAccount = c.failingAccount;
        platform::Services services = system.services();
        services.keychain = &keychain;
        AuthKeychain store(services);
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

        EXPECT_EQ(store.read(kAccess), c.expectedAccess);
        EXPECT_EQ(store.read(kRefresh), c.expectedRefresh);
        EXPECT_EQ(system.defaults.hasObject("desktopAuthToken"), c.legacyKeysRemain && c.legacyAccess);
        EXPECT_EQ(system.defaults.hasObject("desktopAuthRefreshToken"),
                  c.legacyKeysRemain && c.legacyRefresh);
    }
}

// A session stored in a keychain that can be made to fail.
class AuthKeychainOnAFailingStore : public ::testing::Test
{
protected:
    void signIn(const QString& access, const QString& refresh)
    {
        store.write(access, kAccess);
        store.write(refresh, kRefresh);
    }

    testing_support::TestDesktop system;
    FailingKeychain keychain;
    platform::Services services = [this] {
        platform::Services s = system.services();
        s.keychain = &keychain;
        return s;
    }();
    AuthKeychain store{services};
};

TEST_F(AuthKeychainOnAFailingStore, APairHeldInMemoryGivesWayToAnyLaterWrite)
{
    // A refreshed pair the full store refused is held; then, with room again, a sign-in writes a
    // newer session. The held pair must not come back over it.
    signIn("old access", "old refresh");
    keychain.full = true;
    EXPECT_FALSE(store.writeRefreshedPair("refreshed access", "refreshed refresh"));
    ASSERT_TRUE(store.holdsUnsavedPair());
    EXPECT_EQ(store.read(kAccess), "refreshed access");

    keychain.full = false;
    signIn("newer access", "newer refresh");
    EXPECT_FALSE(store.holdsUnsavedPair());
    EXPECT_EQ(store.read(kAccess), "newer access");
    EXPECT_EQ(store.read(kRefresh), "newer refresh");
}

TEST_F(AuthKeychainOnAFailingStore, EndingTheSessionCountsOnlyTokensThatAreGoneNotTheStoresWord)
{
    signIn("access", "refresh");

    keychain.keepsDeleted = true;
    EXPECT_FALSE(store.deleteSession()) << "the store said yes, but the tokens are still there";
    EXPECT_EQ(store.read(kRefresh), "refresh");

    keychain.keepsDeleted = false;
    EXPECT_TRUE(store.deleteSession());
    EXPECT_EQ(store.read(kAccess), std::nullopt);
    EXPECT_EQ(store.read(kRefresh), std::nullopt);
    EXPECT_TRUE(store.deleteSession()) << "nothing left to remove is done";
}

using AuthKeychainAtLaunch = testing_support::AccountTest;

TEST_F(AuthKeychainAtLaunch, ASessionInTheFileStaysThereWhileTheKeyringRefusesToTakeIt)
{
    using testing_support::PrivateSessionBus;
    if (const QString missing = PrivateSessionBus::missing(); !missing.isEmpty()) {
        SKIP_OR_FAIL_UNDER_CI(missing.toStdString());
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
    environment.insert(QStringLiteral("VEILMOX_SUPABASE_URL"), services.backendURL().toString());
    environment.insert(QStringLiteral("VEILMOX_ACCOUNT_SERVICE_URL"), services.accountURL().toString());
    // No prompt to unlock the keyring can be shown: each is dismissed, as a user may dismiss it.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

    // A run without a Secret Service kept the session in the file.
    platform::FileKeychain file(dir.filePath("XDG_DATA_HOME/veilmox/keychain"));
    platform::Services withFile;
    withFile.keychain = &file;
    AuthKeychain inFile(withFile);
    ASSERT_TRUE(inFile.writeReportingSuccess("saved access", kAccess));
    ASSERT_TRUE(inFile.writeReportingSuccess("saved refresh", kRefresh));

    PrivateSessionBus bus(environment);
    ASSERT_TRUE(bus.start());
    if (!bus.startKeyring()) {
        SKIP_OR_FAIL_UNDER_CI("needs gnome-keyring-daemon (scripts/setup.sh installs it)");
    }
    ASSERT_TRUE(lockDefaultKeyring(bus.connection()));

    // Now the program starts where a Secret Service answers, and tries to move the file's tokens
    // into the keyring, which refuses them.
    QProcess app;
    app.setProcessEnvironment(bus.environment());
    app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
    ASSERT_TRUE(app.waitForStarted(5000));
    QByteArray log;
    const bool decided = QTest::qWaitFor(
        [&] {
            log += app.readAllStandardError();
            return log.contains("stay in the file") || !QFileInfo::exists(file.filePath());
        },
        60000);
    EXPECT_TRUE(testing_support::terminate(app)) << "it ended on its own";
    EXPECT_TRUE(app.waitForFinished(20000));
    testing_support::awaitLinkRegistration(dir.path());
    EXPECT_TRUE(decided) << log.toStdString();

    EXPECT_TRUE(QFileInfo::exists(file.filePath())) << log.toStdString();
    EXPECT_EQ(inFile.read(kAccess), QStringLiteral("saved access"));
    EXPECT_EQ(inFile.read(kRefresh), QStringLiteral("saved refresh"));
}
