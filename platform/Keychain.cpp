#include "platform/Keychain.h"

#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"
#include "platform/Values.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool matches(const KeychainItem& item, const KeychainQuery& query)
{
    return item.service == query.service && item.account == query.account;
}

// Copies the first item the query matches into `result` (when given).
OSStatus copyFirstMatch(const QList<KeychainItem>& items, const KeychainQuery& query, KeychainItem* result)
{
    for (const KeychainItem& item : items) {
        if (matches(item, query)) {
            if (result != nullptr) {
                *result = item;
            }
            return errSecSuccess;
        }
    }
    return errSecItemNotFound;
}

bool isValid(const KeychainQuery& query)
{
    return !query.service.isEmpty() && !query.account.isEmpty();
}

const QString kItemsKey = QStringLiteral("items");
const QString kVersionKey = QStringLiteral("version");
const QString kServiceKey = QStringLiteral("svce");
const QString kAccountKey = QStringLiteral("acct");
const QString kDataKey = QStringLiteral("v_Data");
const QString kAccessibleKey = QStringLiteral("pdmn");
constexpr qint64 kFormatVersion = 1;

// Every entry must be complete; anything else means the file is not ours or was damaged.
std::optional<QList<KeychainItem>> decodeItems(const QByteArray& bytes)
{
    const auto root = plist::readDictionary(bytes);
    if (!root || integerValue(root->value(kVersionKey)) != kFormatVersion) {
        return std::nullopt;
    }
    const QVariant itemsValue = root->value(kItemsKey);
    if (itemsValue.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QList<KeychainItem> items;
    for (const QVariant& entry : itemsValue.toList()) {
        if (entry.typeId() != QMetaType::QVariantMap) {
            return std::nullopt;
        }
        const QVariantMap map = entry.toMap();
        const auto service = stringValue(map.value(kServiceKey));
        const auto account = stringValue(map.value(kAccountKey));
        const auto accessible =
            keychainAccessibilityFromRawValue(stringValue(map.value(kAccessibleKey)).value_or(QString()));
        const QVariant data = map.value(kDataKey);
        if (!service || !account || !accessible || data.typeId() != QMetaType::QByteArray) {
            return std::nullopt;
        }
        KeychainItem item;
        item.service = *service;
        item.account = *account;
        item.data = data.toByteArray();
        item.accessible = *accessible;
        items.append(item);
    }
    return items;
}

std::optional<QByteArray> encodeItems(const QList<KeychainItem>& items)
{
    QVariantList list;
    for (const KeychainItem& item : items) {
        list.append(QVariantMap{{kServiceKey, item.service},
                                {kAccountKey, item.account},
                                {kDataKey, item.data},
                                {kAccessibleKey, keychainAccessibilityRawValue(item.accessible)}});
    }
    return plist::writeBinary(QVariantMap{{kVersionKey, kFormatVersion}, {kItemsKey, list}});
}

constexpr QFile::Permissions kOwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
const QString kSetAsideInfix = QStringLiteral(".damaged-");

Q_LOGGING_CATEGORY(lcKeychain, "veilmox.keychain")

// Whether anything, a dangling link too, sits at the path.
bool isOccupied(const QString& path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Reads the store's items from the file (open or not: -1), closing it; what is wrong with it
// when it cannot be read.
const char* readItems(int fd, QList<KeychainItem>* items)
{
    if (fd < 0) {
        return "cannot be opened";
    }
    QFile file;
    struct stat info
    {};
    const char* problem = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = "is not a regular file";
    } else if (info.st_size > FileKeychain::kMaximumFileSize) {
        problem = "is too large";
    } else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        problem = "cannot be opened";
    }
    if (problem != nullptr) {
        ::close(fd);
        return problem;
    }
    const QByteArray bytes = file.read(FileKeychain::kMaximumFileSize + 1);
    const auto decoded = bytes.size() <= FileKeychain::kMaximumFileSize ? decodeItems(bytes) : std::nullopt;
    if (!decoded) {
        return "cannot be read";
    }
    *items = *decoded;
    return nullptr;
}

} // namespace

QString keychainAccessibilityRawValue(KeychainAccessibility accessible)
{
    switch (accessible) {
    case KeychainAccessibility::AfterFirstUnlock:
        return QStringLiteral("ck");
    case KeychainAccessibility::AfterFirstUnlockThisDeviceOnly:
        return QStringLiteral("cku");
    case KeychainAccessibility::WhenUnlockedThisDeviceOnly:
        return QStringLiteral("aku");
    }
    return QStringLiteral("cku");
}

