#include "shell/kit/PressFeedbackButton.h"

#include <QPainter>

namespace kit {

PressFeedbackButton::PressFeedbackButton(QWidget* parent)
    : ButtonBase(parent)
{
    setObjectName(QStringLiteral("PressFeedbackButton"));
    m_scale.setOnChange([this] { update(); });
}

PressFeedbackButton::PressFeedbackButton(LabelPainter label, QSize labelSize, QWidget* parent)
    : PressFeedbackButton(parent)
{
    setLabel(std::move(label), labelSize);
}

void PressFeedbackButton::setLabel(LabelPainter label, QSize labelSize)
{
    m_label = std::move(label);
    m_labelSize = labelSize;
    updateGeometry();
    update();
}

QSize PressFeedbackButton::sizeHint() const
{
    const QSize label = m_labelSize.isValid() ? m_labelSize : QSize(0, 0);
    return layout() != nullptr ? label.expandedTo(ButtonBase::sizeHint()) : label;
}

void PressFeedbackButton::paintLabel(QPainter& painter, const QRectF& rect)
{
    if (m_label) {
        m_label(painter, rect);
    }
}

void PressFeedbackButton::paintControl(QPainter& painter)
{
    painter.setTransform(scaleAbout(QRectF(rect()).center(), m_scale.value()), true);
    paintLabel(painter, rect());
}

ContentPlacement PressFeedbackButton::labelPlacement() const
{
    return {scaleAbout(QRectF(rect()).center(), m_scale.value()), 1};
}

void PressFeedbackButton::interactionChanged()
{
    const double target = PressFeedbackButtonStyle::scale(isPressed());
    if (target != m_scale.target()) {
        m_scale.animate(target,
                        respectingReduceMotion(Animation::standard(PressFeedbackButtonStyle::kDuration)));
    }
}

} // namespace kit
