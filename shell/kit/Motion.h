#pragma once

namespace kit {

// A cubic Bézier timing curve from (0, 0) to (1, 1) through two control points, as CSS and Core
// Animation define them: the x coordinates must lie in 0 … 1 (they are clamped).
class CubicBezier
{
public:
    constexpr CubicBezier(double x1, double y1, double x2, double y2)
        : m_x1(x1 < 0 ? 0 : (x1 > 1 ? 1 : x1))
        , m_y1(y1)
        , m_x2(x2 < 0 ? 0 : (x2 > 1 ? 1 : x2))
        , m_y2(y2)
    {}

    // The curve's progress y at the time fraction x (clamped to 0 … 1).
    double valueAt(double x) const;

    friend bool operator==(const CubicBezier&, const CubicBezier&) = default;

private:
    double m_x1;
    double m_y1;
    double m_x2;
    double m_y2;
};

// How an animated change moves from its old value to its new one: an ease-in-out, a timing
// curve or a spring, optionally repeated forever. A pure description; `AnimatedValue` runs one.
class Animation
{
public:
    enum class Kind
    {
        TimingCurve, // includes the ease-in-out, a timing curve of fixed control points
        Spring
    };

    // The ease-in-out curve, control points (0.42, 0) and (0.58, 1).
    static Animation easeInOut(double duration);
    // Constant speed (a spinner's turn).
    static Animation linear(double duration);
    static Animation timingCurve(double x1, double y1, double x2, double y2, double duration);
    // The fast ease-out of presses, hovers and choices: control points (0.16, 1) and (0.3, 1).
    static Animation standard(double duration);
    // A spring of unit mass: stiffness (2π / response)², damping 4π · dampingFraction / response.
    // A damping fraction of 1 is critically damped (no overshoot). The blend duration only
    // matters for merging springs, which this runner does not do.
    static Animation spring(double response, double dampingFraction, double blendDuration = 0);

    // The same animation repeated forever, reversing on each repeat when `autoreverses`.
    Animation repeatForever(bool autoreverses = true) const;
    // The same animation starting `seconds` late (it stays at its start until then).
    Animation delayed(double seconds) const;
    // The same animation drawn this many times a second instead of the runner's own rate: a slow,
    // small change that runs for long (a status dot's pulse) needs fewer frames to look smooth.
    // Not a number above zero: the runner's rate.
    Animation atFrameRate(double framesPerSecond) const;

    Kind kind() const { return m_kind; }
    bool isRepeating() const { return m_repeats; }
    bool autoreverses() const { return m_autoreverses; }
    // The curve's (or one cycle's) duration; for a spring, the time until it has settled to
    // within a thousandth of its distance.
    double duration() const;
    double response() const { return m_response; }
    double dampingFraction() const { return m_damping; }
    double delay() const { return m_delay; }
    // Frames a second it asks for; 0 for the runner's own rate.
    double frameRate() const { return m_frameRate; }
    const CubicBezier& curve() const { return m_curve; }

    // The fraction of the way from the old value to the new one after `elapsed` seconds: 0 at
    // the start, 1 at rest (an under-damped spring passes beyond 1 on the way).
    double fraction(double elapsed) const;
    // Whether the animation has come to rest after `elapsed` seconds (its delay included; never,
    // when repeating).
    bool isFinished(double elapsed) const;

    friend bool operator==(const Animation&, const Animation&) = default;

private:
    Animation() = default;
    double springFraction(double t) const;

    Kind m_kind = Kind::TimingCurve;
    CubicBezier m_curve{0, 0, 1, 1};
    double m_duration = 0;
    double m_response = 0;
    double m_damping = 1;
    double m_delay = 0;
    double m_frameRate = 0;
    bool m_repeats = false;
    bool m_autoreverses = false;
};

// The displacement left of a critically damped spring (unit start distance, at rest at 0) after
// t seconds with natural frequency ω: (1 + ωt) e^(−ωt).
double criticallyDampedRemainder(double omega, double t);

// The one animation used instead of every spring and curve while Reduce Motion is on: an
// ease-in-out of 0.15 s, made once.
const Animation& reduceMotionAnimation();

// The animation a change that wants `animation` runs now: `reduceMotionAnimation()` while the
// workspace's Reduce Motion is on (read now), else `animation` itself.
Animation respectingReduceMotion(const Animation& animation);

} // namespace kit
