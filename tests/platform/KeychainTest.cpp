#include "platform/Keychain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

using namespace platform;

namespace {

QString testTemp()
{
    const QString base = qEnvironmentVariable("VEILMOX_TEST_TMP", QDir::tempPath());
    QDir().mkpath(base);
    return base;
}

KeychainItem item(const QString& service,
                  const QString& account,
                  const QByteArray& data,
                  KeychainAccessibility accessible = KeychainAccessibility::AfterFirstUnlockThisDeviceOnly)
{
    KeychainItem result;
    result.service = service;
    result.account = account;
    result.data = data;
    result.accessible = accessible;
    return result;
}

quint32 mode(const QString& path)
{
    struct stat info
    {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 0777) : 0xFFFF;
}

ino_t inode(const QString& path)
{
    struct stat info
    {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Both stores must behave as the system's keychain does.
class KeychainContract : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (GetParam()) {
            m_store = std::make_unique<FileKeychain>(m_dir.path() + QStringLiteral("/keychain"));
        } else {
            m_store = std::make_unique<InMemoryKeychain>();
        }
    }

    QTemporaryDir m_dir{testTemp() + QStringLiteral("/keychain-XXXXXX")};
    std::unique_ptr<Keychain> m_store;
};

} // namespace

TEST_P(KeychainContract, ItemsAreKeyedByServiceAndAccount)
{
    Keychain& store = *m_store;
    KeychainItem found;
    EXPECT_EQ(store.copyMatching({"svc", "a"}, &found), errSecItemNotFound);
    ASSERT_EQ(store.add(item("svc", "a", "one")), errSecSuccess);
    ASSERT_EQ(store.add(item("other", "a", "two")), errSecSuccess);
    EXPECT_EQ(store.add(item("svc", "a", "again")), errSecDuplicateItem);

    ASSERT_EQ(store.copyMatching({"svc", "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "one");
    ASSERT_EQ(store.copyMatching({"other", "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "two");
    EXPECT_EQ(store.copyMatching({"svc", "b"}, &found), errSecItemNotFound);
    EXPECT_EQ(store.copyMatching({"", "a"}, &found), errSecParam);
}

TEST_P(KeychainContract, UpdateReplacesTheDataAndKeepsTheAccessibility)
{
    Keychain& store = *m_store;
    EXPECT_EQ(store.update({"svc", "a"}, "x"), errSecItemNotFound);
    ASSERT_EQ(store.add(item("svc", "a", "old", KeychainAccessibility::AfterFirstUnlock)), errSecSuccess);
    ASSERT_EQ(store.update({"svc", "a"}, "new"), errSecSuccess);

    KeychainItem found;
    ASSERT_EQ(store.copyMatching({"svc", "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "new");
    EXPECT_EQ(found.accessible, KeychainAccessibility::AfterFirstUnlock);
}

TEST_P(KeychainContract, DeleteRemovesOnlyTheMatchingItem)
{
    Keychain& store = *m_store;
    ASSERT_EQ(store.add(item("svc", "a", "1")), errSecSuccess);
    ASSERT_EQ(store.add(item("svc", "b", "2")), errSecSuccess);
    EXPECT_EQ(store.deleteItem({"svc", "a"}), errSecSuccess);
    EXPECT_EQ(store.deleteItem({"svc", "a"}), errSecItemNotFound);
    EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecItemNotFound);
    EXPECT_EQ(store.copyMatching({"svc", "b"}, nullptr), errSecSuccess);
}

INSTANTIATE_TEST_SUITE_P(Stores, KeychainContract, ::testing::Values(false, true), [](const auto& param) {
    return param.param ? std::string("File") : std::string("InMemory");
});

TEST(FileKeychain, KeepsItsSecretsInAnOwnerOnlyFolderAndFile)
{
    QTemporaryDir dir(testTemp() + QStringLiteral("/keychain-XXXXXX"));
    // A folder that already exists with loose permissions is closed before anything goes in.
    const QString folder = dir.path() + QStringLiteral("/keychain");
    ASSERT_TRUE(QDir().mkpath(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0755);

    FileKeychain store(folder);
    ASSERT_EQ(store.add(item("svc", "a", "secret")), errSecSuccess);
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(store.filePath()), 0600u);

    // A store made where no folder exists yet creates it closed.
    FileKeychain fresh(dir.path() + QStringLiteral("/new/keychain"));
    ASSERT_EQ(fresh.add(item("svc", "a", "secret")), errSecSuccess);
    EXPECT_EQ(mode(fresh.directory()), 0700u);
}

TEST(FileKeychain, ReplacesItsFileAtomicallyAndSharesItWithOtherInstances)
{
    QTemporaryDir dir(testTemp() + QStringLiteral("/keychain-XXXXXX"));
    FileKeychain first(dir.path() + QStringLiteral("/keychain"));
    ASSERT_EQ(first.add(item("svc", "a", "one")), errSecSuccess);
    const ino_t before = inode(first.filePath());

    FileKeychain second(first.directory());
    ASSERT_EQ(second.update({"svc", "a"}, "two"), errSecSuccess);
    // A new file renamed into place, never a rewrite of the old one in place.
    EXPECT_NE(inode(first.filePath()), before);
    EXPECT_EQ(QDir(first.directory()).entryList(QDir::Files), QStringList{"login.keychain.plist"});

    KeychainItem found;
    ASSERT_EQ(first.copyMatching({"svc", "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "two");
}

TEST(FileKeychain, MovesADamagedFileAsideAndStartsEmpty)
{
    QTemporaryDir dir(testTemp() + QStringLiteral("/keychain-XXXXXX"));
    FileKeychain store(dir.path() + QStringLiteral("/keychain"));
    ASSERT_TRUE(QDir().mkpath(store.directory()));
    QFile damaged(store.filePath());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a property list");
    damaged.close();

    EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecItemNotFound);
    ASSERT_FALSE(store.setAsidePath().isEmpty());
    QFile aside(store.setAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), "not a property list");

    EXPECT_EQ(store.add(item("svc", "a", "fresh")), errSecSuccess);
    EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecSuccess);
}

TEST(FileKeychain, AStoreThatCannotBeReadIsNeverOverwritten)
{
    QTemporaryDir dir(testTemp() + QStringLiteral("/keychain-XXXXXX"));
    FileKeychain store(dir.path() + QStringLiteral("/keychain"));
    // Something that is not a readable file sits where the store's file belongs.
    ASSERT_TRUE(QDir().mkpath(store.filePath()));

    EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecIO);
    EXPECT_EQ(store.add(item("svc", "a", "x")), errSecIO);
    EXPECT_TRUE(QFileInfo(store.filePath()).isDir());
}
