#include "capture/FrameComposer.h"

#include "capture/VirtualDisplayManager.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// How many pictures back a reused buffer may be and still be brought up to date in part.
constexpr std::size_t kKeptChanges = 8;

bool is32Bit(QImage::Format format)
{
    return format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB32
           || format == QImage::Format_ARGB32;
}

// Every pixel the strip and the masks may paint, a pixel wider for the edges of fractional ones.
QRegion paintable(const std::optional<double>& strip, const QList<QRect>& masks, QSize size, qreal ratio)
{
    const QTransform toPixels = QTransform::fromScale(ratio, ratio);
    QRegion region;
    if (strip) {
        region += QRect(0, 0, size.width(), static_cast<int>(std::ceil(std::max(*strip, 0.0) * ratio)) + 1);
    }
    for (const QRect& mask : masks) {
        region += toPixels.mapRect(QRectF(mask)).toAlignedRect().adjusted(-1, -1, 1, 1);
    }
    return region & QRect(QPoint(), size);
}

} // namespace

FrameComposer::Frame
FrameComposer::compose(QImage capture, std::optional<double> stripHeight, const QList<QRect>& maskRects)
{
    // Nothing to paint, pixels nobody else holds (painted over where they are), a pixel format
    // of another size, a strip of no size, or no memory: no buffer of ours, and the series starts
    // again.
    quint64 buffer = 0;
    QImage own;
    if ((stripHeight || !maskRects.isEmpty()) && !capture.isNull() && !capture.isDetached()
        && is32Bit(capture.format()) && (!stripHeight || std::isfinite(*stripHeight))) {
        own = m_pool.frame(capture.size(), capture.format(), &buffer);
    }
    if (own.isNull()) {
        reset();
        return {
            VirtualDisplayManager::composeFrame(std::move(capture), stripHeight, maskRects), 0, std::nullopt};
    }
    const qreal ratio = capture.devicePixelRatio();
    own.setDevicePixelRatio(ratio);
    const Overlays overlays{stripHeight, maskRects};
    const int height = capture.height();
    // Rows the strip covers whole are painted over anyway.
    const int first =
        stripHeight ? static_cast<int>(std::clamp(std::floor(*stripHeight * ratio), 0.0, double(height))) : 0;

    const bool comparable = m_picture != 0 && m_capture.size() == capture.size()
                            && m_capture.format() == capture.format()
                            && m_capture.devicePixelRatio() == ratio;
    const bool samePaint = overlays == m_overlays;
    const QRegion paintChanged = comparable && !samePaint
                                     ? paintable(m_overlays.strip, m_overlays.masks, capture.size(), ratio)
                                           + paintable(stripHeight, maskRects, capture.size(), ratio)
                                     : QRegion();
    // What the buffer lacks besides this capture's own change: the changes of the pictures
    // composed since the one it holds. Not known: every row is written.
    std::optional<QRegion> lacking;
    if (comparable) {
        const auto held = std::find_if(m_buffers.cbegin(), m_buffers.cend(), [buffer](const auto& entry) {
            return entry.first == buffer;
        });
        if (held != m_buffers.cend()) {
            lacking = changesSince(held->second);
        }
    }
    if (lacking) {
        *lacking += paintChanged;
    }
    const QRegion captureChanged =
        copyChanges(capture, own, comparable ? (samePaint ? first : 0) : height, first, lacking);
    std::optional<QRegion> changed =
        comparable ? std::optional<QRegion>(captureChanged + paintChanged) : std::nullopt;
    QImage picture = VirtualDisplayManager::composeFrame(std::move(own), stripHeight, maskRects);

    ++m_count;
    m_changes.push_back(changed);
    while (m_changes.size() > kKeptChanges) {
        m_changes.pop_front();
    }
    std::erase_if(m_buffers, [this, buffer](const auto& entry) {
        return entry.first == buffer || m_count - entry.second >= kKeptChanges;
    });
    m_buffers.emplace_back(buffer, m_count);
    const qint64 before = m_picture;
    m_capture = std::move(capture);
    m_overlays = overlays;
    if (changed && changed->isEmpty() && !m_last.isNull() && m_last.cacheKey() == before) {
        // The same pixels as the picture before: that picture again, so that nobody shows or
        // redraws anything. The buffer just written goes back, known to hold it too.
        return {m_last, 0, std::nullopt};
    }
    m_picture = picture.cacheKey();
    m_last = picture;
    return {std::move(picture), changed ? before : 0, std::move(changed)};
}

