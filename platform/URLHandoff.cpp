#include "platform/URLHandoff.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

Q_LOGGING_CATEGORY(lcHandoff, "veilmox.urlhandoff")

constexpr int kConnectTimeoutMs = 3000;
const QByteArray kTaken = "ok\n";

// A real folder (not a link) of this user's that nobody else may enter.
bool isPrivateDirectory(const QString& path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The folder, made private to this user when it does not exist yet; empty when it is not.
QString privateDirectory(const QString& path)
{
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivateDirectory(path) ? path : QString();
}

// Where a link went, by the path of a symbolic link of /proc; empty when it cannot be read.
QByteArray linkTarget(const QByteArray& path)
{
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(path.constData(), target.data(), static_cast<std::size_t>(target.size()));
    return n > 0 && n < target.size() ? target.left(n) : QByteArray();
}

// When an instance took its folder: the monotonic clock in nanoseconds, the same for every process
// of the machine, and never the same for two instances.
quint64 monotonicNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<quint64>(now.tv_sec) * 1000000000ULL + static_cast<quint64>(now.tv_nsec);
}

std::optional<quint64> readSince(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const quint64 since = file.read(32).trimmed().toULongLong(&ok);
    return ok ? std::optional(since) : std::nullopt;
}

// Milliseconds left until the deadline, at least 0.
int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// Written to from the signal handler, read on the main thread.
int g_terminationPipe[2] = {-1, -1};

void onTerminationSignal(int signal)
{
    // A second signal ends the process at once, as without this handler.
    ::signal(signal, SIG_DFL);
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_terminationPipe[1], &byte, 1);
}

} // namespace

void URLHandoff::quitOnTerminationSignals()
{
    if (QCoreApplication::instance() == nullptr
        || QThread::currentThread() != QCoreApplication::instance()->thread() || g_terminationPipe[0] >= 0
        || ::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(g_terminationPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        unsigned char signal = 0;
        while (::read(g_terminationPipe[0], &signal, 1) == 1) {
        }
        if (QThread::currentThread()->loopLevel() > 0) {
            QCoreApplication::quit();
        } else {
            // Not running its loop (yet): nothing would end it.
            ::raise(signal);
        }
    });
    struct sigaction action
    {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

bool isHandedOverURL(const QUrl& url, const QStringList& schemes)
{
    return url.isValid() && schemes.contains(url.scheme(), Qt::CaseInsensitive)
           && url.toEncoded().size() <= kMaxHandedOverURLLength;
}

QList<QUrl> takeURLArguments(int& argc, char** argv, const QStringList& schemes)
{
    QList<QUrl> urls;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QUrl url = QUrl::fromEncoded(QByteArray(argv[i]), QUrl::StrictMode);
        if (!isHandedOverURL(url, schemes)) {
            argv[kept++] = argv[i];
            continue;
        }
        urls.append(url);
        std::memset(argv[i], 0, std::strlen(argv[i]));
    }
    for (int i = kept; i < argc; ++i) {
        argv[i] = nullptr;
    }
    argc = kept;
    return urls;
}

URLHandoff::URLHandoff(const QString& bundleIdentifier,
                       const QStringList& schemes,
                       Scheduler& scheduler,
                       const QString& runtimeDirectory,
                       QObject* parent)
    : QObject(parent)
    , m_bundleIdentifier(bundleIdentifier)
    , m_schemes(schemes)
    , m_scheduler(scheduler)
    , m_directory(runtimeDirectory)
    , m_socketPath(socketPath(runtimeDirectory, bundleIdentifier))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &URLHandoff::acceptConnections);
}

