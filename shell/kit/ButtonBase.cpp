#include "shell/kit/ButtonBase.h"

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Motion.h"
#include "shell/kit/OverflowPainting.h"

#include <QEvent>

namespace kit {

ButtonBase::ButtonBase(QWidget* parent)
    : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    m_painting = new OverflowPainting(
        this, [this] { return overflow(); }, [this](QPainter& p) { paintControl(p); });
}

ButtonBase::~ButtonBase()
{
    setGraphicsEffect(nullptr);
}

void ButtonBase::overflowChanged()
{
    m_painting->overflowChanged();
}

bool ButtonBase::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        m_hovered = true;
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
        m_hovered = false;
        break;
    default:
        break;
    }
    const bool handled = QAbstractButton::event(e);
    sync();
    return handled;
}

void ButtonBase::paintEvent(QPaintEvent* /*e*/)
{
    // Everything is painted by the overflow painting.
}

void ButtonBase::sync()
{
    const bool pressed = isDown();
    if (pressed != m_pressed || m_lastHovered != m_hovered) {
        m_pressed = pressed;
        m_lastHovered = m_hovered;
        interactionChanged();
        update();
    }
}

void ButtonBase::followInteraction(AnimatedValue& hover, AnimatedValue& press, double duration)
{
    const Animation animation = respectingReduceMotion(Animation::standard(duration));
    const double hovered = isHovered() ? 1 : 0;
    if (hovered != hover.target()) {
        hover.animate(hovered, animation);
    }
    const double pressed = isPressed() ? 1 : 0;
    if (pressed != press.target()) {
        press.animate(pressed, animation);
    }
}

} // namespace kit
