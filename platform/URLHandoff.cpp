#include "platform/URLHandoff.h"

#include "platform/AtomicFile.h"
#include "platform/LocalSocketAddress.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
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

// The temporary folder as instances of one session name it.
QString temporaryFolder()
{
    const QString path = QDir::tempPath();
    const QString canonical = QDir(path).canonicalPath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// What an instance wrote when it claimed its place: when, which process, in which temporary
// folder. Written after the lock is taken, so it may be missing for a moment, or left by an
// instance that is gone (another process).
struct Since
{
    quint64 since = 0;
    qint64 process = 0;
    QString temporaryFolder;
};

std::optional<Since> readSince(const QString& path, qint64 process)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = file.read(8192).split('\n');
    bool sinceOk = false;
    bool processOk = false;
    Since since{lines.value(0).toULongLong(&sinceOk),
                lines.value(1).toLongLong(&processOk),
                QFile::decodeName(lines.value(2))};
    if (!sinceOk || !processOk || since.process != process) {
        return std::nullopt;
    }
    return since;
}

// Why a folder refuses what the hand-off needs to keep there, for the one line that says so.
QString describeFolderProblem(const QString& folder, int code)
{
    if (code == ENOSPC || code == EDQUOT) {
        return QStringLiteral("The folder %1 is full").arg(folder);
    }
    if (code != 0) {
        return QStringLiteral("The folder %1 cannot be written (%2)")
            .arg(folder, QString::fromLocal8Bit(std::strerror(code)));
    }
    return QStringLiteral("The folder %1 refuses the lock").arg(folder);
}

// What sits at the lock path when it is anything but a regular file of this user's, which is all
// a lock can be; empty when it is one, or nothing is there. Told by lstat alone: a folder, a pipe,
// a link or another user's file is never followed, opened or changed.
QString unlockableEntry(const QByteArray& path)
{
    struct stat info
    {};
    if (::lstat(path.constData(), &info) != 0 || (S_ISREG(info.st_mode) && info.st_uid == ::getuid())) {
        return {};
    }
    if (S_ISREG(info.st_mode)) {
        return QStringLiteral("a file of another user's (uid %1)").arg(info.st_uid);
    }
    if (S_ISDIR(info.st_mode)) {
        return QStringLiteral("a folder");
    }
    if (S_ISLNK(info.st_mode)) {
        return QStringLiteral("a symbolic link");
    }
    if (S_ISFIFO(info.st_mode)) {
        return QStringLiteral("a named pipe");
    }
    if (S_ISSOCK(info.st_mode)) {
        return QStringLiteral("a socket");
    }
    return QStringLiteral("a device");
}

// Why a socket is not bound at its path as it stands, for the one line that says so.
QString tooLongForASocket(const QString& socketPath)
{
    return QStringLiteral("The socket path %1 is longer than a socket address holds (%2 bytes)")
        .arg(socketPath)
        .arg(sizeof(sockaddr_un::sun_path) - 1);
}

// Why nothing can be written in the folder: a small file made and written there the way the
// lock and its companions are (0 when that works).
int folderWriteError(const QString& folder)
{
    QByteArray probe = QFile::encodeName(folder + QStringLiteral("/.veilmox-probe-XXXXXX"));
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const char byte = '\n';
    const ssize_t written = fileSystemCalls().write(fd, &byte, 1);
    const int code = written == 1 ? 0 : (written < 0 ? errno : ENOSPC);
    ::close(fd);
    ::unlink(probe.constData());
    return code;
}

// Whether the process at the other end of a connected socket is one of this user's.
bool peerIsThisUser(int fd)
{
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

// The bound abstract sockets of the machine whose name begins with the prefix, by inode: the
// kernel lists them to everyone; only the processes found in /proc tell whose they are.
struct AbstractSocket
{
    QString name;
    bool listening = false;
};

QHash<QByteArray, AbstractSocket> abstractSockets(const QString& prefix)
{
    QHash<QByteArray, AbstractSocket> found;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly)) {
        return found;
    }
    const QByteArray marker = '@' + prefix.toUtf8();
    // Num RefCount Protocol Flags Type St Inode Path; __SO_ACCEPTCON in Flags: listening.
    constexpr uint kListening = 0x10000;
    // A file of the kernel's has no size: read to its end.
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || !fields[7].startsWith(marker)) {
            continue;
        }
        bool ok = false;
        const uint flags = fields[3].toUInt(&ok, 16);
        found.insert(fields[6], {QString::fromUtf8(fields[7].mid(1)), ok && (flags & kListening) != 0});
    }
    return found;
}

