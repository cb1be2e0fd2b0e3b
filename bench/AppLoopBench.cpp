// The running application's main loop, headless, for 10 s per case: the application's delegate,
// state object, status item, popover, virtual display with its mirror window and the desktop
// viewer, over a simulated desktop, on Qt's event loop and timers in real time. Each case prints
// the CPU of the whole process (every thread, getrusage) as a share of one core and as a multiple
// of the floor: one memcpy of the captured frame for every frame delivered to the "Veilmox"
// display (with nothing moving, twenty a second), measured in the same run on a thread of its own
// so that it takes no turn from the application's loop (its thread's CPU is taken out of the
// application's). Beside it, the capture ticks, the frames delivered to the display and the
// frames the viewer painted of it per second: what the user sees.
//
// With the popover open on its main page (the pointer away from it) or the picture-in-picture
// panel shown, the preview's paints per second are counted too; with an app pinned (or two, whose
// windows overlap), the paints of the overlays and the frames their capture streams send
// (complete or idle).
//
// Signed out, the onboarding window open on its demo page as on a first run, before Hide is
// pressed: only the audience monitor's dot pulses; the paints of the viewer's picture of the main
// display, where the user sees the window, are counted as the preview's.
//
// Goals, every moving case at 20 frames a second delivered and painted: demo desktop with the
// virtual display, something moving: at most 1.5x the floor; with the popover open: at most 2x,
// its preview painted at the rate frames change; 5120 x 2880: at most 1.5x; 1,000 windows with
// one moving: at most 2x; a still desktop: at most 0.1x (0.5x with 1,000 windows), nothing
// painted, and at most 0.15x with the popover open, the panel shown, an app pinned or two, the
// preview and the overlays not painted; signed out below 5% of a core; the onboarding's demo page
// with its dot pulsing: at most 0.3x.

#include "bench/CpuYardstick.h"
#include "bench/PaintCounter.h"
#include "capture/ShareMaskEditor.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "pip/PiPController.h"
#include "platform/Bundle.h"
#include "platform/DispatchQueue.h"
#include "platform/Keychain.h"
#include "platform/Popover.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "platform/Updates.h"
#include "platform/UserDefaults.h"
#include "platform/Window.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimProcessRunner.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimStatusBar.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "shell/AppDelegate.h"
#include "shell/HUDOverlayController.h"
#include "shell/kit/Fonts.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace {

using platform::sim::SimDesktop;

enum class Scene
{
    Demo,    // the demo desktop on a 1512 x 982 point display at scale 2
    FiveK,   // a desktop like it on a 2560 x 1440 point display at scale 2
    Thousand // the demo desktop under 1,000 windows of 200 apps, of mixed sizes
};

enum class Activity
{
    SignedOut, // no virtual display
    Still,     // the virtual display runs; nothing on the desktop changes
    Moving     // the virtual display runs; the front window moves a point every 50 ms
};

// What the user has open meanwhile.
enum class Open
{
    Nothing,
    Popover,       // the popover on its main page, the pointer away from it
    Panel,         // the picture-in-picture panel, the popover closed
    PinnedApp,     // one app pinned (Messages, behind the front app), the popover closed
    TwoPinnedApps, // Messages and Slack pinned, their windows overlapping behind the front app
    DemoPage       // the onboarding window on its demo page, its dot pulsing
};

const QString kOwnBundleID = QStringLiteral("getveilmox.Veilmox");

