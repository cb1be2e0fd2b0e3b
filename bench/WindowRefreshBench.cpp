// The one-second window refresh over large desktops, once over a window server that answers from
// prepared descriptions and once through the simulated desktop with every window's description
// made again before each refresh. Its cost must grow linearly with the number of windows: the run
// fails when a window of the 10,000-window desktop costs more than 1.5 times what a window of the
// 1,000-window desktop costs, in either.

#include "platform/Bundle.h"
#include "platform/Geometry.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/VirtualScheduler.h"
#include "state/WindowManager.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr platform::pid_type kOwnPID = 1;
constexpr platform::pid_type kFirstAppPID = 1000;

class BenchApp final : public platform::RunningApplication
{
public:
    BenchApp(platform::pid_type pid, QString bundleID)
        : m_pid(pid)
        , m_bundleID(std::move(bundleID))
    {}
    platform::pid_type processIdentifier() const override { return m_pid; }
    std::optional<QString> bundleIdentifier() const override { return m_bundleID; }
    std::optional<QString> localizedName() const override { return m_bundleID; }
    QImage icon() const override { return {}; }
    platform::ActivationPolicy activationPolicy() const override
    {
        return platform::ActivationPolicy::Regular;
    }
    bool isHidden() const override { return false; }
    bool isActive() const override { return false; }
    bool isTerminated() const override { return false; }
    bool hide() override { return false; }
    bool unhide() override { return false; }
    bool activate(ActivationOptions /*options*/) override { return false; }

private:
    platform::pid_type m_pid;
    QString m_bundleID;
};

// A still desktop whose window server answers from prepared descriptions, so the benchmark
// measures the refresh and not the simulation.
class BenchDesktop final
    : public platform::Workspace
    , public platform::ScreenList
    , public platform::WindowServer
{
public:
    BenchDesktop(int windowCount, int appCount)
    {
        for (int a = 0; a < appCount; ++a) {
            m_apps.append(
                std::make_shared<BenchApp>(kFirstAppPID + a, QStringLiteral("com.example.app%1").arg(a)));
        }
        for (int w = 0; w < windowCount; ++w) {
            const auto number = static_cast<quint32>(100 + w);
            platform::WindowDescription d;
            d.insert(platform::kCGWindowNumber, qint64(number));
            d.insert(platform::kCGWindowOwnerPID, qint64(kFirstAppPID + w % appCount));
            d.insert(platform::kCGWindowOwnerName, QStringLiteral("App %1").arg(w % appCount));
            d.insert(platform::kCGWindowName, QStringLiteral("Document %1").arg(w));
            d.insert(platform::kCGWindowLayer, qint64(0));
            d.insert(platform::kCGWindowAlpha, 1.0);
            d.insert(platform::kCGWindowBounds, platform::dictionaryFromRect(QRectF(w % 500, 40, 640, 480)));
            d.insert(platform::kCGWindowIsOnscreen, true);
            m_windows.append(d);
            m_byNumber.emplace(number, d);
        }
    }

    QList<platform::RunningApplicationRef> runningApplications() const override { return m_apps; }
    platform::RunningApplicationRef frontmostApplication() const override { return nullptr; }
    platform::RunningApplicationRef runningApplication(platform::pid_type pid) const override
    {
        const qsizetype index = pid - kFirstAppPID;
        return index >= 0 && index < m_apps.size() ? m_apps.at(index) : nullptr;
    }
    platform::pid_type currentProcessIdentifier() const override { return kOwnPID; }
    platform::NotificationCenter& notificationCenter() override { return m_workspaceCenter; }
    bool openURL(const QUrl& /*url*/) override { return false; }
    std::optional<QString> bundleIdentifierOfApplicationToOpen(const QUrl& /*url*/) const override
    {
        return std::nullopt;
    }
    std::optional<QUrl>
    urlForApplicationWithBundleIdentifier(const QString& /*bundleIdentifier*/) const override
    {
        return std::nullopt;
    }
    QImage iconForFile(const QString& /*path*/) const override { return {}; }

    QList<platform::Screen> screens() const override { return {}; }
    double menuBarHeight() const override { return 24; }
    platform::NotificationCenter& defaultCenter() override { return m_defaultCenter; }

    std::optional<QList<platform::WindowDescription>> copyWindowInfo(std::uint32_t,
                                                                     std::uint32_t) const override
    {
        return m_windows;
    }
    std::optional<QList<platform::WindowDescription>>
    createDescriptionFromArray(const QList<std::uint32_t>& windowIDs) const override
    {
        QList<platform::WindowDescription> result;
        for (const std::uint32_t number : windowIDs) {
            if (const auto it = m_byNumber.find(number); it != m_byNumber.end()) {
                result.append(it->second);
            }
        }
        return result;
    }
    std::uint32_t mainDisplayID() const override { return 1; }
    QRectF displayBounds(std::uint32_t) const override { return {}; }

private:
    QList<platform::RunningApplicationRef> m_apps;
    QList<platform::WindowDescription> m_windows;
    std::map<quint32, platform::WindowDescription> m_byNumber;
    platform::NotificationCenter m_workspaceCenter;
    platform::NotificationCenter m_defaultCenter;
};