void FrameComposer::reset()
{
    m_capture = QImage();
    m_overlays = {};
    m_picture = 0;
    m_last = QImage();
    m_changes.clear();
    m_buffers.clear();
}

namespace {

// Pixels compared as one: a row's changes are known to this width, which keeps a window that
// moves from counting as changed between its two edges.
constexpr int kTile = 64;

using Spans = std::vector<std::pair<int, int>>; // [from, to) pixels of a row, sorted, apart

// Where two rows differ, tile by tile, adjacent tiles joined.
void differences(const quint32* a, const quint32* b, int width, Spans& spans)
{
    spans.clear();
    for (int x = 0; x < width; x += kTile) {
        const int end = std::min(x + kTile, width);
        if (std::memcmp(a + x, b + x, static_cast<std::size_t>(end - x) * 4) == 0) {
            continue;
        }
        if (!spans.empty() && spans.back().second == x) {
            spans.back().second = end;
        } else {
            spans.emplace_back(x, end);
        }
    }
}

// Sorts spans and joins those that overlap or touch.
void join(Spans& spans)
{
    std::sort(spans.begin(), spans.end());
    std::size_t kept = 0;
    for (const auto& span : spans) {
        if (kept > 0 && span.first <= spans[kept - 1].second) {
            spans[kept - 1].second = std::max(spans[kept - 1].second, span.second);
        } else {
            spans[kept++] = span;
        }
    }
    spans.resize(kept);
}

} // namespace

QRegion FrameComposer::copyChanges(const QImage& capture,
                                   QImage& own,
                                   int compareFrom,
                                   int writeFrom,
                                   const std::optional<QRegion>& lacking) const
{
    const int width = capture.width();
    const int height = capture.height();
    const bool compares = compareFrom < height && capture.constBits() != m_capture.constBits();
    const auto rowBytes = static_cast<std::size_t>(width) * 4;
    uchar* const to = own.bits();
    const qsizetype toLine = own.bytesPerLine();
    // The changed rows in bands of rows that changed alike, for a region in the order it keeps.
    std::vector<QRect> changed;
    Spans band;
    int bandTop = -1;
    const auto endBand = [&](int y) {
        for (const auto& [from, end] : band) {
            changed.emplace_back(from, bandTop, end - from, y - bandTop);
        }
        band.clear();
        bandTop = -1;
    };
    // The bands of what the buffer lacks, walked down with the rows.
    auto lackingBand = lacking ? lacking->begin() : QRegion::const_iterator();
    const auto lackingEnd = lacking ? lacking->end() : QRegion::const_iterator();
    Spans row;
    Spans writes;
    for (int y = std::min(compareFrom, writeFrom); y < height; ++y) {
        const auto* now = reinterpret_cast<const quint32*>(capture.constScanLine(y));
        row.clear();
        if (compares && y >= compareFrom) {
            const auto* before = reinterpret_cast<const quint32*>(m_capture.constScanLine(y));
            if (std::memcmp(now, before, rowBytes) != 0) {
                differences(now, before, width, row);
            }
            if (row != band || bandTop < 0) {
                endBand(y);
                if (!row.empty()) {
                    band = row;
                    bandTop = y;
                }
            }
        }
        if (y < writeFrom) {
            continue;
        }
        auto* into = reinterpret_cast<quint32*>(to + y * toLine);
        if (!lacking) {
            std::memcpy(into, now, rowBytes);
            continue;
        }
        writes = row;
        while (lackingBand != lackingEnd && lackingBand->bottom() < y) {
            ++lackingBand;
        }
        for (auto it = lackingBand; it != lackingEnd && it->top() == lackingBand->top() && it->top() <= y;
             ++it) {
            writes.emplace_back(it->left(), it->right() + 1);
        }
        join(writes);
        for (const auto& [from, end] : writes) {
            std::memcpy(into + from, now + from, static_cast<std::size_t>(end - from) * 4);
        }
    }
    endBand(height);
    QRegion region;
    region.setRects(changed.data(), static_cast<int>(changed.size()));
    return region;
}

std::optional<QRegion> FrameComposer::changesSince(quint64 number) const
{
    if (number > m_count || m_count - number > m_changes.size()) {
        return std::nullopt;
    }
    QRegion region;
    // The changes of the pictures composed after that one, the newest last in m_changes.
    for (auto it = m_changes.cend() - static_cast<std::ptrdiff_t>(m_count - number); it != m_changes.cend();
         ++it) {
        if (!*it) {
            return std::nullopt;
        }
        region += **it;
    }
    return region;
}
