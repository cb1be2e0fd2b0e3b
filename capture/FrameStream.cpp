#include "capture/FrameStream.h"

#include "platform/Values.h"

#include <QVariantMap>

#include <cmath>

namespace {

// Stands in when the system offers no capture streams: it never captures.
class UnavailableStream final : public platform::SCStream
{
public:
    std::optional<platform::CaptureError>
    addStreamOutput(platform::SCStreamOutput* /*output*/,
                    platform::SCStreamOutputType /*type*/,
                    platform::DispatchQueue* /*sampleHandlerQueue*/) override
    {
        return platform::CaptureError{0, QStringLiteral("Capture streams are not available")};
    }
    void startCapture(Completion /*completion*/) override {}
    void stopCapture(Completion /*completion*/) override {}
    void updateConfiguration(const platform::SCStreamConfiguration& /*configuration*/,
                             Completion /*completion*/) override
    {}
    void updateContentFilter(const platform::SCContentFilter& /*filter*/, Completion /*completion*/) override
    {}
};

// The status of a sample's first attachment dictionary, when there is one to read.
std::optional<qint64> frameStatus(const platform::CMSampleBuffer& sampleBuffer)
{
    const auto& attachments = sampleBuffer.sampleAttachmentsArray();
    if (!attachments || attachments->isEmpty()) {
        return std::nullopt;
    }
    for (const QVariant& entry : *attachments) {
        if (entry.typeId() != QMetaType::QVariantMap) {
            return std::nullopt;
        }
    }
    return platform::integerValue(attachments->front().toMap().value(platform::kSCStreamFrameInfoStatus));
}

} // namespace

struct FrameStream::Delivery
{
    FrameStream* owner = nullptr;
};

const QString& FrameStream::queueLabel()
{
    static const QString kLabel = QStringLiteral("veilmox.overlay.frames");
    return kLabel;
}

const QString& FrameStream::queueThreadName()
{
    // Thread names are cut at 15 characters; the label stays whole on the queue.
    static const QString kThreadName = QStringLiteral("vmx.ovl.frames");
    return kThreadName;
}

FrameStream::FrameStream(const platform::SCContentFilter& filter,
                         const platform::SCStreamConfiguration& configuration,
                         FrameHandler onFrame,
                         const platform::Services& services)
    : m_services(services)
    , m_configuration(configuration)
    , m_queue(std::make_unique<platform::DispatchQueue>(
          queueLabel(), platform::DispatchQueue::QualityOfService::UserInteractive, queueThreadName()))
    , m_onFrame(std::move(onFrame))
    , m_fullFrameInterval(configuration.minimumFrameInterval)
    , m_delivery(std::make_shared<Delivery>())
{
    m_delivery->owner = this;
    if (m_services.captureStreams != nullptr) {
        m_stream = m_services.captureStreams->makeStream(filter, configuration);
    }
    if (!m_stream) {
        m_stream = std::make_unique<UnavailableStream>();
    }
    // A stream that refuses the output simply delivers no frames.
    m_stream->addStreamOutput(this, platform::SCStreamOutputType::Screen, m_queue.get());
}

FrameStream::~FrameStream()
{
    // The stream first: once it is gone no callback runs or is queued, so the queue can drain
    // and end. A delivery still waiting on the main queue finds the Delivery gone.
    m_stream.reset();
    m_queue.reset();
    m_delivery->owner = nullptr;
}

void FrameStream::stream(platform::SCStream& /*stream*/,
                         const platform::CMSampleBuffer& sampleBuffer,
                         platform::SCStreamOutputType type)
{
    if (type != platform::SCStreamOutputType::Screen) {
        return;
    }
    // Idle, blank, suspended, started and stopped frames never reach a view, which keeps
    // showing the last complete frame.
    if (frameStatus(sampleBuffer) != static_cast<qint64>(platform::SCFrameStatus::Complete)) {
        return;
    }
    if (!sampleBuffer.imageBuffer || !sampleBuffer.imageBuffer->ioSurface()) {
        return;
    }
    if (m_services.mainQueue == nullptr) {
        return;
    }
    platform::IOSurfaceRef older;
    {
        const std::lock_guard lock(m_lock);
        older = std::exchange(m_pendingSurface, sampleBuffer.imageBuffer->ioSurface());
    }
    // A waiting surface means a delivery is already queued: it takes the newer one instead.
    if (older) {
        return;
    }
    m_services.mainQueue->async([delivery = std::weak_ptr<Delivery>(m_delivery)] {
        if (const auto alive = delivery.lock(); alive && alive->owner != nullptr) {
            alive->owner->deliverPending();
        }
    });
}

void FrameStream::deliverPending()
{
    platform::IOSurfaceRef surface;
    {
        const std::lock_guard lock(m_lock);
        surface = std::exchange(m_pendingSurface, nullptr);
    }
    if (surface && m_onFrame) {
        // Called through a copy and last: the handler may end this stream.
        const FrameHandler onFrame = m_onFrame;
        onFrame(surface);
    }
}

void FrameStream::resize(double width, double height, double scale)
{
    const int pixelWidth = pixels(width, scale);
    const int pixelHeight = pixels(height, scale);
    if (pixelWidth == m_configuration.width && pixelHeight == m_configuration.height) {
        return;
    }
    m_configuration.width = pixelWidth;
    m_configuration.height = pixelHeight;
    m_stream->updateConfiguration(m_configuration, [](const auto&) {});
}

int FrameStream::pixels(double points, double scale)
{
    const double length = points * scale;
    if (!std::isfinite(length) || length < 1) {
        return 1;
    }
    return static_cast<int>(std::min(length, 65536.0));
}
