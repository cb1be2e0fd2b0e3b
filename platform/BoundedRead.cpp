#include "platform/BoundedRead.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;

    int get() const { return m_fd; }

private:
    int m_fd;
};

FileContents failed(FileContents::Status status, QString error)
{
    FileContents result;
    result.status = status;
    result.error = std::move(error);
    return result;
}

FileContents tooLarge(qint64 maxBytes)
{
    return failed(FileContents::Status::TooLarge,
                  QStringLiteral("larger than the %1 limit").arg(describeByteCount(maxBytes)));
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Nesting and element count of JSON text, found without parsing it; the count is one per value
// (a member counts once). Malformed text is left for the parser to refuse.
std::optional<QString> jsonPastBounds(const QByteArray& bytes)
{
    int depth = 0;
    qsizetype elements = 1;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > kMaxDocumentDepth) {
                return QStringLiteral("nested deeper than %1 levels").arg(kMaxDocumentDepth);
            }
            ++elements;
            break;
        case ']':
        case '}':
            --depth;
            break;
        case ',':
            ++elements;
            break;
        default:
            break;
        }
        if (elements > kMaxDocumentElements) {
            return QStringLiteral("more than %1 elements").arg(kMaxDocumentElements);
        }
    }
    return std::nullopt;
}

} // namespace

QString describeByteCount(qint64 bytes)
{
    constexpr qint64 kKiB = 1024;
    constexpr qint64 kMiB = kKiB * kKiB;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return QStringLiteral("%1 MiB").arg(bytes / kMiB);
    }
    if (bytes >= kKiB && bytes % kKiB == 0) {
        return QStringLiteral("%1 KiB").arg(bytes / kKiB);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

FileContents readRegularFile(const QString& path, qint64 maxBytes)
{
    // Non-blocking, so that opening a FIFO returns at once; fstat then refuses it.
    const FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        const int code = errno;
        return failed(code == ENOENT ? FileContents::Status::Missing : FileContents::Status::Unreadable,
                      systemError(code));
    }
    struct stat info
    {};
    if (::fstat(fd.get(), &info) != 0) {
        return failed(FileContents::Status::Unreadable, systemError(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return failed(FileContents::Status::NotRegularFile, QStringLiteral("not a regular file"));
    }
    if (info.st_size > maxBytes) {
        return tooLarge(maxBytes);
    }
    FileContents result;
    // One byte past the cap tells a file that grew meanwhile from one that fits exactly.
    result.bytes.resize(static_cast<qsizetype>(info.st_size) + 1);
    qsizetype filled = 0;
    while (true) {
        if (filled == result.bytes.size()) {
            if (filled > maxBytes) {
                return tooLarge(maxBytes);
            }
            result.bytes.resize(std::min<qint64>(filled * 2 + 4096, maxBytes + 1));
        }
        const ssize_t got =
            ::read(fd.get(), result.bytes.data() + filled, static_cast<size_t>(result.bytes.size() - filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return failed(FileContents::Status::Unreadable, systemError(errno));
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    result.bytes.truncate(filled);
    result.status = FileContents::Status::Read;
    return result;
}

std::optional<QJsonDocument> parseJson(const QByteArray& bytes, QString* error)
{
    if (const auto past = jsonPastBounds(bytes)) {
        if (error != nullptr) {
            *error = *past;
        }
        return std::nullopt;
    }
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        }
        return std::nullopt;
    }
    return document;
}

} // namespace platform