// The inode of a socket, from what a descriptor's link in /proc points at ("socket:[inode]").
std::optional<QByteArray> socketInode(const QByteArray& target)
{
    constexpr qsizetype kPrefix = 8; // "socket:["
    if (!target.startsWith("socket:[") || !target.endsWith(']')) {
        return std::nullopt;
    }
    return target.mid(kPrefix, target.size() - kPrefix - 1);
}

// The descriptors a process holds open (its /proc folder given), by their names there.
QStringList descriptorsOf(const QByteArray& processFolder)
{
    return QDir(QString::fromLatin1(processFolder + "/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

// The inodes of the sockets a process holds open (its /proc folder given).
QSet<QByteArray> socketInodes(const QByteArray& process)
{
    QSet<QByteArray> inodes;
    for (const QString& descriptor : descriptorsOf(process)) {
        if (auto inode = socketInode(linkTarget(process + "/fd/" + descriptor.toLatin1()))) {
            inodes.insert(std::move(*inode));
        }
    }
    return inodes;
}

// Milliseconds left until the deadline, at least 0.
int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// A process of this user that runs this program, by its folder in /proc.
struct ProgramProcess
{
    qint64 pid = 0;
    QByteArray folder;
};

QList<ProgramProcess> processesOfThisProgram()
{
    QList<ProgramProcess> found;
    const QByteArray program = linkTarget("/proc/self/exe");
    if (program.isEmpty()) {
        return found;
    }
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& process : processes) {
        bool numeric = false;
        const qint64 pid = process.toLongLong(&numeric);
        const QByteArray folder = "/proc/" + process.toLatin1();
        struct stat info
        {};
        if (numeric && ::stat(folder.constData(), &info) == 0 && info.st_uid == ::getuid()
            && linkTarget(folder + "/exe") == program) {
            found.append({pid, folder});
        }
    }
    return found;
}

// One file, and not another put at its path since: the same device, inode and time of its last
// write (a new file under a reused inode is written as it is made).
bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mtim.tv_sec == b.st_mtim.tv_sec
           && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether a process of this program has the file open: the launch that made it and has not
// locked or written it yet, say.
bool heldOpenByThisProgram(const QByteArray& path, const struct stat& file)
{
    const QByteArray name = '/' + path.mid(path.lastIndexOf('/') + 1);
    for (const ProgramProcess& process : processesOfThisProgram()) {
        for (const QString& descriptor : descriptorsOf(process.folder)) {
            const QByteArray link = process.folder + "/fd/" + descriptor.toLatin1();
            struct stat open
            {};
            if (linkTarget(link).endsWith(name) && ::stat(link.constData(), &open) == 0
                && open.st_dev == file.st_dev && open.st_ino == file.st_ino) {
                return true;
            }
        }
    }
    return false;
}

// Removes the lock file at the path when it is still the one found left over and nobody locks
// it. Whoever removes a lock holds it meanwhile, as Qt does, so a lock that another launch has
// put there since is never removed.
bool removeLeftOverLockFile(const QByteArray& path, const struct stat& leftOver)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat opened
    {};
    struct stat now
    {};
    const bool removed = ::fstat(fd, &opened) == 0 && sameFile(opened, leftOver)
                         && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.constData(), &now) == 0
                         && sameFile(now, leftOver) && ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
}

// Written to from the signal handler, read on the main thread.
int g_terminationPipe[2] = {-1, -1};
// Set by the handler: a signal came, and the next one ends the process at once.
volatile std::sig_atomic_t g_signalled = 0;
QSocketNotifier* g_terminationWatch = nullptr;

void onTerminationSignal(int signal)
{
    // A second signal ends the process at once, as without this handler.
    ::signal(signal, SIG_DFL);
    g_signalled = 1;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_terminationPipe[1], &byte, 1);
}

