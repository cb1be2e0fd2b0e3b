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

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

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
        return plist::isRepresentable(value.toDateTime()) ? std::optional<QVariant>(value) : std::nullopt;
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
        qWarning("User defaults: refused a value that cannot be stored, for key %s", qPrintable(key));
        return false;
    }
    m_values.insert(key, *n);
    const bool saved = persist(m_values);
    emit didChange(key);
    return saved;
}

bool UserDefaults::removeObject(const QString& key)
{
    if (m_values.remove(key) == 0) {
        return true;
    }
    const bool saved = persist(m_values);
    emit didChange(key);
    return saved;
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

bool InMemoryUserDefaults::persist(const QVariantMap& /*values*/)
{
    return true;
}

PlistUserDefaults::PlistUserDefaults(const QString& filePath, Scheduler* scheduler, QObject* parent)
    : UserDefaults(parent)
    , m_filePath(filePath)
    , m_scheduler(scheduler)
{
    load();
    // The onboarding answers and the analytics waiting to be sent are the user's own business;
    // a file of an older version may still be open to others.
    closeFileToOthers(m_filePath);
}

PlistUserDefaults::~PlistUserDefaults()
{
    // The last chance for a change the disk refused so far: the room may be back. When it is not,
    // the previous file stays whole, and the log says what it lacks.
    if (m_persisting && !m_lastWriteSucceeded && !save(dictionaryRepresentation())) {
        qWarning("User defaults: %s still could not be written as the application quits; the changes "
                 "since its last save are not saved",
                 qPrintable(m_filePath));
    }
}

QString PlistUserDefaults::standardFilePath(const QString& bundleIdentifier)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/veilmox/") + bundleIdentifier + QStringLiteral(".plist");
}

void PlistUserDefaults::load()
{
    const FileContents file = readRegularFile(m_filePath, kMaxFileBytes);
    QString reason = file.error;
    if (file.status == FileContents::Status::Missing) {
        // A link to nothing reads as missing, but the file could never be written through it.
        if (!QFileInfo(m_filePath).isSymLink()) {
            removeOldSetAsideCopies();
            return;
        }
        reason = QStringLiteral("a link to nothing");
    }
    if (file.isRead()) {
        if (const auto values = plist::readDictionary(file.bytes, &reason)) {
            replaceAll(*values);
            removeOldSetAsideCopies();
            return;
        }
    }
    moveAside(reason);
    removeOldSetAsideCopies();
}

namespace {

const QString kSetAsideInfix = QStringLiteral(".damaged-");
const QString kSetAsideStampFormat = QStringLiteral("yyyyMMdd-HHmmss");

// Whether anything, a link to nothing included, sits at the path.
bool isOccupied(const QString& path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

void PlistUserDefaults::moveAside(const QString& reason)
{
    // Keep the damaged file for inspection rather than writing over it.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(kSetAsideStampFormat);
    QString aside = m_filePath + kSetAsideInfix + stamp;
    for (int n = 1; isOccupied(aside); ++n) {
        aside = m_filePath + kSetAsideInfix + stamp + QLatin1Char('-') + QString::number(n);
    }
    // The entry itself is moved, a link included (QFile would look through it).
    if (::rename(QFile::encodeName(m_filePath).constData(), QFile::encodeName(aside).constData()) == 0) {
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

void PlistUserDefaults::removeOldSetAsideCopies() const
{
    const QFileInfo settings(m_filePath);
    const QString prefix = settings.fileName() + kSetAsideInfix;
    struct Copy
    {
        QDateTime movedAt;
        int number = 0;
        QString path;
    };
    std::vector<Copy> copies;
    const QFileInfoList entries =
        QDir(settings.absolutePath())
            .entryInfoList({prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::System | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        // Only names this store gives: the stamp, and a number when two came in one second.
        const QStringList parts = entry.fileName().mid(prefix.size()).split(QLatin1Char('-'));
        if (parts.size() < 2 || parts.size() > 3) {
            continue;
        }
        QDateTime movedAt =
            QDateTime::fromString(parts[0] + QLatin1Char('-') + parts[1], kSetAsideStampFormat);
        movedAt.setTimeSpec(Qt::UTC);
        bool numbered = true;
        const int number = parts.size() == 3 ? parts[2].toInt(&numbered) : 0;
        // A folder moved aside is left to the user; a link is removed as itself.
        if (!movedAt.isValid() || !numbered || (entry.isDir() && !entry.isSymLink())) {
            continue;
        }
        copies.push_back({movedAt, number, entry.filePath()});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
        return std::tie(a.movedAt, a.number) > std::tie(b.movedAt, b.number);
    });
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-kSetAsideDays);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (i >= static_cast<std::size_t>(kSetAsideKept) || copies[i].movedAt < oldest) {
            // A link itself, never what it points at.
            ::unlink(QFile::encodeName(copies[i].path).constData());
        }
    }
}

bool PlistUserDefaults::persist(const QVariantMap& values)
{
    return save(values);
}

bool PlistUserDefaults::save(const QVariantMap& values)
{
    if (!m_persisting) {
        return false;
    }
    const bool unsavedBefore = !m_lastWriteSucceeded;
    QString error;
    m_lastWriteSucceeded = write(values, &error);
    if (m_lastWriteSucceeded) {
        m_retry.cancel();
        m_retryDelay = kFirstRetryDelay;
        if (unsavedBefore) {
            qWarning("User defaults: saved %s; it holds the changes it could not take before",
                     qPrintable(m_filePath));
        }
        return true;
    }
    // One line while the changes wait, however often the disk refuses them again.
    if (!unsavedBefore) {
        qWarning("User defaults: could not write %s (%s); the changes are kept and saved once it can "
                 "be written",
                 qPrintable(m_filePath),
                 qPrintable(error));
    }
    retryLater();
    return false;
}

void PlistUserDefaults::retryLater()
{
    if (m_scheduler == nullptr || m_retry.isActive()) {
        return;
    }
    m_retry = m_scheduler->after(m_retryDelay, [this] {
        m_retryDelay = std::min(2 * m_retryDelay, kLongestRetryDelay);
        save(dictionaryRepresentation());
    });
}

bool PlistUserDefaults::write(const QVariantMap& values, QString* error)
{
    QStringList leftOut;
    const auto bytes = plist::writeBinary(values, &leftOut);
    for (const QString& path : std::as_const(leftOut)) {
        qWarning("User defaults: left out the value under %s, which a settings file cannot hold",
                 qPrintable(path));
    }
    if (!bytes) {
        *error = QStringLiteral("the settings could not be encoded");
        return false;
    }
    // A settings file the user linked elsewhere stays linked: the file it points at is replaced.
    const QFileInfo info(m_filePath);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : m_filePath;
    // The previous file stays whole when this fails.
    return makePrivateFolder(info.absolutePath(), error) && writeFileAtomically(target, *bytes, 0600, error);
}

} // namespace platform
