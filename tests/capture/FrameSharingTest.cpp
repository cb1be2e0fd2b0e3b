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

std::string at(const QRegion& pixels)
{
    const QRect r = pixels.boundingRect();
    return QStringLiteral("%1 x %2 at (%3, %4)")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y())
        .toStdString();
}

// A series of captures the system keeps (as it keeps its screenshots), each a little changed, with
// strips of fractional height and masks past the edges coming, going and moving, captures that
// turn between 300 x 200 and 200 x 300 (one byte count, so their buffers are reused across the
// turn) and now and then one of another byte count, and pictures held by whoever shows them for up
// to ten frames (so that buffers come back after one to ten later pictures): every picture equals
// the capture painted over whole, and says where it differs from the picture before it. Returns
// how many pictures said so, and how many of those changed little.
std::pair<int, int> composeRandomSeries(unsigned seed, int frames)
{
    std::mt19937 random(seed);
    const auto below = [&random](int n) {
        return std::uniform_int_distribution<int>(0, n - 1)(random);
    };
    const auto colour = [&below] {
        return QColor(below(256), below(256), below(256));
    };

    FrameComposer composer;
    QImage capture(300, 200, QImage::Format_RGB32);
    capture.fill(QColor(40, 90, 160));
    std::optional<double> strip = 24.5;
    QList<QRect> masks{QRect(20, 100, 60, 30)};
    std::deque<std::pair<QImage, int>> held; // each with the frame it is let go of after
    QImage previous;
    int told = 0;
    int small = 0;
    for (int frame = 0; frame < frames; ++frame) {
        SCOPED_TRACE(frame);
        QImage next = capture.copy();
        switch (below(12)) {
        case 0: // the capture as it was
            next = capture;
            break;
        case 1: // the strip changes, to whole, half or other fractional heights
            strip = below(3) == 0 ? std::nullopt : std::optional<double>(below(40) + 0.1 * below(10));
            break;
        case 2: // a mask moves, comes or goes, perhaps reaching past the edges
            if (!masks.isEmpty() && below(3) == 0) {
                masks.removeLast();
            } else if (masks.size() < 3 && below(2) == 0) {
                masks.append(QRect(below(320) - 20, below(320) - 20, 1 + below(60), 1 + below(40)));
            } else if (!masks.isEmpty()) {
                masks.first().translate(below(5) - 2, below(5) - 2);
            }
            break;
        case 3: // a new picture everywhere
            next.fill(colour());
            break;
        case 4: { // the display turns, or now and then takes a size of another byte count
            const QSize turned = capture.size() == QSize(300, 200) ? QSize(200, 300) : QSize(300, 200);
            next = QImage(below(8) == 0 ? QSize(320, 200) : turned, QImage::Format_RGB32);
            next.fill(colour());
            break;
        }
        default: // something small changes somewhere, perhaps under the strip or a mask
            for (int patch = below(3); patch >= 0; --patch) {
                QPainter(&next).fillRect(
                    QRect(below(next.width()), below(next.height()), 1 + below(40), 1 + below(30)), colour());
            }
        }
        capture = next;
        const QImage kept = capture; // the system's own reference
        FrameComposer::Frame composed = composer.compose(capture, strip, masks);
        const QImage expected = paintedWhole(capture, strip, masks);
        if (composed.picture != expected) {
            ADD_FAILURE() << "differs from the capture painted whole in "
                          << at(differingPixels(composed.picture, expected));
            return {told, small};
        }
        if (composed.changed && !previous.isNull() && (strip || !masks.isEmpty())) {
            ++told;
            EXPECT_EQ(composed.changedFrom, previous.cacheKey());
            if (previous.size() != composed.picture.size()) {
                ADD_FAILURE() << "a change said from a picture of another size";
                return {told, small};
            }
            const QRegion missed = differingPixels(previous, composed.picture) - *composed.changed;
            if (!missed.isEmpty()) {
                ADD_FAILURE() << "a changed pixel not said in " << at(missed);
                return {told, small};
            }
            small += composed.changed->boundingRect().width() * composed.changed->boundingRect().height()
                     < 300 * 100;
        }
        previous = composed.picture;
        // Shown for a while: the mirror, the preview, a picture-in-picture window.
        held.emplace_back(composed.picture, frame + below(11));
        std::erase_if(held, [frame](const auto& picture) { return picture.second <= frame; });
    }
    return {told, small};
}

} // namespace

// A few fixed series, so that every run checks the same sequences.
TEST(VirtualDisplayComposition, PicturesWrittenWhereTheyChangedEqualPicturesPaintedWhole)
{
    for (const unsigned seed : {1U, 2U, 3U, 4U, 5U, 6U}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const auto [told, small] = composeRandomSeries(seed, 600);
        if (HasFailure()) {
            return;
        }
        // Most pictures said what changed, most of them little.
        EXPECT_GT(told, 300);
        EXPECT_GT(small, told / 2);
    }
}

// Longer series, to look for sequences the fixed ones miss: --gtest_also_run_disabled_tests, with
// the first of 200 seeds in VEILMOX_TEST_SEED to vary them on purpose (the same 200 otherwise).
// A failure names its seed, to be added to the fixed ones.
TEST(VirtualDisplayComposition,
     DISABLED_PicturesWrittenWhereTheyChangedEqualPicturesPaintedWholeForVariedSeeds)
{
    bool given = false;
    const unsigned first = qEnvironmentVariable("VEILMOX_TEST_SEED").toUInt(&given);
    for (unsigned run = 0; run < 200 && !HasFailure(); ++run) {
        const unsigned seed = (given ? first : 1000U) + run;
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        composeRandomSeries(seed, 2000);
    }
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
