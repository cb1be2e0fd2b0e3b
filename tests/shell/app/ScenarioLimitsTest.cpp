// The real program started on a desktop scenario as large as the file may be, all of it one name
// or one title: the text is cut with one line on the log, and the program stays small. A display
// name of 100,000 characters once took 1.78 GB (a viewer window as wide as the name), and long
// titles were drawn as wide as their whole text at every scale.
#include "platform/sim/DemoDesktop.h"
#include "tests/support/PrivateSessionBus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr qint64 kMaxPeakMiB = 300;

// The peak resident memory of a running process, in MiB; 0 when it cannot be read.
qint64 peakMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
        }
    }
    return 0;
}

// The CPU time a process has used, every thread's, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // After the command name in parentheses: state is field 3, utime 14 and stime 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong())
           / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// True once the process has used under a tenth of a core over the last half second.
class Settling
{
public:
    explicit Settling(qint64 pid)
        : m_pid(pid)
    {
        m_clock.start();
    }
    bool operator()()
    {
        const double now = static_cast<double>(m_clock.elapsed()) / 1000.0;
        const double cpu = cpuSeconds(m_pid);
        m_samples.emplace_back(now, cpu);
        while (m_samples.size() > 1 && now - m_samples[1].first >= 0.5) {
            m_samples.erase(m_samples.begin());
        }
        const auto& [then, used] = m_samples.front();
        return now - then >= 0.5 && (cpu - used) / (now - then) < 0.1;
    }

private:
    qint64 m_pid;
    QElapsedTimer m_clock;
    std::vector<std::pair<double, double>> m_samples;
};

// One display and one app with two windows, named and titled as given.
QByteArray scenario(const QString& displayName, const QString& title)
{
    // At scale 4 every title is drawn at four pixels a point.
    const QJsonObject display{{"name", displayName}, {"frame", QJsonArray{0, 0, 2048, 2048}}, {"scale", 4}};
    // Far wider than the display: only its first 2,048 points can show.
    const QJsonObject window{{"title", title}, {"frame", QJsonArray{0, 40, 100000, 600}}};
    const QJsonObject app{
        {"bundleID", "com.example.editor"}, {"name", "Editor"}, {"windows", QJsonArray{window, window}}};
    return QJsonDocument(QJsonObject{{"displays", QJsonArray{display}}, {"apps", QJsonArray{app}}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

TEST(ScenarioLimits, AFourMegabyteNameOrTitleIsCutWithOneMessageAndTheProgramStaysSmall)
{
    // As long as the file cap allows, with room for the rest of the scenario.
    const QString huge(static_cast<qsizetype>(platform::sim::kMaxScenarioBytes / 2 - 512), QLatin1Char('W'));
    const struct
    {
        const char* name;
        QByteArray file;
    } cases[] = {
        {"a display name", scenario(huge + huge, QStringLiteral("notes.txt"))},
        {"two window titles", scenario(QStringLiteral("Studio Display"), huge)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LE(c.file.size(), platform::sim::kMaxScenarioBytes);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("scenario.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.file) == c.file.size());
        file.close();
        QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
        environment.insert(QString::fromLatin1(platform::sim::kDesktopScenarioVariable), file.fileName());

        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted(10000));
        // Launched once the onboarding's first event is kept in the settings; then the viewer draws
        // the display with its name and the titles, and the program goes quiet.
        const bool launched = QTest::qWaitFor(
            [&] {
                return QFile::exists(
                    dir.filePath(QStringLiteral("XDG_CONFIG_HOME/veilmox/getveilmox.Veilmox.plist")));
            },
            20000);
        Settling settling(app.processId());
        const bool settled = launched && QTest::qWaitFor(settling, 20000);
        const qint64 peak = peakMiB(app.processId());
        const bool running = app.state() == QProcess::Running;
        app.kill();
        app.waitForFinished(10000);
        const QString log = QString::fromUtf8(app.readAllStandardError());
        ASSERT_TRUE(launched) << log.toStdString();
        EXPECT_TRUE(running);
        EXPECT_TRUE(settled);
        EXPECT_LE(peak, kMaxPeakMiB);
        EXPECT_EQ(log.count(QStringLiteral("longer than 256 characters")), 1) << log.left(2000).toStdString();
    }
}
