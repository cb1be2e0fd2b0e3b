#include "platform/Geometry.h"

#include "platform/Values.h"

#include <cmath>

namespace platform {

QRectF standardized(const QRectF& rect)
{
    return rect.normalized();
}

std::optional<QRectF> rectIntersection(const QRectF& a, const QRectF& b)
{
    const QRectF r1 = standardized(a);
    const QRectF r2 = standardized(b);
    const double left = std::max(r1.left(), r2.left());
    const double top = std::max(r1.top(), r2.top());
    const double right = std::min(r1.right(), r2.right());
    const double bottom = std::min(r1.bottom(), r2.bottom());
    if (right < left || bottom < top) {
        return std::nullopt;
    }
    return QRectF(left, top, right - left, bottom - top);
}

QRectF rectUnion(const QRectF& a, const QRectF& b)
{
    const QRectF r1 = standardized(a);
    const QRectF r2 = standardized(b);
    const double left = std::min(r1.left(), r2.left());
    const double top = std::min(r1.top(), r2.top());
    const double right = std::max(r1.right(), r2.right());
    const double bottom = std::max(r1.bottom(), r2.bottom());
    return {left, top, right - left, bottom - top};
}

bool rectIsEmpty(const QRectF& rect)
{
    return rect.width() <= 0 || rect.height() <= 0;
}

bool rectContainsPoint(const QRectF& rect, QPointF point)
{
    const QRectF r = standardized(rect);
    return point.x() >= r.left() && point.x() < r.right() && point.y() >= r.top() && point.y() < r.bottom();
}

QRectF rectIntegral(const QRectF& rect)
{
    const QRectF r = standardized(rect);
    const double left = std::floor(r.left());
    const double top = std::floor(r.top());
    const double right = std::ceil(r.right());
    const double bottom = std::ceil(r.bottom());
    return {left, top, right - left, bottom - top};
}

std::optional<QRectF> rectFromDictionary(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    const QVariantMap map = value.toMap();
    const auto x = finiteNumber(map.value(QStringLiteral("X")));
    const auto y = finiteNumber(map.value(QStringLiteral("Y")));
    const auto width = finiteNumber(map.value(QStringLiteral("Width")));
    const auto height = finiteNumber(map.value(QStringLiteral("Height")));
    if (!x || !y || !width || !height) {
        return std::nullopt;
    }
    return QRectF(*x, *y, *width, *height);
}

QVariantMap dictionaryFromRect(const QRectF& rect)
{
    return {{QStringLiteral("X"), rect.x()},
            {QStringLiteral("Y"), rect.y()},
            {QStringLiteral("Width"), rect.width()},
            {QStringLiteral("Height"), rect.height()}};
}

} // namespace platform
