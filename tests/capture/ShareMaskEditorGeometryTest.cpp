#include "capture/ShareMaskEditorGeometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace g = ShareMaskEditorGeometry;
using Part = g::BoxHit::Part;
using enum ResizeHandle;

TEST(ShareMaskEditorGeometry, EachHandleMovesOnlyItsEdgesAndAnEdgeDraggedPastTheOppositeOneTurnsTheBoxOver)
{
    const QRectF box(100, 100, 200, 100);
    const std::tuple<ResizeHandle, QRectF, QPointF, QRectF> cases[] = {
        {TopLeading, box, {10, 20}, {110, 120, 190, 80}},
        {Top, box, {10, 20}, {100, 120, 200, 80}},
        {TopTrailing, box, {10, 20}, {100, 120, 210, 80}},
        {Trailing, box, {10, 20}, {100, 100, 210, 100}},
        {BottomTrailing, box, {10, 20}, {100, 100, 210, 120}},
        {Bottom, box, {10, 20}, {100, 100, 200, 120}},
        {BottomLeading, box, {10, 20}, {110, 100, 190, 120}},
        {Leading, box, {10, 20}, {110, 100, 190, 100}},
        // The trailing edge of a 30-point box dragged 50 points left ends at the old left edge.
        {Trailing, {100, 100, 30, 40}, {-50, 0}, {80, 100, 20, 40}},
        {TopLeading, {0, 0, 10, 10}, {15, 25}, {10, 10, 5, 15}},
        // Nothing limits the size here.
        {Bottom, {0, 0, 10, 10}, {0, -10}, {0, 0, 10, 0}},
    };
    for (const auto& [handle, from, by, expected] : cases) {
        EXPECT_EQ(g::resize(handle, from, by.x(), by.y()), expected) << static_cast<int>(handle);
    }
}

TEST(ShareMaskEditorGeometry, HandlesAndTheRemoveButtonSitOnTheBoxAndHitTestingFindsTheFrontmostPart)
{
    // On the box (100, 100, 200, 100): a handle on each corner and edge centre, 16 points to hit,
    // and the remove button 2 points beyond the top-right corner on both axes.
    const std::pair<QPointF, std::optional<g::BoxHit>> hits[] = {
        {{200, 150}, g::BoxHit{Part::Body, TopLeading}},
        {{100, 100}, g::BoxHit{Part::Handle, TopLeading}},
        {{93, 93}, g::BoxHit{Part::Handle, TopLeading}},
        {{200, 100}, g::BoxHit{Part::Handle, Top}},
        {{300, 100}, g::BoxHit{Part::Handle, TopTrailing}},
        {{307.9, 150}, g::BoxHit{Part::Handle, Trailing}},
        {{308, 150}, std::nullopt}, // the right edge of the hit square is outside
        {{300, 200}, g::BoxHit{Part::Handle, BottomTrailing}},
        {{200, 192}, g::BoxHit{Part::Handle, Bottom}},
        {{100, 200}, g::BoxHit{Part::Handle, BottomLeading}},
        {{100, 150}, g::BoxHit{Part::Handle, Leading}},
        {{310, 90}, g::BoxHit{Part::Remove, TopLeading}},
        {{302, 97.9}, g::BoxHit{Part::Remove, TopLeading}},
        {{301.9, 90}, std::nullopt},
        {{150, 220}, std::nullopt},
    };
    for (const auto& [point, hit] : hits) {
        EXPECT_EQ(g::hitTest(QRectF(100, 100, 200, 100), point), hit) << point.x() << ", " << point.y();
    }
    // On a box too small for its handles, the later handles lie in front; a handle is drawn 8
    // points wide about its centre, even on a box narrower than a handle.
    EXPECT_EQ(g::hitTest(QRectF(0, 0, 8, 8), QPointF(4, 4)), (g::BoxHit{Part::Handle, Leading}));
    EXPECT_EQ(g::handleRect(Trailing, QRectF(100, 200, 60, 40)), QRectF(156, 216, 8, 8));
    EXPECT_EQ(g::handleHitRect(Trailing, QRectF(0, 0, 4, 40)).center(), QPointF(4, 20));
}

TEST(ShareMaskEditorGeometry, DraftsThresholdsAndSizes)
{
    // The draft spans both ends in any direction.
    EXPECT_EQ(g::draftRect(QPointF(300, 120), QPointF(140, 260)), QRectF(140, 120, 160, 140));
    EXPECT_FALSE(g::draftRect(std::nullopt, QPointF(140, 260)));
    EXPECT_FALSE(g::draftRect(QPointF(300, 120), std::nullopt));

    EXPECT_FALSE(g::dragBegins({10, 10}, {11.9, 10}, g::kDrawMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {12, 10}, g::kDrawMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {8.5, 8.5}, g::kDrawMinimumDistance)); // 2.12 diagonally
    EXPECT_FALSE(g::dragBegins({10, 10}, {10.5, 10.5}, g::kBoxMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {10, 11}, g::kBoxMinimumDistance));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(g::isLargeEnough({0, 0, 8, 8}));
    EXPECT_FALSE(g::isLargeEnough({0, 0, 7.9, 100}));
    EXPECT_FALSE(g::isLargeEnough({0, 0, 100, 7.99}));
    EXPECT_FALSE(g::isLargeEnough({0, 0, nan, 20}));
    EXPECT_FALSE(g::showsLabel(QRectF(0, 0, 109, 40)));
    EXPECT_FALSE(g::showsLabel(QRectF(0, 0, 200, 21.9)));
    EXPECT_TRUE(g::showsLabel(QRectF(0, 0, 110, 22)));
}
