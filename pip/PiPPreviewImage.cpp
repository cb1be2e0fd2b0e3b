#include "pip/PiPPreviewImage.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace PiPPreviewImage {

namespace {

// The mean of two 32-bit pixels, channel by channel (premultiplied or not alike).
inline std::uint32_t average(std::uint32_t a, std::uint32_t b)
{
    return (a & b) + (((a ^ b) >> 1U) & 0x7F7F7F7FU);
}

// Where the samples of each output pixel fall along one axis: `fraction` of the way across its
// part of the frame.
std::vector<int> samples(int outputs, int inputs, double fraction)
{
    std::vector<int> at(static_cast<std::size_t>(outputs));
    const double step = static_cast<double>(inputs) / outputs;
    for (int i = 0; i < outputs; ++i) {
        at[static_cast<std::size_t>(i)] = std::clamp(static_cast<int>((i + fraction) * step), 0, inputs - 1);
    }
    return at;
}

// Asks the memory for a row before it is read: the rows lie far apart, and fetching one ahead
// while the current one is averaged hides most of the wait.
void prefetchRow(const QImage& image, int y)
{
    const auto* row = reinterpret_cast<const char*>(image.constScanLine(y));
    constexpr int kCacheLine = 64;
    const qsizetype length = image.bytesPerLine();
    for (qsizetype offset = 0; offset < length; offset += kCacheLine) {
        __builtin_prefetch(row + offset);
    }
}

// A row of the frame is read for every kRowStride rows of the preview; the reads are asked for
// kRowsAhead sampled rows ahead of the one being averaged.
constexpr int kRowStride = 3;
constexpr int kRowsAhead = 2;

} // namespace

QImage scaled(const QImage& frame, QSize pixels, QImage reuse)
{
    if (frame.isNull() || pixels.isEmpty()) {
        return {};
    }
    const bool direct =
        frame.format() == QImage::Format_ARGB32_Premultiplied || frame.format() == QImage::Format_RGB32;
    // Frames come from captures in one of those two; anything else is converted first.
    const QImage source = direct ? frame : frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Opaque: the preview lies on black, and a premultiplied colour over black is that colour.
    // The last copy's memory is used again when nothing else holds it (a fresh allocation of this
    // size costs page faults on every frame).
    QImage out = reuse.size() == pixels && reuse.format() == QImage::Format_RGB32 && reuse.isDetached()
                     ? std::move(reuse)
                     : QImage(pixels, QImage::Format_RGB32);
    if (out.isNull()) {
        return out;
    }
    // The frame's rows lie far apart in memory, so the rows read decide the cost: one row of the
    // frame for every third row of the preview, two samples across each pixel; the rows between
    // are blended from their neighbours.
    const std::vector<int> left = samples(pixels.width(), source.width(), 0.25);
    const std::vector<int> right = samples(pixels.width(), source.width(), 0.75);
    const std::vector<int> rows = samples(pixels.height(), source.height(), 0.5);
    const int width = pixels.width();
    const auto line = [&out](int y) {
        return reinterpret_cast<std::uint32_t*>(out.scanLine(y));
    };
    const auto sampleRow = [&](int y) {
        const auto* in =
            reinterpret_cast<const std::uint32_t*>(source.constScanLine(rows[static_cast<std::size_t>(y)]));
        std::uint32_t* row = line(y);
        for (int x = 0; x < width; ++x) {
            const auto l = static_cast<std::size_t>(left[static_cast<std::size_t>(x)]);
            const auto r = static_cast<std::size_t>(right[static_cast<std::size_t>(x)]);
            row[x] = average(in[l], in[r]) | 0xFF000000U;
        }
    };
    // The rows after `from` up to `to` (excluded): a quarter, a half or three quarters of the way.
    const auto blendRows = [&](int from, int to) {
        const std::uint32_t* a = line(from);
        const std::uint32_t* b = to < pixels.height() ? line(to) : a;
        for (int y = from + 1; y < std::min(to, pixels.height()); ++y) {
            std::uint32_t* row = line(y);
            const bool nearA = (y - from) * 2 < (to - from);
            const bool middle = (y - from) * 2 == (to - from);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t mid = average(a[x], b[x]);
                row[x] = middle ? mid : average(nearA ? a[x] : b[x], mid);
            }
        }
    };
    for (int ahead = 0; ahead < kRowsAhead * kRowStride && ahead < pixels.height(); ahead += kRowStride) {
        prefetchRow(source, rows[static_cast<std::size_t>(ahead)]);
    }
    int previous = -1;
    for (int y = 0; y < pixels.height(); y += kRowStride) {
        const int ahead = y + kRowStride * kRowsAhead;
        if (ahead < pixels.height()) {
            prefetchRow(source, rows[static_cast<std::size_t>(ahead)]);
        }
        sampleRow(y);
        if (previous >= 0) {
            blendRows(previous, y);
        }
        previous = y;
    }
    blendRows(previous, pixels.height() + kRowStride);
    return out;
}

} // namespace PiPPreviewImage
