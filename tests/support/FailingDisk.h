#pragma once

#include "platform/AtomicFile.h"

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

} // namespace testing_support
