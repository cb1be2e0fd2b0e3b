#include "pip/PiPPlacement.h"

#include <QLineF>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace PiPPlacement {

namespace {

constexpr std::array<std::pair<PiPCorner, const char*>, 4> kRawValues = {{
    {PiPCorner::TopLeft, "topLeft"},
    {PiPCorner::TopRight, "topRight"},
    {PiPCorner::BottomLeft, "bottomLeft"},
    {PiPCorner::BottomRight, "bottomRight"},
}};

// Times are differences of clock readings: a sample exactly at a limit may come out a rounding
// error past it.
constexpr double kTimeTolerance = 1e-9;

bool isLeft(PiPCorner corner)
{
    return corner == PiPCorner::TopLeft || corner == PiPCorner::BottomLeft;
}

bool isTop(PiPCorner corner)
{
    return corner == PiPCorner::TopLeft || corner == PiPCorner::TopRight;
}

} // namespace

QString rawValue(PiPCorner corner)
{
    for (const auto& [value, raw] : kRawValues) {
        if (value == corner) {
            return QString::fromLatin1(raw);
        }
    }
    return {};
}

std::optional<PiPCorner> cornerFromRawValue(const QString& raw)
{
    for (const auto& [value, name] : kRawValues) {
        if (raw == QLatin1String(name)) {
            return value;
        }
    }
    return std::nullopt;
}

QRectF cornerFrame(PiPCorner corner, const QRectF& visibleFrame, const QSizeF& size)
{
    const QRectF area = visibleFrame.adjusted(kCornerInset, kCornerInset, -kCornerInset, -kCornerInset);
    const double x = isLeft(corner) ? area.left() : area.right() - size.width();
    const double y = isTop(corner) ? area.top() : area.bottom() - size.height();
    return {x, y, size.width(), size.height()};
}

double rubberBand(double value, double low, double high, double extent)
{
    if (!std::isfinite(value) || !std::isfinite(low)) {
        return std::isfinite(low) ? low : 0;
    }
    const double top = std::isfinite(high) ? std::max(low, high) : low;
    // A frame without extent has no room to give.
    const auto pull = [extent](double overshoot) {
        if (!(extent > 0) || !std::isfinite(extent)) {
            return 0.0;
        }
        return overshoot * extent * kRubberBandConstant / (overshoot * kRubberBandConstant + extent);
    };
    if (value < low) {
        return low - pull(low - value);
    }
    if (value > top) {
        return top + pull(value - top);
    }
    return value;
}

QPointF clampOrigin(QPointF origin, const QSizeF& size, const QRectF& visibleFrame)
{
    const QRectF v = visibleFrame;
    return {rubberBand(origin.x(), v.left(), v.right() - size.width(), v.width()),
            rubberBand(origin.y(), v.top(), v.bottom() - size.height(), v.height())};
}

QList<DragSample> recentSamples(const QList<DragSample>& samples, double now)
{
    QList<DragSample> kept;
    for (const DragSample& sample : samples) {
        if (now - sample.time <= kSampleWindow + kTimeTolerance) {
            kept.append(sample);
        }
    }
    return kept;
}

QPointF releaseVelocity(const QList<DragSample>& samples, double now)
{
    if (samples.isEmpty()) {
        return {};
    }
    const DragSample& first = samples.front();
    const DragSample& last = samples.back();
    if (now - last.time >= kRestBeforeRelease - kTimeTolerance) {
        return {};
    }
    const double span = last.time - first.time;
    if (span <= kShortestSampleSpan + kTimeTolerance) {
        return {};
    }
    return (last.location - first.location) / span;
}

QPointF projectedPoint(QPointF centre, QPointF velocity)
{
    // The distance a fling decelerating at the rate per millisecond travels in total.
    const double carry = kDecelerationRate / (1 - kDecelerationRate);
    return centre + velocity / 1000 * carry;
}

PiPCorner cornerFor(QPointF point, const QRectF& visibleFrame)
{
    const QPointF middle = visibleFrame.center();
    const bool left = point.x() < middle.x();
    // y grows downward: the lower half is below the middle line, which itself belongs to the top.
    const bool bottom = point.y() > middle.y();
    if (bottom) {
        return left ? PiPCorner::BottomLeft : PiPCorner::BottomRight;
    }
    return left ? PiPCorner::TopLeft : PiPCorner::TopRight;
}

double dampingCoefficient(double dampingRatio)
{
    return dampingRatio * 2 * std::sqrt(kStiffness);
}

SpringStep stepSpring(QPointF origin, QPointF target, QPointF velocity, double dampingRatio, double dt)
{
    const double c = dampingCoefficient(dampingRatio);
    const double step = std::isfinite(dt) ? std::clamp(dt, 0.0, kLongestStep) : 0;
    const auto axis = [&](double x, double t, double& v) {
        const double a = kStiffness * (t - x) - c * v;
        v += a * step;
        return x + v * step;
    };
    double vx = velocity.x();
    double vy = velocity.y();
    SpringStep result;
    result.origin = QPointF(axis(origin.x(), target.x(), vx), axis(origin.y(), target.y(), vy));
    result.velocity = QPointF(vx, vy);
    result.settled =
        QLineF(result.origin, target).length() < kSettleDistance && std::hypot(vx, vy) < kSettleSpeed;
    return result;
}

} // namespace PiPPlacement
