#include "platform/UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/BoundedRead.h"
#include "platform/PropertyList.h"
#include "platform/Values.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace platform {

UserDefaults::UserDefaults(QObject* parent)
    : QObject(parent)
{}

UserDefaults::~UserDefaults() = default;

QVariant UserDefaults::object(const QString& key) const
{
    const auto stored = m_values.constFind(key);
    if (stored != m_values.cend()) {
        return stored.value();
    }
    return m_registered.value(key);
}

std::optional<QVariant> UserDefaults::normalized(const QVariant& value)
{
    if (isInteger(value)) {
        const auto integer = integerValue(value);
        if (!integer) {
            return std::nullopt;
        }
        return QVariant(static_cast<qlonglong>(*integer));
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QVariant(value.toBool());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d)) {
            return std::nullopt;
        }
        return QVariant(d);
    }
    case QMetaType::QString:
        return QVariant(value.toString());
    case QMetaType::QByteArray:
        return QVariant(value.toByteArray());
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? std::optional<QVariant>(value) : std::nullopt;
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString& s : value.toStringList()) {
            list.append(s);
        }
        return QVariant(list);
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        for (const QVariant& element : value.toList()) {
            const auto n = normalized(element);
            if (!n) {
                return std::nullopt;
            }
            list.append(*n);
        }
        return QVariant(list);
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            const auto n = normalized(it.value());
            if (!n) {
                return std::nullopt;
            }
            map.insert(it.key(), *n);
        }
        return QVariant(map);
    }
    default:
        return std::nullopt;
    }
}

bool UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObject(key);
        return true;
    }
    const auto n = normalized(value);
    if (!n) {
        qWarning("User defaults: refused a value of an unsupported kind for key %s", qPrintable(key));
        return false;
    }
    m_values.insert(key, *n);
    persist(m_values);
    emit didChange(key);
    return true;
}

void UserDefaults::removeObject(const QString& key)
{
    if (m_values.remove(key) == 0) {
        return;
    }
    persist(m_values);
    emit didChange(key);
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (const auto n = normalized(it.value())) {
            m_registered.insert(it.key(), *n);
        }
    }
}

namespace {

// The leading-number reading of text settings: "YES", "true", "1" and the like are true.
bool boolFromText(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        ++i;
    }
    while (i < text.size() && text.at(i) == QLatin1Char('0')) {
        ++i;
    }
    if (i >= text.size()) {
        return false;
    }
    const QChar c = text.at(i);
    return c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t')
           || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
}

} // namespace

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (isBool(value)) {
        return value.toBool();
    }
    if (const auto number = finiteNumber(value)) {
        return *number != 0;
    }
    if (const auto text = stringValue(value)) {
        return boolFromText(*text);
    }
    return false;
}

qint64 UserDefaults::integerForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (isBool(value)) {
        return value.toBool() ? 1 : 0;
    }
    if (const auto integer = integerValue(value)) {
        return *integer;
    }
    std::optional<double> number = finiteNumber(value);
    if (const auto text = stringValue(value)) {
        bool ok = false;
        const double parsed = text->trimmed().toDouble(&ok);
        if (ok) {
            number = parsed;
        }
    }
    if (number) {
        return exactInt64(std::trunc(*number)).value_or(0);
    }
    return 0;
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (isBool(value)) {
        return value.toBool() ? 1.0 : 0.0;
    }
    if (const auto number = finiteNumber(value)) {
        return *number;
    }
    if (const auto text = stringValue(value)) {
        bool ok = false;
        const double parsed = text->trimmed().toDouble(&ok);
        if (ok && std::isfinite(parsed)) {
            return parsed;
        }
    }
    return 0.0;
}

std::optional<QString> UserDefaults::stringForKey(const QString& key) const
{
    return stringValue(object(key));
}

std::optional<QByteArray> UserDefaults::dataForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return value.toByteArray();
}

std::optional<QVariantList> UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    return value.toList();
}

std::optional<QVariantMap> UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return value.toMap();
}

InMemoryUserDefaults::InMemoryUserDefaults(QObject* parent)
    : UserDefaults(parent)
{}

void InMemoryUserDefaults::persist(const QVariantMap& /*values*/)
{}

PlistUserDefaults::PlistUserDefaults(const QString& filePath, QObject* parent)
    : UserDefaults(parent)
    , m_filePath(filePath)
{
    load();
    // The onboarding answers and the analytics waiting to be sent are the user's own business;
    // a file of an older version may still be open to others.
    closeFileToOthers(m_filePath);
}

QString PlistUserDefaults::standardFilePath(const QString& bundleIdentifier)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/veilmox/") + bundleIdentifier + QStringLiteral(".plist");
}

void PlistUserDefaults::load()
{
    const FileContents file = readRegularFile(m_filePath, kMaxFileBytes);
    if (file.status == FileContents::Status::Missing) {
        return;
    }
    QString reason = file.error;
    if (file.isRead()) {
        if (const auto values = plist::readDictionary(file.bytes, &reason)) {
            replaceAll(*values);
            return;
        }
    }
    // Keep the damaged file for inspection rather than writing over it.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFile::exists(aside); ++n) {
        aside = m_filePath + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (QFile::rename(m_filePath, aside)) {
        m_setAsidePath = aside;
        qWarning("User defaults: %s could not be read (%s); moved to %s and started from defaults",
                 qPrintable(m_filePath),
                 qPrintable(reason),
                 qPrintable(aside));
    } else {
        m_persisting = false;
        qWarning("User defaults: %s could not be read (%s) or moved aside; changes stay in memory",
                 qPrintable(m_filePath),
                 qPrintable(reason));
    }
}

void PlistUserDefaults::persist(const QVariantMap& values)
{
    if (!m_persisting) {
        return;
    }
    const auto bytes = plist::writeBinary(values);
    m_lastWriteSucceeded = false;
    if (!bytes) {
        qWarning("User defaults: the settings could not be encoded");
        return;
    }
    // A settings file the user linked elsewhere stays linked: the file it points at is replaced.
    const QFileInfo info(m_filePath);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : m_filePath;
    QString error;
    if (!makePrivateFolder(info.absolutePath(), &error)
        || !writeFileAtomically(target, *bytes, 0600, &error)) {
        // The previous file stays whole.
        qWarning("User defaults: could not write %s (%s)", qPrintable(m_filePath), qPrintable(error));
        return;
    }
    m_lastWriteSucceeded = true;
}

} // namespace platform
