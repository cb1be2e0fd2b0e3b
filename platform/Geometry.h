#pragma once

#include <QPointF>
#include <QRectF>
#include <QVariant>

#include <optional>

// Rectangle arithmetic with the window server's semantics, in the one global space: points,
// origin at the top-left corner of the main display, y downward.
namespace platform {

// The same rectangle with non-negative width and height.
QRectF standardized(const QRectF& rect);

// The overlap of two rectangles; none when they do not meet at all (the "null" rectangle).
// Rectangles that only share an edge give an empty rectangle, not none.
std::optional<QRectF> rectIntersection(const QRectF& a, const QRectF& b);

// Smallest rectangle holding both.
QRectF rectUnion(const QRectF& a, const QRectF& b);

// Zero (or negative) width or height.
bool rectIsEmpty(const QRectF& rect);

// Minimum edges inside, maximum edges outside.
bool rectContainsPoint(const QRectF& rect, QPointF point);

// The smallest rectangle with integral edges that contains the rectangle.
QRectF rectIntegral(const QRectF& rect);

// Window bounds travel as dictionaries with the keys "X", "Y", "Width" and "Height".
std::optional<QRectF> rectFromDictionary(const QVariant& value);
QVariantMap dictionaryFromRect(const QRectF& rect);

// Code written for a bottom-left screen space converts through these; here both spaces are the
// same top-left space, so they are identities kept only to mark the places that convert.
inline QRectF toBottomLeftSpace(const QRectF& rect)
{
    return rect;
}
inline QRectF fromBottomLeftSpace(const QRectF& rect)
{
    return rect;
}

} // namespace platform
