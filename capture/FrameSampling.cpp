#include "capture/FrameSampling.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace FrameSampling {

bool isOpaque32(QImage::Format format)
{
    return format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB32
           || format == QImage::Format_ARGB32;
}

int sourceRowsFor(int pixelRows, double devicePixelRatio, double pointsPerRow)
{
    const double ratio = std::isfinite(devicePixelRatio) ? std::max(devicePixelRatio, 1.0) : 1.0;
    const double step = std::isfinite(pointsPerRow) && pointsPerRow > 0 ? pointsPerRow : 1.0;
    const double points = std::max(pixelRows, 0) / ratio;
    return std::clamp(static_cast<int>(std::ceil(points / step)), 1, std::max(pixelRows, 1));
}

void samplePart(
    const QImage& frame, QSize size, int sourceRows, const QRect& part, uchar* to, qsizetype stride)
{
    const int rows = std::clamp(sourceRows, 1, std::min(size.height(), frame.height()));
    const int w = part.width();
    // The frame pixel under the centre of each output pixel.
    std::vector<int> columns(static_cast<std::size_t>(std::max(w, 0)));
    for (int x = 0; x < w; ++x) {
        columns[static_cast<std::size_t>(x)] = std::clamp(
            static_cast<int>((part.left() + x + 0.5) * frame.width() / size.width()), 0, frame.width() - 1);
    }
    // The read row nearest each output row, and the frame row under that read row's centre.
    const auto readRow = [rows, size](int y) {
        return std::min(static_cast<int>((y + 0.5) * rows / size.height()), rows - 1);
    };
    const auto sourceRow = [&frame, rows](int r) {
        return frame.constScanLine(
            std::clamp(static_cast<int>((r + 0.5) * frame.height() / rows), 0, frame.height() - 1));
    };
    const auto lineBytes = static_cast<std::size_t>(std::max(w, 0)) * sizeof(quint32);
    int last = -1;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        auto* line = reinterpret_cast<quint32*>(to + (y - part.top()) * stride);
        const int r = readRow(y);
        if (r == last) {
            std::memcpy(line, to + (y - 1 - part.top()) * stride, lineBytes);
            continue;
        }
        last = r;
        const auto* source = reinterpret_cast<const quint32*>(sourceRow(r));
        // The next read row is asked for as this one is read: its samples lie closer together
        // than a cache line, so it is read almost whole, and the reads then keep streaming.
        const uchar* next = sourceRow(std::min(r + 1, rows - 1));
        for (int x = 0; x < w; ++x) {
            const int sx = columns[static_cast<std::size_t>(x)];
            if ((x & 3) == 0) {
                __builtin_prefetch(next + sx * 4);
                __builtin_prefetch(next + sx * 4 + 64);
            }
            // The display's picture is opaque; an opaque copy is drawn as a plain copy.
            line[x] = source[sx] | 0xFF000000U;
        }
    }
}

void scaleInto(const QImage& frame, QImage& into, int sourceRows)
{
    if (frame.isNull() || into.isNull()) {
        return;
    }
    if (!isOpaque32(frame.format()) || into.format() != QImage::Format_RGB32) {
        into = frame.scaled(into.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                   .convertToFormat(QImage::Format_RGB32);
        return;
    }
    samplePart(frame, into.size(), sourceRows, into.rect(), into.bits(), into.bytesPerLine());
}

bool paintInPlace(
    QPainter& painter, const QImage& frame, const QRect& pixels, int sourceRows, double devicePixelRatio)
{
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image || painter.hasClipping()
        || !isOpaque32(frame.format()) || pixels.isEmpty()) {
        return false;
    }
    auto* window = static_cast<QImage*>(device);
    const QRegion clip = engine->systemClip();
    const double dpr = devicePixelRatio;
    const QTransform toDevice = painter.deviceTransform();
    if (!isOpaque32(window->format()) || !window->isDetached() || clip.isEmpty()
        || toDevice.type() > QTransform::TxScale || toDevice.m11() != dpr || toDevice.m22() != dpr
        || toDevice.dx() != std::round(toDevice.dx()) || toDevice.dy() != std::round(toDevice.dy())) {
        return false;
    }
    const QRect shown = pixels.translated(static_cast<int>(toDevice.dx()), static_cast<int>(toDevice.dy()));
    for (const QRect& part : clip.intersected(shown.intersected(window->rect()))) {
        samplePart(frame,
                   pixels.size(),
                   sourceRows,
                   part.translated(-shown.topLeft()),
                   window->scanLine(part.top()) + static_cast<qsizetype>(part.left()) * 4,
                   window->bytesPerLine());
    }
    return true;
}

} // namespace FrameSampling
