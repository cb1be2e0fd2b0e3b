#include "platform/HomeFolder.h"

#include <QtGlobal>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

QByteArray accountHomeFolder()
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int code = 0;
    // An entry larger than the system suggests (a directory service's) takes a larger buffer.
    while ((code = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE
           && buffer.size() < std::size_t(1024) * 1024) {
        buffer.resize(buffer.size() * 2);
    }
    if (code != 0 || found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return {found->pw_dir};
}

void takeHomeFromAccountWhenUnset()
{
    if (!qEnvironmentVariableIsEmpty("HOME")) {
        return;
    }
    if (const QByteArray home = accountHomeFolder(); !home.isEmpty()) {
        qputenv("HOME", home);
    }
}

} // namespace platform
