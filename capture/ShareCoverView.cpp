#include "capture/ShareCoverView.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Typography.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

ShareCoverView::Metrics ShareCoverView::Metrics::forSize(const QSizeF& size, bool increaseContrast)
{
    Metrics m;
    const double s = std::min(size.width(), size.height()) / 100;
    m.unit = s;
    m.gradientRadius = 60 * s;
    m.spacing = 3.2 * s;
    m.logoSide = 11 * s;
    m.logoBottomPadding = 1.5 * s;
    m.titleSize = 7.5 * s;
    m.titleTracking = -0.034 * m.titleSize;
    m.subtitleSize = 2.4 * s;
    m.labelSize = 1.4 * s;
    m.labelTracking = 0.24 * m.labelSize;
    m.labelTopPadding = 1.5 * s;
    m.subtitleColor = kit::white(increaseContrast ? 0.9 : 0.55);
    m.labelColor = kit::white(increaseContrast ? 0.78 : 0.52);
    return m;
}

namespace {

struct Line
{
    QString text;
    QFont font;
    QColor color;
    double height = 0;
};

Line makeLine(const QString& text, const kit::TextLook& look, const QPaintDevice* device)
{
    Line line;
    line.text = text;
    line.font = look.font(device);
    line.color = look.color;
    line.height = QFontMetricsF(line.font, device).height();
    return line;
}

void drawCentred(QPainter& painter, const Line& line, double centreX, double top)
{
    const QFontMetricsF metrics(line.font, painter.device());
    const double width = metrics.horizontalAdvance(line.text);
    painter.setFont(line.font);
    painter.setPen(line.color);
    painter.drawText(QPointF(centreX - width / 2, top + metrics.ascent()), line.text);
}

} // namespace

void ShareCoverView::paint(QPainter& painter, const QSizeF& size, bool increaseContrast)
{
    const Metrics m = Metrics::forSize(size, increaseContrast);
    const QRectF area(QPointF(0, 0), size);
    const QPointF centre = area.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    painter.fillRect(area, kit::Palette::canvas());
    if (m.gradientRadius > 0) {
        QRadialGradient glow(centre, m.gradientRadius);
        QColor flame = kit::Palette::flame();
        flame.setAlphaF(0.22F);
        glow.setColorAt(0, flame);
        flame.setAlphaF(0.05F);
        glow.setColorAt(0.5, flame);
        // The flame colour fully transparent, so the fade does not pass through grey.
        flame.setAlphaF(0);
        glow.setColorAt(1, flame);
        painter.fillRect(area, glow);
    }

    kit::TextLook title;
    title.face = kit::geistFontName(kit::FontWeight::semibold);
    title.size = m.titleSize;
    title.tracking = m.titleTracking;
    title.color = kit::Palette::textPrimary();
    kit::TextLook subtitle;
    subtitle.face = kit::geistFontName(kit::FontWeight::regular);
    subtitle.size = m.subtitleSize;
    subtitle.color = m.subtitleColor;
    const kit::TextLook label = kit::monoLabel(m.labelSize, m.labelColor);

    const QPaintDevice* device = painter.device();
    const Line titleLine =
        makeLine(QCoreApplication::translate("ShareCoverView", "Be right back"), title, device);
    const Line subtitleLine = makeLine(
        QCoreApplication::translate("ShareCoverView", "The presenter has paused their screen for a moment."),
        subtitle,
        device);
    const Line labelLine =
        makeLine(QCoreApplication::translate("ShareCoverView", "SCREEN PAUSED"), label, device);

    // A centred vertical stack: logo, title, subtitle, label.
    const double logoBlock = m.logoSide + m.logoBottomPadding;
    const double labelBlock = m.labelTopPadding + labelLine.height;
    const double total = logoBlock + titleLine.height + subtitleLine.height + labelBlock + 3 * m.spacing;
    double y = centre.y() - total / 2;
    kit::paintImageAsset(painter,
                         QStringLiteral("veilmoxOfficialLogo"),
                         QRectF(centre.x() - m.logoSide / 2, y, m.logoSide, m.logoSide));
    y += logoBlock + m.spacing;
    drawCentred(painter, titleLine, centre.x(), y);
    y += titleLine.height + m.spacing;
    drawCentred(painter, subtitleLine, centre.x(), y);
    y += subtitleLine.height + m.spacing;
    drawCentred(painter, labelLine, centre.x(), y + m.labelTopPadding);
    painter.restore();
}

std::optional<QImage> ShareCoverView::renderImage(double width, double height)
{
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const double pixelWidth = std::round(width * kScale);
    const double pixelHeight = std::round(height * kScale);
    if (pixelWidth < 1 || pixelHeight < 1 || pixelWidth > kMostPixels || pixelHeight > kMostPixels) {
        return std::nullopt;
    }
    QImage image(
        static_cast<int>(pixelWidth), static_cast<int>(pixelHeight), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.setDevicePixelRatio(kScale);
    {
        QPainter painter(&image);
        if (!painter.isActive()) {
            return std::nullopt;
        }
        paint(painter, QSizeF(pixelWidth / kScale, pixelHeight / kScale), kit::increaseContrast());
    }
    // A point of the result is a pixel of the bitmap.
    image.setDevicePixelRatio(1.0);
    return image;
}
