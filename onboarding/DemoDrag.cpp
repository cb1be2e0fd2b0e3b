#include "onboarding/DemoDrag.h"

#include <algorithm>
#include <cmath>

double DemoDrag::limitX(double paneWidth, double windowWidth)
{
    const double limit = paneWidth - windowWidth - 30;
    return std::isfinite(limit) ? std::max(limit, 0.0) : 0.0;
}

double DemoDrag::rubberBand(double value, double lower, double dimension)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    // Without an extent to resist over, the formula divides by zero or turns the pull around.
    if (!(dimension > 0) || !std::isfinite(dimension)) {
        return std::clamp(value, std::min(lower, 0.0), 0.0);
    }
    if (value < lower) {
        const double over = lower - value;
        return lower - over * dimension * kResistance / (over * kResistance + dimension);
    }
    if (value > 0) {
        return value * dimension * kResistance / (value * kResistance + dimension);
    }
    return value;
}

QPointF DemoDrag::rubberBanded(QPointF offset, double limitX, double paneWidth)
{
    return {rubberBand(offset.x(), -limitX, paneWidth), rubberBand(offset.y(), -kTravelY, kPaneHeight)};
}

QPointF DemoDrag::clamped(QPointF offset, double limitX)
{
    const auto clamp = [](double v, double lower) {
        return std::isfinite(v) ? std::clamp(v, lower, 0.0) : 0.0;
    };
    return {clamp(offset.x(), -limitX), clamp(offset.y(), -kTravelY)};
}

QPointF DemoDrag::releaseVelocity(QPointF predictedEndLocation, QPointF location)
{
    return (predictedEndLocation - location) * 4;
}

QPointF DemoDrag::releaseTarget(QPointF offset, QPointF velocity, double limitX)
{
    const double coast = kDecelerationRate / (1 - kDecelerationRate);
    return clamped(offset + velocity / 1000 * coast, limitX);
}

kit::Animation DemoDrag::settleAnimation(double speed)
{
    return kit::respectingReduceMotion(kit::Animation::spring(0.35, speed > kFlickSpeed ? 0.8 : 1.0));
}

void DragVelocity::add(double time, QPointF location)
{
    m_samples.append({time, location});
    while (m_samples.size() > 2 && time - m_samples.at(1).time >= kWindow) {
        m_samples.removeFirst();
    }
}

QPointF DragVelocity::velocity() const
{
    if (m_samples.size() < 2) {
        return {};
    }
    const Sample& first = m_samples.first();
    const Sample& last = m_samples.last();
    const double elapsed = last.time - first.time;
    return elapsed > 0 ? (last.location - first.location) / elapsed : QPointF();
}
