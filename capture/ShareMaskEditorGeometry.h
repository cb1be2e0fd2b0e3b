#pragma once

#include <QPointF>
#include <QRectF>
#include <QtCore/qnamespace.h>

#include <array>
#include <optional>

// The arithmetic of the mask editor's surface, in editor space (points from the edited display's
// top-left corner, y down): boxes, their handles and remove buttons, hit-testing and the drag
// thresholds. Pure functions, tested without painting.

// The eight handles of a box, each moving the edges it names.
enum class ResizeHandle
{
    TopLeading,
    Top,
    TopTrailing,
    Trailing,
    BottomTrailing,
    Bottom,
    BottomLeading,
    Leading
};

namespace ShareMaskEditorGeometry {

inline constexpr std::array<ResizeHandle, 8> kAllResizeHandles = {
    ResizeHandle::TopLeading,
    ResizeHandle::Top,
    ResizeHandle::TopTrailing,
    ResizeHandle::Trailing,
    ResizeHandle::BottomTrailing,
    ResizeHandle::Bottom,
    ResizeHandle::BottomLeading,
    ResizeHandle::Leading,
};

// Smallest width and height of a mask that is stored.
inline constexpr double kMinimumMaskSide = 8;
// How far the pointer must travel before a drag begins: drawing on the surface, and moving or
// resizing a box.
inline constexpr double kDrawMinimumDistance = 2;
inline constexpr double kBoxMinimumDistance = 1;
// A handle is an 8-point square, grabbed anywhere in the 16-point square around it.
inline constexpr double kHandleSide = 8;
inline constexpr double kHandleHitSide = 16;
// The remove button: a 16-point disc lying 2 points beyond the box's top-right corner.
inline constexpr double kRemoveButtonSide = 16;
inline constexpr double kRemoveButtonShift = 18;
// Everything of a box lies within its rectangle grown by this much.
inline constexpr double kBoxOverhang = kRemoveButtonShift;
// The "HIDDEN FROM CALL" label shows only on boxes at least this large.
inline constexpr double kLabelMinimumWidth = 110;
inline constexpr double kLabelMinimumHeight = 22;
// The hint bar hangs this far below the top of the display.
inline constexpr double kHintTopPadding = 64;
inline constexpr double kHintSpacing = 8;

// The rectangle after dragging the handle by (dx, dy): its edges move and it is normalised, so
// an edge dragged past the opposite one turns the box over. Nothing limits the size here.
QRectF resize(ResizeHandle handle, const QRectF& rect, double dx, double dy);
// The rectangle moved by (dx, dy).
QRectF move(const QRectF& rect, double dx, double dy);
// Where the handle's 16-point square is shifted from its place on the box.
QPointF offset(ResizeHandle handle);
// The handle's place on the box: a corner or the middle of an edge.
QPointF anchor(ResizeHandle handle, const QRectF& box);
// The square that takes the pointer for the handle, centred on its place.
QRectF handleHitRect(ResizeHandle handle, const QRectF& box);
// The white square drawn for the handle, centred in its hit square.
QRectF handleRect(ResizeHandle handle, const QRectF& box);
QRectF removeButtonRect(const QRectF& box);
// The pointer shape over a handle.
Qt::CursorShape cursor(ResizeHandle handle);

// What of a box lies at a point, front first: the remove button, then the handles (later ones
// in front), then the box itself.
struct BoxHit
{
    enum class Part
    {
        Remove,
        Handle,
        Body
    };
    Part part = Part::Body;
    ResizeHandle handle = ResizeHandle::TopLeading; // for Part::Handle

    friend bool operator==(const BoxHit&, const BoxHit&) = default;
};
std::optional<BoxHit> hitTest(const QRectF& box, QPointF point);

// The box being drawn between where the drag began and where the pointer is, in any direction;
// none unless both points are known.
std::optional<QRectF> draftRect(const std::optional<QPointF>& start, const std::optional<QPointF>& end);
// Whether the pointer has travelled far enough from the press for a drag to begin.
bool dragBegins(QPointF pressed, QPointF current, double minimumDistance);
// Whether a box is large enough to be stored (NaN sides are not).
bool isLargeEnough(const QRectF& rect);
bool showsLabel(const QRectF& box);

// Where the hint bar and the notice go on a surface of this width: centred, one under the other.
struct HintLayout
{
    QRectF bar;
    QRectF notice;
};
HintLayout hintLayout(double surfaceWidth, QSizeF barSize, QSizeF noticeSize);

} // namespace ShareMaskEditorGeometry
