#include "shell/kit/Drawing.h"

#include "shell/kit/RecentlyUsed.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kit {

namespace {
// Where a continuous corner's curve leaves the straight edge, in radii from the corner, and
// where its control points sit; the midpoint of the curve matches that of a circular arc.
constexpr double kCornerReach = 1.28195;
constexpr double kCornerControl = 0.35372;

// The most blur, in device pixels, computed at full resolution; wider shadows are blurred on a
// smaller image and scaled up, which a soft shadow does not show.
constexpr double kMostPixelSigma = 6.0;
} // namespace

QPainterPath continuousRoundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    const double shorter = std::min(r.width(), r.height());
    if (!(radius > 0) || shorter <= 0) {
        path.addRect(r);
        return path;
    }
    const double reach = radius * kCornerReach;
    if (reach > shorter / 2) {
        const double circular = std::min(radius, shorter / 2);
        path.addRoundedRect(r, circular, circular);
        return path;
    }
    const double c = radius * kCornerControl;
    const double l = r.left();
    const double t = r.top();
    const double rt = r.right();
    const double b = r.bottom();
    path.moveTo(l + reach, t);
    path.lineTo(rt - reach, t);
    path.cubicTo(rt - c, t, rt, t + c, rt, t + reach);
    path.lineTo(rt, b - reach);
    path.cubicTo(rt, b - c, rt - c, b, rt - reach, b);
    path.lineTo(l + reach, b);
    path.cubicTo(l + c, b, l, b - c, l, b - reach);
    path.lineTo(l, t + reach);
    path.cubicTo(l, t + c, l + c, t, l + reach, t);
    path.closeSubpath();
    return path;
}

QPainterPath capsule(const QRectF& rect)
{
    QPainterPath path;
    const double radius = capsuleRadius(rect.normalized());
    path.addRoundedRect(rect.normalized(), radius, radius);
    return path;
}

QTransform scaleAbout(const QPointF& centre, double scale, const QPointF& offset)
{
    QTransform t;
    t.translate(offset.x(), offset.y());
    t.translate(centre.x(), centre.y());
    t.scale(scale, scale);
    t.translate(-centre.x(), -centre.y());
    return t;
}

void strokeInnerBorder(
    QPainter& painter, const QRectF& rect, double radius, const QColor& color, double lineWidth)
{
    if (color.alpha() == 0 || !(lineWidth > 0)) {
        return;
    }
    const double half = lineWidth / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, lineWidth));
    painter.drawPath(
        continuousRoundedRect(rect.adjusted(half, half, -half, -half), std::max(radius - half, 0.0)));
    painter.restore();
}

QMarginsF Shadow::reach() const
{
    const double blur = 3 * std::max(sigma(), 0.0);
    return {std::max(blur - offset.x(), 0.0),
            std::max(blur - offset.y(), 0.0),
            std::max(blur + offset.x(), 0.0),
            std::max(blur + offset.y(), 0.0)};
}

std::vector<float> gaussianKernel(double sigma)
{
    if (!(sigma > 0.05) || !std::isfinite(sigma)) {
        return {1.0F};
    }
    const int half = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    float* centre = kernel.data() + half;
    for (int i = -half; i <= half; ++i) {
        const double w = std::exp(-(i * i) / (2 * sigma * sigma));
        centre[i] = static_cast<float>(w);
        sum += w;
    }
    for (float& w : kernel) {
        w = static_cast<float>(w / sum);
    }
    return kernel;
}

void blurAlpha(QImage& image, double sigma)
{
    if (image.format() != QImage::Format_Alpha8 || image.isNull()) {
        return;
    }
    const std::vector<float> kernel = gaussianKernel(sigma);
    if (kernel.size() == 1) {
        return;
    }
    const int half = static_cast<int>(kernel.size() / 2);
    const float* centre = kernel.data() + half;
    const int w = image.width();
    const int h = image.height();
    std::vector<float> buffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    // Horizontal pass into the buffer.
    for (int y = 0; y < h; ++y) {
        const uchar* row = image.constScanLine(y);
        float* out = buffer.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            const int from = std::max(-half, -x);
            const int to = std::min(half, w - 1 - x);
            for (int k = from; k <= to; ++k) {
                acc += centre[k] * static_cast<float>(row[x + k]);
            }
            out[x] = acc;
        }
    }
    // Vertical pass back into the image.
    for (int y = 0; y < h; ++y) {
        uchar* out = image.scanLine(y);
        const int from = std::max(-half, -y);
        const int to = std::min(half, h - 1 - y);
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            const float* column = buffer.data() + x;
            for (int k = from; k <= to; ++k) {
                const int source = y + k;
                acc += centre[k] * column[static_cast<std::ptrdiff_t>(source) * w];
            }
            out[x] = static_cast<uchar>(std::clamp(std::lround(acc), 0L, 255L));
        }
    }
}

