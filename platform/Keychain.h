#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace platform {

// Result codes of the secret store, with the values the system's keychain uses.
using OSStatus = qint32;
inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecIO = -36;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;
inline constexpr OSStatus errSecDecode = -26275;

// When an item may be read; only the device-bound kind is used, kept so the item remembers it.
enum class KeychainAccessibility
{
    AfterFirstUnlock,
    AfterFirstUnlockThisDeviceOnly,
    WhenUnlockedThisDeviceOnly,
};

// How a store writes the accessibility down ("ck", "cku", "aku"), and reads it back.
QString keychainAccessibilityRawValue(KeychainAccessibility accessible);
std::optional<KeychainAccessibility> keychainAccessibilityFromRawValue(const QString& raw);

// One generic-password item as the store keeps it.
struct KeychainItem
{
    QString service;
    QString account;
    QByteArray data;
    KeychainAccessibility accessible = KeychainAccessibility::AfterFirstUnlockThisDeviceOnly;
};

// The attributes that pick generic-password items: both given, exactly one item matches.
struct KeychainQuery
{
    QString service;
    QString account;
};

// The user's store of secrets (generic passwords keyed by service and account), with the calls
// of the system's keychain: copy, update, add, delete. Main thread only.
class Keychain
{
public:
    virtual ~Keychain() = default;

    // SecItemCopyMatching asking for the item's data and attributes.
    virtual OSStatus copyMatching(const KeychainQuery& query, KeychainItem* result) = 0;
    // SecItemUpdate of the data; the item keeps its other attributes.
    virtual OSStatus update(const KeychainQuery& query, const QByteArray& data) = 0;
    // SecItemAdd; errSecDuplicateItem when an item with the same service and account exists.
    virtual OSStatus add(const KeychainItem& item) = 0;
    // SecItemDelete.
    virtual OSStatus deleteItem(const KeychainQuery& query) = 0;
    // Deletes the items of every query as one change: errSecSuccess once none of them is left,
    // errSecItemNotFound when there was none, else the first failure. A store that must rewrite
    // itself for a change removes itself instead, which needs no room on the disk, when nothing
    // else would be left in it.
    virtual OSStatus deleteItems(const QList<KeychainQuery>& queries);

    // Removes what the store left beside its items that may hold secrets: copies of a damaged
    // store kept aside, saves a crash cut short (stores that leave nothing do nothing).
    virtual void discardLeftovers() {}

    // Items a caller could not save here (a full disk) and holds in memory instead, for as long as
    // this store lives, until they are saved; callers read them in place of the stored ones.
    // Never written anywhere by the store itself.
    QList<KeychainItem>& unsavedItems() { return m_unsaved; }

    // Why the last call that failed did (never a secret), for the caller's one log line about
    // it: stores log nothing of their own about a failed call.
    QString failureReason() const { return m_failureReason; }

protected:
    OSStatus fail(OSStatus status, const QString& reason);

private:
    QList<KeychainItem> m_unsaved;
    QString m_failureReason;
};

// Items held in memory only; what tests use.
class InMemoryKeychain final : public Keychain
{
public:
    OSStatus copyMatching(const KeychainQuery& query, KeychainItem* result) override;
    OSStatus update(const KeychainQuery& query, const QByteArray& data) override;
    OSStatus add(const KeychainItem& item) override;
    OSStatus deleteItem(const KeychainQuery& query) override;

    const QList<KeychainItem>& items() const { return m_items; }

private:
    QList<KeychainItem> m_items;
};

// The per-user store on Linux where no Secret Service answers: one property-list file in a folder
// only the user may enter (0700), the file itself readable only by the user (0600) and replaced
// atomically on every change; a change that leaves no item removes it, so that deleting works on
// a full disk. The file is read on every call, so two processes see each other's changes. Neither the folder
// nor the file is taken through a symbolic link. A file that cannot be read or parsed, or that is larger than
// kMaximumFileSize, is moved aside inside the folder, never overwritten, and the store starts empty. A save
// cut short leaves its new file beside the store's (owner-only, but holding secrets) until
// discardUnfinishedSaves().
class FileKeychain final : public Keychain
{
public:
    explicit FileKeychain(QString directory);

    OSStatus copyMatching(const KeychainQuery& query, KeychainItem* result) override;
    OSStatus update(const KeychainQuery& query, const QByteArray& data) override;
    OSStatus add(const KeychainItem& item) override;
    OSStatus deleteItem(const KeychainQuery& query) override;
    OSStatus deleteItems(const QList<KeychainQuery>& queries) override;
    void discardLeftovers() override;
    void discardSetAsideCopies();
    // Removes the new files of saves that a kill or a crash cut short, which hold what was being
    // saved; the application does so as it starts, and at sign-out.
    void discardUnfinishedSaves();

    // Every item, for moving them to another store; none when the file cannot be read.
    std::optional<QList<KeychainItem>> allItems();
    // Deletes the file and what was kept aside of it.
    void removeAll();

    QString directory() const { return m_directory; }
    QString filePath() const;
    // Where a damaged file was moved, when one was found.
    QString setAsidePath() const { return m_setAsidePath; }

    // The per-user folder of the store: the data location's "veilmox/keychain".
    static QString standardDirectory();

    // Two tokens take a few kilobytes.
    static constexpr qint64 kMaximumFileSize = 256 * 1024;

private:
    // Whether the folder is a real folder of this user's, closed to others (closing it when
    // it is not); false, with the reason kept, when it cannot be used.
    bool folderIsUsable();
    void moveAside(const char* reason);

    // The stored items, or none (with the status) when the file exists but cannot be read.
    std::optional<QList<KeychainItem>> load(OSStatus* status);
    OSStatus save(const QList<KeychainItem>& items);
    // Takes the items the queries match out of the store; errSecItemNotFound when none does.
    OSStatus remove(const QList<KeychainQuery>& queries);

    QString m_directory;
    QString m_setAsidePath;
};

} // namespace platform
