#include "shell/kit/FlameSlider.h"

#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kit {

FlameSliderGeometry
FlameSliderGeometry::make(double value, double lower, double upper, double width, double thumb)
{
    FlameSliderGeometry g;
    g.thumb = thumb;
    g.lower = std::isfinite(lower) ? lower : 0;
    const double span = upper - lower;
    g.span = std::isfinite(span) ? span : 0;
    g.fraction = g.span > 0 && std::isfinite(value) ? (value - g.lower) / g.span : 0;
    g.usable = std::max(std::isfinite(width) ? width - thumb : 0, 1.0);
    g.x = g.fraction * g.usable;
    return g;
}

double FlameSliderDrag::changed(double startX, double currentX, const FlameSliderGeometry& g)
{
    if (!m_dragging) {
        const bool onKnob = std::abs(startX - g.knobCenter()) <= g.thumb / 2 + 4;
        m_grabOffsetX = onKnob ? startX - g.x : g.thumb / 2;
    }
    m_dragging = true;
    const double position = std::clamp(currentX - m_grabOffsetX.value_or(g.thumb / 2), 0.0, g.usable);
    if (!(g.span > 0)) {
        return g.lower;
    }
    return g.lower + (position / g.usable) * g.span;
}

void FlameSliderDrag::ended()
{
    m_dragging = false;
    m_grabOffsetX.reset();
}

FlameSlider::FlameSlider(double value, double lower, double upper, QWidget* parent)
    : QWidget(parent)
    , m_value(value)
    , m_lower(lower)
    , m_upper(upper)
{
    setObjectName(QStringLiteral("FlameSlider"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_dragging.setOnChange([this] { update(); });
    hostLook(this);
}

void FlameSlider::setValue(double value)
{
    if (value == m_value) {
        return;
    }
    m_value = value;
    update();
}

void FlameSlider::setRange(double lower, double upper)
{
    m_lower = lower;
    m_upper = upper;
    update();
}

FlameSliderGeometry FlameSlider::geometryNow() const
{
    return FlameSliderGeometry::make(m_value, m_lower, m_upper, width());
}

QSize FlameSlider::sizeHint() const
{
    return {120, static_cast<int>(FlameSliderGeometry::kHeight)};
}

QSize FlameSlider::minimumSizeHint() const
{
    return {static_cast<int>(FlameSliderGeometry::kThumb), static_cast<int>(FlameSliderGeometry::kHeight)};
}

void FlameSlider::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    if (m_dragStartX) {
        endDrag(); // the last drag's release was lost: this press starts afresh
    }
    m_dragStartX = e->position().x();
    dragTo(e->position().x());
}

void FlameSlider::mouseMoveEvent(QMouseEvent* e)
{
    if (m_dragStartX) {
        dragTo(e->position().x());
    }
}

void FlameSlider::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_dragStartX) {
        endDrag();
    }
}

void FlameSlider::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (m_dragStartX) {
        endDrag();
    }
}

void FlameSlider::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange && !isEnabled() && m_dragStartX) {
        endDrag();
    }
}

void FlameSlider::dragTo(double x)
{
    const bool wasDragging = m_drag.isDragging();
    const double value = m_drag.changed(*m_dragStartX, x, geometryNow());
    if (!wasDragging) {
        m_dragging.animate(1, respectingReduceMotion(Animation::standard(0.18)));
    }
    emit valueChangeRequested(value);
}

void FlameSlider::endDrag()
{
    m_drag.ended();
    m_dragStartX.reset();
    m_dragging.animate(0, respectingReduceMotion(Animation::standard(0.18)));
}

void FlameSlider::paintEvent(QPaintEvent* /*e*/)
{
    // Painted by the view's effect, so the knob's glow may pass the widget's edges.
    paintLookIfUnhosted(this);
}

QMarginsF FlameSlider::lookOverflow() const
{
    Shadow widest;
    widest.radius = 7;
    return widest.reach();
}

void FlameSlider::paintLook(QPainter& painter)
{
    const FlameSliderGeometry g = geometryNow();
    const double d = m_dragging.value();
    const QRectF r = rect();
    painter.setRenderHint(QPainter::Antialiasing);
    const double trackTop = r.center().y() - FlameSliderGeometry::kTrackHeight / 2;

    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::surfaceHigh());
    painter.drawPath(capsule(QRectF(r.left(), trackTop, r.width(), FlameSliderGeometry::kTrackHeight)));

    // A value outside the range is drawn at the nearer end.
    const double x = std::clamp(g.x, 0.0, g.usable);
    const double filled = x + g.thumb / 2;
    if (filled > 0) {
        painter.setBrush(Palette::flameGradient());
        painter.drawPath(capsule(QRectF(r.left(), trackTop, filled, FlameSliderGeometry::kTrackHeight)));
    }

    const QPointF center(r.left() + x + g.thumb / 2, r.center().y());
    const double side = g.thumb * (1 + 0.12 * d);
    QPainterPath knob;
    knob.addEllipse(center, side / 2, side / 2);
    Shadow glow;
    glow.color = Palette::flame();
    glow.color.setAlphaF(static_cast<float>(0.45 + (0.8 - 0.45) * d));
    glow.radius = 4 + (7 - 4) * d;
    drawShadow(painter, knob, glow);
    painter.setBrush(Qt::white);
    painter.drawPath(knob);
}

} // namespace kit
