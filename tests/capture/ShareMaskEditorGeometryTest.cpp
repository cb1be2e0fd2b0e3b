#include "capture/ShareMaskEditorGeometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace g = ShareMaskEditorGeometry;
using Part = g::BoxHit::Part;

TEST(ShareMaskEditorGeometry, EachHandleMovesOnlyItsEdges)
{
    const QRectF box(100, 100, 200, 100);
    const std::pair<ResizeHandle, QRectF> cases[] = {
        {ResizeHandle::TopLeading, {110, 120, 190, 80}},
        {ResizeHandle::Top, {100, 120, 200, 80}},
        {ResizeHandle::TopTrailing, {100, 120, 210, 80}},
        {ResizeHandle::Trailing, {100, 100, 210, 100}},
        {ResizeHandle::BottomTrailing, {100, 100, 210, 120}},
        {ResizeHandle::Bottom, {100, 100, 200, 120}},
        {ResizeHandle::BottomLeading, {110, 100, 190, 120}},
        {ResizeHandle::Leading, {110, 100, 190, 100}},
    };
    for (const auto& [handle, expected] : cases) {
        EXPECT_EQ(g::resize(handle, box, 10, 20), expected) << static_cast<int>(handle);
    }
}

TEST(ShareMaskEditorGeometry, AnEdgeDraggedPastTheOppositeOneTurnsTheBoxOver)
{
    // The trailing edge of a 30-point box dragged 50 points left ends at the old left edge.
    EXPECT_EQ(g::resize(ResizeHandle::Trailing, QRectF(100, 100, 30, 40), -50, 0), QRectF(80, 100, 20, 40));
    EXPECT_EQ(g::resize(ResizeHandle::TopLeading, QRectF(0, 0, 10, 10), 15, 25), QRectF(10, 10, 5, 15));
    // Nothing limits the size here.
    EXPECT_EQ(g::resize(ResizeHandle::Bottom, QRectF(0, 0, 10, 10), 0, -10), QRectF(0, 0, 10, 0));
}

TEST(ShareMaskEditorGeometry, HandlesAreCentredOnTheBoxsCornersAndEdges)
{
    const QRectF box(100, 200, 60, 40);
    const std::pair<ResizeHandle, QPointF> centres[] = {
        {ResizeHandle::TopLeading, {100, 200}},
        {ResizeHandle::Top, {130, 200}},
        {ResizeHandle::TopTrailing, {160, 200}},
        {ResizeHandle::Trailing, {160, 220}},
        {ResizeHandle::BottomTrailing, {160, 240}},
        {ResizeHandle::Bottom, {130, 240}},
        {ResizeHandle::BottomLeading, {100, 240}},
        {ResizeHandle::Leading, {100, 220}},
    };
    for (const auto& [handle, centre] : centres) {
        EXPECT_EQ(g::handleHitRect(handle, box), QRectF(centre.x() - 8, centre.y() - 8, 16, 16));
        EXPECT_EQ(g::handleRect(handle, box), QRectF(centre.x() - 4, centre.y() - 4, 8, 8));
    }
    // Even on a box narrower than a handle.
    EXPECT_EQ(g::handleHitRect(ResizeHandle::Trailing, QRectF(0, 0, 4, 40)).center(), QPointF(4, 20));
    // The remove button lies 2 points beyond the top-right corner on both axes.
    EXPECT_EQ(g::removeButtonRect(box), QRectF(162, 182, 16, 16));
}

TEST(ShareMaskEditorGeometry, HitTestingFindsTheFrontmostPart)
{
    const QRectF box(100, 100, 200, 100);
    struct Case
    {
        QPointF point;
        std::optional<g::BoxHit> hit;
    };
    const Case cases[] = {
        {{200, 150}, g::BoxHit{Part::Body, ResizeHandle::TopLeading}},
        {{100, 100}, g::BoxHit{Part::Handle, ResizeHandle::TopLeading}},
        {{93, 93}, g::BoxHit{Part::Handle, ResizeHandle::TopLeading}},
        {{307.9, 150}, g::BoxHit{Part::Handle, ResizeHandle::Trailing}},
        {{308, 150}, std::nullopt}, // the right edge of the hit square is outside
        {{200, 192}, g::BoxHit{Part::Handle, ResizeHandle::Bottom}},
        {{310, 90}, g::BoxHit{Part::Remove, ResizeHandle::TopLeading}},
        {{302, 97.9}, g::BoxHit{Part::Remove, ResizeHandle::TopLeading}},
        {{301.9, 90}, std::nullopt},
        {{150, 220}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(g::hitTest(box, c.point), c.hit) << c.point.x() << ", " << c.point.y();
    }
    // On a box too small for its handles, the later handles lie in front.
    EXPECT_EQ(g::hitTest(QRectF(0, 0, 8, 8), QPointF(4, 4)),
              (g::BoxHit{Part::Handle, ResizeHandle::Leading}));
}

TEST(ShareMaskEditorGeometry, TheDraftSpansBothEndsInAnyDirection)
{
    const QPointF a(300, 120);
    const QPointF b(140, 260);
    EXPECT_EQ(g::draftRect(a, b), QRectF(140, 120, 160, 140));
    EXPECT_EQ(g::draftRect(b, a), g::draftRect(a, b));
    EXPECT_EQ(g::draftRect(QPointF(300, 260), QPointF(140, 120)), g::draftRect(a, b));
    EXPECT_FALSE(g::draftRect(std::nullopt, b));
    EXPECT_FALSE(g::draftRect(a, std::nullopt));
}

TEST(ShareMaskEditorGeometry, ThresholdsAndSizes)
{
    EXPECT_FALSE(g::dragBegins({10, 10}, {11.9, 10}, g::kDrawMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {12, 10}, g::kDrawMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {8.5, 8.5}, g::kDrawMinimumDistance)); // 2.12 diagonally
    EXPECT_FALSE(g::dragBegins({10, 10}, {10.5, 10.5}, g::kBoxMinimumDistance));
    EXPECT_TRUE(g::dragBegins({10, 10}, {10, 11}, g::kBoxMinimumDistance));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<QRectF, bool> sizes[] = {{{0, 0, 8, 8}, true},
                                             {{0, 0, 7.9, 100}, false},
                                             {{0, 0, 100, 7.99}, false},
                                             {{0, 0, nan, 20}, false}};
    for (const auto& [rect, large] : sizes) {
        EXPECT_EQ(g::isLargeEnough(rect), large) << rect.width() << " x " << rect.height();
    }
    EXPECT_FALSE(g::showsLabel(QRectF(0, 0, 109, 40)));
    EXPECT_FALSE(g::showsLabel(QRectF(0, 0, 200, 21.9)));
    EXPECT_TRUE(g::showsLabel(QRectF(0, 0, 110, 22)));
}
