#pragma once

#include "tests/support/ProgramRun.h"

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Skips a test that needs something this machine lacks, with the reason; under CI, where the
// project's scripts install everything, that is a failure instead.
#define SKIP_OR_FAIL_UNDER_CI(why)                                                                           \
    do {                                                                                                     \
        if (qgetenv("CI") == "true") {                                                                       \
            FAIL() << (why);                                                                                 \
        }                                                                                                    \
        GTEST_SKIP() << (why);                                                                               \
    } while (false)

namespace testing_support {

// A D-Bus session bus of one test's own (dbus-daemon), whose activated services get the given
// environment, with an unlocked GNOME keyring of its own on it when asked. Everything it started
// ends with it.
class PrivateSessionBus
{
public:
    explicit PrivateSessionBus(QProcessEnvironment environment);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // What this machine lacks for a bus (and `gio`, which opens links on it); empty when nothing.
    static QString missing();

    // Starts the bus; false when it did not come up.
    bool start();
    // Starts gnome-keyring-daemon on the bus, unlocked, its files under $XDG_DATA_HOME of the
    // environment and its control socket in a short folder of its own, and waits until it answers.
    bool startKeyring();

    QString address() const { return m_address; }
    // The environment with the bus's address, for the programs a test starts on it.
    QProcessEnvironment environment() const;
    // The test's own connection to the bus.
    QDBusConnection connection() const { return QDBusConnection(m_connectionName); }

private:
    QProcessEnvironment m_environment;
    QProcess m_daemon;
    QProcess m_keyring;
    QTemporaryDir m_keyringRuntime{shortFolderTemplate(QStringLiteral("veilmox-keyring"))};
    QString m_address;
    QString m_connectionName;
};

} // namespace testing_support
