#include "popover/PinButton.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Tooltips.h"

#include <QPainter>

#include <cmath>

namespace {

kit::Animation change()
{
    return kit::respectingReduceMotion(kit::Animation::standard(PinButton::kDuration));
}

} // namespace

PinButton::PinButton(double side, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_side(side)
{
    setObjectName(QStringLiteral("pinButton"));
    for (kit::AnimatedValue* value : {&m_hover, &m_pinnedness, &m_accent}) {
        value->setOnChange([this] { update(); });
    }
}

void PinButton::setState(bool isPinned, bool isPartial)
{
    if (isPinned == m_pinned && isPartial == m_partial) {
        return;
    }
    m_pinned = isPinned;
    m_partial = isPartial;
    m_pinnedness.animate(isPinned ? 1 : 0, change());
    m_accent.animate(isPinned || isPartial ? 1 : 0, change());
    update();
}

void PinButton::setHelp(const QString& help)
{
    if (help != m_help) {
        m_help = help;
        kit::TooltipSource::attach(this, help);
    }
}

QString PinButton::symbolName() const
{
    return m_pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin");
}

double PinButton::rotationDegrees() const
{
    return (1 - m_pinnedness.value()) * kLeanDegrees;
}

QColor PinButton::symbolColor() const
{
    const bool contrast = kit::increaseContrast();
    const QColor resting =
        kit::mixColors(kit::SecondaryWhite::symbol(contrast), kit::Palette::textPrimary(), m_hover.value());
    return kit::mixColors(resting, kit::Palette::flameSoft(), m_accent.value());
}

QSize PinButton::sizeHint() const
{
    const int side = static_cast<int>(std::ceil(m_side));
    return {side, side};
}

void PinButton::paintLabel(QPainter& painter, const QRectF& rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(rect.center() - QPointF(m_side / 2, m_side / 2), QSizeF(m_side, m_side));
    const double disc = std::max(m_pinnedness.value(), m_hover.value());
    if (disc > 0) {
        QColor fill = kit::Palette::surfaceHigh();
        fill.setAlphaF(static_cast<float>(disc));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(square);
    }
    painter.save();
    painter.translate(square.center());
    painter.rotate(rotationDegrees());
    kit::paintSymbol(painter, symbolName(), QPointF(), m_side * 0.44, symbolColor());
    painter.restore();
}

void PinButton::interactionChanged()
{
    PressFeedbackButton::interactionChanged();
    const double hover = isHovered() ? 1 : 0;
    if (hover != m_hover.target()) {
        m_hover.animate(hover, change());
    }
}

bool PinButton::hitButton(const QPoint& pos) const
{
    const QPointF offset = QPointF(pos) - QRectF(rect()).center();
    return std::hypot(offset.x(), offset.y()) <= m_side / 2;
}
