#include "shell/kit/AnimatedValue.h"

#include "platform/AccessibilitySettings.h"
#include "shell/kit/Accessibility.h"

namespace kit {

namespace {
double now()
{
    return platform::Scheduler::current().now();
}
} // namespace

AnimatedValue::AnimatedValue(double value, std::function<void()> onChange)
    : m_from(value)
    , m_to(value)
    , m_onChange(std::move(onChange))
{}

AnimatedValue::~AnimatedValue() = default;

double AnimatedValue::value() const
{
    if (!m_running) {
        return m_to;
    }
    const double elapsed = now() - m_start;
    if (m_animation.isFinished(elapsed)) {
        return m_to;
    }
    return m_from + (m_to - m_from) * m_animation.fraction(elapsed);
}

void AnimatedValue::set(double value)
{
    const bool changed = m_running || value != m_to;
    stop();
    m_from = value;
    m_to = value;
    if (changed) {
        notify();
    }
}

void AnimatedValue::animate(double to, const Animation& animation)
{
    if (animation.isRepeating() && reduceMotion()) {
        return;
    }
    if (!animation.isRepeating() && (animation.duration() <= 0 || (!m_running && to == m_to))) {
        set(to);
        return;
    }
    const double from = value();
    stop();
    m_from = from;
    m_to = to;
    m_animation = animation;
    m_start = now();
    m_running = true;
    const double frameRate = animation.frameRate() > 0 ? animation.frameRate() : kFrameRate;
    m_ticker = platform::Scheduler::current().every(1.0 / frameRate, [this] { tick(); });
    if (animation.isRepeating()) {
        if (auto* settings = accessibilitySettings()) {
            if (!m_context) {
                m_context = std::make_unique<QObject>();
            }
            m_watch = QObject::connect(settings,
                                       &platform::AccessibilitySettings::displayOptionsChanged,
                                       m_context.get(),
                                       [this] { reduceMotionMayHaveChanged(); });
        }
    }
    notify();
}

void AnimatedValue::change(double to, const std::optional<Animation>& animation)
{
    if (animation) {
        animate(to, *animation);
    } else {
        set(to);
    }
}

void AnimatedValue::tick()
{
    if (m_running && m_animation.isFinished(now() - m_start)) {
        stop();
    }
    notify();
}

void AnimatedValue::stop()
{
    m_running = false;
    m_ticker.cancel();
    QObject::disconnect(m_watch);
}

void AnimatedValue::notify() const
{
    if (m_onChange) {
        m_onChange();
    }
}

void AnimatedValue::reduceMotionMayHaveChanged()
{
    if (m_running && m_animation.isRepeating() && reduceMotion()) {
        // Back to where the repetition started, at once.
        const double rest = m_from;
        stop();
        m_from = rest;
        m_to = rest;
        notify();
    }
}

} // namespace kit