URLHandoff::~URLHandoff()
{
    for (auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_server.close();
    m_lock.reset();
    if (!m_freshDirectory.isEmpty()) {
        QDir(m_freshDirectory).removeRecursively();
        // Without a runtime folder Qt makes one of its own there ("runtime-<user>") as the
        // application starts; it goes with the running instance while nothing is in it (rmdir
        // takes only an empty folder).
        if (const passwd* user = m_isPrimary ? ::getpwuid(::getuid()) : nullptr;
            user != nullptr && user->pw_name != nullptr) {
            const QString qtRuntime =
                QDir::tempPath() + QStringLiteral("/runtime-") + QFile::decodeName(user->pw_name);
            if (isPrivateDirectory(qtRuntime)) {
                ::rmdir(QFile::encodeName(qtRuntime).constData());
            }
        }
    }
}

QString URLHandoff::defaultRuntimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivateDirectory(runtime)) {
        return runtime;
    }
    // Under the user's own cache folder, where no other user can take the name first (as they
    // can in the shared temporary folder); one per machine, since a home folder may be shared
    // between machines. Empty when it cannot be made: start() then makes a fresh folder.
    QString host = QSysInfo::machineHostName();
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                           + QStringLiteral("/veilmox/runtime-")
                           + (host.isEmpty() ? QStringLiteral("local") : host);
    return makePrivateFolder(folder) && isPrivateDirectory(folder) ? folder : QString();
}

QString URLHandoff::socketPath(const QString& runtimeDirectory, const QString& bundleIdentifier)
{
    return runtimeDirectory + QLatin1Char('/') + bundleIdentifier + QStringLiteral(".urls");
}

bool URLHandoff::accepts(const QUrl& url) const
{
    return isHandedOverURL(url, m_schemes);
}

URLHandoff::Role URLHandoff::start(const QList<QUrl>& urls)
{
    std::optional<QUrl> url;
    for (const QUrl& candidate : urls) {
        if (accepts(candidate)) {
            url = candidate;
            break;
        }
    }
    if (m_directory.isEmpty() || privateDirectory(m_directory).isEmpty()) {
        if (!m_directory.isEmpty()) {
            qCWarning(lcHandoff) << "The folder" << m_directory << "is not private to this user";
        }
        return startInFreshFolder(url);
    }
    m_lock = std::make_unique<QLockFile>(m_directory + QLatin1Char('/') + m_bundleIdentifier
                                         + QStringLiteral(".lock"));
    // The running instance may run for weeks: only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0) || (!handOver(m_socketPath, std::nullopt, 0) && removeLeftOverLock())) {
        return becomePrimary();
    }
    return handOverToRunningInstance(m_socketPath, url);
}

URLHandoff::Role URLHandoff::becomePrimary()
{
    // The lock, the socket and a fresh folder go only when the application ends through its
    // normal path, which a terminating signal then takes too.
    quitOnTerminationSignals();
    m_isPrimary = true;
    if (!listen()) {
        qCWarning(lcHandoff) << "Not receiving opened links for now:" << m_server.errorString();
    }
    m_listenWatch = m_scheduler.every(kListenRetryInterval, [this] { watchListening(); });
    return Role::Primary;
}

URLHandoff::Role URLHandoff::handOverToRunningInstance(const QString& socketPath,
                                                       const std::optional<QUrl>& url)
{
    // The running instance may hold the lock a moment before it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    while (!handOver(socketPath, url, remainingMs(deadline))) {
        if (remainingMs(deadline) == 0) {
            qCWarning(lcHandoff) << "The running instance did not take the link";
            return Role::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Role::HandedOff;
}

URLHandoff::Role URLHandoff::startInFreshFolder(const std::optional<QUrl>& url)
{
    // No folder of this user's that outlives the instance: each instance takes a folder in the
    // shared temporary folder under a name nobody can make first, and instances find each other
    // through the kernel's view of their processes, which only this user can read.
    QByteArray path = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + freshFolderPrefix()
                                        + QStringLiteral("XXXXXX"));
    if (::mkdtemp(path.data()) == nullptr) {
        qCWarning(lcHandoff) << "Not receiving opened links: no private folder can be made";
        const auto others = freshFolderInstances();
        return others.isEmpty() ? Role::Primary : handOverToRunningInstance(others.first().socketPath, url);
    }
    // As the kernel names it, so that it is told apart from the folders of other instances.
    m_freshDirectory = m_directory = QDir(QFile::decodeName(path)).canonicalPath();
    m_socketPath = socketPath(m_directory, m_bundleIdentifier);
    m_lock = std::make_unique<QLockFile>(m_directory + QLatin1Char('/') + m_bundleIdentifier
                                         + QStringLiteral(".lock"));
    QString error;
    // Taken once the lock is held, and written before looking for others: an instance that does
    // not see another then always took its folder earlier, and the other sees it.
    const bool locked = m_lock->tryLock(0);
    m_since = monotonicNow();
    if (!locked || !writeFileAtomically(sinceFile(m_directory), QByteArray::number(m_since), 0600, &error)) {
        qCWarning(lcHandoff) << "Not receiving opened links: the folder" << m_directory << "cannot be used"
                             << error;
        return Role::Primary;
    }
    qCInfo(lcHandoff) << "Opened links are taken in" << m_directory
                      << "(no private runtime or cache folder; it goes when the application ends)";
    // Two launches at the same moment each see the other (or the later one sees the earlier one):
    // the instance that took its folder first runs, the other hands over to it.
    const auto others = freshFolderInstances();
    const bool first = std::none_of(
        others.cbegin(), others.cend(), [this](const Instance& other) { return other.since < m_since; });
    if (first) {
        return becomePrimary();
    }
    return handOverToRunningInstance(others.first().socketPath, url);
}

