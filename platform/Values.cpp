#include "platform/Values.h"

#include <cmath>
#include <limits>

namespace platform {

bool isBool(const QVariant& value)
{
    return value.typeId() == QMetaType::Bool;
}

bool isInteger(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isNumber(const QVariant& value)
{
    return isInteger(value) || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

std::optional<qint64> integerValue(const QVariant& value)
{
    if (!isInteger(value)) {
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong) {
        const auto u = value.toULongLong();
        if (u > static_cast<quint64>(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return static_cast<qint64>(u);
    }
    return value.toLongLong();
}

std::optional<qint32> int32Value(const QVariant& value)
{
    const auto v = integerValue(value);
    if (!v || *v < std::numeric_limits<qint32>::min() || *v > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(*v);
}

std::optional<quint32> uint32Value(const QVariant& value)
{
    const auto v = integerValue(value);
    if (!v || *v < 0 || *v > std::numeric_limits<quint32>::max()) {
        return std::nullopt;
    }
    return static_cast<quint32>(*v);
}

std::optional<double> finiteNumber(const QVariant& value)
{
    if (isInteger(value)) {
        if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::ULong) {
            return static_cast<double>(value.toULongLong());
        }
        return static_cast<double>(value.toLongLong());
    }
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double d = value.toDouble();
        if (!std::isfinite(d)) {
            return std::nullopt;
        }
        return d;
    }
    return std::nullopt;
}

std::optional<qint64> exactInt64(double value)
{
    // 2^63 is exactly representable; anything at or above it is out of range.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(value) || value != std::trunc(value) || value < -kLimit || value >= kLimit) {
        return std::nullopt;
    }
    return static_cast<qint64>(value);
}

std::optional<quint32> exactUInt32(double value)
{
    if (!std::isfinite(value) || value != std::trunc(value) || value < 0 || value > 4294967295.0) {
        return std::nullopt;
    }
    return static_cast<quint32>(value);
}

std::optional<QString> stringValue(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QStringList> stringElements(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList();
    }
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QStringList result;
    for (const QVariant& element : value.toList()) {
        if (element.typeId() == QMetaType::QString) {
            result.append(element.toString());
        }
    }
    return result;
}

std::optional<quint32> parseUInt32Decimal(const QString& text)
{
    qsizetype start = 0;
    if (text.startsWith(QLatin1Char('+'))) {
        start = 1;
    }
    if (start >= text.size()) {
        return std::nullopt;
    }
    quint64 result = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        result = result * 10 + static_cast<quint64>(c.unicode() - '0');
        if (result > std::numeric_limits<quint32>::max()) {
            return std::nullopt;
        }
    }
    return static_cast<quint32>(result);
}

} // namespace platform
