#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <optional>

// Typed reading of loosely typed values (user defaults, window descriptions, JSON). Booleans,
// integers, floating-point numbers, strings, data, arrays and dictionaries are kept apart; a
// number that cannot be represented in the asked-for type gives none instead of a wrapped value.
namespace platform {

bool isBool(const QVariant& value);
bool isInteger(const QVariant& value);
// An integer or a floating-point number (not a boolean).
bool isNumber(const QVariant& value);

std::optional<qint64> integerValue(const QVariant& value);
std::optional<qint32> int32Value(const QVariant& value);
std::optional<quint32> uint32Value(const QVariant& value);
// Any number, as a finite double; none for non-finite values and non-numbers.
std::optional<double> finiteNumber(const QVariant& value);

// A double that is integral and within range converts; anything else gives none. Never casts an
// out-of-range double.
std::optional<qint64> exactInt64(double value);
std::optional<quint32> exactUInt32(double value);

std::optional<QString> stringValue(const QVariant& value);
// The string elements of an array, in order, any others skipped; none when it is not an array.
std::optional<QStringList> stringElements(const QVariant& value);

// Strict decimal parsing for text keys: an optional "+", then ASCII digits only, within 32 bits.
std::optional<quint32> parseUInt32Decimal(const QString& text);

} // namespace platform
