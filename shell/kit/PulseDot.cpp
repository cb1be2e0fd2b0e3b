#include "shell/kit/PulseDot.h"

#include "platform/AccessibilitySettings.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"

#include <QPainter>

namespace kit {

Animation PulseDotStyle::pulseAnimation()
{
    return Animation::easeInOut(kHalfPeriod).repeatForever(true).atFrameRate(kFrameRate);
}

PulseDot::PulseDot(const QColor& color, bool pulses, QWidget* parent)
    : QWidget(parent)
    , m_color(color)
    , m_pulses(pulses)
    , m_lastReduceMotion(kit::reduceMotion())
{
    setObjectName(QStringLiteral("PulseDot"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_dim.setOnChange([this] {
        if (m_pulses) {
            update();
        }
    });
    hostLook(this);
    if (auto* settings = accessibilitySettings()) {
        connect(settings,
                &platform::AccessibilitySettings::displayOptionsChanged,
                this,
                &PulseDot::environmentMayHaveChanged);
    }
}

void PulseDot::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void PulseDot::setPulses(bool pulses)
{
    if (pulses == m_pulses) {
        return;
    }
    m_pulses = pulses;
    if (!pulses) {
        // A pulse that is switched off stops (no frames run for nothing) and remembers to
        // start over when switched back on.
        m_resumes = isPulsing();
        m_dim.set(0);
    } else if (m_resumes) {
        m_resumes = false;
        startPulse();
    }
    update();
}

void PulseDot::setEnvironmentReduceMotion(std::optional<bool> reduceMotion)
{
    m_environmentReduceMotion = reduceMotion;
    environmentMayHaveChanged();
}

bool PulseDot::environmentReduceMotion() const
{
    return m_environmentReduceMotion.value_or(reduceMotion());
}

double PulseDot::currentOpacity() const
{
    return PulseDotStyle::opacity(m_pulses, m_dim.value());
}

QSize PulseDot::sizeHint() const
{
    return {static_cast<int>(PulseDotStyle::kDiameter), static_cast<int>(PulseDotStyle::kDiameter)};
}

void PulseDot::startPulse()
{
    if (m_pulses && !environmentReduceMotion()) {
        m_dim.set(0);
        m_dim.animate(1, PulseDotStyle::pulseAnimation());
    }
}

void PulseDot::reduceMotionChanged(bool reduceMotion)
{
    if (reduceMotion) {
        m_dim.set(0);
    } else if (m_pulses) {
        startPulse();
    }
}

void PulseDot::environmentMayHaveChanged()
{
    // Only changes count, not the value the dot was made with.
    const bool now = environmentReduceMotion();
    if (now != m_lastReduceMotion) {
        m_lastReduceMotion = now;
        reduceMotionChanged(now);
    }
}

void PulseDot::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    startPulse();
}

void PulseDot::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    // Off screen the pulse ends; it starts anew when the dot comes back.
    m_dim.set(0);
    m_resumes = false;
}

void PulseDot::paintEvent(QPaintEvent* /*e*/)
{
    // Painted by the view's effect, so the glow may pass the widget's edges.
    paintLookIfUnhosted(this);
}

QMarginsF PulseDot::lookOverflow() const
{
    Shadow glow;
    glow.radius = PulseDotStyle::glowRadius(true);
    return glow.reach();
}

void PulseDot::paintLook(QPainter& painter)
{
    const QRectF r = rect();
    const double side = PulseDotStyle::kDiameter;
    QPainterPath dot;
    dot.addEllipse(QRectF(r.center() - QPointF(side / 2, side / 2), QSizeF(side, side)));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(currentOpacity());
    Shadow glow;
    glow.color = m_color;
    glow.color.setAlphaF(static_cast<float>(m_color.alphaF() * 0.6));
    glow.radius = PulseDotStyle::glowRadius(m_pulses);
    if (glow.radius > 0) {
        drawShadow(painter, dot, glow);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawPath(dot);
}

} // namespace kit