// Turns a byte written by the signal handler, before or after, into the end of the event loop.
void watchTerminationPipe()
{
    g_terminationWatch =
        new QSocketNotifier(g_terminationPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(g_terminationWatch, &QSocketNotifier::activated, g_terminationWatch, [] {
        unsigned char signal = 0;
        while (::read(g_terminationPipe[0], &signal, 1) == 1) {
        }
        // Not running its loop yet: it ends as soon as the loop starts.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QObject::connect(g_terminationWatch, &QObject::destroyed, [] { g_terminationWatch = nullptr; });
}

} // namespace

void URLHandoff::catchTerminationSignals()
{
    if (g_terminationPipe[0] < 0 && ::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    // Once a signal came, the default stays for the next one.
    if (g_signalled != 0) {
        return;
    }
    // Again on each call: a handler that has run put the default back.
    struct sigaction action
    {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

void URLHandoff::quitOnTerminationSignals()
{
    if (QCoreApplication::instance() == nullptr
        || QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return;
    }
    catchTerminationSignals();
    if (g_terminationPipe[0] >= 0 && g_terminationWatch == nullptr) {
        watchTerminationPipe();
    }
}

QString URLHandoff::makeQtRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateDirectory(runtime)) {
        return {};
    }
    const passwd* user = ::getpwuid(::geteuid());
    if (user == nullptr || user->pw_name == nullptr) {
        return {};
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/runtime-") + QFile::decodeName(user->pw_name);
    // Made here, or by someone else before: only in the first case is it this process's to remove.
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 ? folder : QString();
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
    connect(&m_server, &QLocalServer::newConnection, this, &URLHandoff::acceptConnections);
}

URLHandoff::~URLHandoff()
{
    for (auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_server.close();
    if (m_sinceMarker >= 0) {
        ::close(m_sinceMarker);
    }
    if (m_wroteSince && m_freshDirectory.isEmpty()) {
        QFile::remove(sinceFile(m_directory));
    }
    m_lock.reset();
    if (!m_freshDirectory.isEmpty()) {
        QDir(m_freshDirectory).removeRecursively();
    }
    // Qt's own runtime folder goes only when this process made it, and while nothing is in it
    // (rmdir takes only an empty folder).
    if (!m_qtRuntimeFolder.isEmpty() && isPrivateDirectory(m_qtRuntimeFolder)) {
        ::rmdir(QFile::encodeName(m_qtRuntimeFolder).constData());
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
    // Before anything can fail: from here on a terminating signal ends this process through its
    // normal path, whatever role it takes (a session held in memory is saved, folders removed).
    quitOnTerminationSignals();
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
        return startWithoutLastingFolder(url);
    }
    if (!LocalSocketAddress::isPossible(m_socketPath)) {
        qCWarning(lcHandoff).noquote()
            << tooLongForASocket(m_socketPath) << "- opened links are taken in a folder of this run instead";
        return startWithoutLastingFolder(url);
    }
    m_lock = std::make_unique<QLockFile>(m_directory + QLatin1Char('/') + m_bundleIdentifier
                                         + QStringLiteral(".lock"));
    // The running instance may run for weeks: only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
    QString problem;
    const LockTaking taking = takeLock(&problem);
    if (taking == LockTaking::Refused) {
        // Nobody holds the lock: the folder cannot take it. That is no other instance, so this
        // one runs from a folder of its own, where later launches find it by its process.
        qCWarning(lcHandoff).noquote()
            << problem << "- opened links are taken in a folder of this run instead";
        m_lock.reset();
        return startWithoutLastingFolder(url);
    }
    if (taking == LockTaking::Held) {
        return handOverToRunningInstance(m_socketPath, url);
    }
    // Another instance may run with its lock elsewhere: launched without a lasting folder, or
    // with another one (a runtime folder where this launch has only a cache folder, say).
    m_since = monotonicNow();
    QString error;
    if (!writeSince(&error)) {
        qCWarning(lcHandoff) << "Launches that keep their lock elsewhere will not find this instance:"
                             << error;
    }
    return runUnlessAnotherCameFirst(url);
}

URLHandoff::Role URLHandoff::becomePrimary()
{
    // The lock, the socket and a fresh folder go only when the application ends through its
    // normal path, which a terminating signal then takes too.
    quitOnTerminationSignals();
    m_isPrimary = true;
    // No socket could be made: nothing to listen on, now or later.
    if (m_socketPath.isEmpty()) {
        return Role::Primary;
    }
    if (!m_server.isListening() && !listen()) {
        qCWarning(lcHandoff).noquote() << "Not receiving opened links for now:" << m_listenError;
    }
    // A socket that stops (the process ran out of descriptors, say) is listened on again.
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

URLHandoff::Role URLHandoff::startWithoutLastingFolder(const std::optional<QUrl>& url)
{
    // No folder of this user's that outlives the instance: each instance takes a folder in the
    // shared temporary folder under a name nobody can make first, and instances find each other
    // through the kernel's view of their processes, which only this user can read.
    const bool hadFolder = !m_directory.isEmpty();
    const QString temporary = QDir::tempPath();
    QByteArray path =
        QFile::encodeName(temporary + QLatin1Char('/') + freshFolderPrefix() + QStringLiteral("XXXXXX"));
    QString problem;
    if (temporary.isEmpty()) {
        problem = QStringLiteral("There is no temporary folder");
    } else if (const QString socket = socketPath(QFile::decodeName(path), m_bundleIdentifier);
               !LocalSocketAddress::isPossible(socket)) {
        problem = tooLongForASocket(socket);
    } else if (::mkdtemp(path.data()) == nullptr) {
        problem = describeFolderProblem(temporary, errno);
    } else {
        // As the kernel names it, so that it is told apart from the folders of other instances.
        m_freshDirectory = m_directory = QDir(QFile::decodeName(path)).canonicalPath();
        m_socketPath = socketPath(m_directory, m_bundleIdentifier);
        m_lock = std::make_unique<QLockFile>(m_directory + QLatin1Char('/') + m_bundleIdentifier
                                             + QStringLiteral(".lock"));
        // Taken once the lock is held, and written before looking for others: an instance that
        // does not see another then always claimed its place earlier, and the other sees it.
        const bool locked = m_lock->tryLock(0);
        m_since = monotonicNow();
        QString error;
        if (!locked || !writeSince(&error)) {
            problem = describeFolderProblem(temporary, folderWriteError(m_directory));
            m_lock.reset();
            QDir(m_freshDirectory).removeRecursively();
            m_freshDirectory.clear();
            m_wroteSince = false;
        }
    }
    if (!problem.isEmpty()) {
        qCWarning(lcHandoff).noquote()
            << problem << "- opened links are taken over a socket only this user's programs reach";
        return startOnAbstractSocket(url);
    }
    // Why there is no lasting folder was told already when there was one.
    qCInfo(lcHandoff) << "Opened links are taken in" << m_directory
                      << (hadFolder
                              ? "(it goes when the application ends)"
                              : "(no private runtime or cache folder; it goes when the application ends)");
    return runUnlessAnotherCameFirst(url);
}

URLHandoff::Role URLHandoff::startOnAbstractSocket(const std::optional<QUrl>& url)
{
    // Not even a folder: a socket of no folder, under a name nobody can guess to take it first,
    // taking connections of this user's processes only.
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 8 && !m_server.isListening(); ++attempt) {
        QString name = abstractSocketPrefix();
        for (int i = 0; i < 16; ++i) {
            name += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof(kLetters) - 1))]);
        }
        m_abstractName = name;
        listen();
    }
    if (!m_server.isListening()) {
        m_abstractName.clear();
        m_socketPath.clear();
        qCWarning(lcHandoff).noquote()
            << "Not receiving opened links: no socket can be made:" << m_listenError;
        const auto others = instancesOfThisTemporaryFolder();
        return others.isEmpty() ? becomePrimary() : handOverToRunningInstance(others.first().socketPath, url);
    }
    m_socketPath = QLatin1Char('@') + m_abstractName;
    // When it claimed the name, told by a second name bound beside it (read as the lock's
    // companion file is).
    m_since = monotonicNow();
    m_sinceMarker = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto marker =
        LocalSocketAddress::of(m_socketPath + QStringLiteral(".since-") + QString::number(m_since));
    if (m_sinceMarker >= 0 && marker && ::bind(m_sinceMarker, marker->get(), marker->size()) != 0) {
        ::close(m_sinceMarker);
        m_sinceMarker = -1;
    }
    return runUnlessAnotherCameFirst(url);
}

URLHandoff::Role URLHandoff::runUnlessAnotherCameFirst(const std::optional<QUrl>& url)
{
    // Two launches at the same moment each see the other (or the later one sees the earlier one):
    // the instance that claimed its place first runs, the other hands over to it.
    const auto others = instancesOfThisTemporaryFolder();
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

QString URLHandoff::abstractSocketPrefix()
{
    const QByteArray digest =
        QCryptographicHash::hash(QFile::encodeName(temporaryFolder()), QCryptographicHash::Sha256).toHex();
    return freshFolderPrefix() + QString::fromLatin1(digest.left(12)) + QLatin1Char('-');
}

QString URLHandoff::sinceFile(const QString& directory) const
{
    return directory + QLatin1Char('/') + m_bundleIdentifier + QStringLiteral(".since");
}

bool URLHandoff::writeSince(QString* error)
{
    const QByteArray contents = QByteArray::number(m_since) + '\n' + QByteArray::number(::getpid()) + '\n'
                                + QFile::encodeName(temporaryFolder()) + '\n';
    m_wroteSince = writeFileAtomically(sinceFile(m_directory), contents, 0600, error);
    return m_wroteSince;
}

QList<URLHandoff::Instance> URLHandoff::instancesOfThisTemporaryFolder() const
{
    // Processes of this user running this program that hold the lock of this application in a
    // folder private to this user (whichever folder that is), or listen on an abstract socket of
    // this session's.
    const QByteArray lockName = '/' + QFile::encodeName(m_bundleIdentifier) + ".lock";
    const QString freshPrefix = freshFolderPrefix();
    const QString temporary = temporaryFolder();
    const QHash<QByteArray, AbstractSocket> sockets = abstractSockets(abstractSocketPrefix());
    QList<Instance> found;
    QSet<QString> seen;
    for (const auto& [pid, base] : processesOfThisProgram()) {
        QSet<QByteArray> socketsHeld;
        QList<QString> listeners;
        for (const QString& descriptor : descriptorsOf(base)) {
            const QByteArray target = linkTarget(base + "/fd/" + descriptor.toLatin1());
            if (const auto inode = socketInode(target)) {
                socketsHeld.insert(*inode);
                const auto it = sockets.constFind(*inode);
                if (it != sockets.cend() && it->listening && !it->name.contains(QLatin1Char('.'))
                    && it->name != m_abstractName) {
                    listeners.append(it->name);
                }
                continue;
            }
            if (!target.endsWith(lockName)) {
                continue;
            }
            const QString folder = QFileInfo(QFile::decodeName(target)).path();
            const bool fresh =
                QFileInfo(folder).fileName().startsWith(freshPrefix) && QFileInfo(folder).path() == temporary;
            if (folder == m_directory || seen.contains(folder) || !isPrivateDirectory(folder)) {
                continue;
            }
            seen.insert(folder);
            // An instance writes when it claimed its place right after claiming it.
            std::optional<Since> since = readSince(sinceFile(folder), pid);
            for (int wait = 0; !since && wait < 100; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                since = readSince(sinceFile(folder), pid);
            }
            // One with a lasting folder counts when it runs in this temporary folder.
            if (since && (fresh || since->temporaryFolder == temporary)) {
                found.append({socketPath(folder, m_bundleIdentifier), since->since});
            }
        }
        for (const QString& listener : listeners) {
            // The name that tells when it was claimed, bound by the same process.
            std::optional<quint64> since;
            const QString markerPrefix = listener + QStringLiteral(".since-");
            for (int wait = 0; !since && wait < 100; ++wait) {
                const auto now = wait == 0 ? sockets : abstractSockets(abstractSocketPrefix());
                for (auto it = now.cbegin(); it != now.cend(); ++it) {
                    if (it->name.startsWith(markerPrefix) && socketsHeld.contains(it.key())) {
                        bool ok = false;
                        const quint64 value = it->name.mid(markerPrefix.size()).toULongLong(&ok);
                        since = ok ? std::optional(value) : std::nullopt;
                    }
                }
                if (!since) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    socketsHeld = socketInodes(base);
                }
            }
            if (since) {
                found.append({QLatin1Char('@') + listener, *since});
            }
        }
    }
    std::sort(
        found.begin(), found.end(), [](const Instance& a, const Instance& b) { return a.since < b.since; });
    return found;
}

URLHandoff::LockTaking URLHandoff::takeLock(QString* problem)
{
    // Qt makes its lock file empty, then locks it, then writes it: a lock found empty may be one a
    // launch of this very moment is taking, not a crash's leftover. Only a lock that names no
    // process of this machine, and that no process of this program holds open, is replaced; one
    // being taken is waited for, within bounds, and then handed over to.
    const QByteArray path = QFile::encodeName(m_lock->fileName());
    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(static_cast<qint64>(kLockTakingTimeout * 1000));
    for (;;) {
        // Checked before Qt reads the lock, as often as it does: opening a pipe there would block.
        if (const QString entry = unlockableEntry(path); !entry.isEmpty()) {
            *problem =
                QStringLiteral("The lock path %1 holds %2, not a lock").arg(QFile::decodeName(path), entry);
            return LockTaking::Refused;
        }
        if (m_lock->tryLock(0)) {
            return LockTaking::Taken;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            *problem = describeFolderProblem(m_directory, folderWriteError(m_directory));
            return LockTaking::Refused;
        }
        if (handOver(m_socketPath, std::nullopt, 0)) {
            return LockTaking::Held;
        }
        qint64 pid = 0;
        QString hostname;
        QString application;
        const bool readable = m_lock->getLockInfo(&pid, &hostname, &application);
        // Of a process of this machine that runs (Qt replaces one whose process is gone).
        if (readable && (hostname.isEmpty() || hostname == QSysInfo::machineHostName())) {
            return LockTaking::Held;
        }
        struct stat found
        {};
        const bool exists = ::lstat(path.constData(), &found) == 0;
        // Another machine's (a home folder copied from there), or empty or unreadable and held by
        // no process: left by a crash or a full disk.
        if (exists && (readable || !heldOpenByThisProgram(path, found))
            && replaceLeftOverLock(found, readable)) {
            return LockTaking::Taken;
        }
        if (remainingMs(deadline) == 0) {
            return LockTaking::Held;
        }
        if (exists) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

bool URLHandoff::replaceLeftOverLock(const struct stat& leftOver, bool namedAnotherMachine)
{
    const QByteArray path = QFile::encodeName(m_lock->fileName());
    if (!namedAnotherMachine) {
        // An unreadable one too: it is this user's own file in a folder of this user's.
        ::fchmodat(AT_FDCWD, path.constData(), 0600, AT_SYMLINK_NOFOLLOW);
    }
    if (!removeLeftOverLockFile(path, leftOver) || !m_lock->tryLock(0)) {
        return false;
    }
    qCWarning(lcHandoff,
              "Replaced a lock nobody held (%s)",
              namedAnotherMachine ? "it named another machine" : "it was empty or unreadable");
    return true;
}

bool URLHandoff::handOver(const QString& socketPath, const std::optional<QUrl>& url, int timeoutMs)
{
    const auto address = LocalSocketAddress::of(socketPath);
    if (!address) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // An abstract name is anyone's to take once its instance is gone: the link goes only to a
    // process of this user's.
    bool taken = ::connect(fd, address->get(), address->size()) == 0 && peerIsThisUser(fd);
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
    const QString path = m_abstractName.isEmpty() ? m_socketPath : QLatin1Char('@') + m_abstractName;
    std::optional<LocalSocketAddress> address = LocalSocketAddress::of(path);
    if (!address) {
        m_listenError = QStringLiteral("the folder of %1 cannot be opened (%2)")
                            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_listenError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QByteArray file = address->path();
    if (!file.isEmpty()) {
        // The lock is ours, so a socket file left here belongs to an instance that is gone.
        ::unlink(file.constData());
    }
    // Only this user's programs may connect, whatever the umask (the folder is private too).
    if (::bind(fd, address->get(), address->size()) != 0
        || (!file.isEmpty() && ::chmod(file.constData(), 0600) != 0) || ::listen(fd, SOMAXCONN) != 0) {
        m_listenError = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    // The server takes the socket over, and closes it with itself.
    if (!m_server.listen(fd)) {
        m_listenError = m_server.errorString();
        ::close(fd);
        return false;
    }
    if (address->isThroughFolder() && !m_toldThroughFolder) {
        qCInfo(lcHandoff).noquote() << tooLongForASocket(path)
                                    << "- opened links are taken there through a descriptor of its folder";
        m_toldThroughFolder = true;
    }
    // Qt removes the socket's file by the name it was bound under as it closes: the folder's
    // descriptor in that name stays open until then.
    m_listeningAddress = std::move(address);
    return true;
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
        // Anyone may connect to an abstract socket: only this user's programs are heard, and
        // their connections cannot push out this user's own.
        if (!peerIsThisUser(static_cast<int>(socket->socketDescriptor()))) {
            refused();
            socket->disconnectFromServer();
            socket->deleteLater();
            continue;
        }
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

void URLHandoff::refused()
{
    ++m_refusals;
    if (!m_refusalsLogged.isActive()) {
        logRefusals();
    }
}

void URLHandoff::logRefusals()
{
    // A flood from someone else costs one line a minute, not one a connection.
    if (m_refusals == 0) {
        return;
    }
    if (m_refusals == 1) {
        qCWarning(lcHandoff) << "Refused a hand-off from another user's program";
    } else {
        qCWarning(lcHandoff).noquote()
            << QStringLiteral("Refused %1 hand-offs from other users' programs in the last "
                              "minute")
                   .arg(m_refusals);
    }
    m_refusals = 0;
    m_refusalsLogged = m_scheduler.after(kRefusalLogInterval, [this] { logRefusals(); });
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