// A state object over its own desktop, with one window of each app hidden so that the pruning
// query runs too.
struct Refreshed
{
    Refreshed(int windowCount, int appCount)
        : desktop(windowCount, appCount)
    {
        services.defaults = &defaults;
        services.scheduler = &scheduler;
        services.workspace = &desktop;
        services.screens = &desktop;
        services.windowServer = &desktop;
        services.bundle = &bundle;
        manager = std::make_unique<WindowManager>(services);
        WindowManager::WindowMap hidden;
        for (int a = 0; a < appCount; ++a) {
            hidden.insert(static_cast<quint32>(100 + a), QStringLiteral("com.example.app%1").arg(a));
        }
        manager->setHiddenWindows(hidden);
        manager->refreshWindows();
    }

    BenchDesktop desktop;
    platform::InMemoryUserDefaults defaults;
    platform::sim::VirtualScheduler scheduler;
    platform::Bundle bundle;
    platform::Services services;
    std::unique_ptr<WindowManager> manager;
};

// Windows held by each case in all. In the running app a second passes between two refreshes,
// so a refresh never finds its windows still in the cache. Every case therefore refreshes, in
// turn, as many desktops as it takes to hold this many windows: a small desktop is not served
// from the cache either, and the cases compare fairly.
constexpr int kWindowsPerCase = 100000;

