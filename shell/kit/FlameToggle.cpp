#include "shell/kit/FlameToggle.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>

namespace kit {

FlameToggleStyle::Appearance FlameToggleStyle::appearance(double onness)
{
    const double t = std::clamp(onness, 0.0, 1.0);
    Appearance a;
    a.onness = t;
    const double travel = kWidth - kKnob - 2 * kKnobInset;
    // The knob may pass its end a little when a spring overshoots; colours do not.
    a.knobX = kKnobInset + travel * onness;
    a.knobColor = mixColors(white(0.7), white(1.0), t);
    a.border = mixColors(Palette::hairline(), QColor(0, 0, 0, 0), t);
    QColor glow = Palette::flame();
    glow.setAlphaF(0.3F);
    a.glowColor = mixColors(QColor(0, 0, 0, 0), glow, t);
    return a;
}

std::optional<Animation> FlameToggleStyle::flipAnimation(bool environmentReduceMotion)
{
    if (environmentReduceMotion) {
        return std::nullopt;
    }
    return respectingReduceMotion(Animation::spring(0.28, 1.0, 0));
}

namespace {

// Reports the switch's state as the accessible value "On" / "Off".
class FlameToggleAccessible final : public QAccessibleWidget
{
public:
    explicit FlameToggleAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::CheckBox)
    {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            const auto* toggle = static_cast<const FlameToggle*>(widget());
            return toggle->isOn() ? QStringLiteral("On") : QStringLiteral("Off");
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = static_cast<const FlameToggle*>(widget())->isOn();
        return s;
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("kit::FlameToggle") && object != nullptr && object->isWidgetType()) {
        return new FlameToggleAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

FlameToggle::FlameToggle(bool isOn, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_on(isOn)
    , m_onness(isOn ? 1.0 : 0.0)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    static_cast<void>(installed);
    setObjectName(QStringLiteral("FlameToggle"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_onness.setOnChange([this] { update(); });
    connect(this, &QAbstractButton::clicked, this, &FlameToggle::requestFlip);
}

bool FlameToggle::environmentReduceMotion() const
{
    return m_environmentReduceMotion.value_or(reduceMotion());
}

void FlameToggle::setOn(bool on)
{
    if (on == m_on) {
        return;
    }
    m_on = on;
    const double target = on ? 1.0 : 0.0;
    if (m_flipAnimation) {
        m_onness.change(target, *m_flipAnimation);
    } else {
        m_onness.set(target);
    }
    QAccessibleValueChangeEvent event(this, on ? QStringLiteral("On") : QStringLiteral("Off"));
    QAccessible::updateAccessibility(&event);
}

void FlameToggle::requestFlip()
{
    m_flipAnimation = FlameToggleStyle::flipAnimation(environmentReduceMotion());
    emit toggleRequested(!m_on);
    m_flipAnimation.reset();
}

QSize FlameToggle::sizeHint() const
{
    return {static_cast<int>(FlameToggleStyle::kWidth), static_cast<int>(FlameToggleStyle::kHeight)};
}

QMarginsF FlameToggle::overflow() const
{
    Shadow glow;
    glow.radius = FlameToggleStyle::kGlowRadius;
    return glow.reach();
}

bool FlameToggle::hitButton(const QPoint& pos) const
{
    return capsule(QRectF(rect())).contains(QPointF(pos));
}

void FlameToggle::paintLabel(QPainter& painter, const QRectF& rect)
{
    const auto a = FlameToggleStyle::appearance(m_onness.value());
    const QRectF track(rect.center() - QPointF(FlameToggleStyle::kWidth / 2, FlameToggleStyle::kHeight / 2),
                       QSizeF(FlameToggleStyle::kWidth, FlameToggleStyle::kHeight));
    const QPainterPath shape = capsule(track);
    painter.setRenderHint(QPainter::Antialiasing);

    Shadow glow;
    glow.color = a.glowColor;
    glow.radius = FlameToggleStyle::kGlowRadius;
    drawShadow(painter, shape, glow);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::surfaceHigh());
    painter.drawPath(shape);
    if (a.onness > 0) {
        painter.save();
        painter.setOpacity(painter.opacity() * a.onness);
        painter.setBrush(Palette::flameGradient());
        painter.drawPath(shape);
        painter.restore();
    }
    strokeInnerBorder(painter, track, capsuleRadius(track), a.border);

    const QRectF knob(track.left() + a.knobX,
                      track.top() + FlameToggleStyle::kKnobInset,
                      FlameToggleStyle::kKnob,
                      FlameToggleStyle::kKnob);
    QPainterPath knobShape;
    knobShape.addEllipse(knob);
    Shadow knobShadow;
    knobShadow.color = QColor(0, 0, 0, 0);
    knobShadow.color.setAlphaF(0.35F);
    knobShadow.radius = 1.5;
    knobShadow.offset = QPointF(0, 1);
    drawShadow(painter, knobShape, knobShadow);
    painter.setPen(Qt::NoPen);
    painter.setBrush(a.knobColor);
    painter.drawPath(knobShape);
}

} // namespace kit
