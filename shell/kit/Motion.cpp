#include "shell/kit/Motion.h"

#include "shell/kit/Accessibility.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kit {

namespace {

// A spring counts as settled once it is within this share of its distance.
constexpr double kSettleThreshold = 0.001;
// Springs with no damping would ring forever; they are given this much.
constexpr double kLeastDamping = 0.01;

double clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

double bezierCoordinate(double t, double p1, double p2)
{
    const double u = 1 - t;
    return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

double bezierSlope(double t, double p1, double p2)
{
    const double u = 1 - t;
    return 3 * u * u * p1 + 6 * u * t * (p2 - p1) + 3 * t * t * (1 - p2);
}

} // namespace

double CubicBezier::valueAt(double x) const
{
    if (!std::isfinite(x)) {
        return x > 0 ? 1 : 0;
    }
    x = clamp01(x);
    // Find the curve parameter whose x is the given one: Newton's method, then bisection when
    // the slope is too flat to trust. x(t) is monotonic because the control x's lie in 0 … 1.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezierCoordinate(t, m_x1, m_x2) - x;
        if (std::abs(error) < 1e-9) {
            return bezierCoordinate(t, m_y1, m_y2);
        }
        const double slope = bezierSlope(t, m_x1, m_x2);
        if (std::abs(slope) < 1e-6) {
            break;
        }
        t -= error / slope;
    }
    double lo = 0;
    double hi = 1;
    t = x;
    for (int i = 0; i < 60; ++i) {
        const double value = bezierCoordinate(t, m_x1, m_x2);
        if (std::abs(value - x) < 1e-9) {
            break;
        }
        (value < x ? lo : hi) = t;
        t = (lo + hi) / 2;
    }
    return bezierCoordinate(t, m_y1, m_y2);
}

Animation Animation::easeInOut(double duration)
{
    return timingCurve(0.42, 0, 0.58, 1, duration);
}

Animation Animation::linear(double duration)
{
    return timingCurve(0, 0, 1, 1, duration);
}

Animation Animation::timingCurve(double x1, double y1, double x2, double y2, double duration)
{
    Animation a;
    a.m_kind = Kind::TimingCurve;
    a.m_curve = CubicBezier(x1, y1, x2, y2);
    a.m_duration = std::isfinite(duration) && duration > 0 ? duration : 0;
    return a;
}

Animation Animation::standard(double duration)
{
    return timingCurve(0.16, 1, 0.3, 1, duration);
}

Animation Animation::spring(double response, double dampingFraction, double /*blendDuration*/)
{
    Animation a;
    a.m_kind = Kind::Spring;
    a.m_response = std::isfinite(response) && response > 0 ? response : 0;
    a.m_damping = std::isfinite(dampingFraction) ? std::max(dampingFraction, kLeastDamping) : 1.0;
    a.m_duration = 0;
    if (a.m_response > 0) {
        // Settling time, from the closed forms below.
        const double omega = 2 * std::numbers::pi / a.m_response;
        const double zeta = a.m_damping;
        if (zeta < 1) {
            // The envelope e^(−ζωt)/√(1−ζ²) bounds the remaining displacement.
            a.m_duration = std::log(1 / (kSettleThreshold * std::sqrt(1 - zeta * zeta))) / (zeta * omega);
        } else {
            // No overshoot: the remainder falls monotonically; bisect for the threshold.
            double hi = a.m_response;
            while (1 - a.springFraction(hi) > kSettleThreshold && hi < 1e6) {
                hi *= 2;
            }
            double lo = 0;
            for (int i = 0; i < 60; ++i) {
                const double mid = (lo + hi) / 2;
                (1 - a.springFraction(mid) > kSettleThreshold ? lo : hi) = mid;
            }
            a.m_duration = hi;
        }
    }
    return a;
}

Animation Animation::repeatForever(bool autoreverses) const
{
    Animation a = *this;
    a.m_repeats = true;
    a.m_autoreverses = autoreverses;
    return a;
}

Animation Animation::delayed(double seconds) const
{
    Animation a = *this;
    a.m_delay = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
    return a;
}

Animation Animation::atFrameRate(double framesPerSecond) const
{
    Animation a = *this;
    a.m_frameRate = std::isfinite(framesPerSecond) && framesPerSecond > 0 ? framesPerSecond : 0;
    return a;
}

double Animation::duration() const
{
    return m_duration;
}

double criticallyDampedRemainder(double omega, double t)
{
    return (1 + omega * t) * std::exp(-omega * t);
}

double Animation::springFraction(double t) const
{
    if (m_response <= 0 || t <= 0) {
        return m_response <= 0 ? 1 : 0;
    }
    const double omega = 2 * std::numbers::pi / m_response;
    const double zeta = m_damping;
    if (zeta == 1) {
        return 1 - criticallyDampedRemainder(omega, t);
    }
    if (zeta < 1) {
        const double damped = omega * std::sqrt(1 - zeta * zeta);
        return 1
               - std::exp(-zeta * omega * t)
                     * (std::cos(damped * t) + (zeta * omega / damped) * std::sin(damped * t));
    }
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -omega * (zeta - root);
    const double r2 = -omega * (zeta + root);
    return 1 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

double Animation::fraction(double elapsed) const
{
    if (std::isnan(elapsed)) {
        return 0;
    }
    elapsed = std::max(elapsed - m_delay, 0.0);
    const double cycle = duration();
    bool reversed = false;
    if (m_repeats && cycle > 0 && std::isfinite(elapsed)) {
        const double count = std::floor(elapsed / cycle);
        elapsed -= count * cycle;
        reversed = m_autoreverses && std::fmod(count, 2.0) == 1.0;
    } else if (!std::isfinite(elapsed) || (!m_repeats && elapsed >= cycle)) {
        return 1;
    }
    double f = 0;
    if (m_kind == Kind::Spring) {
        f = springFraction(elapsed);
    } else {
        f = cycle > 0 ? m_curve.valueAt(elapsed / cycle) : 1;
    }
    return reversed ? 1 - f : f;
}

bool Animation::isFinished(double elapsed) const
{
    return !m_repeats && elapsed >= m_delay + duration();
}

const Animation& reduceMotionAnimation()
{
    static const Animation a = Animation::easeInOut(0.15);
    return a;
}

Animation respectingReduceMotion(const Animation& animation)
{
    return reduceMotion() ? reduceMotionAnimation() : animation;
}

} // namespace kit
