// The real program started on a desktop scenario of 2,000, 5,000 and 20,000 running apps without
// windows, headless, each in a folder of its own as on a first run: how long until it has launched
// (the onboarding's first event kept in the settings) and gone quiet (under a tenth of a core
// over half a second), the CPU of every thread until then, and its peak resident memory.
//
// Goals: 20,000 apps start within a few seconds, and the time, CPU and memory grow linearly with
// the apps (20,000 cost about four times what 5,000 do). Once, 20,000 apps took 215 s of a core
// and 1.8 GB; 5,000 took 17 s.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

constexpr double kQuietWindowSeconds = 0.5;
constexpr double kQuietShareOfACore = 0.1;
constexpr double kGiveUpSeconds = 600;

QString procFile(qint64 pid, const char* name)
{
    return QStringLiteral("/proc/%1/%2").arg(pid).arg(QString::fromLatin1(name));
}

double cpuSeconds(qint64 pid)
{
    QFile stat(procFile(pid, "stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    // After the command name in parentheses: utime is field 14 and stime 15.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong())
           / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double peakMiB(qint64 pid)
{
    QFile status(procFile(pid, "status"));
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

QByteArray scenario(int apps)
{
    QJsonArray list;
    for (int i = 0; i < apps; ++i) {
        list.append(QJsonObject{{"bundleID", QStringLiteral("com.example.app%1").arg(i)},
                                {"name", QStringLiteral("App %1").arg(i)}});
    }
    const QJsonObject display{{"name", "Built-in Retina Display"}, {"frame", QJsonArray{0, 0, 1512, 982}}};
    return QJsonDocument(QJsonObject{{"displays", QJsonArray{display}}, {"apps", list}})
        .toJson(QJsonDocument::Compact);
}

// Home, settings and runtime folders of the run's own, offscreen, with no session bus.
QProcessEnvironment environmentIn(const QDir& folder, const QString& scenarioFile)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QString::fromLatin1(name), path);
    }
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("no-bus")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VEILMOX_DESKTOP_SCENARIO"), scenarioFile);
    return environment;
}

void BM_StartWithApps(benchmark::State& state)
{
    const int apps = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QFile file(folder.filePath(QStringLiteral("scenario.json")));
        const QByteArray json = scenario(apps);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
            state.SkipWithError("could not write the scenario");
            return;
        }
        file.close();
        const QString settings =
            folder.filePath(QStringLiteral("XDG_CONFIG_HOME/veilmox/getveilmox.Veilmox.plist"));

        QProcess app;
        app.setProcessEnvironment(environmentIn(folder, file.fileName()));
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
        if (!app.waitForStarted(10000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        // Sampled every 50 ms: launched, then quiet over the last half second.
        std::vector<std::pair<double, double>> samples;
        double started = 0;
        double cpu = 0;
        while (app.state() == QProcess::Running) {
            QThread::msleep(50);
            const double now = static_cast<double>(clock.elapsed()) / 1000.0;
            cpu = cpuSeconds(app.processId());
            if (!QFile::exists(settings)) {
                continue;
            }
            samples.emplace_back(now, cpu);
            while (samples.size() > 1 && now - samples[1].first >= kQuietWindowSeconds) {
                samples.erase(samples.begin());
            }
            const auto& [then, used] = samples.front();
            if (now - then >= kQuietWindowSeconds && (cpu - used) / (now - then) < kQuietShareOfACore) {
                started = then;
                cpu = used;
                break;
            }
            if (now > kGiveUpSeconds) {
                break;
            }
        }
        const double peak = peakMiB(app.processId());
        app.kill();
        app.waitForFinished(10000);
        if (started == 0) {
            state.SkipWithError("the program did not go quiet");
            return;
        }
        state.SetIterationTime(started);
        state.counters["start_s"] = started;
        state.counters["cpu_s"] = cpu;
        state.counters["peak_MiB"] = peak;
    }
}

BENCHMARK(BM_StartWithApps)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(20000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