// The demo's apps on a display of any size: a few overlapping windows, the menu bar, the Dock and
// a notification banner.
void populateLikeDemo(SimDesktop& desktop, const QSizeF& points)
{
    SimDesktop::DisplaySpec display;
    display.name = QStringLiteral("Studio Display");
    display.frame = QRectF(QPointF(), points);
    display.backingScale = 2.0;
    desktop.addDisplay(display);
    const double w = points.width();
    const double h = points.height();
    struct App
    {
        const char* bundleID;
        const char* name;
        QRectF share; // of the display
        QColor color;
    };
    const App apps[] = {
        {"com.apple.finder", "Finder", {0.04, 0.08, 0.48, 0.47}, QColor(0x3d, 0x8b, 0xfd)},
        {"com.tinyspeck.slackmacgap", "Slack", {0.09, 0.12, 0.65, 0.65}, QColor(0x4a, 0x15, 0x4b)},
        {"com.apple.MobileSMS", "Messages", {0.6, 0.16, 0.34, 0.61}, QColor(0x34, 0xc7, 0x59)},
        {"com.google.Chrome", "Google Chrome", {0.16, 0.06, 0.73, 0.77}, QColor(0xf1, 0xf3, 0xf4)},
        {"us.zoom.xos", "zoom.us", {0.21, 0.2, 0.57, 0.55}, QColor(0x2d, 0x8c, 0xff)},
    };
    platform::pid_type last = 0;
    for (const App& app : apps) {
        last = desktop.launchApp(QString::fromLatin1(app.bundleID), QString::fromLatin1(app.name));
        SimDesktop::WindowSpec window;
        window.owner = last;
        window.title = QString::fromLatin1(app.name);
        window.bounds =
            QRectF(app.share.x() * w, app.share.y() * h, app.share.width() * w, app.share.height() * h);
        window.color = app.color;
        desktop.addWindow(window);
    }
    SimDesktop::AppSpec system;
    system.bundleID = QStringLiteral("com.apple.systemuiserver");
    system.name = QStringLiteral("SystemUIServer");
    system.policy = platform::ActivationPolicy::Accessory;
    SimDesktop::WindowSpec menu;
    menu.owner = desktop.launchApp(system);
    menu.bounds = QRectF(0, 0, w, desktop.menuBarHeight());
    menu.color = QColor(0xe8, 0xe8, 0xea);
    menu.layer = 24;
    desktop.addWindow(menu);
    system.bundleID = QStringLiteral("com.apple.dock");
    system.name = QStringLiteral("Dock");
    SimDesktop::WindowSpec dock;
    dock.owner = desktop.launchApp(system);
    dock.bounds = QRectF(w * 0.25, h - 72, w * 0.5, 64);
    dock.color = QColor(0x5a, 0x5e, 0x66);
    dock.layer = 20;
    desktop.addWindow(dock);
    desktop.activateApp(last);
}

// 1,000 windows of 200 apps over the demo desktop, from small panels to large documents, some
// minimised; the same layout at every run.
void addThousandWindows(SimDesktop& desktop)
{
    quint32 seed = 2024;
    const auto next = [&seed](double low, double high) {
        seed = seed * 1664525U + 1013904223U;
        return low + (high - low) * ((seed >> 8U) / static_cast<double>(1U << 24U));
    };
    std::vector<platform::pid_type> apps;
    for (int app = 0; app < 200; ++app) {
        apps.push_back(desktop.launchApp(QStringLiteral("com.example.app%1").arg(app),
                                         QStringLiteral("App %1").arg(app)));
    }
    for (int n = 0; n < 1000; ++n) {
        SimDesktop::WindowSpec window;
        window.owner = apps[static_cast<std::size_t>(n) % apps.size()];
        window.title = QStringLiteral("Document %1").arg(n);
        const double width = std::round(next(80, 1100));
        const double height = std::round(next(60, 760));
        window.bounds =
            QRectF(std::round(next(0, 1512 - width)), std::round(next(25, 982 - height)), width, height);
        window.color = QColor::fromHsv((n * 37) % 360, 150, 210);
        window.onScreen = next(0, 1) > 0.15;
        desktop.addWindow(window);
    }
}

// The process's platform, as the application's entry builds it, with stores in memory and the
// real Qt scheduler and main queue.
struct Platform
{
    Platform()
        : bundle(QVariantMap{{platform::kBundleIdentifierKey, kOwnBundleID},
                             {platform::kBundleShortVersionStringKey, QStringLiteral("1.0.0")}})
        , desktop(kOwnBundleID)
        , urlSession(scheduler)
        , virtualDisplays(desktop, scheduler)
        , screenCapture(desktop, scheduler)
        , statusBar(desktop)
        , captureStreams(desktop, scheduler)
    {
        platform::Scheduler::setCurrent(&scheduler);
        services.defaults = &defaults;
        services.scheduler = &scheduler;
        services.workspace = &desktop;
        services.screens = &desktop;
        services.windowServer = &desktop;
        services.hotKeys = &hotKeys;
        services.bundle = &bundle;
        services.keychain = &keychain;
        services.urlSession = &urlSession;
        services.accessibility = &accessibility;
        services.virtualDisplays = &virtualDisplays;
        services.screenCapture = &screenCapture;
        services.appWindows = &desktop;
        services.mainAppService = &loginItems;
        services.processes = &processes;
        services.application = &desktop;
        services.events = &desktop;
        services.statusBar = &statusBar;
        services.updates = &updates;
        services.captureStreams = &captureStreams;
        services.mainQueue = &mainQueue;
        platform::Services::setCurrent(services);
    }
    ~Platform()
    {
        platform::Services::setCurrent({});
        platform::Scheduler::setCurrent(nullptr);
    }
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    platform::QtScheduler scheduler;
    platform::InMemoryUserDefaults defaults;
    platform::Bundle bundle;
    SimDesktop desktop;
    platform::sim::SimHotKeySystem hotKeys;
    platform::InMemoryKeychain keychain;
    platform::URLSession urlSession;
    platform::sim::SimAccessibilitySettings accessibility;
    platform::sim::SimVirtualDisplays virtualDisplays;
    platform::sim::SimScreenCapture screenCapture;
    platform::sim::SimLoginItems loginItems;
    platform::sim::SimProcessRunner processes;
    platform::sim::SimStatusBar statusBar;
    platform::UpdateFrameworkStandIn updates;
    platform::sim::SimCaptureStreams captureStreams;
    platform::QtMainQueue mainQueue;
    platform::Services services;
};

