// A frame whose pixels the system still holds is painted over in a buffer of the capture's own,
// never in the system's pixels, and a frame it holds alone is painted over where it is.
#include "capture/FrameComposer.h"
#include "capture/VirtualDisplayManager.h"

#include <QPainter>
#include <QRegion>

#include <gtest/gtest.h>

#include <deque>
#include <random>

TEST(VirtualDisplayComposition, PaintsOverASharedCaptureInAReusedBufferAndAnOwnedOneInPlace)
{
    FrameComposer frames;
    const QRgb black = qRgb(0, 0, 0);
    const QRgb fill = VirtualDisplayManager::maskFill().rgb();
    const QRect mask(10, 60, 20, 10);
    QImage kept(100, 80, QImage::Format_RGB32); // the system's picture, which it shows again
    kept.fill(Qt::white);
    kept.setPixel(50, 70, qRgb(1, 2, 3));
    kept.setPixel(99, 79, qRgb(4, 5, 6));

    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        const QImage composed = frames.compose(kept, 20.0, {mask}).picture;
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
    const QImage composed = frames.compose(std::move(owned), 20.0, {mask}).picture;
    EXPECT_EQ(composed.constBits(), pixels);
    EXPECT_EQ(composed.pixel(10, 60), fill);
}

namespace {

// The capture painted over whole, in memory of its own: what every composed picture must equal.
QImage paintedWhole(const QImage& capture, std::optional<double> strip, const QList<QRect>& masks)
{
    QImage copy = capture.copy();
    return VirtualDisplayManager::composeFrame(std::move(copy), strip, masks);
}

// The pixels in which two pictures of one size differ.
QRegion differingPixels(const QImage& a, const QImage& b)
{
    QRegion region;
    for (int y = 0; y < a.height(); ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* right = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (left[x] != right[x]) {
                int end = x + 1;
                while (end < a.width() && left[end] != right[end]) {
                    ++end;
                }
                region += QRect(x, y, end - x, 1);
                x = end;
            }
        }
    }
    return region;
}

} // namespace

// A series of captures the system keeps (as it keeps its screenshots), each a little changed, with
// the strip and the masks coming, going and moving, and pictures held for a while by whoever shows
// them (so that buffers come back after one, two or more later pictures): every picture equals
// the capture painted over whole, and says where it differs from the picture before it.
TEST(VirtualDisplayComposition, PicturesWrittenWhereTheyChangedEqualPicturesPaintedWhole)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    const auto below = [&random](int n) {
        return std::uniform_int_distribution<int>(0, n - 1)(random);
    };

    FrameComposer composer;
    QImage capture(300, 200, QImage::Format_RGB32);
    capture.fill(QColor(40, 90, 160));
    std::optional<double> strip = 24.5;
    QList<QRect> masks{QRect(20, 100, 60, 30)};
    std::deque<QImage> held;
    QImage previous;
    int told = 0;
    int small = 0;
    for (int frame = 0; frame < 400; ++frame) {
        SCOPED_TRACE(frame);
        QImage next = capture.copy();
        switch (below(10)) {
        case 0: // the capture as it was
            next = capture;
            break;
        case 1: // the strip changes
            strip = below(3) == 0 ? std::nullopt : std::optional<double>(below(40) + 0.5 * below(2));
            break;
        case 2: // a mask moves, comes or goes
            if (!masks.isEmpty() && below(3) == 0) {
                masks.removeLast();
            } else if (masks.size() < 3 && below(2) == 0) {
                masks.append(QRect(below(280), below(180), 1 + below(60), 1 + below(40)));
            } else if (!masks.isEmpty()) {
                masks.first().translate(below(5) - 2, below(5) - 2);
            }
            break;
        case 3: // a new picture everywhere
            next.fill(QColor(below(256), below(256), below(256)));
            break;
        default: // something small changes somewhere, perhaps under the strip or a mask
            for (int patch = below(3); patch >= 0; --patch) {
                QPainter(&next).fillRect(QRect(below(300), below(200), 1 + below(40), 1 + below(30)),
                                         QColor(below(256), below(256), below(256)));
            }
        }
        capture = next;
        const QImage kept = capture; // the system's own reference
        FrameComposer::Frame composed = composer.compose(capture, strip, masks);
        const QImage expected = paintedWhole(capture, strip, masks);
        ASSERT_EQ(composed.picture, expected);
        if (composed.changed && !previous.isNull() && (strip || !masks.isEmpty())) {
            ++told;
            EXPECT_EQ(composed.changedFrom, previous.cacheKey());
            const QRegion missed = differingPixels(previous, composed.picture) - *composed.changed;
            ASSERT_TRUE(missed.isEmpty()) << "a changed pixel not said: " << missed.boundingRect().x() << ","
                                          << missed.boundingRect().y();
            small += composed.changed->boundingRect().width() * composed.changed->boundingRect().height()
                     < 300 * 100;
        }
        previous = composed.picture;
        // Shown for a while: the mirror, the preview, a picture-in-picture window.
        held.push_back(composed.picture);
        while (held.size() > static_cast<std::size_t>(below(4))) {
            held.pop_front();
        }
    }
    // Most pictures said what changed, most of them little.
    EXPECT_GT(told, 200);
    EXPECT_GT(small, told / 2);
}

// A capture of another size starts again: the picture is written whole and says nothing of what
// changed; nothing to paint hands the capture on as it is.
TEST(VirtualDisplayComposition, ASeriesStartsAgainWhenTheCaptureChangesSizeOrNeedsNoPaint)
{
    FrameComposer composer;
    QImage small(100, 80, QImage::Format_RGB32);
    small.fill(Qt::white);
    const QImage keptSmall = small;
    const auto first = composer.compose(small, 10.0, {});
    EXPECT_FALSE(first.changed);
    // The same capture again: the same picture, which nobody need show again.
    const auto second = composer.compose(small, 10.0, {});
    EXPECT_EQ(second.picture.cacheKey(), first.picture.cacheKey());
    EXPECT_FALSE(second.changed);

    QImage large(120, 90, QImage::Format_RGB32);
    large.fill(Qt::red);
    const QImage keptLarge = large;
    const auto resized = composer.compose(large, 10.0, {});
    EXPECT_FALSE(resized.changed);
    EXPECT_EQ(resized.picture, paintedWhole(large, 10.0, {}));

    const auto plain = composer.compose(large, std::nullopt, {});
    EXPECT_EQ(plain.picture.cacheKey(), large.cacheKey());
    EXPECT_FALSE(plain.changed);
    const auto again = composer.compose(large, 10.0, {});
    EXPECT_FALSE(again.changed) << "the picture before was not one of ours";
    EXPECT_EQ(again.picture, paintedWhole(large, 10.0, {}));
}
