#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QVariant>

#include <optional>

// Conversion between property-list bytes (binary or XML) and typed values.
namespace platform::plist {

// A dictionary root read from property-list bytes; none when the bytes do not parse, the root is
// not a dictionary, or the list goes past the document bounds of BoundedRead.h (checked before
// it is parsed), with the reason in `error` when given. Nodes of kinds that have no typed value
// are left out.
std::optional<QVariantMap> readDictionary(const QByteArray& bytes, QString* error = nullptr);

// Whether a date lies within what the property-list forms can hold (1932 to 2069).
bool isRepresentable(const QDateTime& date);

// A dictionary written as a binary property list. Non-finite reals are written as they are (both
// forms hold them). A value that cannot be represented (a date beyond the format's range, a kind
// with no property-list form) is left out, with its key path ("a/b/3") added to `leftOut` when
// given; the rest is written. None only when the encoder itself fails.
std::optional<QByteArray> writeBinary(const QVariantMap& dictionary, QStringList* leftOut = nullptr);

} // namespace platform::plist