// The application over that platform: its delegate launched as at start-up (onboarding done),
// then the viewer, as the entry point shows it.
struct RunningApp
{
    explicit RunningApp(Scene scene)
    {
        if (scene == Scene::FiveK) {
            populateLikeDemo(system.desktop, QSizeF(2560, 1440));
        } else {
            platform::sim::populateDemoDesktop(system.desktop);
        }
        if (scene == Scene::Thousand) {
            addThousandWindows(system.desktop);
        }
        system.defaults.setObject(true, AppDelegate::onboardingCompletedKey);

        AppDelegate::Environment environment;
        environment.services = system.services;
        environment.windowManager = [this]() -> WindowManager& {
            if (!manager) {
                manager = std::make_unique<WindowManager>(system.services, &registry);
            }
            return *manager;
        };
        environment.pipController = [this]() -> PiPController& {
            if (!pip) {
                if (!manager) {
                    manager = std::make_unique<WindowManager>(system.services, &registry);
                }
                maskEditor = std::make_unique<ShareMaskEditor>(system.services, manager.get());
                pip = std::make_unique<PiPController>(system.services, *manager, *maskEditor);
            }
            return *pip;
        };
        environment.hud = [this]() -> HUDPresenter& {
            if (!hud) {
                hud = std::make_unique<HUDOverlayController>(system.services);
            }
            return *hud;
        };
        environment.registerFonts = [] {
            kit::registerAppFonts();
        };
        delegate = std::make_unique<AppDelegate>(environment);
        delegate->applicationDidFinishLaunching();
        viewer = std::make_unique<platform::sim::DesktopViewer>(system.desktop, system.scheduler);
        // Both displays side by side, as large as that opens on a full-HD screen, whatever screen
        // the benchmark runs on.
        viewer->showAllDisplays();
        viewer->resize(1920, 660);
        viewer->show();
    }
    ~RunningApp()
    {
        if (manager) {
            manager->setIsAuthenticated(false);
            manager->applySessionState();
        }
        viewer.reset();
        delegate.reset();
        QCoreApplication::processEvents();
        hud.reset();
        pip.reset();
        manager.reset();
    }
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    // Signs in (which starts the virtual display) and waits for its first picture.
    bool signIn()
    {
        manager->setIsAuthenticated(true);
        manager->applySessionState();
        QEventLoop loop;
        QObject::connect(
            manager.get(), &WindowManager::virtualDisplayPreviewImageChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        return manager->virtualDisplayPreviewImage().has_value();
    }

    static void runFor(int milliseconds)
    {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    }

    Platform system;
    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    std::unique_ptr<WindowManager> manager;
    std::unique_ptr<ShareMaskEditor> maskEditor;
    std::unique_ptr<PiPController> pip;
    std::unique_ptr<HUDOverlayController> hud;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<platform::sim::DesktopViewer> viewer;
};

constexpr int kMeasuredMilliseconds = 10000;
constexpr int kFramesPerSecond = 20;

// Starts the mover so that it moves the window halfway between two captures: every capture finds
// the desktop changed, as with a window dragged steadily. (Moves at the rate of the captures but
// in step with them would leave some captures seeing no change and others two.)
void startHalfwayBetweenCaptures(QTimer& mover, WindowManager& manager, const std::function<void()>& move)
{
    QEventLoop loop;
    const auto delivered = QObject::connect(
        &manager, &WindowManager::virtualDisplayPreviewImageChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    move(); // the next capture delivers a frame
    loop.exec();
    QObject::disconnect(delivered);
    mover.start(1000 / kFramesPerSecond / 2);
}

void BM_AppLoop(benchmark::State& state, Scene scene, Activity activity, Open open = Open::Nothing)
{
    RunningApp app(scene);
    if (activity != Activity::SignedOut && !app.signIn()) {
        state.SkipWithError("the virtual display showed no picture");
        return;
    }
    if (open == Open::Popover) {
        app.delegate->showPopover();
    } else if (open == Open::Panel) {
        app.pip->show();
    } else if (open == Open::PinnedApp || open == Open::TwoPinnedApps) {
        app.manager->togglePinned(QStringLiteral("com.apple.MobileSMS"));
        if (open == Open::TwoPinnedApps) {
            app.manager->togglePinned(QStringLiteral("com.tinyspeck.slackmacgap"));
        }
    } else if (open == Open::DemoPage) {
        OnboardingDraft draft;
        draft.step = OnboardingFlow::kDemoStep;
        draft.save(app.system.defaults);
        app.delegate->showOnboarding();
    }
    const quint32 display = app.system.desktop.mainDisplayID();
    const auto setup = app.system.desktop.display(display);
    const auto frameBytes = static_cast<std::size_t>(setup->frame.width() * setup->backingScale)
                            * static_cast<std::size_t>(setup->frame.height() * setup->backingScale) * 4;
    bench::ThreadYardstick yardstick(frameBytes, std::chrono::microseconds(1000000 / kFramesPerSecond));

    // The front window of an ordinary app, moved a point every frame while something moves.
    quint32 moving = 0;
    for (const quint32 number : app.system.desktop.windowOrder()) {
        const auto window = app.system.desktop.window(number);
        if (window->layer == 0 && window->owner != app.system.desktop.ownProcessIdentifier()
            && app.system.desktop.isWindowOnScreen(number)) {
            moving = number;
            break;
        }
    }
    int step = 0;
    const auto move = [&] {
        QRectF bounds = app.system.desktop.window(moving)->bounds;
        bounds.translate((step++ / 40) % 2 == 0 ? 1 : -1, 0);
        app.system.desktop.setWindowBounds(moving, bounds);
    };
    // Each move arms the next one frame later; each delivered frame sets it again to half a frame
    // after itself, keeping the moves halfway between captures: the capture timer and this one
    // drift apart otherwise, and captures that come to find nothing changed deliver nothing.
    QTimer mover;
    mover.setTimerType(Qt::PreciseTimer);
    mover.setSingleShot(true);
    QObject::connect(&mover, &QTimer::timeout, [&mover, &move] {
        move();
        mover.start(1000 / kFramesPerSecond);
    });
    if (app.manager) {
        QObject::connect(
            app.manager.get(), &WindowManager::virtualDisplayPreviewImageChanged, &mover, [&mover] {
                if (mover.isActive()) {
                    mover.start(1000 / kFramesPerSecond / 2);
                }
            });
    }
    // How often the loop wakes up: each wake-up has a cost of its own.
    int wakeUps = 0;
    QObject::connect(QAbstractEventDispatcher::instance(),
                     &QAbstractEventDispatcher::awake,
                     &mover,
                     [&wakeUps] { ++wakeUps; });
    int pictures = 0;
    if (app.manager) {
        QObject::connect(app.manager.get(), &WindowManager::virtualDisplayPreviewImageChanged, [&pictures] {
            ++pictures;
        });
    }

    RunningApp::runFor(1000); // settle
    // The paints of the viewer's picture of "Veilmox", as the user sees them.
    bench::PaintCounter painted;
    for (const quint32 id : app.system.desktop.displayIDs()) {
        if (QWidget* view = app.viewer->displayView(id); view && app.system.desktop.isVirtualDisplay(id)) {
            view->installEventFilter(&painted);
        }
    }
    // And those of the preview open beside it.
    bench::PaintCounter previewPainted;
    QWidget* preview = nullptr;
    if (open == Open::Popover && app.delegate->popover() != nullptr) {
        preview = app.delegate->popover()->contentWindow()->contentView()->findChild<QWidget*>(
            QStringLiteral("previewPicture"));
    } else if (open == Open::Panel && app.pip->panel() != nullptr) {
        preview = app.pip->panel()->contentView()->findChild<QWidget*>(QStringLiteral("pipPreview"));
    } else if (open == Open::DemoPage && app.delegate->onboardingWindow() != nullptr
               && app.delegate->onboardingWindow()->contentView()->findChild<QWidget*>(
                   QStringLiteral("demo.audience"))) {
        // The viewer's picture of the display the window is on: what the user sees of the pulse.
        preview = app.viewer->displayView(display);
    }
    const bool pinned = open == Open::PinnedApp || open == Open::TwoPinnedApps;
    if (open != Open::Nothing && !pinned && preview == nullptr) {
        state.SkipWithError("the preview is not open");
        return;
    }
    if (preview != nullptr) {
        preview->installEventFilter(&previewPainted);
    }
    // And those of the pinned apps' overlays, with the frames their streams sent.
    bench::PaintCounter overlayPainted;
    if (pinned) {
        const auto& entries = app.manager->pinnedWindowController().overlayEntries();
        if (entries.size() != (open == Open::TwoPinnedApps ? 2U : 1U)) {
            state.SkipWithError("a pinned app has no overlay");
            return;
        }
        for (const auto& [number, entry] : entries) {
            entry.view->installEventFilter(&overlayPainted);
        }
    }
    for (auto _ : state) {
        pictures = 0;
        wakeUps = 0;
        painted.paints = 0;
        previewPainted.paints = 0;
        overlayPainted.paints = 0;
        const int streamFramesBefore = app.system.captureStreams.framesSent();
        if (activity == Activity::Moving) {
            startHalfwayBetweenCaptures(mover, *app.manager, move);
        }
        const int capturesBefore = app.system.screenCapture.screenshotCount();
        yardstick.setRunning(true);
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = bench::processCpuSeconds();
        const double yardstickBefore = yardstick.threadSeconds();
        RunningApp::runFor(kMeasuredMilliseconds);
        const double cpu =
            bench::processCpuSeconds() - cpuBefore - (yardstick.threadSeconds() - yardstickBefore);
        const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
        yardstick.setRunning(false);
        mover.stop();
        state.SetIterationTime(seconds);

        // A copy for every frame delivered while something moves; a still desktop is held to the
        // copies of twenty frames a second.
        const double frames = activity == Activity::Moving ? pictures : kFramesPerSecond * seconds;
        const double floor = yardstick.secondsPerCopy() * std::max(frames, 1.0);
        state.counters["cpu_pct"] = 100 * cpu / seconds;
        state.counters["floor_pct"] = 100 * floor / seconds;
        state.counters["x_floor"] = cpu / floor;
        state.counters["captures_per_s"] =
            (app.system.screenCapture.screenshotCount() - capturesBefore) / seconds;
        state.counters["delivered_per_s"] = pictures / seconds;
        state.counters["painted_per_s"] = painted.paints / seconds;
        if (preview != nullptr) {
            state.counters["preview_painted_per_s"] = previewPainted.paints / seconds;
        }
        if (pinned) {
            state.counters["overlay_painted_per_s"] = overlayPainted.paints / seconds;
            state.counters["stream_frames_per_s"] =
                (app.system.captureStreams.framesSent() - streamFramesBefore) / seconds;
        }
        state.counters["wakeups_per_s"] = wakeUps / seconds;
    }
}

#define APP_LOOP_CASE(name, scene, ...)                                                                      \
    BENCHMARK_CAPTURE(BM_AppLoop, name, scene, __VA_ARGS__)                                                  \
        ->Iterations(1)                                                                                      \
        ->UseManualTime()                                                                                    \
        ->Unit(benchmark::kSecond)

APP_LOOP_CASE(demo_signed_out, Scene::Demo, Activity::SignedOut);
APP_LOOP_CASE(demo_still, Scene::Demo, Activity::Still);
APP_LOOP_CASE(demo_moving, Scene::Demo, Activity::Moving);
APP_LOOP_CASE(demo_still_popover_open, Scene::Demo, Activity::Still, Open::Popover);
APP_LOOP_CASE(demo_moving_popover_open, Scene::Demo, Activity::Moving, Open::Popover);
APP_LOOP_CASE(demo_still_panel_shown, Scene::Demo, Activity::Still, Open::Panel);
APP_LOOP_CASE(demo_still_app_pinned, Scene::Demo, Activity::Still, Open::PinnedApp);
APP_LOOP_CASE(demo_still_two_apps_pinned, Scene::Demo, Activity::Still, Open::TwoPinnedApps);
APP_LOOP_CASE(onboarding_demo_page_pulsing, Scene::Demo, Activity::SignedOut, Open::DemoPage);
APP_LOOP_CASE(5k_still, Scene::FiveK, Activity::Still);
APP_LOOP_CASE(5k_moving, Scene::FiveK, Activity::Moving);
APP_LOOP_CASE(1000_windows_signed_out, Scene::Thousand, Activity::SignedOut);
APP_LOOP_CASE(1000_windows_still, Scene::Thousand, Activity::Still);
APP_LOOP_CASE(1000_windows_moving, Scene::Thousand, Activity::Moving);

} // namespace
