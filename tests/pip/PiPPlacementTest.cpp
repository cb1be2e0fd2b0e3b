// Worked examples of the panel's placement and motion arithmetic, computed by hand from the
// formulas: rubber band, release velocity, the flick's projection and the corner it picks.
#include "pip/PiPPlacement.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace PiPPlacement;

TEST(PiPPlacement, CornersHaveExactlyFourRawNames)
{
    for (const PiPCorner corner :
         {PiPCorner::TopLeft, PiPCorner::TopRight, PiPCorner::BottomLeft, PiPCorner::BottomRight}) {
        EXPECT_EQ(cornerFromRawValue(rawValue(corner)), corner);
    }
    EXPECT_EQ(rawValue(PiPCorner::BottomRight), QStringLiteral("bottomRight"));
    for (const char* other : {"TopLeft", "bottomright", "top left", "", "middle"}) {
        EXPECT_FALSE(cornerFromRawValue(QString::fromLatin1(other))) << other;
    }
}

TEST(PiPPlacement, CornerFramesSitSixteenPointsInsideTheVisibleFrame)
{
    const QRectF visible(0, 24, 1000, 800);
    const QSizeF size(320, 300);
    EXPECT_EQ(cornerFrame(PiPCorner::TopLeft, visible, size), QRectF(16, 40, 320, 300));
    EXPECT_EQ(cornerFrame(PiPCorner::TopRight, visible, size), QRectF(664, 40, 320, 300));
    EXPECT_EQ(cornerFrame(PiPCorner::BottomLeft, visible, size), QRectF(16, 508, 320, 300));
    EXPECT_EQ(cornerFrame(PiPCorner::BottomRight, visible, size), QRectF(664, 508, 320, 300));
}

TEST(PiPPlacement, TheRubberBandGivesLessTheFurtherThePanelIsPulled)
{
    struct Case
    {
        const char* what;
        double value, low, high, extent, expected;
    };
    const Case cases[] = {
        {"inside", 400, 0, 680, 1000, 400},
        {"100 past the right on a 1000-wide frame", 780, 0, 680, 1000, 680 + 100 * 1000 * 0.55 / (55 + 1000)},
        {"100 past the left", -100, 0, 680, 1000, -52.132701},
        {"a panel wider than the frame keeps to the frame's minimum",
         30,
         0,
         -200,
         1000,
         30 * 550 / (16.5 + 1000)},
        {"no extent lets nothing past", -100, 0, 0, 0, 0},
        {"a negative extent lets nothing past", 150, 0, 100, -40, 100},
        {"a value that is not a number stays at the low end", std::nan(""), 10, 100, 1000, 10},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(rubberBand(c.value, c.low, c.high, c.extent), c.expected, 1e-5) << c.what;
    }
    EXPECT_NEAR(rubberBand(780, 0, 680, 1000), 732.13, 0.005);
    EXPECT_LT(rubberBand(1e12, 0, 680, 1000), 680 + 1000) << "never by more than the extent";
    EXPECT_EQ(clampOrigin({-100, 900}, {320, 300}, QRectF(0, 24, 1000, 800)),
              QPointF(rubberBand(-100, 0, 680, 1000), rubberBand(900, 24, 524, 800)));
}

TEST(PiPPlacement, ReleaseVelocityComesFromTheLastMomentsOfTheDrag)
{
    const QList<DragSample> samples{{{0, 0}, 1.00}, {{10, 5}, 1.02}, {{40, 20}, 1.05}};
    struct Case
    {
        const char* what;
        QList<DragSample> samples;
        double now;
        QPointF expected;
    };
    const Case cases[] = {
        {"no samples", {}, 1.06, {}},
        {"first to last over their time apart", samples, 1.06, {800, 400}},
        {"the mouse rested 0.05 s before the release", samples, 1.10, {}},
        {"just before the rest counts", samples, 1.0999, {800, 400}},
        {"samples 0.008 s apart", {{{0, 0}, 1.0}, {{50, 0}, 1.008}}, 1.01, {}},
    };
    for (const Case& c : cases) {
        const QPointF v = releaseVelocity(c.samples, c.now);
        EXPECT_NEAR(v.x(), c.expected.x(), 1e-6) << c.what;
        EXPECT_NEAR(v.y(), c.expected.y(), 1e-6) << c.what;
    }
    const QList<DragSample> kept = recentSamples(samples, 1.09);
    EXPECT_EQ(kept, (QList<DragSample>{{{10, 5}, 1.02}, {{40, 20}, 1.05}})) << "older than 0.08 s dropped";
}

TEST(PiPPlacement, AFlickPicksTheCornerWhereItWouldComeToRest)
{
    // 1000 points a second carries 499 points.
    const QPointF far = projectedPoint({100, 100}, {1000, -1000});
    EXPECT_NEAR(far.x(), 599, 1e-9);
    EXPECT_NEAR(far.y(), -399, 1e-9);

    const QRectF visible(0, 0, 1000, 800); // middle lines at x 500, y 400
    struct Case
    {
        const char* what;
        QPointF centre;
        QPointF velocity;
        PiPCorner expected;
    };
    const Case cases[] = {
        {"resting in the top left", {200, 100}, {}, PiPCorner::TopLeft},
        {"resting in the bottom right", {800, 700}, {}, PiPCorner::BottomRight},
        {"thrown up and right from the bottom left", {100, 798}, {1000, -1000}, PiPCorner::TopRight},
        {"thrown down from the top left", {100, 100}, {0, 700}, PiPCorner::BottomLeft},
        {"on the vertical middle line", {500, 100}, {}, PiPCorner::TopRight},
        {"on the horizontal middle line", {100, 400}, {}, PiPCorner::TopLeft},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cornerFor(projectedPoint(c.centre, c.velocity), visible), c.expected) << c.what;
    }
}

TEST(PiPPlacement, TheSpringStepsVelocityFirstAndSettlesOnlyCloseAndSlow)
{
    // Damping 2·√230 at ratio 1: a = 230·100 − 30.33·0 = 23000; v = 23000/60; x = v/60.
    const SpringStep first = stepSpring({0, 0}, {100, 0}, {}, 1.0, 1.0 / 60);
    EXPECT_NEAR(dampingCoefficient(1.0), 30.3315, 1e-4);
    EXPECT_NEAR(first.velocity.x(), 23000.0 / 60, 1e-9);
    EXPECT_NEAR(first.origin.x(), 23000.0 / 3600, 1e-9);
    EXPECT_FALSE(first.settled);
    EXPECT_EQ(stepSpring({0, 0}, {100, 0}, {}, 1.0, 1.0).origin,
              stepSpring({0, 0}, {100, 0}, {}, 1.0, 1.0 / 30).origin)
        << "a long frame counts as 1/30 s";
    EXPECT_TRUE(stepSpring({99.8, 0}, {100, 0}, {1, 1}, 1.0, 1.0 / 60).settled);
    EXPECT_FALSE(stepSpring({99.8, 0}, {100, 0}, {20, 0}, 1.0, 1.0 / 60).settled) << "too fast";
}
