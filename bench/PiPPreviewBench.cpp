// A new frame reaching the picture-in-picture panel: the state object publishes it and the event
// loop runs, which repaints the panel's preview (with the pills over it) into its window. Frames
// of a Retina display (3024 x 1964 pixels) and a 5K one (5120 x 2880), out of the caches when
// they arrive. Every time is the CPU time of the whole process, reported as a multiple of one
// memcpy of a frame of that size ("frame_copies"), measured in the same loop. Target at
// 3024 x 1964: at most 0.2 frame copies per frame. The panel is a window of the simulated window
// server, which draws it only when a picture is wanted; here it is drawn as a backing store would
// be, the changed part only, after each frame ("paints_per_frame" shows the preview was painted),
// on a display of one pixel a point and on a Retina one of two (the panel's usual place).

#include "bench/CpuYardstick.h"
#include "bench/PaintCounter.h"
#include "capture/ShareMaskEditor.h"
#include "pip/PiPController.h"
#include "pip/PiPView.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/VirtualScheduler.h"
#include "shell/kit/Fonts.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using bench::processCpuSeconds;
using bench::Yardstick;

// A frame of a desktop: wallpaper, a few windows, a mask; `shade` tells two frames apart.
QImage frame(QSize pixels, int shade)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x1f, 0x3b, 0x5c + shade));
    QPainter painter(&image);
    for (int i = 0; i < 6; ++i) {
        painter.fillRect(
            QRect(pixels.width() * i / 8, pixels.height() * i / 9, pixels.width() / 3, pixels.height() / 3),
            QColor::fromHsv(i * 50, 120, 220));
    }
    return image;
}

// The state object signed in over a simulated desktop, and a shown panel with a few apps; when
// live, a detected share puts the pulsing "LIVE" pill over the preview.
struct Rig
{
    Rig(bool live, int pixelsPerPoint)
        : density(pixelsPerPoint)
    {
        platform::Scheduler::setCurrent(&scheduler);
        desktop.addDisplay();
        for (int app = 0; app < 9; ++app) {
            desktop.launchApp(QStringLiteral("com.example.app%1").arg(app),
                              QStringLiteral("App %1").arg(app));
        }
        platform::Services services;
        services.defaults = &defaults;
        services.scheduler = &scheduler;
        services.workspace = &desktop;
        services.screens = &desktop;
        services.windowServer = &desktop;
        services.appWindows = &desktop;
        services.events = &desktop;
        services.application = &desktop;
        services.hotKeys = &hotKeySystem;
        platform::Services::setCurrent(services);
        kit::registerAppFonts();
        manager = std::make_unique<WindowManager>(services, &hotKeys);
        maskEditor = std::make_unique<ShareMaskEditor>(services, manager.get());
        manager->start();
        manager->setIsAuthenticated(true);
        if (live) {
            manager->setDetectedShare(ScreenShareDetector::Source{"us.zoom.xos", "zoom.us"});
        }
        pip = std::make_unique<PiPController>(services, *manager, *maskEditor);
        pip->show();
        scheduler.advance(1);
        QCoreApplication::processEvents();
        preview = view().findChild<QWidget*>(QStringLiteral("pipPreview"));
        preview->installEventFilter(&counter);
        QWidget* window = view().window();
        store = QImage(window->size() * density, QImage::Format_ARGB32_Premultiplied);
        store.setDevicePixelRatio(density);
        store.fill(Qt::transparent);
    }

    // What the window server does with a repaint the panel asks for: the changed part of the
    // window drawn again, at the density of the display it is on, into the window's picture it
    // keeps.
    void present()
    {
        const quint64 version = desktop.windowContentVersion(pip->panel()->windowNumber());
        if (version == shownVersion) {
            return;
        }
        shownVersion = version;
        QWidget* window = view().window();
        const QRect changed(preview->mapTo(window, QPoint()), preview->size());
        QPainter painter(&store);
        window->render(&painter, changed.topLeft(), QRegion(changed), QWidget::DrawChildren);
    }
    ~Rig()
    {
        pip.reset();
        maskEditor.reset();
        manager.reset();
        platform::Services::setCurrent(platform::Services());
        platform::Scheduler::setCurrent(nullptr);
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    PiPView& view() const { return *qobject_cast<PiPView*>(pip->panel()->contentView()); }

    platform::sim::SimDesktop desktop;
    platform::sim::VirtualScheduler scheduler;
    platform::InMemoryUserDefaults defaults;
    platform::sim::SimHotKeySystem hotKeySystem;
    GlobalHotKeyManager hotKeys{hotKeySystem, scheduler};
    std::unique_ptr<WindowManager> manager;
    std::unique_ptr<ShareMaskEditor> maskEditor;
    std::unique_ptr<PiPController> pip;
    bench::PaintCounter counter;
    QWidget* preview = nullptr;
    QImage store;
    quint64 shownVersion = 0;
    int density = 2;
};

void BM_PreviewUpdate(benchmark::State& state)
{
    const QSize pixels = state.range(0) == 5 ? QSize(5120, 2880) : QSize(3024, 1964);
    Rig rig(state.range(1) != 0, static_cast<int>(state.range(2)));
    // Two frames in turn, each out of the caches by the time it comes back.
    const QImage frames[] = {frame(pixels, 0), frame(pixels, 20)};
    Yardstick yardstick(static_cast<std::size_t>(frames[0].sizeInBytes()));
    std::size_t next = 0;
    double work = 0;
    for (auto _ : state) {
        yardstick.copy();
        const double start = processCpuSeconds();
        rig.manager->setVirtualDisplayPreviewImage(frames[next]);
        QCoreApplication::processEvents();
        rig.present();
        const double elapsed = processCpuSeconds() - start;
        state.SetIterationTime(elapsed);
        work += elapsed;
        next = 1 - next;
    }
    yardstick.report(state, work);
    state.counters["paints_per_frame"] = rig.counter.paints / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PreviewUpdate)
    ->ArgNames({"display", "live", "density"})
    ->ArgsProduct({{3, 5}, {0, 1}, {1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
