#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

// Conversion between property-list bytes (binary or XML) and typed values.
namespace platform::plist {

// A dictionary root read from property-list bytes; none when the bytes do not parse, the root is
// not a dictionary, or the list goes past the document bounds of BoundedRead.h (checked before
// it is parsed), with the reason in `error` when given. Nodes of kinds that have no typed value
// are left out.
std::optional<QVariantMap> readDictionary(const QByteArray& bytes, QString* error = nullptr);

// A dictionary written as a binary property list; none when a value cannot be represented.
std::optional<QByteArray> writeBinary(const QVariantMap& dictionary);

} // namespace platform::plist
