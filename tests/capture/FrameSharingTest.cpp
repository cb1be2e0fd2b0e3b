// A frame whose pixels the system still holds is painted over in a buffer of the capture's own,
// never in the system's pixels, and a frame it holds alone is painted over where it is.
#include "capture/VirtualDisplayManager.h"
#include "platform/FramePool.h"

#include <gtest/gtest.h>

TEST(VirtualDisplayComposition, PaintsOverASharedCaptureInAReusedBufferAndAnOwnedOneInPlace)
{
    platform::FramePool frames;
    const QRgb black = qRgb(0, 0, 0);
    const QRgb fill = VirtualDisplayManager::maskFill().rgb();
    const QRect mask(10, 60, 20, 10);
    QImage kept(100, 80, QImage::Format_RGB32); // the system's picture, which it shows again
    kept.fill(Qt::white);
    kept.setPixel(50, 70, qRgb(1, 2, 3));
    kept.setPixel(99, 79, qRgb(4, 5, 6));

    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        const QImage composed = VirtualDisplayManager::composeFrame(kept, 20.0, {mask}, &frames);
        EXPECT_NE(composed.constBits(), kept.constBits());
        EXPECT_EQ(composed.size(), kept.size());
        EXPECT_EQ(composed.format(), kept.format());
        EXPECT_EQ(composed.pixel(99, 19), black);
        EXPECT_EQ(composed.pixel(50, 20), qRgb(255, 255, 255));
        EXPECT_EQ(composed.pixel(10, 60), fill);
        EXPECT_EQ(composed.pixel(50, 70), qRgb(1, 2, 3)) << "every pixel copied";
        EXPECT_EQ(composed.pixel(99, 79), qRgb(4, 5, 6));
        // The system's pixels are untouched.
        EXPECT_EQ(kept.pixel(99, 19), qRgb(255, 255, 255));
        EXPECT_EQ(kept.pixel(10, 60), qRgb(255, 255, 255));
    }
    // Frames let go of are reused: at most the one shown and the one being painted.
    EXPECT_GE(frames.buffersMade(), 1);
    EXPECT_LE(frames.buffersMade(), 2);

    // A capture held by nobody else is painted over in place.
    QImage owned(100, 80, QImage::Format_RGB32);
    owned.fill(Qt::white);
    const uchar* const pixels = owned.constBits();
    const QImage composed = VirtualDisplayManager::composeFrame(std::move(owned), 20.0, {mask}, &frames);
    EXPECT_EQ(composed.constBits(), pixels);
    EXPECT_EQ(composed.pixel(10, 60), fill);
}
