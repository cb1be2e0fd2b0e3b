#pragma once

#include "platform/Scheduler.h"
#include "shell/kit/Motion.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace kit {

// One number that moves to new values along an `Animation`, on the process's scheduler (so tests
// drive it with the virtual clock). The owner reads `value()` when it paints and is told through
// the change callback on every frame. Main thread only.
//
// A repeating animation does not start while Reduce Motion is on, and one that runs stops at
// its starting value as soon as Reduce Motion is switched on.
class AnimatedValue
{
public:
    explicit AnimatedValue(double value = 0, std::function<void()> onChange = {});
    ~AnimatedValue();
    AnimatedValue(const AnimatedValue&) = delete;
    AnimatedValue& operator=(const AnimatedValue&) = delete;

    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // The value to draw now.
    double value() const;
    // Where the value is going (or is).
    double target() const { return m_to; }
    bool isAnimating() const { return m_running; }

    // Jumps to the value, ending any animation.
    void set(double value);
    // Moves from the value drawn now to `to`. A zero-length animation is a jump.
    void animate(double to, const Animation& animation);
    // `animate` when an animation is given, else `set`.
    void change(double to, const std::optional<Animation>& animation);

    // Frames per second of the drawing ticks, unless the animation asks for its own rate.
    static constexpr double kFrameRate = 60.0;

private:
    void tick();
    void stop();
    void notify() const;
    void reduceMotionMayHaveChanged();

    double m_from = 0;
    double m_to = 0;
    double m_start = 0;
    Animation m_animation = Animation::easeInOut(0);
    bool m_running = false;
    platform::TimerHandle m_ticker;
    std::function<void()> m_onChange;
    std::unique_ptr<QObject> m_context; // receiver of the settings' change signal
    QMetaObject::Connection m_watch;    // while a repeating animation runs
};

} // namespace kit
