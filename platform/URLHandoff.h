#pragma once

#include "platform/Scheduler.h"

#include <QList>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <map>
#include <memory>

class QLocalSocket;

namespace platform {

// How URLs opened with this application reach it on this platform: the program runs as a single
// instance per user; a later launch with URLs (a browser opening a "veilmox:" link) hands them
// to the running instance over a per-user local socket and exits. Only URLs of the
// application's schemes are passed on, each at most kMaxURLLength bytes, at most
// kMaxMessageBytes per launch. Main thread only.
class URLHandoff final : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        Primary,   // this process is the running instance and listens for later launches
        HandedOff, // another instance runs and took the URLs: this process should exit
        Failed     // another instance runs but could not be reached
    };

    // `schemes` are compared without regard to case. The socket and its lock live in
    // `runtimeDirectory` (a folder only this user may open).
    URLHandoff(const QString& bundleIdentifier,
               const QStringList& schemes,
               Scheduler& scheduler,
               const QString& runtimeDirectory = defaultRuntimeDirectory(),
               QObject* parent = nullptr);
    ~URLHandoff() override;

    // Becomes the running instance, or hands `urls` to the one that runs.
    Role start(const QList<QUrl>& urls);

    // The program arguments that are URLs of the application's schemes, in order.
    QList<QUrl> urlsFromArguments(const QStringList& arguments) const;
    bool accepts(const QUrl& url) const;

    QString socketPath() const { return m_socketPath; }

    // $XDG_RUNTIME_DIR when it is set, else a folder of this user's under the temporary folder.
    static QString defaultRuntimeDirectory();

    static constexpr qsizetype kMaxURLLength = 8 * 1024;
    static constexpr qsizetype kMaxMessageBytes = 64 * 1024;
    // A launch that does not finish sending within this time is cut off.
    static constexpr double kReceiveTimeout = 5.0;

signals:
    // URLs handed over by a later launch, in the order given.
    void urlsReceived(const QList<QUrl>& urls);

private:
    struct Connection
    {
        QByteArray received;
        TimerHandle timeout;
        bool overflowed = false;
    };

    bool listen();
    bool send(const QList<QUrl>& urls);
    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    void finish(QLocalSocket* socket);
    QList<QUrl> parse(const QByteArray& message) const;

    QStringList m_schemes;
    Scheduler& m_scheduler;
    QString m_directory;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    std::map<QLocalSocket*, Connection> m_connections;
};

} // namespace platform
