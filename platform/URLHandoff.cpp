#include "platform/URLHandoff.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QThread>

#include <unistd.h>

namespace platform {

namespace {

Q_LOGGING_CATEGORY(lcHandoff, "veilmox.urlhandoff")

constexpr int kConnectTimeoutMs = 3000;
constexpr int kIOTimeoutMs = 3000;

bool isPrivateDirectory(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.ownerId() == ::getuid()
           && (info.permissions()
               & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                  | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther))
                  == 0;
}

} // namespace

URLHandoff::URLHandoff(const QString& bundleIdentifier,
                       const QStringList& schemes,
                       Scheduler& scheduler,
                       const QString& runtimeDirectory,
                       QObject* parent)
    : QObject(parent)
    , m_scheduler(scheduler)
    , m_directory(runtimeDirectory)
    , m_socketPath(runtimeDirectory + QLatin1Char('/') + bundleIdentifier + QStringLiteral(".urls"))
{
    for (const QString& scheme : schemes) {
        m_schemes.append(scheme.toLower());
    }
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &URLHandoff::acceptConnections);
    m_lock = std::make_unique<QLockFile>(runtimeDirectory + QLatin1Char('/') + bundleIdentifier
                                         + QStringLiteral(".lock"));
    // The running instance may run for weeks: only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
}

URLHandoff::~URLHandoff()
{
    for (auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_server.close();
}

QString URLHandoff::defaultRuntimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        return runtime;
    }
    return QDir::tempPath() + QStringLiteral("/veilmox-%1").arg(::getuid());
}

bool URLHandoff::accepts(const QUrl& url) const
{
    return url.isValid() && m_schemes.contains(url.scheme().toLower())
           && url.toEncoded().size() <= kMaxURLLength;
}

QList<QUrl> URLHandoff::urlsFromArguments(const QStringList& arguments) const
{
    QList<QUrl> urls;
    for (const QString& argument : arguments) {
        const QUrl url = QUrl::fromEncoded(argument.toUtf8(), QUrl::StrictMode);
        if (accepts(url)) {
            urls.append(url);
        }
    }
    return urls;
}

URLHandoff::Role URLHandoff::start(const QList<QUrl>& urls)
{
    if (!QFileInfo::exists(m_directory)) {
        QDir().mkpath(m_directory);
        QFile::setPermissions(m_directory,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    if (!isPrivateDirectory(m_directory)) {
        // Another user could reach a socket there: run on without receiving URLs.
        qCWarning(lcHandoff) << "Not receiving opened URLs: the folder" << m_directory
                             << "is not private to this user";
        return Role::Primary;
    }
    if (m_lock->tryLock(0)) {
        if (!listen()) {
            qCWarning(lcHandoff) << "Not receiving opened URLs:" << m_server.errorString();
        }
        return Role::Primary;
    }
    return send(urls) ? Role::HandedOff : Role::Failed;
}

bool URLHandoff::listen()
{
    // The lock is ours, so a socket file left here belongs to an instance that is gone.
    QLocalServer::removeServer(m_socketPath);
    return m_server.listen(m_socketPath);
}

bool URLHandoff::send(const QList<QUrl>& urls)
{
    QByteArray message;
    for (const QUrl& url : urls) {
        if (accepts(url) && message.size() + url.toEncoded().size() + 1 <= kMaxMessageBytes) {
            message += url.toEncoded() + '\n';
        }
    }
    QLocalSocket socket;
    // The running instance may hold the lock a moment before it listens.
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    while (true) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            break;
        }
        if (deadline.hasExpired()) {
            qCWarning(lcHandoff) << "The running instance did not answer:" << socket.errorString();
            return false;
        }
        QThread::msleep(50);
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kIOTimeoutMs)) {
            qCWarning(lcHandoff) << "Could not hand the URLs over:" << socket.errorString();
            return false;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kIOTimeoutMs);
    }
    return true;
}

void URLHandoff::acceptConnections()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        Connection& connection = m_connections[socket];
        QPointer<QLocalSocket> guarded(socket);
        connection.timeout = m_scheduler.after(kReceiveTimeout, [guarded] {
            if (guarded) {
                guarded->abort();
            }
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { finish(socket); });
        readFrom(socket);
        if (socket->state() == QLocalSocket::UnconnectedState) {
            finish(socket);
        }
    }
}

void URLHandoff::readFrom(QLocalSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end()) {
        return;
    }
    Connection& connection = it->second;
    if (connection.overflowed || !socket->isReadable()) {
        return;
    }
    const QByteArray chunk = socket->readAll();
    if (connection.received.size() + chunk.size() > kMaxMessageBytes) {
        // Too much for URLs of this application: drop the whole message.
        connection.overflowed = true;
        connection.received.clear();
        qCWarning(lcHandoff) << "Dropped a hand-off larger than" << kMaxMessageBytes << "bytes";
        socket->abort();
        return;
    }
    connection.received += chunk;
}

void URLHandoff::finish(QLocalSocket* socket)
{
    // What arrived with the end of the connection.
    readFrom(socket);
    const auto it = m_connections.find(socket);
    if (it == m_connections.end()) {
        return;
    }
    const Connection connection = std::move(it->second);
    m_connections.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    if (connection.overflowed) {
        return;
    }
    const QList<QUrl> urls = parse(connection.received);
    if (!urls.isEmpty()) {
        emit urlsReceived(urls);
    }
}

QList<QUrl> URLHandoff::parse(const QByteArray& message) const
{
    QList<QUrl> urls;
    for (QByteArray line : message.split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty() || line.size() > kMaxURLLength) {
            continue;
        }
        const QUrl url = QUrl::fromEncoded(line, QUrl::StrictMode);
        if (accepts(url)) {
            urls.append(url);
        } else {
            qCWarning(lcHandoff) << "Ignored a handed-over text that is not a URL of this application";
        }
    }
    return urls;
}

} // namespace platform
