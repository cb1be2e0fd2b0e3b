#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <sys/types.h>

namespace platform {

// Replaces the file at `path` as a whole. The bytes go into a new file beside it, which is
// written, flushed to disk and renamed over the old one; then the folder is synced so that the
// rename lasts. Every step is checked: a full disk or a failing device is a failure the caller
// sees (with the step and the system's reason in `error`), never an empty or half-written file.
// Until the rename the previous file is untouched, and a failed attempt leaves nothing behind.
// A link at `path` is replaced, never written through. The new file gets exactly `permissions`,
// whatever the umask.
bool writeFileAtomically(const QString& path,
                         const QByteArray& bytes,
                         mode_t permissions,
                         QString* error = nullptr);

// Removes what writes of `path` that were cut short (the process killed, the machine down)
// left beside it: the new files that never were renamed into place, which hold what was being
// written. Those carry a mark of this program's in their name, and nothing without it is
// touched (a user's copy beside the file stays). Only this user's files are removed, and a link
// itself, never what it points at. The number removed.
int removeUnfinishedWrites(const QString& path);

// Removes the file at `path` (a link itself, never what it points at), then syncs its folder so
// that the removal lasts. Needs no room on the disk. True when nothing is left at the path (there
// was nothing there also counts), else false with the step and the system's reason.
bool removeFileDurably(const QString& path, QString* error = nullptr);

// Makes the folder and its missing parents; false, with the reason, when it cannot be made.
bool makeFolder(const QString& path, QString* error = nullptr);

// Makes the folder (its missing parents as usual) closed to other users (0700) whatever the
// umask; an existing folder of this user's loses the group's and others' permissions. False,
// with the reason, when it cannot be made.
bool makePrivateFolder(const QString& path, QString* error = nullptr);

// Takes the group's and others' permissions off an existing regular file of this user's; a link
// is left alone, never followed.
void closeFileToOthers(const QString& path);

// The system calls behind the steps a disk can fail, so that a test can make one of them fail
// the way a full or failing disk does and watch the real code handle it.
struct FileSystemCalls
{
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;

    // The kernel's own.
    static FileSystemCalls system();
};

// The calls in use; tests replace them and put system() back.
FileSystemCalls& fileSystemCalls();

} // namespace platform
