#include "shell/kit/Motion.h"

#include "shell/kit/AnimatedValue.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace kit;
using testing_support::KitEnvironment;

TEST(Motion, TimingCurvesMatchTheirBezierDefinition)
{
    // Reference values from an independent bisection of the curve definitions.
    const CubicBezier ease(0.42, 0, 0.58, 1);
    const CubicBezier fast(0.16, 1, 0.3, 1);
    const std::tuple<CubicBezier, double, double> cases[] = {
        {ease, 0.0, 0.0},
        {ease, 0.1, 0.0197225},
        {ease, 0.25, 0.1291619},
        {ease, 0.5, 0.5},
        {ease, 1.0, 1.0},
        {fast, 0.1, 0.4943906},
        {fast, 0.5, 0.9717791},
        {fast, -3.0, 0.0}, // clamped
        {fast, 7.0, 1.0},
    };
    for (const auto& [curve, x, y] : cases) {
        EXPECT_NEAR(curve.valueAt(x), y, 1e-6) << "x = " << x;
    }
}

TEST(Motion, FractionsOfPlainRepeatingAndDegenerateAnimations)
{
    const Animation ease = Animation::easeInOut(0.8);
    const Animation pulse = ease.repeatForever(true);
    const std::tuple<const char*, Animation, double, double> cases[] = {
        {"half-way is half-way", ease, 0.4, 0.5},
        {"rests at the end", ease, 0.8, 1.0},
        {"and past it", ease, 5, 1.0},
        {"reversing", pulse, 0.8, 1.0},
        {"reversing", pulse, 1.2, 0.5},
        {"reversing", pulse, 1.6, 0.0},
        {"reversing", pulse, 2.0, 0.5},
        {"no response is a jump", Animation::spring(0, 1), 0, 1.0},
        {"no response is a jump", Animation::spring(std::nan(""), 1), 0.1, 1.0},
        {"constant speed", Animation::linear(2), 0.5, 0.25},
        {"a delay holds the start", ease.delayed(0.2), 0.15, 0.0},
        {"and then runs", ease.delayed(0.2), 0.6, 0.5},
    };
    for (const auto& [what, animation, t, fraction] : cases) {
        EXPECT_NEAR(animation.fraction(t), fraction, 1e-9) << what << " at " << t;
    }
    EXPECT_TRUE(ease.isFinished(0.8));
    EXPECT_FALSE(ease.delayed(0.2).isFinished(0.9));
    EXPECT_FALSE(pulse.isFinished(1000));
}

TEST(Motion, CriticallyDampedSpringFollowsItsClosedFormAndSettles)
{
    const Animation spring = Animation::spring(0.28, 1.0, 0);
    const double omega = 2 * std::numbers::pi / 0.28;
    EXPECT_NEAR(spring.fraction(0.1), 0.6560260, 1e-6);
    for (double t = 0; t < spring.duration(); t += 0.01) {
        EXPECT_NEAR(spring.fraction(t), 1 - (1 + omega * t) * std::exp(-omega * t), 1e-12);
    }
    // Settled once within a thousandth of the distance.
    EXPECT_NEAR(spring.duration(), 0.4114722, 1e-5);
    EXPECT_NEAR(criticallyDampedRemainder(omega, spring.duration()), 0.001, 1e-7);
    EXPECT_FALSE(spring.isFinished(0.4));
    EXPECT_TRUE(spring.isFinished(0.42));
}

TEST(AnimatedValue, MovesAlongItsAnimationOnTheVirtualClockAndThenStops)
{
    KitEnvironment env;
    int changes = 0;
    AnimatedValue value(10, [&] { ++changes; });
    value.animate(20, Animation::easeInOut(1.0));
    EXPECT_DOUBLE_EQ(value.value(), 10);
    env.advance(0.25);
    EXPECT_NEAR(value.value(), 10 + 10 * 0.1291619, 1e-4);
    env.advance(0.25);
    EXPECT_NEAR(value.value(), 15, 1e-6);
    EXPECT_GT(changes, 20) << "the owner is told on every frame";
    env.advance(0.6);
    EXPECT_DOUBLE_EQ(value.value(), 20);
    EXPECT_FALSE(value.isAnimating());
    EXPECT_EQ(env.t.scheduler.pendingCount(), 0U) << "no frames are scheduled at rest";

    // A new target mid-flight starts from where the value is drawn.
    value.animate(0, Animation::easeInOut(1.0));
    env.advance(0.5);
    const double drawn = value.value();
    value.animate(40, Animation::easeInOut(1.0));
    EXPECT_DOUBLE_EQ(value.value(), drawn);
}
