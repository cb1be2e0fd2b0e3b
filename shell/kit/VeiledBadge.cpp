#include "shell/kit/VeiledBadge.h"

#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace kit {

TextLook VeiledBadgeStyle::textLook()
{
    TextLook look;
    look.face = QStringLiteral("GeistMono-Medium");
    look.size = 8.5;
    look.tracking = 0.16 * 8.5;
    look.color = Palette::flameSoft();
    return look;
}

QSizeF VeiledBadgeStyle::size(const QString& text, const QPaintDevice* device)
{
    const QFontMetricsF metrics(textLook().font(device), device);
    return {metrics.horizontalAdvance(displayText(text)) + 2 * kHorizontalPadding,
            metrics.height() + 2 * kVerticalPadding};
}

void VeiledBadgeStyle::paint(QPainter& painter, const QRectF& rect, const QString& text)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::flameShade());
    painter.drawPath(continuousRoundedRect(rect, kCornerRadius));
    QColor border = Palette::flame();
    border.setAlphaF(0.22F);
    strokeInnerBorder(painter, rect, kCornerRadius, border);
    const TextLook look = textLook();
    painter.setFont(look.font(painter.device()));
    painter.setPen(look.color);
    painter.drawText(
        rect.adjusted(kHorizontalPadding, kVerticalPadding, -kHorizontalPadding, -kVerticalPadding),
        Qt::AlignCenter,
        displayText(text));
    painter.restore();
}

VeiledBadge::VeiledBadge(QString text, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
{
    setObjectName(QStringLiteral("VeiledBadge"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void VeiledBadge::setText(const QString& text)
{
    m_text = text;
    updateGeometry();
    update();
}

QSize VeiledBadge::sizeHint() const
{
    const QSizeF s = VeiledBadgeStyle::size(m_text, this);
    return {static_cast<int>(std::ceil(s.width())), static_cast<int>(std::ceil(s.height()))};
}

void VeiledBadge::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    VeiledBadgeStyle::paint(painter, rect(), m_text);
}

} // namespace kit
