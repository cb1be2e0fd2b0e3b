#include "platform/LocalSocketAddress.h"

#include <QFile>

#include <climits>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// What sun_path holds: a path ends with its terminating zero; an abstract name starts with one.
constexpr qsizetype kRoom = sizeof(sockaddr_un::sun_path) - 1;

QByteArray throughFolder(int folder, const QByteArray& name)
{
    return "/proc/self/fd/" + QByteArray::number(folder) + '/' + name;
}

// The folder and the name of a path; a path of no folder is in the current one.
std::pair<QByteArray, QByteArray> split(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return {".", path};
    }
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

} // namespace

bool LocalSocketAddress::isPossible(const QString& socketPath)
{
    if (socketPath.startsWith(QLatin1Char('@'))) {
        const qsizetype size = socketPath.mid(1).toUtf8().size();
        return size > 0 && size <= kRoom;
    }
    const QByteArray path = QFile::encodeName(socketPath);
    const QByteArray name = split(path).second;
    return !name.isEmpty() && (path.size() <= kRoom || throughFolder(INT_MAX, name).size() <= kRoom);
}

std::optional<LocalSocketAddress> LocalSocketAddress::of(const QString& socketPath)
{
    if (!isPossible(socketPath)) {
        return std::nullopt;
    }
    LocalSocketAddress address;
    address.m_address.sun_family = AF_UNIX;
    const auto offset = static_cast<qsizetype>(offsetof(sockaddr_un, sun_path));
    const bool abstract = socketPath.startsWith(QLatin1Char('@'));
    QByteArray bytes = abstract ? socketPath.mid(1).toUtf8() : QFile::encodeName(socketPath);
    if (!abstract && bytes.size() > kRoom) {
        const auto [folder, name] = split(bytes);
        address.m_folder = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (address.m_folder < 0) {
            return std::nullopt;
        }
        bytes = throughFolder(address.m_folder, name);
    }
    std::memcpy(address.m_address.sun_path + (abstract ? 1 : 0),
                bytes.constData(),
                static_cast<std::size_t>(bytes.size()));
    // An abstract name is exactly its bytes; a path ends with its terminating zero.
    address.m_size = static_cast<socklen_t>(offset + 1 + bytes.size());
    return address;
}

LocalSocketAddress::LocalSocketAddress(LocalSocketAddress&& other) noexcept
    : m_address(other.m_address)
    , m_size(other.m_size)
    , m_folder(std::exchange(other.m_folder, -1))
{}

LocalSocketAddress& LocalSocketAddress::operator=(LocalSocketAddress&& other) noexcept
{
    if (this != &other) {
        if (m_folder >= 0) {
            ::close(m_folder);
        }
        m_address = other.m_address;
        m_size = other.m_size;
        m_folder = std::exchange(other.m_folder, -1);
    }
    return *this;
}

LocalSocketAddress::~LocalSocketAddress()
{
    if (m_folder >= 0) {
        ::close(m_folder);
    }
}

QByteArray LocalSocketAddress::path() const
{
    return isAbstract() ? QByteArray() : QByteArray(m_address.sun_path);
}

} // namespace platform
