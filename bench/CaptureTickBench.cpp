// The virtual display's capture tick on a 3024 x 1964-pixel display (1512 x 982 points at scale 2)
// with 20 windows, 3 of them left out, 3 masks and the focus strip. Every time is reported as a
// multiple of one memcpy of a frame of that size, measured in the same run ("frame_copies").
// Targets: the compose-and-deliver step at most 3 frame copies, the whole tick at most 6; with
// nothing to paint the captured image is passed through (about 0).

#include "bench/FrameCopy.h"
#include "capture/ImageView.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/Bundle.h"
#include "platform/Services.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"


#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

using bench::Clock;
using bench::frameCopySeconds;
using bench::kFrameBytes;
using bench::kFrameHeight;
using bench::kFrameWidth;
using bench::seconds;

// A desktop with 20 windows over one Retina display and a running virtual display mirroring it.
struct Rig
{
    explicit Rig(bool paints)
        : bundle(QVariantMap{{platform::kBundleIdentifierKey, QStringLiteral("getveilmox.Veilmox")}})
        , virtualDisplays(desktop, scheduler)
        , screenCapture(desktop, scheduler)
    {
        platform::Scheduler::setCurrent(&scheduler);
        platform::sim::SimDesktop::DisplaySpec display;
        display.frame = QRectF(0, 0, 1512, 982);
        display.backingScale = 2.0;
        desktop.addDisplay(display);

        std::vector<quint32> windows;
        for (int app = 0; app < 10; ++app) {
            const auto pid =
                desktop.launchApp(QStringLiteral("com.example.app%1").arg(app), QStringLiteral("App"));
            for (int w = 0; w < 2; ++w) {
                platform::sim::SimDesktop::WindowSpec setup;
                setup.owner = pid;
                setup.title = QStringLiteral("Window %1.%2").arg(app).arg(w);
                const int n = app * 2 + w;
                const int column = n % 5;
                const int row = n / 5;
                setup.bounds = QRectF(40.0 + column * 230.0, 60.0 + row * 200.0, 420, 300);
                setup.color = QColor::fromHsv((n * 37) % 360, 160, 200);
                windows.push_back(desktop.addWindow(setup));
            }
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
        // Three windows left out: the two of a hidden app and one hidden window.
        manager->excludedBundleIDs = {QStringLiteral("com.example.app3")};
        manager->excludedWindowIDs = {windows[12]};
        manager->focusStageEnabled = paints;
        if (paints) {
            for (std::size_t m = 0; m < 3; ++m) {
                manager->masks.append(ShareMask{
                    QUuid::createUuid(), windows[m * 5], QStringLiteral("x"), QRectF(20, 40, 160, 90)});
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

    platform::sim::SimDesktop desktop;
    platform::sim::VirtualScheduler scheduler;
    platform::Bundle bundle;
    platform::sim::SimVirtualDisplays virtualDisplays;
    platform::sim::SimScreenCapture screenCapture;
    std::unique_ptr<VirtualDisplayManager> manager;
    QImage preview;
};

void report(benchmark::State& state, double total, double reference)
{
    const double perIteration = total / static_cast<double>(state.iterations());
    state.counters["frame_copies"] = perIteration / reference;
    state.counters["memcpy_ms"] = reference * 1e3;
}

// The whole tick: shareable content, the simulated screenshot, masks, strip and delivery.
void BM_CaptureTick(benchmark::State& state)
{
    Rig rig(state.range(0) != 0);
    const double reference = frameCopySeconds();
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        rig.scheduler.advance(VirtualDisplayManager::kCaptureInterval);
        const double elapsed = seconds(Clock::now() - start);
        state.SetIterationTime(elapsed);
        total += elapsed;
    }
    report(state, total, reference);
}
BENCHMARK(BM_CaptureTick)->Arg(1)->Arg(0)->ArgName("paints")->UseManualTime()->Unit(benchmark::kMillisecond);

// The simulated screenshot alone, with the filter the tick uses.
void BM_SimulatedScreenshot(benchmark::State& state)
{
    Rig rig(true);
    const double reference = frameCopySeconds();
    const platform::SCContentFilter filter = *rig.screenCapture.lastFilter();
    platform::SCStreamConfiguration configuration;
    configuration.width = kFrameWidth;
    configuration.height = kFrameHeight;
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        rig.screenCapture.captureImage(
            filter, configuration, [](auto image, auto) { benchmark::DoNotOptimize(image); });
        rig.scheduler.runPending();
        const double elapsed = seconds(Clock::now() - start);
        state.SetIterationTime(elapsed);
        total += elapsed;
    }
    report(state, total, reference);
}
BENCHMARK(BM_SimulatedScreenshot)->UseManualTime()->Unit(benchmark::kMillisecond);

// Compose and deliver: painting the strip and the masks over a freshly captured frame and
// handing it to the mirror's image view and to the owner, as the tick does after the screenshot.
void BM_ComposeAndDeliver(benchmark::State& state)
{
    const bool paints = state.range(0) != 0;
    Rig rig(paints);
    const double reference = frameCopySeconds();
    const QImage captured = rig.preview.copy();
    const QList<QRect> rects{
        QRect(160, 200, 320, 180), QRect(1080, 400, 320, 180), QRect(1160, 1000, 320, 180)};
    const std::optional<double> strip = paints ? std::optional<double>(48.0) : std::nullopt;
    const QList<QRect> masks = paints ? rects : QList<QRect>();
    ImageView* view = rig.manager->imageView();
    double total = 0;
    for (auto _ : state) {
        QImage fresh = captured.copy(); // a new capture owns its pixels; not timed
        const auto start = Clock::now();
        const QImage picture = VirtualDisplayManager::composeFrame(std::move(fresh), strip, masks);
        view->setImage(picture);
        rig.manager->frameHandler(picture);
        const double elapsed = seconds(Clock::now() - start);
        state.SetIterationTime(elapsed);
        total += elapsed;
    }
    report(state, total, reference);
}
BENCHMARK(BM_ComposeAndDeliver)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("paints")
    // Each iteration first makes an untimed fresh frame: a fixed count keeps the run short.
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The preview a view shows: the full frame drawn into a 320 x 208-point rectangle at scale 2.
void BM_PreviewIntoSmallRectangle(benchmark::State& state)
{
    Rig rig(true);
    const double reference = frameCopySeconds();
    ImageView view;
    view.setImageScaling(ImageView::ImageScaling::ProportionallyUpOrDown);
    view.resize(320, 208);
    view.setImage(rig.preview);
    QImage target(640, 416, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2.0);
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        view.render(&target);
        const double elapsed = seconds(Clock::now() - start);
        state.SetIterationTime(elapsed);
        total += elapsed;
    }
    report(state, total, reference);
}
BENCHMARK(BM_PreviewIntoSmallRectangle)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
