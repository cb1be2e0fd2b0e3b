// Showing a new frame of the virtual display in the popover's preview card: the state object
// publishes a 3024 x 1964 frame (a 1512 x 982-point display at scale 2) and the event loop
// repaints the 326 x 150-point card on a Retina-scaled popover (device pixel ratio 2), with the
// rest of the main page around it. Timed by the CPU of every thread of the process (getrusage),
// against a memcpy of a frame of that size measured interleaved in the same loop ("frame_copies").
// Target: at most 0.2 frame copies per frame shown, one repaint of the picture per frame, and no
// frame held besides the one the state object publishes ("extra_frames" 0). QT_SCALE_FACTOR=1 in
// the environment runs it at device pixel ratio 1 instead.

#include "bench/CpuYardstick.h"
#include "bench/PaintCounter.h"
#include "capture/ShareMaskEditor.h"
#include "pip/PiPController.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "platform/sim/VirtualScheduler.h"
#include "popover/MainPageView.h"
#include "popover/PopoverNavigation.h"
#include "popover/PreviewCard.h"
#include "state/WindowManager.h"

#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A full frame of a 1512 x 982 point display at scale 2.
constexpr int kFrameWidth = 3024;
constexpr int kFrameHeight = 1964;
constexpr std::size_t kFrameBytes = std::size_t{kFrameWidth} * kFrameHeight * 4;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The popover is drawn at twice its size in points, as on a Retina display.
const bool kRetina = [] {
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        qputenv("QT_SCALE_FACTOR", "2");
    }
    return true;
}();

QImage desktopFrame(const QColor& wallpaper, int shift)
{
    QImage frame(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
    frame.fill(wallpaper);
    QPainter painter(&frame);
    for (int w = 0; w < 12; ++w) {
        painter.fillRect(QRect(80 + w * 220 + shift, 120 + (w % 4) * 400, 900, 700),
                         QColor::fromHsv((w * 47) % 360, 140, 220));
    }
    return frame;
}

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
        manager->setHasScreenRecordingPermission(true);
        manager->setIsVirtualDisplayRunning(true);
        maskEditor = std::make_unique<ShareMaskEditor>(services, manager.get());
        pip = std::make_unique<PiPController>(services, *manager, *maskEditor);
        window.resize(350, 626);
        auto* column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        page = new MainPageView(*manager, *pip, navigation);
        column->addWidget(page);
        frames = {desktopFrame(QColor(0x1f, 0x3b, 0x5c), 0), desktopFrame(QColor(0x25, 0x40, 0x60), 40)};
        manager->setVirtualDisplayPreviewImage(frames[0]);
        window.show();
        runEventLoop();
        // The frame's own view: a new frame repaints it and nothing of the card around it.
        page->previewCard()
            ->findChild<QWidget*>(QStringLiteral("previewPicture"))
            ->installEventFilter(&counter);
    }

    ~Rig()
    {
        window.hide();
        delete page;
        pip.reset();
        manager.reset();
        platform::Scheduler::setCurrent(nullptr);
        platform::Services::setCurrent(platform::Services());
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    static void runEventLoop()
    {
        for (int pass = 0; pass < 4; ++pass) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        QApplication::processEvents();
    }

    platform::InMemoryUserDefaults defaults;
    platform::sim::VirtualScheduler scheduler;
    platform::Services services;
    std::unique_ptr<WindowManager> manager;
    std::unique_ptr<ShareMaskEditor> maskEditor;
    std::unique_ptr<PiPController> pip;
    PopoverNavigation navigation;
    QWidget window;
    MainPageView* page = nullptr;
    std::vector<QImage> frames;
    bench::PaintCounter counter;
};

void BM_ShowPreviewFrame(benchmark::State& state)
{
    Rig rig;
    bench::Yardstick yardstick(kFrameBytes);
    double showCPU = 0;
    std::size_t turn = 0;
    for (auto _ : state) {
        const QImage& frame = rig.frames[++turn % rig.frames.size()];
        const auto wallStart = Clock::now();
        const double start = bench::processCpuSeconds();
        rig.manager->setVirtualDisplayPreviewImage(frame);
        Rig::runEventLoop();
        showCPU += bench::processCpuSeconds() - start;
        state.SetIterationTime(seconds(Clock::now() - wallStart));

        state.PauseTiming();
        yardstick.copy();
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    const PreviewCard& card = *rig.page->previewCard();
    const bool shared =
        card.image() && card.image()->constBits() == rig.manager->virtualDisplayPreviewImage()->constBits();
    yardstick.report(state, showCPU);
    state.counters["show_cpu_ms"] = showCPU / n * 1e3;
    state.counters["paints_per_frame"] = rig.counter.paints / n;
    state.counters["extra_frames"] = shared ? 0 : 1;
    state.counters["device_pixel_ratio"] = rig.window.devicePixelRatioF();
}
BENCHMARK(BM_ShowPreviewFrame)->Iterations(400)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
