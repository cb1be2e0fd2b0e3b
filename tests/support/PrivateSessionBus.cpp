#include "tests/support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

namespace testing_support {

PrivateSessionBus::PrivateSessionBus(QProcessEnvironment environment)
    : m_environment(std::move(environment))
    , m_connectionName(QStringLiteral("test-bus-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
}

PrivateSessionBus::~PrivateSessionBus()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    for (QProcess* process : {&m_keyring, &m_daemon}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
}

QString PrivateSessionBus::missing()
{
    for (const char* program : {"dbus-daemon", "gio"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            return QStringLiteral("needs %1 (scripts/setup.sh installs it)")
                .arg(QString::fromLatin1(program));
        }
    }
    return {};
}

bool PrivateSessionBus::start()
{
    m_daemon.setProcessEnvironment(m_environment);
    m_daemon.setReadChannel(QProcess::StandardOutput);
    m_daemon.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000)
        || !QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 10000)) {
        return false;
    }
    m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    return QDBusConnection::connectToBus(m_address, m_connectionName).isConnected();
}

bool PrivateSessionBus::startKeyring()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty()
        || !m_keyringRuntime.isValid()) {
        return false;
    }
    // Its control socket must fit in an address, however long the test's own folders are.
    QProcessEnvironment keyringEnvironment = environment();
    keyringEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_keyringRuntime.path());
    m_keyring.setProcessEnvironment(keyringEnvironment);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(
        QStringLiteral("gnome-keyring-daemon"),
        {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(5000)) {
        return false;
    }
    // The password of a keyring that exists for this test only.
    m_keyring.write("veilmox-tests");
    m_keyring.closeWriteChannel();
    return QTest::qWaitFor(
        [this] {
            return connection().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"));
        },
        10000);
}

QProcessEnvironment PrivateSessionBus::environment() const
{
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    return environment;
}

} // namespace testing_support
