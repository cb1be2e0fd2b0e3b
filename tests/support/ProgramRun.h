#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// Running the real program from a test or a benchmark: an environment of its own, and what
// /proc tells of it (its CPU time, its peak memory, whether it has gone quiet). Header-only, so
// that the benchmarks use it too.
namespace testing_support {

// A template for QTemporaryDir (which makes it owner-only) where a socket fits whatever $TMPDIR is:
// a socket's path holds 107 bytes, and some programs a test starts (the keyring daemon) bind one
// a few levels below the folder they are given. In the temporary folder while its path is short,
// else in /tmp.
inline QString shortFolderTemplate(const QString& name)
{
    constexpr qsizetype kLongestBase = 40;
    const QString temporary = QDir::tempPath();
    const QString base =
        QFile::encodeName(temporary).size() <= kLongestBase ? temporary : QStringLiteral("/tmp");
    return base + QLatin1Char('/') + name + QStringLiteral("-XXXXXX");
}

// The system's environment for a program a test starts, with $HOME, the XDG folders and $TMPDIR
// made owner-only under `folder` (as folder/HOME, folder/XDG_RUNTIME_DIR, ...), offscreen, and
// with no session bus until one is given.
inline QProcessEnvironment isolatedEnvironment(const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A temporary folder of its own too: instances of the program meet within one, whatever
    // folders they keep their locks in, and those of tests running at once must not.
    for (const QString name :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString path = folder + QLatin1Char('/') + name;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(name, path);
    }
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + folder + QStringLiteral("/no-bus"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// A program that made itself the handler of its links ran the desktop's tool for it (gio or
// xdg-mime) on its own, and that tool may outlive the program and write into `folder` (an
// isolatedEnvironment's) while the test removes it. Waits, ten seconds at most, for its answer.
inline void awaitLinkRegistration(const QString& folder)
{
    const bool registered =
        QFile::exists(folder + QStringLiteral("/XDG_DATA_HOME/applications/getveilmox.Veilmox.desktop"));
    const bool tool = !QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()
                      || !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty();
    const QString answer = folder + QStringLiteral("/XDG_CONFIG_HOME/mimeapps.list");
    // Past the wait the folder is removed as it is: a tool that never answers fails nothing.
    for (int waited = 0; registered && tool && waited < 10000 && !QFile::exists(answer); waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Asks a program the test started to end as the session asks it (SIGTERM), only while it still
// runs: one that has ended has no process id (0), and a signal to 0 would end the test's whole
// process group, ctest with it, with no failing test named. False when it had already ended, for
// the test to report by name.
inline bool terminate(QProcess& process)
{
    const qint64 pid = process.processId();
    return process.state() != QProcess::NotRunning && pid > 0
           && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

// The CPU time a process has used, every thread's, in seconds; 0 when it cannot be read.
inline double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // After the command name in parentheses: utime is field 14 and stime 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong())
           / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The peak resident memory of a process, in MiB; 0 when it cannot be read.
inline double peakMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return static_cast<double>(line.mid(6).trimmed().split(' ').value(0).toLongLong()) / 1024.0;
        }
    }
    return 0;
}

// Asked again and again, true once the process has used under a tenth of a core over the last
// half second; then `quietSince()` is when that half second began and `cpuThen()` the CPU time
// used by then.
class Quiet
{
public:
    static constexpr double kWindowSeconds = 0.5;
    static constexpr double kShareOfACore = 0.1;

    explicit Quiet(qint64 pid)
        : m_pid(pid)
    {
        m_clock.start();
    }
    bool operator()()
    {
        const double now = static_cast<double>(m_clock.elapsed()) / 1000.0;
        const double cpu = cpuSeconds(m_pid);
        m_samples.emplace_back(now, cpu);
        while (m_samples.size() > 1 && now - m_samples[1].first >= kWindowSeconds) {
            m_samples.erase(m_samples.begin());
        }
        const auto& [then, used] = m_samples.front();
        return now - then >= kWindowSeconds && (cpu - used) / (now - then) < kShareOfACore;
    }
    // Seconds since this was made.
    double quietSince() const { return m_samples.front().first; }
    double cpuThen() const { return m_samples.front().second; }

private:
    qint64 m_pid;
    QElapsedTimer m_clock;
    std::vector<std::pair<double, double>> m_samples;
};

} // namespace testing_support
