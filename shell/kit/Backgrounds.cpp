#include "shell/kit/Backgrounds.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"

#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace kit {

namespace {
QVBoxLayout* makeLayout(QWidget* owner, double padding)
{
    auto* layout = new QVBoxLayout(owner);
    const int p = static_cast<int>(std::lround(padding));
    layout->setContentsMargins(p, p, p, p);
    layout->setSpacing(0);
    return layout;
}
} // namespace

QColor CardBackgroundStyle::border(bool isActive)
{
    return isActive ? Palette::flameBorder() : Palette::hairline();
}

void CardBackgroundStyle::paint(QPainter& painter, const QRectF& rect, bool isActive)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::surface());
    painter.drawPath(continuousRoundedRect(rect, kCornerRadius));
    strokeInnerBorder(painter, rect, kCornerRadius, border(isActive));
    painter.restore();
}

Shadow FloatingBackgroundStyle::shadow()
{
    Shadow s;
    s.color = QColor(0, 0, 0);
    s.color.setAlphaF(0.7F);
    s.radius = 30;
    s.offset = QPointF(0, 18);
    return s;
}

void FloatingBackgroundStyle::paint(QPainter& painter, const QRectF& rect, double cornerRadius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = continuousRoundedRect(rect, cornerRadius);
    drawShadow(painter, shape, shadow());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::surface());
    painter.drawPath(shape);
    strokeInnerBorder(painter, rect, cornerRadius, Palette::hairline());
    painter.restore();
}

QColor ChipBackgroundStyle::material()
{
    return rgb(0x2A2B30, 0.55);
}

QColor ChipBackgroundStyle::fill(bool reduceTransparency)
{
    return reduceTransparency ? Palette::surface() : material();
}

void ChipBackgroundStyle::paint(QPainter& painter, const QRectF& rect, bool reduceTransparency)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill(reduceTransparency));
    painter.drawPath(continuousRoundedRect(rect, capsuleRadius(rect)));
    painter.restore();
}

CardBackground::CardBackground(double padding, bool isActive, QWidget* parent)
    : QWidget(parent)
    , m_layout(makeLayout(this, padding))
    , m_padding(padding)
    , m_active(isActive)
{
    setObjectName(QStringLiteral("CardBackground"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void CardBackground::setActive(bool active)
{
    if (active != m_active) {
        m_active = active;
        update();
    }
}

void CardBackground::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    CardBackgroundStyle::paint(painter, rect(), m_active);
}

FloatingBackground::FloatingBackground(double cornerRadius, QWidget* parent)
    : QWidget(parent)
    , m_layout(makeLayout(this, 0))
    , m_cornerRadius(cornerRadius)
{
    setObjectName(QStringLiteral("FloatingBackground"));
    hostLook(this);
}

void FloatingBackground::paintLook(QPainter& painter)
{
    FloatingBackgroundStyle::paint(painter, rect(), m_cornerRadius);
}

void FloatingBackground::paintEvent(QPaintEvent* /*e*/)
{
    paintLookIfUnhosted(this);
}

ChipBackground::ChipBackground(QWidget* parent)
    : QWidget(parent)
    , m_layout(makeLayout(this, 0))
{
    setObjectName(QStringLiteral("ChipBackground"));
}

void ChipBackground::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    ChipBackgroundStyle::paint(painter, rect(), reduceTransparency());
}

} // namespace kit
