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
    return m_labelSize.isValid() ? m_labelSize : QSize(0, 0);
}

void PressFeedbackButton::paintLabel(QPainter& painter, const QRectF& rect)
{
    if (m_label) {
        m_label(painter, rect);
    }
}

void PressFeedbackButton::paintControl(QPainter& painter)
{
    const QRectF r = rect();
    const double s = m_scale.value();
    painter.translate(r.center());
    painter.scale(s, s);
    painter.translate(-r.center());
    paintLabel(painter, r);
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