// One refresh of an unchanged desktop, as every second while nothing moves.
void BM_WindowRefresh(benchmark::State& state)
{
    const auto windowCount = static_cast<int>(state.range(0));
    const auto appCount = static_cast<int>(state.range(1));
    std::vector<std::unique_ptr<Refreshed>> desktops;
    for (int i = 0; i < std::max(1, kWindowsPerCase / windowCount); ++i) {
        desktops.push_back(std::make_unique<Refreshed>(windowCount, appCount));
        if (desktops.back()->manager->hiddenWindows().size() != appCount) {
            state.SkipWithError("the hidden windows did not survive the first refresh");
            return;
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        desktops[next]->manager->refreshWindows();
        next = (next + 1) % desktops.size();
    }
    state.counters["per_window"] = benchmark::Counter(
        windowCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WindowRefresh)
    ->Args({100, 10})
    ->Args({1000, 100})
    ->Args({10000, 1000})
    ->Unit(benchmark::kMicrosecond);

// The same refresh through the simulated desktop: its window list, its running applications and
// its description query, windows of mixed sizes over one display.
struct SimulatedRefresh
{
    SimulatedRefresh(int windowCount, int appCount)
    {
        desktop.addDisplay();
        std::vector<platform::pid_type> apps;
        for (int a = 0; a < appCount; ++a) {
            apps.push_back(desktop.launchApp(QStringLiteral("com.example.app%1").arg(a),
                                             QStringLiteral("App %1").arg(a)));
        }
        for (int w = 0; w < windowCount; ++w) {
            windows.push_back(desktop.addWindow(apps[static_cast<std::size_t>(w % appCount)],
                                                QStringLiteral("Document %1").arg(w),
                                                QRectF(w % 500, 40 + w % 300, 200 + w % 600, 120 + w % 400)));
        }
        services.defaults = &defaults;
        services.scheduler = &scheduler;
        services.workspace = &desktop;
        services.screens = &desktop;
        services.windowServer = &desktop;
        services.bundle = &bundle;
        manager = std::make_unique<WindowManager>(services);
        WindowManager::WindowMap hidden;
        for (int a = 0; a < appCount; ++a) {
            hidden.insert(windows[static_cast<std::size_t>(a)], QStringLiteral("com.example.app%1").arg(a));
        }
        manager->setHiddenWindows(hidden);
        manager->refreshWindows();
    }

    // Every description is made again at the next query, as after every window moved.
    void touchEveryWindow()
    {
        for (const quint32 number : windows) {
            desktop.setWindowBounds(number, desktop.window(number)->bounds);
        }
    }

    platform::sim::SimDesktop desktop;
    platform::InMemoryUserDefaults defaults;
    platform::sim::VirtualScheduler scheduler;
    platform::Bundle bundle;
    platform::Services services;
    std::unique_ptr<WindowManager> manager;
    std::vector<quint32> windows;
};

void BM_SimulatedWindowRefresh(benchmark::State& state)
{
    const auto windowCount = static_cast<int>(state.range(0));
    const auto appCount = static_cast<int>(state.range(1));
    std::vector<std::unique_ptr<SimulatedRefresh>> desktops;
    for (int i = 0; i < std::max(1, kWindowsPerCase / windowCount); ++i) {
        desktops.push_back(std::make_unique<SimulatedRefresh>(windowCount, appCount));
        if (desktops.back()->manager->hiddenWindows().size() != appCount) {
            state.SkipWithError("the hidden windows did not survive the first refresh");
            return;
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        desktops[next]->touchEveryWindow();
        state.ResumeTiming();
        desktops[next]->manager->refreshWindows();
        next = (next + 1) % desktops.size();
    }
    state.counters["per_window"] = benchmark::Counter(
        windowCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SimulatedWindowRefresh)->Args({1000, 100})->Args({10000, 1000})->Unit(benchmark::kMicrosecond);

// Prints the per-window cost of each desktop and keeps it for the linearity check.
class PerWindowReporter final : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const auto it = run.counters.find("per_window");
            if (it != run.counters.end()) {
                perWindow[run.benchmark_name()] = it->second.value;
            }
        }
    }
    std::map<std::string, double> perWindow;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    PerWindowReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const auto& [name, seconds] : reporter.perWindow) {
        std::printf("%-32s %8.1f ns per window\n", name.c_str(), seconds * 1e9);
    }
    bool linear = true;
    for (const char* name : {"BM_WindowRefresh", "BM_SimulatedWindowRefresh"}) {
        const auto small = reporter.perWindow.find(std::string(name) + "/1000/100");
        const auto large = reporter.perWindow.find(std::string(name) + "/10000/1000");
        if (small == reporter.perWindow.end() || large == reporter.perWindow.end()) {
            continue; // a filtered run: nothing to compare
        }
        const double ratio = large->second / small->second;
        std::printf(
            "%s: 10,000 windows cost %.2fx per window what 1,000 windows cost (target: at most 1.50x)\n",
            name,
            ratio);
        linear = linear && ratio <= 1.5;
    }
    return linear ? 0 : 1;
}
