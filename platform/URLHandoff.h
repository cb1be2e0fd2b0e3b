#pragma once

#include "platform/LocalSocketAddress.h"
#include "platform/Scheduler.h"

#include <QList>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>

class QLocalSocket;
struct stat;

namespace platform {

// Whether a link may be handed to the application: one of its schemes (compared without regard
// to case), at most kMaxHandedOverURLLength bytes.
inline constexpr qsizetype kMaxHandedOverURLLength = 8 * 1024;
bool isHandedOverURL(const QUrl& url, const QStringList& schemes);

// Takes the links of the schemes out of the command line before anything else runs: their text
// is overwritten where the kernel shows it to every local user (/proc/<pid>/cmdline) and argv
// keeps only the other arguments. Needs no Qt application object.
QList<QUrl> takeURLArguments(int& argc, char** argv, const QStringList& schemes);

// How links reach the running instance when no session bus carries them (see ApplicationBus):
// the program runs once per user, holding a lock in a folder only this user may enter; a later
// launch given a link (by a launcher that puts it in the command line) hands it over the socket
// beside the lock and exits. Without such a folder that lasts (no runtime folder, no usable
// cache folder, or one that refuses the lock, being full say) each instance makes a fresh private
// one in the temporary folder, removed when it ends; where not even that can be made (the shared
// temporary folder filled by someone), it listens on an abstract socket under a name nobody can
// guess and takes connections of this user only. Launches that do not meet at one lock (each
// keeps its own, in whichever folder it has) find each other among this user's processes of this
// program (/proc), by the lock or the socket they hold, within one temporary folder: that is what
// a session's programs share. Of two launches at once, the one that claimed its place first runs. A lock that
// names no process of this machine (empty, unreadable, or another machine's) and for which nobody answers on
// the socket is replaced. A connection carries one newline-terminated line, a link of the application's
// schemes, which the running instance acts on only once the line is complete, and answers "ok"; connections
// of other users' programs are closed at once, and logged at most once a minute. It holds at most
// kMaxConnections at once (a new one closes the oldest), closes a connection that has not sent its line
// within kReceiveTimeout without acting, and listens again when its socket stops. A socket path longer than
// an address holds is bound and reached through its folder (see LocalSocketAddress). Main thread only.
class URLHandoff final : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        Primary,   // this process is the running instance and listens for later launches
        HandedOff, // another instance runs and took the link: this process should exit
        Failed     // another instance runs but could not be reached
    };

    // The socket and its lock live in `runtimeDirectory`; when there is none, or it is not
    // private to this user, in a fresh private one (removed again at the end).
    URLHandoff(const QString& bundleIdentifier,
               const QStringList& schemes,
               Scheduler& scheduler,
               const QString& runtimeDirectory = defaultRuntimeDirectory(),
               QObject* parent = nullptr);
    ~URLHandoff() override;

    // Becomes the running instance, or hands the first of `urls` to the one that runs.
    Role start(const QList<QUrl>& urls);

    bool accepts(const QUrl& url) const;

    QString socketPath() const { return m_socketPath; }
    bool isListening() const { return m_server.isListening(); }

    // A private folder of this user's: $XDG_RUNTIME_DIR, else "veilmox/runtime-<host>" in the
    // user's cache folder (0700); empty when that cannot be made.
    static QString defaultRuntimeDirectory();
    static QString socketPath(const QString& runtimeDirectory, const QString& bundleIdentifier);

    // Hands one link (none: only knocks) to the instance listening at `socketPath` ("@" and a
    // name: an abstract socket); true once it answered that it took it. Only a process of this
    // user is given the link. Blocking, with plain sockets: it runs before any Qt application
    // object exists, so the link leaves the command line as early as it can.
    static bool handOver(const QString& socketPath, const std::optional<QUrl>& url, int timeoutMs);

    // From then on SIGTERM, SIGINT and SIGHUP quit the application's event loop, so that it ends
    // through its normal path (what it made for itself removed, what it holds saved); a second
    // signal ends it at once. Installed by start() before anything else.
    static void quitOnTerminationSignals();
    // Takes those signals from the first moment on, before the application object exists: one
    // that comes before start() quits the event loop as soon as it runs. Needs no Qt.
    static void catchTerminationSignals();

    // Without a runtime folder Qt makes one of its own in the temporary folder ("runtime-<user>")
    // as the application object is made. Made here first, before that object exists, so that
    // only a folder this process made is removed at its end; its path when this call made it.
    static QString makeQtRuntimeFolder();
    // The folder makeQtRuntimeFolder() made, removed (when empty) as this ends.
    void setQtRuntimeFolderMadeHere(const QString& folder) { m_qtRuntimeFolder = folder; }

    static constexpr qsizetype kMaxURLLength = kMaxHandedOverURLLength;
    static constexpr std::size_t kMaxConnections = 8;
    // A launch that does not finish its line within this time is cut off.
    static constexpr double kReceiveTimeout = 5.0;
    // How long a lock that a launch of the same moment is taking (made, not yet locked or
    // written) is waited for before this launch gives up on it.
    static constexpr double kLockTakingTimeout = 5.0;
    // How often a socket that stopped (the process ran out of descriptors, say) is tried again.
    static constexpr double kListenRetryInterval = 2.0;
    // Connections of other users' programs are refused, and logged at most this often, counted.
    static constexpr double kRefusalLogInterval = 60.0;

