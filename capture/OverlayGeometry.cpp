#include "capture/OverlayGeometry.h"

#include "platform/Geometry.h"

namespace {

double overlapArea(const QRectF& a, const QRectF& b)
{
    const auto overlap = platform::rectIntersection(a, b);
    return overlap ? overlap->width() * overlap->height() : 0.0;
}

} // namespace

double backingScale(const QRectF& rect, const QList<platform::Screen>& screens)
{
    if (screens.isEmpty()) {
        return 2.0;
    }
    const platform::Screen* best = &screens.front();
    double bestArea = overlapArea(best->frame, rect);
    for (qsizetype i = 1; i < screens.size(); ++i) {
        const double area = overlapArea(screens[i].frame, rect);
        if (area > bestArea) {
            best = &screens[i];
            bestArea = area;
        }
    }
    return best->backingScaleFactor;
}

QRectF cocoaRect(const QRectF& cgRect)
{
    return platform::toBottomLeftSpace(cgRect);
}

std::optional<platform::Screen> screen(quint32 displayID, const QList<platform::Screen>& screens)
{
    for (const platform::Screen& candidate : screens) {
        if (candidate.displayID() == displayID) {
            return candidate;
        }
    }
    return std::nullopt;
}
