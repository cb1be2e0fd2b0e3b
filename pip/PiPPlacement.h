#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// The arithmetic of the picture-in-picture panel's placement and motion, in global points (y
// down): the corner frames, the rubber band at the screen's edges, the release velocity of a drag,
// the flick toward a corner and one step of the spring. Pure functions, tested without a panel.

// The corner of the visible frame the panel docks to.
enum class PiPCorner
{
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight
};

namespace PiPPlacement {

// Room between the panel and the edges of the visible frame.
inline constexpr double kCornerInset = 16;
// Only the mouse samples this recent (seconds) at the latest change count for the release.
inline constexpr double kSampleWindow = 0.08;
// A mouse that rested this long before the release throws nothing.
inline constexpr double kRestBeforeRelease = 0.05;
// Samples spanning this little time or less give no velocity.
inline constexpr double kShortestSampleSpan = 0.008;
// How far a flick carries: the deceleration rate per millisecond of a scroll view's fling.
inline constexpr double kDecelerationRate = 0.998;
// The rubber band's resistance.
inline constexpr double kRubberBandConstant = 0.55;
// The spring: unit mass and this stiffness; its steps never span more than kLongestStep seconds.
inline constexpr double kStiffness = 230;
inline constexpr double kLongestStep = 1.0 / 30;
// The spring has settled once the panel is this close (points) and this slow (points/second).
inline constexpr double kSettleDistance = 0.5;
inline constexpr double kSettleSpeed = 5;
// The damping ratios: the flick into a corner, and the re-anchoring after a size change.
inline constexpr double kSnapDampingRatio = 0.8;
inline constexpr double kResizeDampingRatio = 1.0;

// "topLeft", "topRight", "bottomLeft", "bottomRight".
QString rawValue(PiPCorner corner);
// Exactly one of the four raw values (case matters); none for anything else.
std::optional<PiPCorner> cornerFromRawValue(const QString& raw);

// The panel's frame of this size docked to the corner of the visible frame, 16 points in.
QRectF cornerFrame(PiPCorner corner, const QRectF& visibleFrame, const QSizeF& size);

// One axis of the rubber band: a coordinate inside [low, max(low, high)] is kept; one past an end
// by d is pulled back to that end moved outward by d·D·c / (d·c + D), so it never goes further
// out than the extent D. An extent that is not above 0 lets nothing past the ends.
double rubberBand(double value, double low, double high, double extent);
// The origin a panel of this size may have inside the visible frame while it is dragged, each
// axis rubber-banded by itself against the frame's width or height.
QPointF clampOrigin(QPointF origin, const QSizeF& size, const QRectF& visibleFrame);

// One mouse position of a drag and when it was read (seconds of the scheduler's clock).
struct DragSample
{
    QPointF location;
    double time = 0;

    friend bool operator==(const DragSample&, const DragSample&) = default;
};

// The samples no older than kSampleWindow at `now`, in their order.
QList<DragSample> recentSamples(const QList<DragSample>& samples, double now);
// The release velocity in points per second: the distance from the first sample to the last over
// their time apart; zero without samples, when the mouse rested before `now`, or when the samples
// span too little time.
QPointF releaseVelocity(const QList<DragSample>& samples, double now);

// Where a flick from `centre` at `velocity` comes to rest.
QPointF projectedPoint(QPointF centre, QPointF velocity);
// The corner whose quadrant of the frame holds the point; a point on a middle line goes right and
// top.
PiPCorner cornerFor(QPointF point, const QRectF& visibleFrame);

// One semi-implicit Euler step of the spring pulling `origin` toward `target`.
struct SpringStep
{
    QPointF origin;
    QPointF velocity;
    bool settled = false; // the panel may now be put exactly on the target
};
SpringStep stepSpring(QPointF origin, QPointF target, QPointF velocity, double dampingRatio, double dt);
// The damping coefficient of the spring at a damping ratio.
double dampingCoefficient(double dampingRatio);

} // namespace PiPPlacement