signals:
    // The link handed over by a later launch.
    void urlsReceived(const QList<QUrl>& urls);

private:
    struct Connection
    {
        quint64 serial = 0;
        QByteArray received;
        TimerHandle timeout;
    };

    // Another instance found through its process, and when it claimed its place.
    struct Instance
    {
        QString socketPath;
        quint64 since = 0;
    };

    enum class LockTaking
    {
        Taken,
        Held,    // a running instance holds it
        Refused, // the folder cannot take it: full, say, or something that is no lock at its path
    };
    // Takes the lock in the lasting folder: replaces one left over, and waits (kLockTakingTimeout
    // at most) for one that a launch of this moment is taking. Why the folder refuses it, when it
    // does, in `problem`.
    LockTaking takeLock(QString* problem);
    // Replaces the lock file found left over; true once this one holds the lock.
    bool replaceLeftOverLock(const struct stat& leftOver, bool namedAnotherMachine);
    Role becomePrimary();
    Role handOverToRunningInstance(const QString& socketPath, const std::optional<QUrl>& url);
    Role startWithoutLastingFolder(const std::optional<QUrl>& url);
    Role startOnAbstractSocket(const std::optional<QUrl>& url);
    // Once this one claimed its place: the earliest instance runs, the others hand over to it.
    Role runUnlessAnotherCameFirst(const std::optional<QUrl>& url);
    // The running instances of this temporary folder other than this one, the earliest first,
    // wherever each keeps its lock: in a lasting folder, a fresh one, or on an abstract socket.
    QList<Instance> instancesOfThisTemporaryFolder() const;
    // Records when this instance claimed its place, beside its lock.
    bool writeSince(QString* error);
    QString sinceFile(const QString& directory) const;
    static QString freshFolderPrefix();
    // "veilmox-<uid>-" and a digest of the temporary folder: the abstract sockets of one session.
    static QString abstractSocketPrefix();
    // Listens on the abstract socket when it has a name, else at the socket path; why not in
    // m_listenError.
    bool listen();
    void watchListening();
    void acceptConnections();
    void refused();
    void logRefusals();
    void readFrom(QLocalSocket* socket);
    void close(QLocalSocket* socket);

    QString m_bundleIdentifier;
    QStringList m_schemes;
    Scheduler& m_scheduler;
    QString m_directory;
    QString m_freshDirectory;
    bool m_wroteSince = false;
    // The abstract socket's name when there is no folder at all, and the socket bound beside it
    // that tells when this instance claimed it.
    QString m_abstractName;
    int m_sinceMarker = -1;
    QString m_qtRuntimeFolder;
    quint64 m_since = 0;
    bool m_isPrimary = false;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    // Outlives the server, which removes its socket's file by that address as it closes.
    std::optional<LocalSocketAddress> m_listeningAddress;
    QLocalServer m_server;
    QString m_listenError;
    bool m_toldThroughFolder = false;
    TimerHandle m_listenWatch;
    bool m_reportedStop = false;
    int m_refusals = 0;
    TimerHandle m_refusalsLogged;
    std::map<QLocalSocket*, Connection> m_connections;
    quint64 m_nextSerial = 0;
};

} // namespace platform
