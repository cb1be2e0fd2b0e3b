// Preloaded (LD_PRELOAD) into a launch of the program by the single-instance test: the process's
// first flock() of a file whose name ends in ".lock" waits VEILMOX_TEST_LOCK_DELAY seconds (one by
// default) before it locks, as on a machine that is busy at that moment. Plain C library calls
// only: it runs inside the program, before and beside everything else.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_slowed{false};

bool isLockFile(int fd)
{
    char link[64];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof(target));
    constexpr const char kSuffix[] = ".lock";
    constexpr ssize_t kSuffixLength = sizeof(kSuffix) - 1;
    return n > kSuffixLength && std::memcmp(target + n - kSuffixLength, kSuffix, kSuffixLength) == 0;
}

} // namespace

extern "C" int flock(int fd, int operation)
{
    using Flock = int (*)(int, int);
    static const auto real = reinterpret_cast<Flock>(::dlsym(RTLD_NEXT, "flock"));
    if ((operation & (LOCK_EX | LOCK_SH)) != 0 && !g_slowed.load() && isLockFile(fd)
        && !g_slowed.exchange(true)) {
        const char* delay = std::getenv("VEILMOX_TEST_LOCK_DELAY");
        const double seconds = delay != nullptr ? std::atof(delay) : 1.0;
        ::usleep(static_cast<useconds_t>(seconds * 1e6));
    }
    return real(fd, operation);
}
