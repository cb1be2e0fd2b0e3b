// The real program started on a desktop scenario of 2,000, 5,000 and 20,000 running apps without
// windows, headless, each in a folder of its own as on a first run: how long until it has launched
// (the onboarding's first event kept in the settings) and gone quiet (under a tenth of a core
// over half a second), the CPU of every thread until then, and its peak resident memory.
//
// Goals: 20,000 apps start within a few seconds, and the time, CPU and memory grow linearly with
// the apps (20,000 cost about four times what 5,000 do). Once, 20,000 apps took 215 s of a core
// and 1.8 GB; 5,000 took 17 s.

#include "tests/support/ProgramRun.h"

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

namespace {

constexpr double kGiveUpSeconds = 600;

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
        QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
        environment.insert(QStringLiteral("VEILMOX_DESKTOP_SCENARIO"), file.fileName());
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
        if (!app.waitForStarted(10000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        // Sampled every 50 ms: launched, then quiet.
        const double quietFrom = static_cast<double>(clock.elapsed()) / 1000.0;
        testing_support::Quiet quiet(app.processId());
        bool started = false;
        while (app.state() == QProcess::Running && clock.elapsed() < kGiveUpSeconds * 1000) {
            QThread::msleep(50);
            if (QFile::exists(settings) && quiet()) {
                started = true;
                break;
            }
        }
        const double peak = testing_support::peakMiB(app.processId());
        app.kill();
        app.waitForFinished(10000);
        if (!started) {
            state.SkipWithError("the program did not go quiet");
            return;
        }
        // From just before the program started to the start of its quiet half second.
        const double seconds = quietFrom + quiet.quietSince();
        state.SetIterationTime(seconds);
        state.counters["start_s"] = seconds;
        state.counters["cpu_s"] = quiet.cpuThen();
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
