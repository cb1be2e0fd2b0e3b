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
    const QRectF box(100, 200, 60, 40);
    const std::pair<ResizeHandle, QPointF> centres[] = {
        {TopLeading, {100, 200}},
        {Top, {130, 200}},
        {TopTrailing, {160, 200}},
        {Trailing, {160, 220}},
        {BottomTrailing, {160, 240}},
        {Bottom, {130, 240}},
        {BottomLeading, {100, 240}},
        {Leading, {100, 220}},
    };
    for (const auto& [handle, centre] : centres) {
        EXPECT_EQ(g::handleHitRect(handle, box), QRectF(centre.x() - 8, centre.y() - 8, 16, 16));
        EXPECT_EQ(g::handleRect(handle, box), QRectF(centre.x() - 4, centre.y() - 4, 8, 8));
    }
    // Even on a box narrower than a handle.
    EXPECT_EQ(g::handleHitRect(Trailing, QRectF(0, 0, 4, 40)).center(), QPointF(4, 20));
    // The remove button lies 2 points beyond the top-right corner on both axes.
    EXPECT_EQ(g::removeButtonRect(box), QRectF(162, 182, 16, 16));

    const std::pair<QPointF, std::optional<g::BoxHit>> hits[] = {
        {{200, 150}, g::BoxHit{Part::Body, TopLeading}},
        {{100, 100}, g::BoxHit{Part::Handle, TopLeading}},
        {{93, 93}, g::BoxHit{Part::Handle, TopLeading}},
        {{307.9, 150}, g::BoxHit{Part::Handle, Trailing}},
        {{308, 150}, std::nullopt}, // the right edge of the hit square is outside
        {{200, 192}, g::BoxHit{Part::Handle, Bottom}},
        {{310, 90}, g::BoxHit{Part::Remove, TopLeading}},
        {{302, 97.9}, g::BoxHit{Part::Remove, TopLeading}},
        {{301.9, 90}, std::nullopt},
        {{150, 220}, std::nullopt},
    };
    for (const auto& [point, hit] : hits) {
        EXPECT_EQ(g::hitTest(QRectF(100, 100, 200, 100), point), hit) << point.x() << ", " << point.y();
    }
    // On a box too small for its handles, the later handles lie in front.
    EXPECT_EQ(g::hitTest(QRectF(0, 0, 8, 8), QPointF(4, 4)), (g::BoxHit{Part::Handle, Leading}));
}

TEST(ShareMaskEditorGeometry, DraftsThresholdsAndSizes)
{
    // The draft spans both ends in any direction.
    const QRectF draft(140, 120, 160, 140);
    EXPECT_EQ(g::draftRect(QPointF(300, 120), QPointF(140, 260)), draft);
    EXPECT_EQ(g::draftRect(QPointF(140, 260), QPointF(300, 120)), draft);
    EXPECT_EQ(g::draftRect(QPointF(300, 260), QPointF(140, 120)), draft);
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
