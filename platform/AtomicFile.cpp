#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool failed(QString* error, const char* step, int code)
{
    if (error != nullptr) {
        *error =
            QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(code)));
    }
    return false;
}

// Syncs the folder that holds `path`, so that a rename into it survives a crash. A file system
// that cannot sync folders has nothing more to do.
int syncFolderOf(const QByteArray& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int result = fileSystemCalls().fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result == EINVAL || result == ENOTSUP ? 0 : result;
}

// What this program's new files carry between the name they replace and mkstemp's random part,
// so that only they are ever taken for leftovers: a user's "….backup" or "….Ab12Cd" is not.
constexpr QLatin1String kTemporaryMark(".veilmox-save-");
constexpr qsizetype kTemporarySuffixLength = 6;

bool isTemporaryNameOf(const QString& candidate, const QString& fileName)
{
    if (candidate.size() != fileName.size() + kTemporaryMark.size() + kTemporarySuffixLength
        || !candidate.startsWith(fileName)
        || QStringView(candidate).mid(fileName.size(), kTemporaryMark.size()) != kTemporaryMark) {
        return false;
    }
    const QStringView suffix = QStringView(candidate).right(kTemporarySuffixLength);
    return std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
        return c.isDigit() || (c.unicode() < 128 && c.isLetter());
    });
}

} // namespace

int removeUnfinishedWrites(const QString& path)
{
    const QFileInfo target(path);
    const QString fileName = target.fileName();
    int removed = 0;
    const QStringList entries = QDir(target.absolutePath())
                                    .entryList({fileName + kTemporaryMark + QLatin1Char('*')},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!isTemporaryNameOf(entry, fileName)) {
            continue;
        }
        const QByteArray leftover = QFile::encodeName(target.absolutePath() + QLatin1Char('/') + entry);
        struct stat info
        {};
        if (::lstat(leftover.constData(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))
            && info.st_uid == ::getuid() && ::unlink(leftover.constData()) == 0) {
            ++removed;
        }
    }
    return removed;
}

FileSystemCalls FileSystemCalls::system()
{
    return {::write, ::fsync, ::rename};
}

FileSystemCalls& fileSystemCalls()
{
    static FileSystemCalls calls = FileSystemCalls::system();
    return calls;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, mode_t permissions, QString* error)
{
    const FileSystemCalls& calls = fileSystemCalls();
    const QByteArray target = QFile::encodeName(path);
    // Beside the file, so the rename stays within one file system; created exclusively, so
    // nothing planted under the name is written through.
    QByteArray temporary = target + QByteArray(kTemporaryMark.data(), kTemporaryMark.size())
                           + QByteArray(kTemporarySuffixLength, 'X');
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return failed(error, "open", errno);
    }
    const auto abandon = [&](const char* step, int code) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temporary.constData());
        return failed(error, step, code);
    };
    if (::fchmod(fd, permissions) != 0) {
        return abandon("set permissions", errno);
    }
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n =
            calls.write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A write that takes nothing is a disk that has no room left.
            return abandon("write", n == 0 ? ENOSPC : errno);
        }
        written += n;
    }
    // Only what reached the disk counts: the kernel reports a failed write-back here, not in
    // write().
    if (calls.fsync(fd) != 0) {
        return abandon("flush", errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR) {
        return abandon("close", errno);
    }
    if (calls.rename(temporary.constData(), target.constData()) != 0) {
        return abandon("rename", errno);
    }
    if (const int code = syncFolderOf(target); code != 0) {
        // The new file is in place, but a crash now could undo the rename.
        return failed(error, "flush the folder", code);
    }
    return true;
}

bool removeFileDurably(const QString& path, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    if (::unlink(target.constData()) != 0 && errno != ENOENT) {
        return failed(error, "remove", errno);
    }
    if (const int code = syncFolderOf(target); code != 0) {
        return failed(error, "flush the folder", code);
    }
    return true;
}

bool makeFolder(const QString& path, QString* error)
{
    // Qt's mkpath leaves the reason of the step that failed in errno.
    errno = 0;
    return QDir().mkpath(path) || failed(error, "make the folder", errno != 0 ? errno : EACCES);
}

bool makePrivateFolder(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    if (!makeFolder(QFileInfo(path).absolutePath(), error)) {
        return false;
    }
    if (::mkdir(name.constData(), 0700) == 0) {
        // The umask may have taken the owner's permissions too.
        return ::chmod(name.constData(), 0700) == 0 || failed(error, "set permissions", errno);
    }
    if (errno != EEXIST) {
        return failed(error, "make the folder", errno);
    }
    struct stat info
    {};
    if (::stat(name.constData(), &info) != 0) {
        return failed(error, "make the folder", errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return failed(error, "make the folder", ENOTDIR);
    }
    // Someone else's folder is theirs to keep; writing into it fails on its own if it must.
    if (info.st_uid == ::getuid() && (info.st_mode & 077) != 0
        && ::chmod(name.constData(), info.st_mode & 0700) != 0) {
        return failed(error, "set permissions", errno);
    }
    return true;
}

void closeFileToOthers(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    struct stat info
    {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid()
        && (info.st_mode & 077) != 0) {
        ::fchmod(fd, info.st_mode & 0700);
    }
    ::close(fd);
}

} // namespace platform
