// The virtual display's capture tick on a Retina display (1512 x 982 points at scale 2, 3024 x 1964
// pixels) and a 5K one (2560 x 1440 at scale 2), with 200 and 1,000 windows of about 40 and 200
// apps: two apps and two windows left out, three masks and the focus strip. Every time is the CPU
// time of the whole process, reported as a multiple of one memcpy of a frame of that display
// ("frame_copies"), measured in the same loop. Targets at 3024 x 1964 with 200 windows: the whole
// tick at most 6 frame copies, the checks that keep a picture unfit to show from the audience at
// most 0.5, compose-and-deliver (with the mirror's repaint request) at most 3. The event loop runs
// after each tick so that what it asks for happens and counts (the mirror is drawn only by whoever
// takes a picture of the virtual display). A tick of a still desktop shows nothing new ("shown"
// per tick near 0); one where a window moves shows every picture.

#include "bench/CpuYardstick.h"
#include "capture/DeliveryCheck.h"
#include "capture/ImageView.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/Bundle.h"
#include "platform/Services.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using bench::processCpuSeconds;
using bench::Yardstick;

const QString kOwnBundleID = QStringLiteral("getveilmox.Veilmox");

QString appBundleID(int app)
{
    return QStringLiteral("com.example.app%1").arg(app);
}

// A desktop of overlapping windows of many apps, some minimised, over one display, with a
// running virtual display mirroring it.
struct Rig
{
    Rig(QSizeF displayPoints, int windowCount, bool paints)
        : bundle(QVariantMap{{platform::kBundleIdentifierKey, kOwnBundleID}})
        , virtualDisplays(desktop, scheduler)
        , screenCapture(desktop, scheduler)
    {
        platform::Scheduler::setCurrent(&scheduler);
        platform::sim::SimDesktop::DisplaySpec display;
        display.frame = QRectF(QPointF(0, 0), displayPoints);
        display.backingScale = 2.0;
        desktop.addDisplay(display);

        // A fixed pseudo-random layout, the same at every run.
        quint32 state = 12345;
        const auto next = [&state](double low, double high) {
            state = state * 1664525U + 1013904223U;
            return low + (high - low) * ((state >> 8U) / static_cast<double>(1U << 24U));
        };
        std::vector<platform::pid_type> apps;
        for (int app = 0; app < std::max(1, windowCount / 5); ++app) {
            apps.push_back(desktop.launchApp(appBundleID(app), QStringLiteral("App %1").arg(app)));
        }
        for (int n = 0; n < windowCount; ++n) {
            platform::sim::SimDesktop::WindowSpec setup;
            setup.owner = apps[static_cast<std::size_t>(n) % apps.size()];
            setup.title = QStringLiteral("Window %1").arg(n);
            const double width = std::round(next(0.2, 0.6) * displayPoints.width());
            const double height = std::round(next(0.2, 0.6) * displayPoints.height());
            setup.bounds = QRectF(std::round(next(0, displayPoints.width() - width)),
                                  std::round(next(25, displayPoints.height() - height)),
                                  width,
                                  height);
            setup.color = QColor::fromHsv((n * 37) % 360, 160, 200);
            setup.onScreen = next(0, 1) > 0.15;
            windows.push_back(desktop.addWindow(setup));
        }

        platform::Services services;
        services.scheduler = &scheduler;
        services.workspace = &desktop;
        services.screens = &desktop;
        services.windowServer = &desktop;
        services.bundle = &bundle;
        services.virtualDisplays = &virtualDisplays;
        services.screenCapture = &screenCapture;
        services.appWindows = &desktop;
        manager = std::make_unique<VirtualDisplayManager>(services);
        manager->excludedBundleIDs = {appBundleID(1), appBundleID(2)};
        // One hidden window on screen: the filter lists the left-out windows one by one.
        for (const quint32 window : windows) {
            if (manager->excludedWindowIDs.size() < 2 && desktop.window(window)->owner == apps.back()) {
                manager->excludedWindowIDs.insert(window);
            }
        }
        manager->focusStageEnabled = paints;
        if (paints) {
            for (std::size_t m = 0; m < 3; ++m) {
                manager->masks.append(
                    ShareMask{QUuid::createUuid(), windows[m * 7], appBundleID(0), QRectF(20, 40, 160, 90)});
            }
        }
        manager->frameHandler = [this](const std::optional<QImage>& image) {
            if (image) {
                preview = *image;
            }
        };
        manager->start();
        scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck);
    }

    ~Rig() { platform::Scheduler::setCurrent(nullptr); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    std::size_t frameBytes() const { return static_cast<std::size_t>(preview.sizeInBytes()); }

    // The frontmost window on screen of an app that is shown.
    quint32 frontWindow() const
    {
        for (const quint32 number : desktop.windowOrder()) {
            const auto owner = desktop.runningApplication(desktop.window(number)->owner);
            if (desktop.isWindowOnScreen(number) && owner
                && owner->processIdentifier() != desktop.ownProcessIdentifier()
                && !manager->excludedBundleIDs.contains(owner->bundleIdentifier().value_or(QString()))
                && !manager->excludedWindowIDs.contains(number)) {
                return number;
            }
        }
        return 0;
    }

    // The check as a capture builds it from its content: the filter of the last screenshot and
    // what it left out.
    DeliveryCheck deliveryCheck(const platform::SCShareableContent& content) const
    {
        QSet<QString> leftOut = manager->excludedBundleIDs;
        leftOut << kOwnBundleID << QStringLiteral("com.apple.dock")
                << QStringLiteral("com.apple.notificationcenterui")
                << QStringLiteral("com.apple.UserNotificationCenter");
        return DeliveryCheck({*screenCapture.lastFilter(),
                              content.applications,
                              leftOut,
                              desktop.ownProcessIdentifier(),
                              manager->excludedWindowIDs,
                              2.0},
                             &desktop);
    }

    // The masks as a capture paints them on the windows where they are now.
    QHash<QUuid, QRect> paintedMasks() const
    {
        QHash<QUuid, QRect> painted;
        for (const ShareMask& mask : manager->masks) {
            const auto onScreen = mask.screenRect(desktop.window(mask.windowID)->bounds);
            if (const auto pixels = onScreen ? DeliveryCheck::pixelRect(*onScreen, {}, 2.0) : std::nullopt) {
                painted.insert(mask.id, *pixels);
            }
        }
        return painted;
    }

    platform::sim::SimDesktop desktop;
    platform::sim::VirtualScheduler scheduler;
    platform::Bundle bundle;
    platform::sim::SimVirtualDisplays virtualDisplays;
    platform::sim::SimScreenCapture screenCapture;
    std::unique_ptr<VirtualDisplayManager> manager;
    std::vector<quint32> windows;
    QImage preview;
};

