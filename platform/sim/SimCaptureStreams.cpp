#include "platform/sim/SimCaptureStreams.h"

#include "platform/DispatchQueue.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"

#include <QVariantMap>

#include <cmath>
#include <deque>
#include <mutex>

namespace platform::sim {

struct SimCaptureStreams::Shared
{
    Shared(SimDesktop& d, Scheduler& s)
        : desktop(d)
        , scheduler(s)
        , compositor(d)
    {}

    SimDesktop& desktop;
    Scheduler& scheduler;
    SimCompositor compositor;
    std::deque<CaptureError> startErrors;
    int streams = 0;
    int running = 0;
    int framesSent = 0;
};

// What the blocks on the output's queue share with the stream. The output is called with the
// mutex held, and stopping takes the mutex, so once a stop has returned no call is running or
// will start.
struct SimCaptureStream::Delivery
{
    std::mutex mutex;
    bool stopped = true;
    SCStreamOutput* output = nullptr;
    SCStreamOutputType type = SCStreamOutputType::Screen;
    SCStream* stream = nullptr;
};

namespace {

int pixels(int configured, double points)
{
    if (configured > 0) {
        return configured;
    }
    return std::isfinite(points) ? static_cast<int>(std::clamp(points, 1.0, 65536.0)) : 1;
}

bool sourceExists(const SimDesktop& desktop, const SCContentFilter& filter)
{
    if (filter.kind() == SCContentFilter::Kind::DesktopIndependentWindow) {
        return !filter.windows().isEmpty() && desktop.window(filter.windows().front().windowID).has_value();
    }
    return filter.display() && desktop.display(filter.display()->displayID).has_value();
}

} // namespace

SimCaptureStreams::SimCaptureStreams(SimDesktop& desktop, Scheduler& scheduler)
    : m_shared(std::make_shared<Shared>(desktop, scheduler))
{}

SimCaptureStreams::~SimCaptureStreams() = default;

std::unique_ptr<SCStream> SimCaptureStreams::makeStream(const SCContentFilter& filter,
                                                        const SCStreamConfiguration& configuration)
{
    return std::make_unique<SimCaptureStream>(m_shared, filter, configuration);
}

void SimCaptureStreams::failNextStart(const CaptureError& error)
{
    m_shared->startErrors.push_back(error);
}

int SimCaptureStreams::streamCount() const
{
    return m_shared->streams;
}

int SimCaptureStreams::runningStreamCount() const
{
    return m_shared->running;
}

int SimCaptureStreams::framesSent() const
{
    return m_shared->framesSent;
}

double SimCaptureStreams::frameInterval(const SCStreamConfiguration& configuration)
{
    const CMTime& interval = configuration.minimumFrameInterval;
    if (interval.value <= 0 || interval.timescale <= 0) {
        return 1.0 / 60.0;
    }
    return static_cast<double>(interval.value) / interval.timescale;
}

SimCaptureStream::SimCaptureStream(std::shared_ptr<SimCaptureStreams::Shared> shared,
                                   SCContentFilter filter,
                                   const SCStreamConfiguration& configuration)
    : m_shared(std::move(shared))
    , m_filter(std::move(filter))
    , m_damageScope(SimCompositor::damageScope(m_filter))
    , m_configuration(configuration)
    , m_delivery(std::make_shared<Delivery>())
{
    m_delivery->stream = this;
    ++m_shared->streams;
}

SimCaptureStream::~SimCaptureStream()
{
    {
        const std::lock_guard lock(m_delivery->mutex);
        m_delivery->stopped = true;
        m_delivery->output = nullptr;
    }
    if (m_running) {
        --m_shared->running;
    }
    --m_shared->streams;
}

std::optional<CaptureError> SimCaptureStream::addStreamOutput(SCStreamOutput* output,
                                                              SCStreamOutputType type,
                                                              DispatchQueue* sampleHandlerQueue)
{
    if (output == nullptr || sampleHandlerQueue == nullptr) {
        return CaptureError{-3802, QStringLiteral("The stream output or its queue is missing")};
    }
    const std::lock_guard lock(m_delivery->mutex);
    if (m_delivery->output != nullptr) {
        return CaptureError{-3802, QStringLiteral("The stream already has an output")};
    }
    m_delivery->output = output;
    m_delivery->type = type;
    m_queue = sampleHandlerQueue;
    return std::nullopt;
}

void SimCaptureStream::startCapture(Completion completion)
{
    std::optional<CaptureError> error;
    if (!m_shared->startErrors.empty()) {
        error = m_shared->startErrors.front();
        m_shared->startErrors.pop_front();
    } else if (!m_shared->desktop.screenRecordingPermission()) {
        error = SimScreenCapture::declinedError();
    } else if (m_running) {
        error = CaptureError{-3805, QStringLiteral("The stream is already capturing")};
    }
    if (!error) {
        m_running = true;
        ++m_shared->running;
        {
            const std::lock_guard lock(m_delivery->mutex);
            m_delivery->stopped = false;
        }
        m_lastFrame.reset();
        armTimer();
        m_firstFrame = m_shared->scheduler.after(0, [this] { sendFrame(); });
    }
    complete(std::move(completion), error);
}

void SimCaptureStream::stopCapture(Completion completion)
{
    {
        const std::lock_guard lock(m_delivery->mutex);
        m_delivery->stopped = true;
    }
    std::optional<CaptureError> error;
    if (m_running) {
        m_running = false;
        --m_shared->running;
    } else {
        error = CaptureError{-3808, QStringLiteral("The stream is not capturing")};
    }
    m_frameTimer.cancel();
    m_firstFrame.cancel();
    complete(std::move(completion), error);
}

void SimCaptureStream::updateConfiguration(const SCStreamConfiguration& configuration, Completion completion)
{
    const bool newInterval =
        SimCaptureStreams::frameInterval(configuration) != SimCaptureStreams::frameInterval(m_configuration);
    m_configuration = configuration;
    ++m_configurationUpdates;
    if (m_running && newInterval) {
        armTimer();
    }
    complete(std::move(completion), std::nullopt);
}

void SimCaptureStream::updateContentFilter(const SCContentFilter& filter, Completion completion)
{
    m_filter = filter;
    m_damageScope = SimCompositor::damageScope(m_filter);
    m_lastFrame.reset();
    ++m_filterUpdates;
    complete(std::move(completion), std::nullopt);
}

void SimCaptureStream::armTimer()
{
    m_frameTimer =
        m_shared->scheduler.every(SimCaptureStreams::frameInterval(m_configuration), [this] { sendFrame(); });
}

void SimCaptureStream::sendFrame()
{
    SimDesktop& desktop = m_shared->desktop;
    if (!m_running || m_queue == nullptr || !desktop.screenRecordingPermission()
        || !sourceExists(desktop, m_filter)) {
        return;
    }
    const QRectF region = m_filter.contentRect();
    const QSize size(pixels(m_configuration.width, region.width()),
                     pixels(m_configuration.height, region.height()));
    CMSampleBuffer sample;
    // Nothing it shows changed since the last frame (a window it leaves out may have): idle.
    desktop.passOnRepaints();
    const quint64 serial = desktop.damageSerial();
    bool unchanged = false;
    if (m_lastFrame && m_lastFrame->size == size) {
        const auto damaged = desktop.damageSince(m_lastFrame->serial, m_damageScope);
        unchanged = damaged && SimCompositor::pixelsOf(*damaged, region, size).isEmpty();
    }
    std::optional<QByteArray> key;
    if (!unchanged) {
        key = m_shared->compositor.contentKey(m_filter, size);
        unchanged = key && m_lastFrame && key == m_lastFrame->content;
    }
    if (unchanged) {
        // Nothing changed since the last frame: an idle frame without pixels, as the system sends.
        sample.attachments =
            QVariantList{QVariantMap{{kSCStreamFrameInfoStatus, static_cast<qint64>(SCFrameStatus::Idle)}}};
    } else {
        QImage picture = m_shared->compositor.render(m_filter, size);
        if (picture.isNull()) {
            return;
        }
        sample = CMSampleBuffer::frame(std::make_shared<const IOSurface>(std::move(picture)));
        m_lastFrame = LastFrame{serial, size, std::move(key)};
    }
    if (m_lastFrame) {
        m_lastFrame->serial = serial;
    }
    ++m_framesSent;
    ++m_shared->framesSent;
    m_queue->async([delivery = m_delivery, sample] {
        const std::lock_guard lock(delivery->mutex);
        if (delivery->stopped || delivery->output == nullptr) {
            return;
        }
        delivery->output->stream(*delivery->stream, sample, delivery->type);
    });
}

void SimCaptureStream::complete(Completion completion, std::optional<CaptureError> error)
{
    if (!completion) {
        return;
    }
    m_shared->scheduler.postAfter(
        0, nullptr, [completion = std::move(completion), error = std::move(error)] { completion(error); });
}

} // namespace platform::sim
