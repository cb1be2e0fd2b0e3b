// The popover's app list with 100 running apps of 10 windows each (1,000 windows), every app
// expanded, so 1,100 row views are on the list, shown in the popover's scroll area. Side by side
// in one run, interleaved:
// - the one-second refresh that renames one window: the state object republishes its window map
//   and the list updates in place;
// - a full rebuild of the same list (what a list without row identity would do on that refresh).
// Both run the event loop until the layout and the repaint they asked for are done, and both are
// timed by the CPU of every thread of the process (getrusage). Target: the refresh costs at most
// 2% of the rebuild ("refresh_percent") and makes no row view ("rows_created" 0).

#include "bench/CpuYardstick.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "platform/sim/VirtualScheduler.h"
#include "popover/AppListView.h"
#include "popover/AppRowView.h"
#include "popover/PopoverNavigation.h"
#include "popover/WindowRowView.h"
#include "state/WindowManager.h"

#include <QApplication>
#include <QPointer>
#include <QScrollArea>
#include <QSet>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

constexpr int kApps = 100;
constexpr int kWindowsPerApp = 10;

struct Rig
{
    Rig()
    {
        services.defaults = &defaults;
        services.scheduler = &scheduler;
        platform::Services::setCurrent(services);
        platform::Scheduler::setCurrent(&scheduler);
        manager = std::make_unique<WindowManager>(services);
        manager->setIsAuthenticated(true);
        QList<AppInfo> apps;
        WindowManager::WindowsByApp windows;
        QSet<QString> expanded;
        for (int a = 0; a < kApps; ++a) {
            const QString bundleID = QStringLiteral("com.example.app%1").arg(a, 3, 10, QLatin1Char('0'));
            apps.append(
                AppInfo{bundleID, bundleID, QStringLiteral("App %1").arg(a, 3, 10, QLatin1Char('0')), {}});
            for (int w = 0; w < kWindowsPerApp; ++w) {
                const auto number = static_cast<quint32>(1000 + a * kWindowsPerApp + w);
                windows[bundleID].append(
                    WindowInfo{number, bundleID, QStringLiteral("Document %1").arg(number)});
            }
            expanded.insert(bundleID);
        }
        manager->setRunningApps(apps);
        manager->setWindowsByApp(windows);
        navigation.setExpandedAppIDs(expanded);

        window.resize(350, 680);
        scroll = new QScrollArea(&window);
        scroll->setWidgetResizable(true);
        scroll->setGeometry(0, 0, 350, 680);
        window.show();
        rebuild();
    }

    ~Rig()
    {
        window.hide();
        delete scroll;
        manager.reset();
        platform::Scheduler::setCurrent(nullptr);
        platform::Services::setCurrent(platform::Services());
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Lets the event loop do the layout and the painting that were asked for.
    static void runEventLoop()
    {
        for (int pass = 0; pass < 12; ++pass) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        QApplication::processEvents();
    }

    void rebuild()
    {
        scroll->setWidget(new AppListView(*manager, navigation)); // deletes the old list
        runEventLoop();
    }

    // The map the window refresh publishes when one window got a new title.
    void renameOneWindow(int turn)
    {
        WindowManager::WindowsByApp windows = manager->windowsByApp();
        const QString bundleID = manager->runningApps().at(turn % kApps).bundleID;
        QList<WindowInfo>& list = windows[bundleID];
        list[turn % kWindowsPerApp].title = QStringLiteral("Renamed %1").arg(turn);
        manager->setWindowsByApp(windows);
        runEventLoop();
    }

    QList<QPointer<QWidget>> rowViews() const
    {
        QList<QPointer<QWidget>> rows;
        for (QWidget* row : scroll->widget()->findChildren<AppRowView*>()) {
            rows.append(row);
        }
        for (QWidget* row : scroll->widget()->findChildren<WindowRowView*>()) {
            rows.append(row);
        }
        return rows;
    }

    platform::InMemoryUserDefaults defaults;
    platform::sim::VirtualScheduler scheduler;
    platform::Services services;
    std::unique_ptr<WindowManager> manager;
    PopoverNavigation navigation;
    QWidget window;
    QScrollArea* scroll = nullptr;
};

void BM_RefreshInPlaceVersusRebuild(benchmark::State& state)
{
    Rig rig;
    const QList<QPointer<QWidget>> before = rig.rowViews();
    double refreshCPU = 0;
    double refreshWall = 0;
    double rebuildCPU = 0;
    int turn = 0;
    int created = 0;
    for (auto _ : state) {
        const QList<QPointer<QWidget>> rows = rig.rowViews();
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = bench::processCpuSeconds();
        rig.renameOneWindow(turn++);
        const double cpu = bench::processCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        refreshCPU += cpu;
        refreshWall += wall;
        state.SetIterationTime(wall);
        // Any view not there before the refresh was made by it.
        const QList<QPointer<QWidget>> after = rig.rowViews();
        for (const QPointer<QWidget>& row : after) {
            created += rows.contains(row) ? 0 : 1;
        }
        for (const QPointer<QWidget>& row : rows) {
            created += row.isNull() ? 1 : 0; // remade under the same count
        }

        state.PauseTiming();
        const double rebuildStart = bench::processCpuSeconds();
        rig.rebuild();
        rebuildCPU += bench::processCpuSeconds() - rebuildStart;
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["refresh_cpu_ms"] = refreshCPU / n * 1e3;
    state.counters["refresh_wall_ms"] = refreshWall / n * 1e3;
    state.counters["rebuild_cpu_ms"] = rebuildCPU / n * 1e3;
    state.counters["refresh_percent"] = 100 * refreshCPU / rebuildCPU;
    state.counters["rows_created"] = created;
    state.counters["row_views"] = static_cast<double>(before.size());
}
BENCHMARK(BM_RefreshInPlaceVersusRebuild)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
