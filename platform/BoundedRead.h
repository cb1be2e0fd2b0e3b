#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <optional>

// Reading what comes from disk or the network so that no file or document can cost unbounded
// time, stack or memory: files are read only when they are regular files within a size cap, and
// documents (JSON here, property lists in PropertyList.h) are parsed only while their nesting and
// element count stay within the bounds below. Past a bound, a document counts as damaged.
namespace platform {

// Containers inside containers: the outermost array or dictionary is level 1.
inline constexpr int kMaxDocumentDepth = 64;
// Values in a document, containers and dictionary keys included.
inline constexpr qsizetype kMaxDocumentElements = 250'000;
// Text and data in a document once every shared value is copied where it is used.
inline constexpr qint64 kMaxExpandedBytes = qint64(32) * 1024 * 1024;

struct FileContents
{
    enum class Status
    {
        Read,
        Missing,
        NotRegularFile,
        TooLarge,
        Unreadable,
    };
    Status status = Status::Missing;
    QByteArray bytes;
    // Why the file was not read, worded for a log line; empty when it was.
    QString error;

    bool isRead() const { return status == Status::Read; }
};

// The whole of a regular file of at most `maxBytes`. Opening never waits (a FIFO or a device is
// refused, not read), and a file that grows past the cap while being read is refused too.
FileContents readRegularFile(const QString& path, qint64 maxBytes);

// "8 MiB", "640 KiB" or "900 bytes", for messages that name a cap.
QString describeByteCount(qint64 bytes);

// A JSON document within the document bounds; none when it does not parse or goes past a bound,
// with the reason in `error` when given.
std::optional<QJsonDocument> parseJson(const QByteArray& bytes, QString* error = nullptr);

} // namespace platform
