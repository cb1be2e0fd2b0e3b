#include "platform/Keychain.h"

#include "platform/PropertyList.h"
#include "platform/Values.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

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

QString rawValue(KeychainAccessibility accessible)
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

std::optional<KeychainAccessibility> accessibilityFromRawValue(const QString& raw)
{
    for (const auto kind : {KeychainAccessibility::AfterFirstUnlock,
                            KeychainAccessibility::AfterFirstUnlockThisDeviceOnly,
                            KeychainAccessibility::WhenUnlockedThisDeviceOnly}) {
        if (rawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
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
            accessibilityFromRawValue(stringValue(map.value(kAccessibleKey)).value_or(QString()));
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
                                {kAccessibleKey, rawValue(item.accessible)}});
    }
    return plist::writeBinary(QVariantMap{{kVersionKey, kFormatVersion}, {kItemsKey, list}});
}

constexpr QFile::Permissions kOwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kOwnerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kGroupOrOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

} // namespace

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

std::optional<QList<KeychainItem>> FileKeychain::load(OSStatus* status)
{
    *status = errSecSuccess;
    QFile file(filePath());
    if (!file.exists()) {
        return QList<KeychainItem>{};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *status = errSecIO;
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (auto items = decodeItems(bytes)) {
        return items;
    }
    // Keep the damaged file for inspection rather than writing over it.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = filePath() + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFile::exists(aside); ++n) {
        aside = filePath() + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (!QFile::rename(filePath(), aside)) {
        qWarning("Keychain: %s could not be read or moved aside", qPrintable(filePath()));
        *status = errSecDecode;
        return std::nullopt;
    }
    m_setAsidePath = aside;
    qWarning("Keychain: %s could not be read; moved to %s", qPrintable(filePath()), qPrintable(aside));
    return QList<KeychainItem>{};
}

OSStatus FileKeychain::save(const QList<KeychainItem>& items)
{
    const auto bytes = encodeItems(items);
    if (!bytes) {
        return errSecParam;
    }
    const QFileInfo folder(m_directory);
    if (!folder.exists()) {
        const QDir dir;
        if (!dir.mkpath(folder.absolutePath()) || !dir.mkdir(m_directory, kOwnerOnlyFolder)) {
            return errSecIO;
        }
    }
    // A folder made by someone else, or loosened since, is closed again before a secret goes in.
    if ((QFile::permissions(m_directory) & kGroupOrOthers)
        && !QFile::setPermissions(m_directory, kOwnerOnlyFolder)) {
        return errSecIO;
    }
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnlyFile)
        || file.write(*bytes) != bytes->size() || !file.commit()) {
        qWarning("Keychain: could not write %s", qPrintable(filePath()));
        return errSecIO;
    }
    return errSecSuccess;
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
    if (!isValid(query)) {
        return errSecParam;
    }
    OSStatus status = errSecSuccess;
    auto items = load(&status);
    if (!items) {
        return status;
    }
    const auto removed = items->removeIf([&](const KeychainItem& item) { return matches(item, query); });
    return removed > 0 ? save(*items) : errSecItemNotFound;
}

} // namespace platform
