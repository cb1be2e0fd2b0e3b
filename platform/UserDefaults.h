#pragma once

#include "platform/Scheduler.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

namespace platform {

// The application's typed key-value settings with a registration domain beneath them.
// Values keep their kind: bool, integer (qint64), double, string, data (QByteArray), date,
// array (QVariantList) and dictionary (QVariantMap, string keys). Main thread only.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    ~UserDefaults() override;

    // The stored value, else the registered one; an invalid QVariant when neither exists.
    QVariant object(const QString& key) const;
    bool hasObject(const QString& key) const { return object(key).isValid(); }

    // Stores a value (normalised to the kinds above) and persists at once. A value of another
    // kind, a non-finite number or a date beyond the file's range anywhere inside it is refused:
    // false, nothing changes. False too when the change could not be saved; it then holds for
    // this run only.
    bool setObject(const QVariant& value, const QString& key);
    // False when the removal could not be saved (it holds for this run only).
    bool removeObject(const QString& key);

    // Values used when nothing is stored; never persisted.
    void registerDefaults(const QVariantMap& defaults);

    // Convenience readers with the usual coercions: bools from numbers and "YES"/"true"-like
    // strings, numbers from numeric strings. Absent or unconvertible values read as false/0.
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;
    std::optional<QByteArray> dataForKey(const QString& key) const;
    std::optional<QVariantList> arrayForKey(const QString& key) const;
    std::optional<QVariantMap> dictionaryForKey(const QString& key) const;

    // Everything stored (not the registration domain).
    QVariantMap dictionaryRepresentation() const { return m_values; }

    // The value normalised to one of the kept kinds, or none when it cannot be stored.
    static std::optional<QVariant> normalized(const QVariant& value);

signals:
    void didChange(const QString& key);

protected:
    explicit UserDefaults(QObject* parent = nullptr);
    // Starts from already loaded values (used by the file-backed store).
    void replaceAll(const QVariantMap& values) { m_values = values; }
    // Called after every change with the whole stored domain; false when it was not saved.
    virtual bool persist(const QVariantMap& values) = 0;

private:
    QVariantMap m_values;
    QVariantMap m_registered;
};

// Settings that live only in memory; what tests use.
class InMemoryUserDefaults final : public UserDefaults
{
    Q_OBJECT

public:
    explicit InMemoryUserDefaults(QObject* parent = nullptr);

protected:
    bool persist(const QVariantMap& values) override;
};

// Settings kept in one property-list file per application, rewritten atomically on every change.
// A change the disk refuses (full, say) is kept: the file is written again by itself, with the
// scheduler given, `kFirstRetryDelay` later, then at doubling intervals up to `kLongestRetryDelay`,
// and once more when the store goes as the application quits, which logs it when that fails too.
// A file that cannot be read or parsed, is not a regular file (a link to nothing included), is
// larger than `kMaxFileBytes` or goes past the document bounds is damaged: it is moved aside
// (never overwritten) and the store starts empty; when it cannot even be moved, the store keeps
// its changes in memory only. Copies moved aside more than `kSetAsideDays` ago, and all but the
// newest `kSetAsideKept`, are removed when the store opens.
class PlistUserDefaults final : public UserDefaults
{
    Q_OBJECT

public:
    // Far above what the settings ever hold, and small enough to load without a memory spike.
    static constexpr qint64 kMaxFileBytes = qint64(8) * 1024 * 1024;
    static constexpr int kSetAsideDays = 30;
    static constexpr int kSetAsideKept = 10;
    static constexpr double kFirstRetryDelay = 5.0;
    static constexpr double kLongestRetryDelay = 60.0;

    explicit PlistUserDefaults(const QString& filePath,
                               Scheduler* scheduler = nullptr,
                               QObject* parent = nullptr);
    // Writes what the file does not hold yet.
    ~PlistUserDefaults() override;

    QString filePath() const { return m_filePath; }
    // Where a damaged file was moved, when one was found at start.
    QString setAsidePath() const { return m_setAsidePath; }
    // False when the file could neither be read nor moved aside, or the last write failed.
    bool isPersisting() const { return m_persisting && m_lastWriteSucceeded; }

    // The per-user location of an application's settings file.
    static QString standardFilePath(const QString& bundleIdentifier);

protected:
    bool persist(const QVariantMap& values) override;

private:
    void load();
    void moveAside(const QString& reason);
    void removeOldSetAsideCopies() const;
    // Saves the values, keeping them for a later try when the disk refuses them.
    bool save(const QVariantMap& values);
    // Writes the values; false with the reason when the disk refuses them.
    bool write(const QVariantMap& values, QString* error);
    void retryLater();

    QString m_filePath;
    QString m_setAsidePath;
    Scheduler* m_scheduler = nullptr;
    bool m_persisting = true;
    bool m_lastWriteSucceeded = true;
    double m_retryDelay = kFirstRetryDelay;
    TimerHandle m_retry;
};

} // namespace platform