QString URLHandoff::freshFolderPrefix()
{
    return QStringLiteral("veilmox-%1-").arg(::getuid());
}

QString URLHandoff::sinceFile(const QString& directory) const
{
    return directory + QLatin1Char('/') + m_bundleIdentifier + QStringLiteral(".since");
}

QList<URLHandoff::Instance> URLHandoff::freshFolderInstances() const
{
    // Processes of this user running this program, holding the lock of this application in a
    // folder private to this user: running instances without a folder of their own.
    const QByteArray program = linkTarget("/proc/self/exe");
    const QByteArray lockName = '/' + QFile::encodeName(m_bundleIdentifier) + ".lock";
    const QString freshPrefix = freshFolderPrefix();
    // Instances of one temporary folder only: that is what a session's programs share.
    const QString temporary = QDir(QDir::tempPath()).canonicalPath();
    QList<Instance> found;
    QSet<QString> folders;
    if (program.isEmpty()) {
        return found;
    }
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& process : processes) {
        bool numeric = false;
        process.toInt(&numeric);
        const QByteArray base = "/proc/" + process.toLatin1();
        struct stat info
        {};
        if (!numeric || ::stat(base.constData(), &info) != 0 || info.st_uid != ::getuid()
            || linkTarget(base + "/exe") != program) {
            continue;
        }
        const QStringList descriptors =
            QDir(QString::fromLatin1(base + "/fd"))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& descriptor : descriptors) {
            const QByteArray target = linkTarget(base + "/fd/" + descriptor.toLatin1());
            if (!target.endsWith(lockName)) {
                continue;
            }
            const QString folder = QFileInfo(QFile::decodeName(target)).path();
            if (!QFileInfo(folder).fileName().startsWith(freshPrefix) || QFileInfo(folder).path() != temporary
                || folder == m_freshDirectory || folders.contains(folder) || !isPrivateDirectory(folder)) {
                continue;
            }
            folders.insert(folder);
            // An instance writes when it took its folder right after taking it.
            std::optional<quint64> since = readSince(sinceFile(folder));
            for (int wait = 0; !since && wait < 100; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                since = readSince(sinceFile(folder));
            }
            if (since) {
                found.append({socketPath(folder, m_bundleIdentifier), *since});
            }
        }
    }
    std::sort(
        found.begin(), found.end(), [](const Instance& a, const Instance& b) { return a.since < b.since; });
    return found;
}

bool URLHandoff::removeLeftOverLock()
{
    // Qt keeps a lock it cannot tie to a process for good: one left empty or unreadable by a
    // crash or a full disk, or one of another machine (a copied home folder). Nobody answered
    // for it, so it is replaced; a live instance holds its lock file locked, and Qt removes
    // nothing that is.
    qint64 pid = 0;
    QString hostname;
    QString application;
    const bool readable = m_lock->getLockInfo(&pid, &hostname, &application);
    if (readable && (hostname.isEmpty() || hostname == QSysInfo::machineHostName())) {
        return false;
    }
    const QString path = m_directory + QLatin1Char('/') + m_bundleIdentifier + QStringLiteral(".lock");
    if (!readable) {
        ::fchmodat(AT_FDCWD, QFile::encodeName(path).constData(), 0600, AT_SYMLINK_NOFOLLOW);
    }
    if (!m_lock->removeStaleLockFile() || !m_lock->tryLock(0)) {
        return false;
    }
    qCWarning(lcHandoff,
              "Replaced a lock nobody held (%s)",
              readable ? "it named another machine" : "it was empty or unreadable");
    return true;
}

