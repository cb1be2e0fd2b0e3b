#pragma once

#include "platform/ScreenCapture.h"

#include <QImage>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

// Capture streams: a stream captures its filter's content again and again at its configuration's
// frame interval and hands each frame as a sample buffer to its outputs on their own queues.
namespace platform {

class DispatchQueue;

// A frame's pixels, shared without copying between the capture and whoever shows them. Never
// changed once made, so any thread may hold one.
class IOSurface final
{
public:
    explicit IOSurface(QImage pixels)
        : m_pixels(std::move(pixels))
    {}

    const QImage& image() const { return m_pixels; }
    int width() const { return m_pixels.width(); }
    int height() const { return m_pixels.height(); }

private:
    QImage m_pixels;
};

using IOSurfaceRef = std::shared_ptr<const IOSurface>;

// The image buffer of a sample, backed by a surface (or not).
struct CVPixelBuffer
{
    IOSurfaceRef surface;
    // The surface behind the buffer; null when it has none.
    const IOSurfaceRef& ioSurface() const { return surface; }
};

// The status a stream gives each frame, under kSCStreamFrameInfoStatus.
enum class SCFrameStatus
{
    Complete = 0,
    Idle = 1,
    Blank = 2,
    Suspended = 3,
    Started = 4,
    Stopped = 5
};

inline const QString kSCStreamFrameInfoStatus = QStringLiteral("SCStreamFrameInfoStatus");

// One sample a stream delivers: its attachments (an array of dictionaries keyed by the
// SCStreamFrameInfo keys) and its image buffer, each possibly missing.
struct CMSampleBuffer
{
    std::optional<QVariantList> attachments;
    std::optional<CVPixelBuffer> imageBuffer;

    // Read without creating it: none when the sample has no attachments.
    const std::optional<QVariantList>& sampleAttachmentsArray() const { return attachments; }

    // A complete frame of these pixels, as a stream sends it.
    static CMSampleBuffer frame(const IOSurfaceRef& surface, SCFrameStatus status = SCFrameStatus::Complete);
};

enum class SCStreamOutputType
{
    Screen = 0,
    Audio = 1,
    Microphone = 2
};

class SCStream;

// Receives a stream's samples, on the queue it was added with.
class SCStreamOutput
{
public:
    virtual ~SCStreamOutput() = default;
    virtual void stream(SCStream& stream, const CMSampleBuffer& sampleBuffer, SCStreamOutputType type) = 0;
};

// One capture stream. Requests answer through their completion later on the main thread, with
// an error or none. Once stopCapture() has returned, or the stream has been destroyed, no output
// callback runs any more (one already running has finished). Main thread only, except that
// outputs are called on their queues.
class SCStream
{
public:
    using Completion = std::function<void(std::optional<CaptureError> error)>;

    virtual ~SCStream() = default;

    // The output is called on `sampleHandlerQueue` for each sample of the type; both must outlive
    // the stream's running. Returns the error when the output cannot be added.
    virtual std::optional<CaptureError>
    addStreamOutput(SCStreamOutput* output, SCStreamOutputType type, DispatchQueue* sampleHandlerQueue) = 0;
    virtual void startCapture(Completion completion) = 0;
    virtual void stopCapture(Completion completion) = 0;
    virtual void updateConfiguration(const SCStreamConfiguration& configuration, Completion completion) = 0;
    virtual void updateContentFilter(const SCContentFilter& filter, Completion completion) = 0;
};

// Makes capture streams.
class CaptureStreamService
{
public:
    virtual ~CaptureStreamService() = default;
    // A new stream, created stopped, with no delegate.
    virtual std::unique_ptr<SCStream> makeStream(const SCContentFilter& filter,
                                                 const SCStreamConfiguration& configuration) = 0;
};

} // namespace platform
