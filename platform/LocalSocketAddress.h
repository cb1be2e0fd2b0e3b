#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/socket.h>
#include <sys/un.h>

namespace platform {

// The address of a Unix socket: a path, or "@" and a name for a socket of no folder (abstract).
// A path longer than an address holds (107 bytes, with a deep home or temporary folder, say) is
// reached through a descriptor of its folder ("/proc/self/fd/<n>/<name>"), which the address
// keeps open while it lives: the same file, under the same folder's permissions.
class LocalSocketAddress
{
public:
    // None when the path can never be an address (see isPossible), or its folder cannot be
    // opened now.
    static std::optional<LocalSocketAddress> of(const QString& socketPath);
    // Whether the path can be an address at all: not empty, and a name short enough on its own.
    static bool isPossible(const QString& socketPath);

    LocalSocketAddress(LocalSocketAddress&& other) noexcept;
    LocalSocketAddress& operator=(LocalSocketAddress&& other) noexcept;
    LocalSocketAddress(const LocalSocketAddress&) = delete;
    LocalSocketAddress& operator=(const LocalSocketAddress&) = delete;
    ~LocalSocketAddress();

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&m_address); }
    socklen_t size() const { return m_size; }
    bool isAbstract() const { return m_size > sizeof(sa_family_t) && m_address.sun_path[0] == '\0'; }
    // Whether the path is reached through its folder's descriptor.
    bool isThroughFolder() const { return m_folder >= 0; }
    // The path as the address names it, good for the file's own calls (unlink, chmod) while the
    // address lives; empty for an abstract socket.
    QByteArray path() const;

private:
    LocalSocketAddress() = default;

    sockaddr_un m_address{};
    socklen_t m_size = 0;
    int m_folder = -1;
};

} // namespace platform
