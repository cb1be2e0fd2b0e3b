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
    struct Case
    {
        CubicBezier curve;
        double x;
        double y;
    };
    const Case cases[] = {
        {CubicBezier(0.42, 0, 0.58, 1), 0.0, 0.0},
        {CubicBezier(0.42, 0, 0.58, 1), 0.1, 0.0197225},
        {CubicBezier(0.42, 0, 0.58, 1), 0.25, 0.1291619},
        {CubicBezier(0.42, 0, 0.58, 1), 0.5, 0.5},
        {CubicBezier(0.42, 0, 0.58, 1), 1.0, 1.0},
        {CubicBezier(0.16, 1, 0.3, 1), 0.1, 0.4943906},
        {CubicBezier(0.16, 1, 0.3, 1), 0.5, 0.9717791},
        {CubicBezier(0.16, 1, 0.3, 1), 1.0, 1.0},
        {CubicBezier(0.16, 1, 0.3, 1), -3.0, 0.0}, // clamped
        {CubicBezier(0.16, 1, 0.3, 1), 7.0, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.curve.valueAt(c.x), c.y, 1e-6) << "x = " << c.x;
    }
}

TEST(Motion, NamedAnimationsHaveTheirCurvesAndDurations)
{
    EXPECT_EQ(Animation::easeInOut(0.15).curve(), CubicBezier(0.42, 0, 0.58, 1));
    EXPECT_EQ(Animation::standard(0.18).curve(), CubicBezier(0.16, 1, 0.3, 1));
    EXPECT_DOUBLE_EQ(Animation::standard(0.18).duration(), 0.18);
    EXPECT_EQ(reduceMotionAnimation(), Animation::easeInOut(0.15));
    EXPECT_EQ(&reduceMotionAnimation(), &reduceMotionAnimation());
    // Half-way through an ease-in-out is half-way; at and past the end it rests at 1.
    EXPECT_NEAR(Animation::easeInOut(0.8).fraction(0.4), 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(Animation::easeInOut(0.8).fraction(0.8), 1.0);
    EXPECT_DOUBLE_EQ(Animation::easeInOut(0.8).fraction(5), 1.0);
    EXPECT_TRUE(Animation::easeInOut(0.8).isFinished(0.8));
}

TEST(Motion, CriticallyDampedSpringFollowsItsClosedFormAndNeverOvershoots)
{
    const Animation spring = Animation::spring(0.28, 1.0, 0);
    const double omega = 2 * std::numbers::pi / 0.28;
    EXPECT_NEAR(spring.fraction(0.1), 0.6560260, 1e-6);
    for (int step = 0; step * 0.01 < spring.duration(); ++step) {
        const double t = step * 0.01;
        EXPECT_NEAR(spring.fraction(t), 1 - (1 + omega * t) * std::exp(-omega * t), 1e-12);
        EXPECT_LE(spring.fraction(t), 1.0);
    }
    // Settled once within a thousandth of the distance.
    EXPECT_NEAR(spring.duration(), 0.4114722, 1e-5);
    EXPECT_NEAR(criticallyDampedRemainder(omega, spring.duration()), 0.001, 1e-7);
    EXPECT_FALSE(spring.isFinished(0.4));
    EXPECT_TRUE(spring.isFinished(0.42));
}

TEST(Motion, UnderAndOverDampedSpringsSettleAtOne)
{
    const Animation bouncy = Animation::spring(0.4, 0.5);
    double peak = 0;
    for (int step = 0; step * 0.005 < bouncy.duration(); ++step) {
        peak = std::max(peak, bouncy.fraction(step * 0.005));
    }
    EXPECT_GT(peak, 1.1) << "an under-damped spring passes its target";
    EXPECT_NEAR(bouncy.fraction(bouncy.duration() - 1e-9), 1.0, 1.5e-3);

    const Animation sluggish = Animation::spring(0.3, 2.0);
    double previous = 0;
    for (int step = 0; step * 0.01 < sluggish.duration(); ++step) {
        EXPECT_GE(sluggish.fraction(step * 0.01), previous);
        previous = sluggish.fraction(step * 0.01);
    }
    EXPECT_NEAR(sluggish.fraction(sluggish.duration()), 1.0, 1e-12);
    // A spring without a usable response is a jump.
    EXPECT_DOUBLE_EQ(Animation::spring(0, 1).fraction(0), 1.0);
    EXPECT_DOUBLE_EQ(Animation::spring(std::nan(""), 1).fraction(0.1), 1.0);
}

TEST(Motion, RepeatingAnimationsReverseOnEachRepeatAndNeverFinish)
{
    const Animation pulse = Animation::easeInOut(0.8).repeatForever(true);
    EXPECT_NEAR(pulse.fraction(0.4), 0.5, 1e-9);
    EXPECT_NEAR(pulse.fraction(0.8), 1.0, 1e-9);
    EXPECT_NEAR(pulse.fraction(1.2), 0.5, 1e-9);
    EXPECT_NEAR(pulse.fraction(1.6), 0.0, 1e-9);
    EXPECT_NEAR(pulse.fraction(2.0), 0.5, 1e-9);
    EXPECT_FALSE(pulse.isFinished(1000));
    const Animation restart = Animation::easeInOut(0.8).repeatForever(false);
    EXPECT_NEAR(restart.fraction(0.8 + 0.4), 0.5, 1e-9);
    EXPECT_NEAR(restart.fraction(0.8 * 3 + 0.1), Animation::easeInOut(0.8).fraction(0.1), 1e-9);
}

TEST(Motion, ReduceMotionReplacesEveryAnimationWhenItStarts)
{
    KitEnvironment env;
    const Animation spring = Animation::spring(0.28, 1.0);
    EXPECT_EQ(respectingReduceMotion(spring), spring);
    env.accessibility().setReduceMotion(true);
    EXPECT_EQ(respectingReduceMotion(spring), reduceMotionAnimation());
    EXPECT_EQ(respectingReduceMotion(Animation::standard(0.18)), reduceMotionAnimation());
}

TEST(AnimatedValue, MovesAlongItsAnimationOnTheVirtualClockAndThenStops)
{
    KitEnvironment env;
    int changes = 0;
    AnimatedValue value(10, [&] { ++changes; });
    value.animate(20, Animation::easeInOut(1.0));
    EXPECT_TRUE(value.isAnimating());
    EXPECT_DOUBLE_EQ(value.value(), 10);
    env.advance(0.25);
    EXPECT_NEAR(value.value(), 10 + 10 * 0.1291619, 1e-4);
    env.advance(0.25);
    EXPECT_NEAR(value.value(), 15, 1e-6);
    const int midway = changes;
    EXPECT_GT(midway, 20) << "the owner is told on every frame";
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
    value.set(7);
    EXPECT_DOUBLE_EQ(value.value(), 7);
    EXPECT_FALSE(value.isAnimating());
}

TEST(AnimatedValue, RepeatingAnimationDoesNotRunUnderReduceMotionAndStopsWhenItIsSwitchedOn)
{
    KitEnvironment env;
    AnimatedValue value(0);
    env.accessibility().setReduceMotion(true);
    value.animate(1, Animation::easeInOut(0.8).repeatForever());
    EXPECT_FALSE(value.isAnimating());
    EXPECT_DOUBLE_EQ(value.value(), 0);

    env.accessibility().setReduceMotion(false);
    value.animate(1, Animation::easeInOut(0.8).repeatForever());
    env.advance(0.4);
    EXPECT_NEAR(value.value(), 0.5, 0.02);
    int changes = 0;
    value.setOnChange([&] { ++changes; });
    env.accessibility().setReduceMotion(true);
    EXPECT_FALSE(value.isAnimating());
    EXPECT_DOUBLE_EQ(value.value(), 0);
    EXPECT_EQ(changes, 1);
    env.advance(2);
    EXPECT_DOUBLE_EQ(value.value(), 0);
}
