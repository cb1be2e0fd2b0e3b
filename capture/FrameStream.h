#pragma once

#include "platform/CaptureStream.h"
#include "platform/DispatchQueue.h"
#include "platform/Services.h"

#include <functional>
#include <memory>
#include <mutex>

// One capture stream of a pinned-app overlay. Frames arrive on the stream's own serial queue;
// only the newest complete one waits in a single slot guarded by a lock, and at most one
// delivery to the main thread is queued at a time, so frames coalesce while the main thread is
// busy. The owner starts, stops and reconfigures the capture through stream(); destroying the
// FrameStream ends it, and no frame reaches onFrame afterwards. Main thread, except the output
// callback.
class FrameStream final : public platform::SCStreamOutput
{
public:
    using FrameHandler = std::function<void(const platform::IOSurfaceRef& surface)>;

    // The stream is made but not started. `onFrame` runs on the main thread.
    FrameStream(const platform::SCContentFilter& filter,
                const platform::SCStreamConfiguration& configuration,
                FrameHandler onFrame,
                const platform::Services& services = platform::Services::current());
    ~FrameStream() override;
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    platform::SCStream& stream() const { return *m_stream; }
    // The configuration the stream was made with; changed in place and sent again for resizing
    // and throttling.
    platform::SCStreamConfiguration& configuration() { return m_configuration; }
    const platform::SCStreamConfiguration& configuration() const { return m_configuration; }
    // The stream's own serial queue, where its frames arrive.
    platform::DispatchQueue& queue() const { return *m_queue; }
    // The minimum frame interval at creation, restored when the stream stops being throttled.
    const platform::CMTime& fullFrameInterval() const { return m_fullFrameInterval; }
    // Running at the slowed rate of one frame per second; written by the overlay controller.
    bool throttled() const { return m_throttled; }
    void setThrottled(bool throttled) { m_throttled = throttled; }

    // The stream's output callback, on queue().
    void stream(platform::SCStream& stream,
                const platform::CMSampleBuffer& sampleBuffer,
                platform::SCStreamOutputType type) override;
    // Main thread: hands the waiting frame, if any, to onFrame.
    void deliverPending();
    // Width and height in points at a backing scale; sends the configuration only when the pixel
    // size changed.
    void resize(double width, double height, double scale);

    // A capture length in pixels: points times scale, truncated, at least 1.
    static int pixels(double points, double scale);

    static const QString& queueLabel(); // "veilmox.overlay.frames"
    static const QString& queueThreadName();

private:
    struct Delivery;

    platform::Services m_services;
    std::unique_ptr<platform::SCStream> m_stream;
    platform::SCStreamConfiguration m_configuration;
    std::unique_ptr<platform::DispatchQueue> m_queue;
    FrameHandler m_onFrame;
    std::mutex m_lock; // guards m_pendingSurface only
    platform::IOSurfaceRef m_pendingSurface;
    platform::CMTime m_fullFrameInterval;
    bool m_throttled = false;
    // What a queued main-thread delivery finds; gone once this stream is.
    std::shared_ptr<Delivery> m_delivery;
};
