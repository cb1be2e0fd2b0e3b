#pragma once

#include "platform/CaptureStream.h"
#include "platform/Scheduler.h"
#include "platform/sim/SimDesktop.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace platform::sim {

// Capture streams of a simulated desktop. A running stream sends its output, on the output's
// queue, a frame of its filter's content composed at the configuration's pixel size (on the main
// thread, because the compositor draws widgets): one when it starts, and after that one whenever
// that content changed, no sooner than one minimum frame interval (1/60 s when it sets none) after
// the frame before. While nothing it shows changes it sleeps and sends nothing; a new filter or
// configuration is looked at anew. A stream whose source is gone, or that lacks the Screen
// Recording permission, sends nothing. Requests complete on a later turn of the main thread.
class SimCaptureStreams final : public CaptureStreamService
{
public:
    SimCaptureStreams(SimDesktop& desktop, Scheduler& scheduler);
    ~SimCaptureStreams() override;
    SimCaptureStreams(const SimCaptureStreams&) = delete;
    SimCaptureStreams& operator=(const SimCaptureStreams&) = delete;

    std::unique_ptr<SCStream> makeStream(const SCContentFilter& filter,
                                         const SCStreamConfiguration& configuration) override;

    // The next start request fails with this error (errors queue up in order).
    void failNextStart(const CaptureError& error);
    // Streams that exist, and those of them capturing.
    int streamCount() const;
    int runningStreamCount() const;
    // Frames handed to outputs, over all streams.
    int framesSent() const;

    // Seconds between frames for a configuration.
    static double frameInterval(const SCStreamConfiguration& configuration);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

// One simulated stream, as SimCaptureStreams makes it; for inspection in tests.
class SimCaptureStream final : public SCStream
{
public:
    SimCaptureStream(std::shared_ptr<SimCaptureStreams::Shared> shared,
                     SCContentFilter filter,
                     const SCStreamConfiguration& configuration);
    ~SimCaptureStream() override;
    SimCaptureStream(const SimCaptureStream&) = delete;
    SimCaptureStream& operator=(const SimCaptureStream&) = delete;

    std::optional<CaptureError> addStreamOutput(SCStreamOutput* output,
                                                SCStreamOutputType type,
                                                DispatchQueue* sampleHandlerQueue) override;
    void startCapture(Completion completion) override;
    void stopCapture(Completion completion) override;
    void updateConfiguration(const SCStreamConfiguration& configuration, Completion completion) override;
    void updateContentFilter(const SCContentFilter& filter, Completion completion) override;

    const SCContentFilter& filter() const { return m_filter; }
    const SCStreamConfiguration& configuration() const { return m_configuration; }
    bool isRunning() const { return m_running; }
    int configurationUpdateCount() const { return m_configurationUpdates; }
    int filterUpdateCount() const { return m_filterUpdates; }
    int framesSent() const { return m_framesSent; }

private:
    struct Delivery;

    QSize pixelSize() const;
    bool unchangedSinceLastFrame(QSize size) const;
    void desktopChanged();
    void wake();
    void look();
    void sendFrame();
    void complete(Completion completion, std::optional<CaptureError> error);

    std::shared_ptr<SimCaptureStreams::Shared> m_shared;
    SCContentFilter m_filter;
    SimDesktop::DamageScope m_damageScope;
    SCStreamConfiguration m_configuration;
    std::shared_ptr<Delivery> m_delivery;
    DispatchQueue* m_queue = nullptr;
    bool m_running = false;
    int m_configurationUpdates = 0;
    int m_filterUpdates = 0;
    int m_framesSent = 0;
    TimerHandle m_frameTimer; // the next look at the content, when one is due
    Cancellable m_changes;    // while capturing
    std::optional<double> m_lastLook;
    bool m_looking = false;
    // The last complete frame: the desktop's changes it showed and what it showed, while that
    // can be told.
    struct LastFrame
    {
        quint64 serial = 0;
        QSize size;
        std::optional<QByteArray> content;
    };
    std::optional<LastFrame> m_lastFrame;
};

} // namespace platform::sim
