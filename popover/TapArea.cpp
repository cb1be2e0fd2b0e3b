#include "popover/TapArea.h"

#include "shell/kit/ViewEffect.h"

#include <QMouseEvent>

TapArea::TapArea(QPointF anchor, QWidget* parent)
    : QWidget(parent)
    , m_anchor(anchor)
{
    setObjectName(QStringLiteral("tapArea"));
    m_scale.setOnChange([this] {
        kit::ViewPose pose;
        pose.scale = m_scale.value();
        pose.anchor = m_anchor;
        kit::ViewEffect::setPose(this, pose);
    });
}

void TapArea::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        setPressed(true);
    }
}

void TapArea::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_pressed) {
        return;
    }
    setPressed(false);
    if (rect().contains(e->position().toPoint())) {
        emit tapped();
    }
}

void TapArea::hideEvent(QHideEvent* /*e*/)
{
    // A release that never comes must not leave the area shrunk.
    setPressed(false);
}

void TapArea::setPressed(bool pressed)
{
    if (pressed == m_pressed) {
        return;
    }
    m_pressed = pressed;
    m_scale.animate(pressed ? kPressedScale : 1.0,
                    kit::respectingReduceMotion(kit::Animation::standard(kDuration)));
}
