#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ViewEffect.h"

#include <QColor>
#include <QMetaObject>
#include <QWidget>

#include <optional>

namespace kit {

// The 6-point status dot, as pure data: a glow of its colour at 0.6 (radius 3 when it pulses, 0
// otherwise), and an opacity that swings from 1 to 0.35 while it pulses.
struct PulseDotStyle
{
    static constexpr double kDiameter = 6;
    static constexpr double kDimOpacity = 0.35;
    static constexpr double kHalfPeriod = 0.8; // seconds each way
    // Frames a second of the pulse, which runs for as long as the dot is shown (a page read for
    // minutes) and whose every frame costs the whole way to the screen. A fade this slow on a dot
    // this small looks smooth at the rate the shared display itself runs at.
    static constexpr double kFrameRate = 20;

    static double glowRadius(bool pulses) { return pulses ? 3 : 0; }
    // `dim` from 0 (bright) to 1 (dim), as the animation has it now.
    static double opacity(bool pulses, double dim) { return pulses ? 1 + (kDimOpacity - 1) * dim : 1; }
    // The ease-in-out of 0.8 s, repeated forever and reversing on each repeat, at kFrameRate.
    static Animation pulseAnimation();
};

// The status dot (one per control, found by its object name). It starts pulsing when it comes on
// screen, when it pulses and Reduce Motion is off; switching Reduce Motion on stops the pulse at
// full opacity at once, switching it off again restarts it.
class PulseDot final
    : public QWidget
    , public SelfPainted
{
    Q_OBJECT

public:
    PulseDot(const QColor& color, bool pulses, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    bool pulses() const { return m_pulses; }
    // Takes effect on the glow and the opacity at once. Switched off, a pulse stops at full
    // opacity; switched back on, it starts over from full. A dot that was not pulsing starts only
    // when it comes on screen anew or Reduce Motion is switched off.
    void setPulses(bool pulses);

    // The view's own reduce-motion flag; none follows the workspace setting.
    void setEnvironmentReduceMotion(std::optional<bool> reduceMotion);
    bool environmentReduceMotion() const;

    // What is drawn now.
    double currentOpacity() const;
    bool isPulsing() const { return m_dim.isAnimating(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    void startPulse();
    void reduceMotionChanged(bool reduceMotion);

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override;
    std::optional<ContentPlacement> contentPlacement() const override { return std::nullopt; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void environmentMayHaveChanged();

    QColor m_color;
    bool m_pulses;
    std::optional<bool> m_environmentReduceMotion;
    bool m_lastReduceMotion = false;
    bool m_resumes = false; // switched off mid-pulse: switching on starts over
    AnimatedValue m_dim{0.0};
};

} // namespace kit