std::optional<KeychainAccessibility> keychainAccessibilityFromRawValue(const QString& raw)
{
    for (const auto kind : {KeychainAccessibility::AfterFirstUnlock,
                            KeychainAccessibility::AfterFirstUnlockThisDeviceOnly,
                            KeychainAccessibility::WhenUnlockedThisDeviceOnly}) {
        if (keychainAccessibilityRawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

OSStatus Keychain::fail(OSStatus status, const QString& reason)
{
    m_failureReason = reason;
    return status;
}

OSStatus Keychain::deleteItems(const QList<KeychainQuery>& queries)
{
    OSStatus result = errSecItemNotFound;
    for (const KeychainQuery& query : queries) {
        const OSStatus status = deleteItem(query);
        if (status != errSecSuccess && status != errSecItemNotFound) {
            return status;
        }
        if (status == errSecSuccess) {
            result = errSecSuccess;
        }
    }
    return result;
}

// In memory.

OSStatus InMemoryKeychain::copyMatching(const KeychainQuery& query, KeychainItem* result)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    return copyFirstMatch(m_items, query, result);
}

OSStatus InMemoryKeychain::update(const KeychainQuery& query, const QByteArray& data)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    for (KeychainItem& item : m_items) {
        if (matches(item, query)) {
            item.data = data;
            return errSecSuccess;
        }
    }
    return errSecItemNotFound;
}

OSStatus InMemoryKeychain::add(const KeychainItem& item)
{
    if (!isValid({item.service, item.account})) {
        return errSecParam;
    }
    if (copyMatching({item.service, item.account}, nullptr) == errSecSuccess) {
        return errSecDuplicateItem;
    }
    m_items.append(item);
    return errSecSuccess;
}

OSStatus InMemoryKeychain::deleteItem(const KeychainQuery& query)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    const auto removed = m_items.removeIf([&](const KeychainItem& item) { return matches(item, query); });
    return removed > 0 ? errSecSuccess : errSecItemNotFound;
}

// In a file.

FileKeychain::FileKeychain(QString directory)
    : m_directory(std::move(directory))
{}

QString FileKeychain::standardDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/veilmox/keychain");
}

QString FileKeychain::filePath() const
{
    return m_directory + QStringLiteral("/login.keychain.plist");
}

bool FileKeychain::folderIsUsable()
{
    struct stat info
    {};
    const QByteArray path = QFile::encodeName(m_directory);
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        // A link could lead the secrets anywhere; a folder of someone else's is theirs to read.
        fail(errSecIO, QStringLiteral("%1 is not a folder of this user's").arg(m_directory));
        return false;
    }
    // A folder made by someone else's program with loose permissions, or loosened since, is
    // closed before a secret goes in or comes out.
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        fail(errSecIO, QStringLiteral("%1 cannot be closed to others").arg(m_directory));
        return false;
    }
    return true;
}

