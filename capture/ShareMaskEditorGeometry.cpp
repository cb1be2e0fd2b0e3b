#include "capture/ShareMaskEditorGeometry.h"

#include "platform/Geometry.h"

#include <QSizeF>

#include <algorithm>
#include <cmath>

namespace ShareMaskEditorGeometry {

namespace {

QRectF squareAround(QPointF center, double side)
{
    return {center.x() - side / 2, center.y() - side / 2, side, side};
}

} // namespace

QRectF resize(ResizeHandle handle, const QRectF& rect, double dx, double dy)
{
    double left = rect.left();
    double right = rect.right();
    double top = rect.top();
    double bottom = rect.bottom();
    switch (handle) {
    case ResizeHandle::TopLeading:
        left += dx;
        top += dy;
        break;
    case ResizeHandle::Top:
        top += dy;
        break;
    case ResizeHandle::TopTrailing:
        right += dx;
        top += dy;
        break;
    case ResizeHandle::Trailing:
        right += dx;
        break;
    case ResizeHandle::BottomTrailing:
        right += dx;
        bottom += dy;
        break;
    case ResizeHandle::Bottom:
        bottom += dy;
        break;
    case ResizeHandle::BottomLeading:
        left += dx;
        bottom += dy;
        break;
    case ResizeHandle::Leading:
        left += dx;
        break;
    }
    return {std::min(left, right), std::min(top, bottom), std::abs(right - left), std::abs(bottom - top)};
}

QRectF move(const QRectF& rect, double dx, double dy)
{
    return rect.translated(dx, dy);
}

QPointF offset(ResizeHandle handle)
{
    const double h = kHandleHitSide / 2;
    switch (handle) {
    case ResizeHandle::TopLeading:
        return {-h, -h};
    case ResizeHandle::Top:
        return {0, -h};
    case ResizeHandle::TopTrailing:
        return {h, -h};
    case ResizeHandle::Trailing:
        return {h, 0};
    case ResizeHandle::BottomTrailing:
        return {h, h};
    case ResizeHandle::Bottom:
        return {0, h};
    case ResizeHandle::BottomLeading:
        return {-h, h};
    case ResizeHandle::Leading:
        return {-h, 0};
    }
    return {};
}

QPointF anchor(ResizeHandle handle, const QRectF& box)
{
    switch (handle) {
    case ResizeHandle::TopLeading:
        return box.topLeft();
    case ResizeHandle::Top:
        return {box.center().x(), box.top()};
    case ResizeHandle::TopTrailing:
        return box.topRight();
    case ResizeHandle::Trailing:
        return {box.right(), box.center().y()};
    case ResizeHandle::BottomTrailing:
        return box.bottomRight();
    case ResizeHandle::Bottom:
        return {box.center().x(), box.bottom()};
    case ResizeHandle::BottomLeading:
        return box.bottomLeft();
    case ResizeHandle::Leading:
        return {box.left(), box.center().y()};
    }
    return {};
}

QRectF handleHitRect(ResizeHandle handle, const QRectF& box)
{
    // Aligned inside the box to the handle's corner or edge, then moved by the offset, which
    // centres it there.
    const double side = kHandleHitSide;
    const QPointF place = anchor(handle, box);
    const QPointF shift = offset(handle);
    const double x = shift.x() < 0 ? place.x() : shift.x() > 0 ? place.x() - side : place.x() - side / 2;
    const double y = shift.y() < 0 ? place.y() : shift.y() > 0 ? place.y() - side : place.y() - side / 2;
    return QRectF(x, y, side, side).translated(shift);
}

QRectF handleRect(ResizeHandle handle, const QRectF& box)
{
    return squareAround(handleHitRect(handle, box).center(), kHandleSide);
}

QRectF removeButtonRect(const QRectF& box)
{
    // Aligned to the top-right corner, then 18 points right and 18 up.
    return {box.right() - kRemoveButtonSide + kRemoveButtonShift,
            box.top() - kRemoveButtonShift,
            kRemoveButtonSide,
            kRemoveButtonSide};
}

Qt::CursorShape cursor(ResizeHandle handle)
{
    switch (handle) {
    case ResizeHandle::TopLeading:
    case ResizeHandle::BottomTrailing:
        return Qt::SizeFDiagCursor;
    case ResizeHandle::TopTrailing:
    case ResizeHandle::BottomLeading:
        return Qt::SizeBDiagCursor;
    case ResizeHandle::Top:
    case ResizeHandle::Bottom:
        return Qt::SizeVerCursor;
    case ResizeHandle::Trailing:
    case ResizeHandle::Leading:
        return Qt::SizeHorCursor;
    }
    return Qt::ArrowCursor;
}

std::optional<BoxHit> hitTest(const QRectF& box, QPointF point)
{
    // Edges count as the platform's rectangle test counts them: left and top in, right and
    // bottom out.
    const auto contains = [point](const QRectF& r) {
        return platform::rectContainsPoint(r, point);
    };
    if (contains(removeButtonRect(box))) {
        return BoxHit{BoxHit::Part::Remove, ResizeHandle::TopLeading};
    }
    const auto handle = std::find_if(kAllResizeHandles.rbegin(),
                                     kAllResizeHandles.rend(),
                                     [&](ResizeHandle h) { return contains(handleHitRect(h, box)); });
    if (handle != kAllResizeHandles.rend()) {
        return BoxHit{BoxHit::Part::Handle, *handle};
    }
    if (contains(box)) {
        return BoxHit{BoxHit::Part::Body, ResizeHandle::TopLeading};
    }
    return std::nullopt;
}

std::optional<QRectF> draftRect(const std::optional<QPointF>& start, const std::optional<QPointF>& end)
{
    if (!start || !end) {
        return std::nullopt;
    }
    return QRectF(std::min(start->x(), end->x()),
                  std::min(start->y(), end->y()),
                  std::abs(end->x() - start->x()),
                  std::abs(end->y() - start->y()));
}

bool dragBegins(QPointF pressed, QPointF current, double minimumDistance)
{
    return std::hypot(current.x() - pressed.x(), current.y() - pressed.y()) >= minimumDistance;
}

bool isLargeEnough(const QRectF& rect)
{
    return rect.width() >= kMinimumMaskSide && rect.height() >= kMinimumMaskSide;
}

bool showsLabel(const QRectF& box)
{
    return box.width() >= kLabelMinimumWidth && box.height() >= kLabelMinimumHeight;
}

HintLayout hintLayout(double surfaceWidth, QSizeF barSize, QSizeF noticeSize)
{
    HintLayout layout;
    layout.bar = QRectF(QPointF((surfaceWidth - barSize.width()) / 2, kHintTopPadding), barSize);
    layout.notice = QRectF(
        QPointF((surfaceWidth - noticeSize.width()) / 2, layout.bar.bottom() + kHintSpacing), noticeSize);
    return layout;
}

} // namespace ShareMaskEditorGeometry