QSizeF displayPoints(benchmark::State& state)
{
    return state.range(1) == 5 ? QSizeF(2560, 1440) : QSizeF(1512, 982);
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"windows", "display"});
    for (const int windows : {200, 1000}) {
        for (const int display : {3, 5}) { // 3K Retina, 5K
            b->Args({windows, display});
        }
    }
}

// The whole tick: shareable content, the checks, the simulated screenshot, masks, strip and
// delivery, with the event loop run after it; on a still desktop, and with the front window moving
// a point at every tick.
void BM_CaptureTick(benchmark::State& state)
{
    Rig rig(displayPoints(state), static_cast<int>(state.range(0)), state.range(2) != 0);
    const bool moves = state.range(3) != 0;
    const quint32 front = rig.frontWindow();
    Yardstick yardstick(rig.frameBytes());
    const int droppedBefore = rig.manager->droppedFrameCount();
    int shownBefore = 0;
    int shown = 0;
    rig.manager->frameHandler = [&shown](const std::optional<QImage>& /*image*/) {
        ++shown;
    };
    double work = 0;
    int step = 0;
    for (auto _ : state) {
        yardstick.copy();
        const double start = processCpuSeconds();
        if (moves) {
            QRectF bounds = rig.desktop.window(front)->bounds;
            bounds.translate((step++ / 40) % 2 == 0 ? 1 : -1, 0);
            rig.desktop.setWindowBounds(front, bounds);
        }
        rig.scheduler.advance(VirtualDisplayManager::kCaptureInterval);
        QCoreApplication::processEvents();
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
    }
    yardstick.report(state, work);
    state.counters["dropped"] = rig.manager->droppedFrameCount() - droppedBefore;
    state.counters["shown"] = benchmark::Counter(shown - shownBefore, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CaptureTick)
    ->ArgNames({"windows", "display", "paints", "moves"})
    ->Args({200, 3, 1, 0})
    ->Args({200, 3, 1, 1})
    ->Args({200, 3, 0, 1})
    ->Args({1000, 3, 1, 0})
    ->Args({1000, 3, 1, 1})
    ->Args({200, 5, 1, 0})
    ->Args({200, 5, 1, 1})
    ->Args({1000, 5, 1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What the checks add to a tick: building the check, placing the masks for it twice, and two
// readings of the window list (when the screenshot is asked for and when it arrives).
void BM_DeliveryCheck(benchmark::State& state)
{
    Rig rig(displayPoints(state), static_cast<int>(state.range(0)), true);
    Yardstick yardstick(rig.frameBytes());
    const QHash<QUuid, QRect> painted = rig.paintedMasks();
    const auto content = platform::sim::shareableContent(rig.desktop, false, false);
    double work = 0;
    bool allowed = true;
    for (auto _ : state) {
        yardstick.copy();
        const double start = processCpuSeconds();
        DeliveryCheck check = rig.deliveryCheck(content);
        for (int reading = 0; reading < 2; ++reading) {
            check.setMasks(rig.manager->masks, painted);
            const auto windows = rig.desktop.copyWindowInfo(platform::kCGWindowListOptionOnScreenOnly,
                                                            platform::kCGNullWindowID);
            allowed = allowed && windows && check.allows(*windows);
        }
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
    }
    if (!allowed) {
        state.SkipWithError("the still desktop did not pass the check");
    }
    yardstick.report(state, work);
}
BENCHMARK(BM_DeliveryCheck)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);

// The simulated screenshot alone, with the filter the tick uses, of a desktop whose front window
// moves a point each time (a still desktop hands its last picture out again).
void BM_SimulatedScreenshot(benchmark::State& state)
{
    Rig rig(displayPoints(state), static_cast<int>(state.range(0)), true);
    Yardstick yardstick(rig.frameBytes());
    const platform::SCContentFilter filter = *rig.screenCapture.lastFilter();
    platform::SCStreamConfiguration configuration;
    configuration.width = rig.preview.width();
    configuration.height = rig.preview.height();
    const quint32 front = rig.frontWindow();
    const int drawnBefore = rig.screenCapture.drawnScreenshotCount();
    double work = 0;
    int step = 0;
    for (auto _ : state) {
        yardstick.copy();
        QRectF bounds = rig.desktop.window(front)->bounds;
        bounds.translate((step++ / 40) % 2 == 0 ? 1 : -1, 0);
        rig.desktop.setWindowBounds(front, bounds);
        const double start = processCpuSeconds();
        rig.screenCapture.captureImage(
            filter, configuration, [](auto image, auto) { benchmark::DoNotOptimize(image); });
        rig.scheduler.runPending();
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
    }
    yardstick.report(state, work);
    state.counters["drawn"] = benchmark::Counter(rig.screenCapture.drawnScreenshotCount() - drawnBefore,
                                                 benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SimulatedScreenshot)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);

// Compose and deliver: painting the strip and the masks over a freshly captured frame and
// handing it to the mirror's image view and to the owner, as the tick does after the screenshot.
void BM_ComposeAndDeliver(benchmark::State& state)
{
    const bool paints = state.range(0) != 0;
    Rig rig(QSizeF(1512, 982), 20, paints);
    Yardstick yardstick(rig.frameBytes());
    const QImage captured = rig.preview.copy();
    const QList<QRect> rects{
        QRect(160, 200, 320, 180), QRect(1080, 400, 320, 180), QRect(1160, 1000, 320, 180)};
    const std::optional<double> strip = paints ? std::optional<double>(48.0) : std::nullopt;
    const QList<QRect> masks = paints ? rects : QList<QRect>();
    ImageView* view = rig.manager->imageView();
    double work = 0;
    for (auto _ : state) {
        QImage fresh = captured.copy(); // a new capture owns its pixels; not counted
        yardstick.copy();
        const double start = processCpuSeconds();
        const QImage picture = VirtualDisplayManager::composeFrame(std::move(fresh), strip, masks);
        view->setImage(picture);
        rig.manager->frameHandler(picture);
        QCoreApplication::processEvents();
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
    }
    yardstick.report(state, work);
}
BENCHMARK(BM_ComposeAndDeliver)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("paints")
    // Each iteration first makes an uncounted fresh frame: a fixed count keeps the run short.
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The preview a view shows: the full frame drawn into a 320 x 208-point rectangle at scale 2.
void BM_PreviewIntoSmallRectangle(benchmark::State& state)
{
    Rig rig(QSizeF(1512, 982), 20, true);
    Yardstick yardstick(rig.frameBytes());
    ImageView view;
    view.setImageScaling(ImageView::ImageScaling::ProportionallyUpOrDown);
    view.resize(320, 208);
    view.setImage(rig.preview);
    QImage target(640, 416, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2.0);
    double work = 0;
    for (auto _ : state) {
        yardstick.copy();
        const double start = processCpuSeconds();
        view.render(&target);
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
    }
    yardstick.report(state, work);
}
BENCHMARK(BM_PreviewIntoSmallRectangle)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