void FileKeychain::moveAside(const char* reason)
{
    // Kept for inspection in the same private folder, rather than written over; removed at
    // sign-out since it may hold token text.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = filePath() + kSetAsideInfix + stamp;
    for (int n = 1; isOccupied(aside); ++n) {
        aside = filePath() + kSetAsideInfix + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (::rename(QFile::encodeName(filePath()).constData(), QFile::encodeName(aside).constData()) != 0) {
        // The call fails, and its caller says why.
        return;
    }
    m_setAsidePath = aside;
    qCWarning(lcKeychain, "The store %s %s; moved to %s", qPrintable(filePath()), reason, qPrintable(aside));
}

std::optional<QList<KeychainItem>> FileKeychain::load(OSStatus* status)
{
    *status = errSecSuccess;
    if (!isOccupied(m_directory)) {
        return QList<KeychainItem>{};
    }
    if (!folderIsUsable()) {
        *status = errSecIO;
        return std::nullopt;
    }
    // Never through a link, and never blocking on something that is not a file.
    const int fd =
        ::open(QFile::encodeName(filePath()).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        return QList<KeychainItem>{};
    }
    QList<KeychainItem> items;
    if (const char* problem = readItems(fd, &items)) {
        moveAside(problem);
        if (isOccupied(filePath())) {
            *status = fail(
                errSecDecode,
                QStringLiteral("%1 %2 and could not be moved aside").arg(filePath(), QLatin1String(problem)));
            return std::nullopt;
        }
    }
    return items;
}

OSStatus FileKeychain::save(const QList<KeychainItem>& items)
{
    const auto bytes = encodeItems(items);
    if (!bytes) {
        return fail(errSecParam, QStringLiteral("the items cannot be written as a property list"));
    }
    if (!isOccupied(m_directory)) {
        const QDir dir;
        if (!dir.mkpath(QFileInfo(m_directory).absolutePath()) || !dir.mkdir(m_directory, kOwnerOnlyFolder)) {
            return fail(errSecIO, QStringLiteral("could not make %1").arg(m_directory));
        }
    }
    if (!folderIsUsable()) {
        return errSecIO;
    }
    // Loading moved any link aside, so one here is new: someone is at work in the folder.
    if (QFileInfo(filePath()).isSymLink()) {
        return fail(errSecIO, QStringLiteral("%1 became a link").arg(filePath()));
    }
    QString error;
    if (!writeFileAtomically(filePath(), *bytes, 0600, &error)) {
        // The previous file stays whole, and the caller hears that nothing was saved.
        return fail(errSecIO, QStringLiteral("could not write %1 (%2)").arg(filePath(), error));
    }
    return errSecSuccess;
}

std::optional<QList<KeychainItem>> FileKeychain::allItems()
{
    OSStatus status = errSecSuccess;
    return load(&status);
}

void FileKeychain::removeAll()
{
    if (folderIsUsable()) {
        QFile::remove(filePath());
        discardLeftovers();
    }
}

void FileKeychain::discardLeftovers()
{
    discardSetAsideCopies();
    discardUnfinishedSaves();
}

void FileKeychain::discardUnfinishedSaves()
{
    if (!QFileInfo(m_directory).isDir() || !folderIsUsable()) {
        return;
    }
    if (const int removed = removeUnfinishedWrites(filePath()); removed > 0) {
        qCInfo(lcKeychain, "Removed %d unfinished save(s) of %s", removed, qPrintable(filePath()));
    }
}

void FileKeychain::discardSetAsideCopies()
{
    if (!QFileInfo(m_directory).isDir() || !folderIsUsable()) {
        return;
    }
    const QString prefix = QFileInfo(filePath()).fileName() + kSetAsideInfix;
    const QDir folder(m_directory);
    for (const QFileInfo& entry :
         folder.entryInfoList({prefix + QLatin1Char('*')},
                              QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        // A link is removed itself, never what it points at.
        if (entry.isDir() && !entry.isSymLink()) {
            QDir(entry.filePath()).removeRecursively();
        } else {
            QFile::remove(entry.filePath());
        }
    }
    m_setAsidePath.clear();
}

OSStatus FileKeychain::copyMatching(const KeychainQuery& query, KeychainItem* result)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    OSStatus status = errSecSuccess;
    const auto items = load(&status);
    if (!items) {
        return status;
    }
    return copyFirstMatch(*items, query, result);
}

OSStatus FileKeychain::update(const KeychainQuery& query, const QByteArray& data)
{
    if (!isValid(query)) {
        return errSecParam;
    }
    OSStatus status = errSecSuccess;
    auto items = load(&status);
    if (!items) {
        return status;
    }
    for (KeychainItem& item : *items) {
        if (matches(item, query)) {
            item.data = data;
            return save(*items);
        }
    }
    return errSecItemNotFound;
}

OSStatus FileKeychain::add(const KeychainItem& item)
{
    if (!isValid({item.service, item.account})) {
        return errSecParam;
    }
    OSStatus status = errSecSuccess;
    auto items = load(&status);
    if (!items) {
        return status;
    }
    for (const KeychainItem& existing : *items) {
        if (matches(existing, {item.service, item.account})) {
            return errSecDuplicateItem;
        }
    }
    items->append(item);
    return save(*items);
}

OSStatus FileKeychain::deleteItem(const KeychainQuery& query)
{
    return deleteItems({query});
}

OSStatus FileKeychain::deleteItems(const QList<KeychainQuery>& queries)
{
    if (!std::all_of(queries.cbegin(), queries.cend(), isValid)) {
        return errSecParam;
    }
    return remove(queries);
}

OSStatus FileKeychain::remove(const QList<KeychainQuery>& queries)
{
    OSStatus status = errSecSuccess;
    auto items = load(&status);
    if (!items) {
        return status;
    }
    const auto removed = items->removeIf([&](const KeychainItem& item) {
        return std::any_of(queries.cbegin(), queries.cend(), [&](const KeychainQuery& query) {
            return matches(item, query);
        });
    });
    if (removed == 0) {
        return errSecItemNotFound;
    }
    if (!items->isEmpty()) {
        return save(*items);
    }
    // Rewriting the file needs room the disk may not have; taking it away needs none.
    QString error;
    if (!removeFileDurably(filePath(), &error)) {
        return fail(errSecIO, QStringLiteral("could not remove %1 (%2)").arg(filePath(), error));
    }
    return errSecSuccess;
}

} // namespace platform
