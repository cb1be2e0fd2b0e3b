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
        m_lastLook.reset();
        // Asleep until what it shows may have changed.
        m_changes = m_shared->desktop.addChangeObserver([this] { desktopChanged(); });
        wake();
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
    m_changes.cancel();
    complete(std::move(completion), error);
}

void SimCaptureStream::updateConfiguration(const SCStreamConfiguration& configuration, Completion completion)
{
    m_configuration = configuration;
    ++m_configurationUpdates;
    if (m_running) {
        // Another size or rate: the next frame is looked at anew, at the new rate.
        m_frameTimer.cancel();
        wake();
    }
    complete(std::move(completion), std::nullopt);
}

void SimCaptureStream::updateContentFilter(const SCContentFilter& filter, Completion completion)
{
    m_filter = filter;
    m_damageScope = SimCompositor::damageScope(m_filter);
    m_lastFrame.reset();
    ++m_filterUpdates;
    if (m_running) {
        wake();
    }
    complete(std::move(completion), std::nullopt);
}

QSize SimCaptureStream::pixelSize() const
{
    const QRectF region = m_shared->compositor.region(m_filter);
    return {pixels(m_configuration.width, region.width()), pixels(m_configuration.height, region.height())};
}

bool SimCaptureStream::unchangedSinceLastFrame(QSize size) const
{
    if (!m_lastFrame || m_lastFrame->size != size) {
        return false;
    }
    // Changes the desktop can no longer tell apart count as changes.
    const auto damaged = m_shared->desktop.damageSince(m_lastFrame->serial, m_damageScope);
    return damaged
           && SimCompositor::pixelsOf(*damaged, m_shared->compositor.region(m_filter), size).isEmpty();
}

void SimCaptureStream::desktopChanged()
{
    // A look already due, or under way, sees the change; one the picture cannot show wakes
    // nothing.
    if (m_looking || m_frameTimer.isActive() || unchangedSinceLastFrame(pixelSize())) {
        return;
    }
    wake();
}

void SimCaptureStream::wake()
{
    if (m_frameTimer.isActive()) {
        return;
    }
    // No sooner than one frame interval after the last look.
    const double now = m_shared->scheduler.now();
    const double wait =
        m_lastLook ? std::max(0.0, *m_lastLook + SimCaptureStreams::frameInterval(m_configuration) - now)
                   : 0.0;
    m_frameTimer = m_shared->scheduler.after(wait, [this] { look(); });
}

void SimCaptureStream::look()
{
    m_looking = true;
    m_lastLook = m_shared->scheduler.now();
    sendFrame();
    m_looking = false;
    // What changed while it looked (a repaint it passed on, say) is looked at next, once it can
    // show; a stream that has sent nothing yet waits for the next change.
    if (m_running && m_lastFrame) {
        desktopChanged();
    }
}

void SimCaptureStream::sendFrame()
{
    SimDesktop& desktop = m_shared->desktop;
    if (!m_running || m_queue == nullptr || !desktop.screenRecordingPermission()
        || !sourceExists(desktop, m_filter)) {
        // Once it can capture again, its first frame is a whole one.
        m_lastFrame.reset();
        return;
    }
    const QSize size = pixelSize();
    // Nothing it shows changed since the last frame (a window it leaves out may have): no frame.
    desktop.passOnRepaints();
    const quint64 serial = desktop.damageSerial();
    bool unchanged = unchangedSinceLastFrame(size);
    std::optional<QByteArray> key;
    if (!unchanged) {
        key = m_shared->compositor.contentKey(m_filter, size);
        unchanged = key && m_lastFrame && key == m_lastFrame->content;
    }
    if (unchanged) {
        m_lastFrame->serial = serial;
        return;
    }
    QImage picture = m_shared->compositor.render(m_filter, size);
    if (picture.isNull()) {
        return;
    }
    const CMSampleBuffer sample =
        CMSampleBuffer::frame(std::make_shared<const IOSurface>(std::move(picture)));
    m_lastFrame = LastFrame{serial, size, std::move(key)};
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
