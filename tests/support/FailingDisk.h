#pragma once

#include "platform/AtomicFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringList>

#include <cerrno>
#include <unistd.h>

namespace testing_support {

// While it lives, one step of writing a file fails the way a full or failing disk makes it fail
// (the write with ENOSPC, flushing or renaming with EIO); the code above the system calls runs
// as it does for real.
class FailingDisk
{
public:
    enum class Step
    {
        Write,        // no room from the first byte
        PartialWrite, // room for part of the file, then none
        Flush,
        Rename,
    };

    explicit FailingDisk(Step step)
    {
        platform::FileSystemCalls& calls = platform::fileSystemCalls();
        calls = platform::FileSystemCalls::system();
        switch (step) {
        case Step::Write:
            calls.write = [](int, const void*, size_t) {
                return fail(ENOSPC);
            };
            break;
        case Step::PartialWrite:
            calls.write = [written = false](int fd, const void* data, size_t size) mutable -> ssize_t {
                if (written || size < 2) {
                    return fail(ENOSPC);
                }
                written = true;
                return ::write(fd, data, size / 2);
            };
            break;
        case Step::Flush:
            calls.fsync = [](int) {
                return static_cast<int>(fail(EIO));
            };
            break;
        case Step::Rename:
            calls.rename = [](const char*, const char*) {
                return static_cast<int>(fail(EIO));
            };
            break;
        }
    }
    ~FailingDisk() { platform::fileSystemCalls() = platform::FileSystemCalls::system(); }
    FailingDisk(const FailingDisk&) = delete;
    FailingDisk& operator=(const FailingDisk&) = delete;
    FailingDisk(FailingDisk&&) = delete;
    FailingDisk& operator=(FailingDisk&&) = delete;

    static constexpr Step kEveryStep[] = {Step::Write, Step::PartialWrite, Step::Flush, Step::Rename};

private:
    static ssize_t fail(int code)
    {
        errno = code;
        return -1;
    }
};

// While it lives, saves stop where a kill between writing their new file and renaming it into
// place stops them; leaveBehind() then puts those new files back under their own names, as the
// kill leaves them (the save itself removed them on its way out).
class CutShortSaves
{
public:
    CutShortSaves()
    {
        platform::FileSystemCalls& calls = platform::fileSystemCalls();
        calls = platform::FileSystemCalls::system();
        calls.rename = [this](const char* from, const char*) {
            m_cut.append(QByteArray(from));
            ::link(from, (QByteArray(from) + kKept).constData());
            errno = EIO;
            return -1;
        };
    }
    ~CutShortSaves() { platform::fileSystemCalls() = platform::FileSystemCalls::system(); }
    CutShortSaves(const CutShortSaves&) = delete;
    CutShortSaves& operator=(const CutShortSaves&) = delete;
    CutShortSaves(CutShortSaves&&) = delete;
    CutShortSaves& operator=(CutShortSaves&&) = delete;

    // The paths of the new files left, in the order the saves made them.
    QStringList leaveBehind()
    {
        QStringList left;
        for (const QByteArray& path : std::as_const(m_cut)) {
            if (::rename((path + kKept).constData(), path.constData()) == 0) {
                left << QFile::decodeName(path);
            }
        }
        m_cut.clear();
        return left;
    }

private:
    static constexpr const char* kKept = "~kept";
    QList<QByteArray> m_cut;
};

} // namespace testing_support