bool URLHandoff::handOver(const QString& socketPath, const std::optional<QUrl>& url, int timeoutMs)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    if (path.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool taken = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (taken && url) {
        const QByteArray line = url->toEncoded() + '\n';
        qsizetype sent = 0;
        while (taken && sent < line.size()) {
            const ssize_t n = ::send(
                fd, line.constData() + sent, static_cast<std::size_t>(line.size() - sent), MSG_NOSIGNAL);
            taken = n > 0;
            sent += n > 0 ? n : 0;
        }
        // Wait for the answer: a link the running instance dropped must not count as delivered.
        QByteArray answer;
        char buffer[8];
        pollfd readable{fd, POLLIN, 0};
        while (taken && answer.size() < kTaken.size() && ::poll(&readable, 1, remainingMs(deadline)) > 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                break;
            }
            answer.append(buffer, n);
        }
        taken = taken && answer.startsWith(kTaken);
    }
    ::close(fd);
    return taken;
}

bool URLHandoff::listen()
{
    // The lock is ours, so a socket file left here belongs to an instance that is gone.
    QLocalServer::removeServer(m_socketPath);
    return m_server.listen(m_socketPath);
}

void URLHandoff::watchListening()
{
    if (m_server.isListening()) {
        return;
    }
    // Qt closes the socket for good when accepting fails (out of descriptors, say).
    if (!m_reportedStop) {
        qCWarning(lcHandoff) << "The link hand-off socket stopped:" << m_server.errorString()
                             << "- listening again";
        m_reportedStop = true;
    }
    if (listen()) {
        qCInfo(lcHandoff) << "The link hand-off socket listens again";
        m_reportedStop = false;
    }
}

void URLHandoff::acceptConnections()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        if (m_connections.size() >= kMaxConnections) {
            // Whoever holds connections open without a word must not lock later launches out.
            auto oldest = m_connections.begin();
            for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
                if (it->second.serial < oldest->second.serial) {
                    oldest = it;
                }
            }
            close(oldest->first);
        }
        // Qt would buffer whatever the peer sends; one line is all that is read.
        socket->setReadBufferSize(kMaxURLLength + 2);
        Connection& connection = m_connections[socket];
        connection.serial = m_nextSerial++;
        QPointer<QLocalSocket> guarded(socket);
        connection.timeout = m_scheduler.after(kReceiveTimeout, [this, guarded] {
            if (guarded) {
                close(guarded);
            }
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A connection that ends before its line is complete carries nothing to act on.
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { readFrom(socket); });
        readFrom(socket);
    }
}

void URLHandoff::readFrom(QLocalSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end()) {
        return;
    }
    QByteArray& received = it->second.received;
    received += socket->read(kMaxURLLength + 2 - received.size());
    const qsizetype end = received.indexOf('\n');
    if (end < 0) {
        if (received.size() > kMaxURLLength + 1) {
            qCWarning(lcHandoff) << "Dropped a hand-off longer than" << kMaxURLLength << "bytes";
            close(socket);
        } else if (socket->state() != QLocalSocket::ConnectedState) {
            close(socket);
        }
        return;
    }
    QByteArray line = received.left(end);
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    const QUrl url = QUrl::fromEncoded(line, QUrl::StrictMode);
    if (accepts(url)) {
        socket->write(kTaken);
        socket->flush();
        close(socket);
        emit urlsReceived({url});
        return;
    }
    qCWarning(lcHandoff) << "Ignored a hand-off that is not a link of this application";
    close(socket);
}

void URLHandoff::close(QLocalSocket* socket)
{
    if (m_connections.erase(socket) == 0) {
        return;
    }
    socket->disconnect(this);
    socket->disconnectFromServer();
    socket->deleteLater();
}

} // namespace platform
