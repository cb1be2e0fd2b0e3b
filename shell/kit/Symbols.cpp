#include "shell/kit/Symbols.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace kit {

namespace {

// Names are looked up as resource paths, so only the characters of system names are allowed.
bool isPlainName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]+(\\.[A-Za-z0-9]+)*$"));
    return plain.match(name).hasMatch();
}

QString symbolPath(const QString& name)
{
    return QStringLiteral(":/Images/Symbols/%1.svg").arg(name);
}

QString assetPath(const QString& name)
{
    return QStringLiteral(":/Images/%1.svg").arg(name);
}

// How much heavier than the regular weight the strokes are drawn.
double strokeFactor(FontWeight weight)
{
    return std::clamp(1.0 + weight.value * 1.2, 0.4, 2.0);
}

QByteArray withStrokeFactor(QByteArray svg, double factor)
{
    if (factor == 1.0) {
        return svg;
    }
    static const QRegularExpression width(QStringLiteral("stroke-width=\"([0-9.]+)\""));
    QString text = QString::fromUtf8(svg);
    QString out;
    qsizetype last = 0;
    for (auto it = width.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += QStringLiteral("stroke-width=\"%1\"").arg(m.captured(1).toDouble() * factor);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out.toUtf8();
}

// Renderers are made once per drawing and weight; a missing drawing is remembered as null.
std::shared_ptr<QSvgRenderer> renderer(const QString& path, double factor)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    const QString key = path + QLatin1Char('@') + QString::number(factor);
    if (auto it = cache.constFind(key); it != cache.constEnd()) {
        return it.value();
    }
    std::shared_ptr<QSvgRenderer> made;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        auto r = std::make_shared<QSvgRenderer>(withStrokeFactor(file.readAll(), factor));
        if (r->isValid()) {
            made = std::move(r);
        }
    }
    cache.insert(key, made);
    return made;
}

double paintScale(const QPainter& painter)
{
    const double device = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    return std::max(device * std::sqrt(std::abs(painter.worldTransform().determinant())), 1.0);
}

} // namespace

bool hasSymbol(const QString& name)
{
    return isPlainName(name) && QFile::exists(symbolPath(name));
}

double symbolSide(double pointSize)
{
    return pointSize * 1.2;
}

namespace {

// The symbol drawn and tinted at a pixel size; null when there is no drawing.
QImage drawSymbol(const QString& name, FontWeight weight, int pixels, const QColor& color)
{
    if (!isPlainName(name)) {
        return {};
    }
    const auto svg = renderer(symbolPath(name), strokeFactor(weight));
    if (!svg) {
        return {};
    }
    // Black in a drawing is ink and white erases it, so filled symbols can have cut-outs; the
    // ink is then tinted with the colour.
    QImage drawn(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    {
        QPainter p(&drawn);
        p.setRenderHint(QPainter::Antialiasing);
        svg->render(&p, QRectF(0, 0, pixels, pixels));
    }
    QImage ink(drawn.size(), QImage::Format_Alpha8);
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        uchar* out = ink.scanLine(y);
        for (int x = 0; x < drawn.width(); ++x) {
            out[x] = static_cast<uchar>(std::max(qAlpha(in[x]) - qRed(in[x]), 0));
        }
    }
    QImage tinted(drawn.size(), QImage::Format_ARGB32_Premultiplied);
    tinted.fill(color);
    {
        QPainter p(&tinted);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, ink);
    }
    return tinted;
}

// Symbols are drawn again and again at the same sizes and colours (a button over the live
// preview is repainted with every frame), so the tinted pictures are kept, the least recently
// used going first. Main thread only, as all painting of views.
QImage cachedSymbol(const QString& name, FontWeight weight, int pixels, const QColor& color)
{
    static QCache<QString, QImage> cache(8 * 1024); // in KiB
    const QString key = name + QLatin1Char('@') + QString::number(weight.value) + QLatin1Char('@')
                        + QString::number(pixels) + QLatin1Char('@') + QString::number(color.rgba64(), 16);
    if (const QImage* found = cache.object(key)) {
        return *found;
    }
    QImage drawn = drawSymbol(name, weight, pixels, color);
    if (!drawn.isNull()) {
        // A picture larger than the whole cache is simply not kept.
        cache.insert(key, new QImage(drawn), static_cast<qsizetype>(drawn.sizeInBytes() / 1024 + 1));
    }
    return drawn;
}

} // namespace

bool paintSymbol(
    QPainter& painter, const QString& name, const QRectF& rect, const QColor& color, FontWeight weight)
{
    const double side = std::min(rect.width(), rect.height());
    if (!(side > 0)) {
        return false;
    }
    const QRectF square(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    const double scale = paintScale(painter);
    const int pixels = static_cast<int>(std::ceil(side * scale));
    if (pixels <= 0 || pixels > 4096) {
        return false;
    }
    const QImage tinted = cachedSymbol(name, weight, pixels, color);
    if (tinted.isNull()) {
        return false;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(square, tinted);
    painter.restore();
    return true;
}

bool paintSymbol(QPainter& painter,
                 const QString& name,
                 QPointF center,
                 double pointSize,
                 const QColor& color,
                 FontWeight weight)
{
    const double side = symbolSide(pointSize);
    return paintSymbol(
        painter, name, QRectF(center - QPointF(side / 2, side / 2), QSizeF(side, side)), color, weight);
}

bool hasImageAsset(const QString& name)
{
    return isPlainName(name) && QFile::exists(assetPath(name));
}

bool paintImageAsset(QPainter& painter, const QString& name, const QRectF& target)
{
    if (!isPlainName(name) || target.isEmpty()) {
        return false;
    }
    const auto svg = renderer(assetPath(name), 1.0);
    if (!svg) {
        return false;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    svg->setAspectRatioMode(Qt::IgnoreAspectRatio);
    svg->render(&painter, target);
    painter.restore();
    return true;
}

QImage imageAsset(const QString& name, QSize pixels)
{
    if (pixels.isEmpty() || !hasImageAsset(name)) {
        return {};
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintImageAsset(p, name, QRectF(QPointF(0, 0), QSizeF(pixels)));
    return image;
}

} // namespace kit
