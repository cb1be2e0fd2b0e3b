#include "platform/CaptureStream.h"

#include <QVariantMap>

namespace platform {

CMSampleBuffer CMSampleBuffer::frame(const IOSurfaceRef& surface, SCFrameStatus status)
{
    CMSampleBuffer sample;
    sample.attachments = QVariantList{QVariantMap{{kSCStreamFrameInfoStatus, static_cast<qint64>(status)}}};
    sample.imageBuffer = CVPixelBuffer{surface};
    return sample;
}

} // namespace platform
