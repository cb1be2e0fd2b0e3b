// The hand-off of overlay frames from a capture stream's queue to the main thread, under a flood:
// the stream's queue produces 3024 x 1964 frames as fast as it can while the main thread, busy
// for a while with each frame it is given, shows them in a view. Reported per run: frames
// produced, delivered and dropped (coalesced), the most deliveries ever waiting on the main queue
// (target: 1), whether the last frame produced was the last one shown (target: 1), and the
// hand-off cost per frame on the stream's queue (CPU time of that thread), also as a multiple of
// one memcpy of a frame measured in the same loop ("handoff_frame_copies"; frames are never copied,
// so far below 1).

#include "bench/CpuYardstick.h"
#include "capture/FrameStream.h"
#include "capture/SurfaceView.h"
#include "platform/Services.h"
#include "platform/sim/ManualMainQueue.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A frame of a 1512 x 982 point display at scale 2.
constexpr int kFrameWidth = 3024;
constexpr int kFrameHeight = 1964;
constexpr std::size_t kFrameBytes = std::size_t{kFrameWidth} * kFrameHeight * 4;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The main thread's other work for each frame it is given.
void busyFor(std::chrono::microseconds duration)
{
    const auto until = Clock::now() + duration;
    while (Clock::now() < until) {
    }
}

void BM_OverlayFrameFlood(benchmark::State& state)
{
    const auto frameCount = static_cast<std::size_t>(state.range(0));
    const std::chrono::microseconds mainThreadWork(state.range(1));
    bench::Yardstick yardstick(kFrameBytes);

    // A few frames' worth of pixels, shared by many surfaces (as a stream's surface pool is).
    std::vector<QImage> pool;
    for (int i = 0; i < 3; ++i) {
        QImage image(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor::fromHsv(i * 100, 200, 200));
        pool.push_back(image);
    }
    std::vector<platform::CMSampleBuffer> samples;
    std::unordered_map<const platform::IOSurface*, std::size_t> sequence;
    for (std::size_t i = 0; i < frameCount; ++i) {
        auto surface = std::make_shared<const platform::IOSurface>(pool[i % pool.size()]);
        sequence.emplace(surface.get(), i);
        samples.push_back(platform::CMSampleBuffer::frame(surface));
    }

    double produced = 0;
    double delivered = 0;
    double maxPending = 0;
    double newestShown = 1;
    double handoffSeconds = 0;
    for (auto _ : state) {
        yardstick.copy();
        platform::sim::ManualMainQueue mainQueue;
        platform::Services services;
        services.mainQueue = &mainQueue;
        SurfaceView view(QRectF(0, 0, 1512, 982), false);
        std::vector<std::size_t> shown;
        FrameStream stream(
            platform::SCContentFilter::desktopIndependentWindow(platform::SCWindow()),
            platform::SCStreamConfiguration(),
            [&](const platform::IOSurfaceRef& surface) {
                view.setSurface(surface);
                shown.push_back(sequence.at(surface.get()));
                busyFor(mainThreadWork);
            },
            services);

        std::atomic<bool> done = false;
        double producing = 0;
        // The stream's queue produces every frame as fast as it can.
        stream.queue().async([&] {
            const double start = threadCpuSeconds();
            for (const auto& sample : samples) {
                stream.stream(stream.stream(), sample, platform::SCStreamOutputType::Screen);
            }
            producing = threadCpuSeconds() - start;
            done = true;
        });
        while (!done) {
            mainQueue.runPending();
        }
        stream.queue().sync([] {});
        mainQueue.runPending();

        produced += static_cast<double>(frameCount);
        delivered += static_cast<double>(shown.size());
        maxPending = std::max(maxPending, static_cast<double>(mainQueue.highWaterMark()));
        const bool ordered = std::is_sorted(shown.begin(), shown.end());
        newestShown =
            std::min(newestShown, ordered && !shown.empty() && shown.back() == frameCount - 1 ? 1.0 : 0.0);
        handoffSeconds += producing;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["produced"] = produced / runs;
    state.counters["delivered"] = delivered / runs;
    state.counters["dropped"] = (produced - delivered) / runs;
    state.counters["max_pending"] = maxPending;
    state.counters["newest_shown"] = newestShown;
    const double perFrame = handoffSeconds / produced;
    state.counters["handoff_ns"] = perFrame * 1e9;
    state.counters["handoff_frame_copies"] = perFrame / yardstick.secondsPerCopy();
    state.counters["memcpy_ms"] = yardstick.secondsPerCopy() * 1e3;
}
// Arguments: frames per run, microseconds of main-thread work per delivered frame.
BENCHMARK(BM_OverlayFrameFlood)
    ->Args({20000, 200})
    ->Args({20000, 20})
    ->ArgNames({"frames", "main_us"})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace
