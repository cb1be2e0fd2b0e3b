#pragma once

#include "shell/kit/Motion.h"

#include <QList>
#include <QPointF>

// The arithmetic of dragging the demo's private window around its monitor: how far it may go,
// how it resists beyond that, where a release sends it and how it settles there. Offsets are
// from the window's resting corner (bottom-trailing), negative to the left and up. Pure.
struct DemoDrag
{
    static constexpr double kMinimumDistance = 10; // points before a press becomes a drag
    static constexpr double kPaneSpacing = 14;
    static constexpr double kPaneHeight = 268;
    static constexpr double kTravelY = 128;
    static constexpr double kResistance = 0.55;
    static constexpr double kDecelerationRate = 0.99;
    static constexpr double kFlickSpeed = 200; // points per second

    // Each of the two monitors' widths in a row this wide.
    static double paneWidth(double rowWidth) { return (rowWidth - kPaneSpacing) / 2; }
    // How far the window can go left in a pane this wide.
    static double limitX(double paneWidth, double windowWidth);

    // A value free inside [lower, 0] and resisting beyond it, the further the harder, over an
    // extent of `dimension`. An extent of zero or less gives no movement beyond the range.
    static double rubberBand(double value, double lower, double dimension);
    // The offset shown while dragging.
    static QPointF rubberBanded(QPointF offset, double limitX, double paneWidth);
    // The offset shown at rest.
    static QPointF clamped(QPointF offset, double limitX);

    // The release's velocity, in points per second, from where the drag predicts it would end.
    static QPointF releaseVelocity(QPointF predictedEndLocation, QPointF location);
    // Where a release at `offset` moving at `velocity` coasts to, within the travel.
    static QPointF releaseTarget(QPointF offset, QPointF velocity, double limitX);
    // The spring that settles the window: slightly bouncy after a flick faster than 200 points a
    // second, without overshoot otherwise (the reduced-motion ease under Reduce Motion).
    static kit::Animation settleAnimation(double speed);
};

// Follows a drag's recent positions to tell how fast it moves and where it would end.
class DragVelocity
{
public:
    // How far back positions count for the speed.
    static constexpr double kWindow = 0.1;
    // The drag's predicted end lies where it would be a quarter of a second on.
    static constexpr double kLookAhead = 0.25;

    void reset() { m_samples.clear(); }
    void add(double time, QPointF location);
    // Points per second over the recent positions; zero with fewer than two.
    QPointF velocity() const;
    QPointF location() const { return m_samples.isEmpty() ? QPointF() : m_samples.last().location; }
    QPointF predictedEndLocation() const { return location() + velocity() * kLookAhead; }

private:
    struct Sample
    {
        double time = 0;
        QPointF location;
    };

    QList<Sample> m_samples;
};
