#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"

#include <QColor>

#include <optional>

namespace kit {

// The 32 × 18 switch, as pure data for "on" (1) and "off" (0) and the blend between.
struct FlameToggleStyle
{
    struct Appearance
    {
        double onness = 0; // 0 off … 1 on: the track's gradient shows this much
        double knobX = 0;  // the knob's leading edge, from the switch's leading edge
        QColor knobColor;  // white, or white at 0.7 when off
        QColor border;     // inner border: hairline off, transparent on
        QColor glowColor;  // flame at 0.3 on, transparent off
    };

    static constexpr double kWidth = 32;
    static constexpr double kHeight = 18;
    static constexpr double kKnob = 14;
    static constexpr double kKnobInset = 2;
    static constexpr double kGlowRadius = 6;

    // `onness` 0 is off, 1 is on; between, the look of the animation at that point.
    static Appearance appearance(double onness);

    // How a flip the user asked for animates: not at all when the view's own reduce-motion flag
    // is set; otherwise the reduced-motion ease while the workspace's Reduce Motion is on (read
    // now), else a critically damped spring of response 0.28 s.
    static std::optional<Animation> flipAnimation(bool environmentReduceMotion);
};

// The switch (one per control, found by its object name). It never flips itself: a click emits
// `toggleRequested` with the wanted value, and the owner sets the model's value back with
// `setOn`. A change set while the click is being handled animates as `flipAnimation` says; any
// other change shows at once. Pressing shrinks the whole switch to 0.97. Enabled or not looks the
// same. Its accessible value is "On" or "Off".
class FlameToggle final : public PressFeedbackButton
{
    Q_OBJECT

public:
    explicit FlameToggle(bool isOn = false, QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);

    // The view's own reduce-motion flag; none follows the workspace setting.
    void setEnvironmentReduceMotion(std::optional<bool> reduceMotion)
    {
        m_environmentReduceMotion = reduceMotion;
    }
    bool environmentReduceMotion() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // How far "on" the switch is drawn now.
    double currentOnness() const { return m_onness.value(); }

signals:
    void toggleRequested(bool on);

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    QMarginsF overflow() const override;
    bool hitButton(const QPoint& pos) const override;

private:
    void requestFlip();

    bool m_on = false;
    std::optional<bool> m_environmentReduceMotion;
    // Set while a click is being handled: how the resulting change animates.
    std::optional<std::optional<Animation>> m_flipAnimation;
    AnimatedValue m_onness{0.0};
};

} // namespace kit