namespace {

// The premultiplied ARGB counterpart of blurAlpha: each of the four channels, horizontally then
// vertically, the edges counting as transparent.
void blurPremultiplied(QImage& image, double sigma)
{
    const std::vector<float> kernel = gaussianKernel(sigma);
    if (kernel.size() == 1) {
        return;
    }
    const int half = static_cast<int>(kernel.size() / 2);
    const float* centre = kernel.data() + half;
    const int w = image.width();
    const int h = image.height();
    std::vector<float> buffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        float* out = buffer.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4;
        for (int x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            const int from = std::max(-half, -x);
            const int to = std::min(half, w - 1 - x);
            for (int k = from; k <= to; ++k) {
                const QRgb p = row[x + k];
                const float weight = centre[k];
                acc[0] += weight * static_cast<float>(qAlpha(p));
                acc[1] += weight * static_cast<float>(qRed(p));
                acc[2] += weight * static_cast<float>(qGreen(p));
                acc[3] += weight * static_cast<float>(qBlue(p));
            }
            std::copy(acc, acc + 4, out + static_cast<std::ptrdiff_t>(x) * 4);
        }
    }
    const auto channel = [](float v) {
        return static_cast<int>(std::clamp(std::lround(v), 0L, 255L));
    };
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int from = std::max(-half, -y);
        const int to = std::min(half, h - 1 - y);
        for (int x = 0; x < w; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (int k = from; k <= to; ++k) {
                const float* p = buffer.data() + (static_cast<std::ptrdiff_t>(y + k) * w + x) * 4;
                for (int c = 0; c < 4; ++c) {
                    acc[c] += centre[k] * p[c];
                }
            }
            const int a = channel(acc[0]);
            out[x] = qRgba(
                std::min(channel(acc[1]), a), std::min(channel(acc[2]), a), std::min(channel(acc[3]), a), a);
        }
    }
}

} // namespace

void blurImage(QImage& image, double sigma)
{
    const bool alpha = image.format() == QImage::Format_Alpha8;
    if (image.isNull() || !(sigma > 0.05) || !std::isfinite(sigma)
        || (!alpha && image.format() != QImage::Format_ARGB32_Premultiplied)) {
        return;
    }
    if (sigma > kMostPixelSigma) {
        const double shrink = kMostPixelSigma / sigma;
        const QSize full = image.size();
        const double dpr = image.devicePixelRatio();
        QImage small = image.scaled(std::max(1, static_cast<int>(std::ceil(full.width() * shrink))),
                                    std::max(1, static_cast<int>(std::ceil(full.height() * shrink))),
                                    Qt::IgnoreAspectRatio,
                                    Qt::SmoothTransformation);
        blurImage(small, kMostPixelSigma);
        image = small.scaled(full, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(alpha ? QImage::Format_Alpha8 : QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        return;
    }
    if (alpha) {
        blurAlpha(image, sigma);
    } else {
        blurPremultiplied(image, sigma);
    }
}

namespace {

// The last shadows made: a glow or a pill painted again with every frame of a live picture under
// it would otherwise blur the same shape anew each time. Main thread only, as painting is.
struct ShadowKey
{
    // The cheap comparisons first.
    double sigma = 0;
    double scale = 0;
    QColor color;
    QPainterPath shape;

    bool operator==(const ShadowKey&) const = default;
};

const QImage& blurredShadow(const QPainterPath& shape,
                            const QColor& color,
                            double sigma,
                            double scale,
                            const QRectF& area,
                            QSize pixels)
{
    thread_local RecentlyUsed<ShadowKey, QImage, 16> kept;
    return kept.get(ShadowKey{sigma, scale, color, shape}, [&] {
        QImage mask(pixels, QImage::Format_Alpha8);
        mask.fill(0);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            p.translate(-area.topLeft());
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawPath(shape);
        }
        blurAlpha(mask, sigma * scale);

        QImage tinted(pixels, QImage::Format_ARGB32_Premultiplied);
        tinted.fill(color);
        {
            QPainter p(&tinted);
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(0, 0, mask);
        }
        return tinted;
    });
}

} // namespace

void drawShadow(QPainter& painter, const QPainterPath& shape, const Shadow& shadow)
{
    if (shadow.color.alpha() == 0 || shape.isEmpty()) {
        return;
    }
    const double sigma = std::max(shadow.sigma(), 0.0);
    if (sigma == 0) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shadow.color);
        painter.drawPath(shape.translated(shadow.offset));
        painter.restore();
        return;
    }
    const double deviceScale = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const double transformScale = std::sqrt(std::abs(painter.worldTransform().determinant()));
    double scale = std::max(deviceScale * transformScale, 0.01);
    scale = std::min(scale, kMostPixelSigma / sigma);

    const double blur = 3 * sigma;
    const QRectF area = shape.boundingRect().adjusted(-blur, -blur, blur, blur);
    const QSize pixels(static_cast<int>(std::ceil(area.width() * scale)) + 2,
                       static_cast<int>(std::ceil(area.height() * scale)) + 2);
    if (pixels.width() <= 0 || pixels.height() <= 0 || pixels.width() > 8192 || pixels.height() > 8192) {
        return;
    }
    const QImage& tinted = blurredShadow(shape, shadow.color, sigma, scale, area, pixels);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(area.topLeft() + shadow.offset, QSizeF(pixels) / scale), tinted);
    painter.restore();
}

} // namespace kit
