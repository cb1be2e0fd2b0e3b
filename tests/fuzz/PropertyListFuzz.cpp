// The property-list reader, as it meets the settings and key store files: any bytes either read
// as a dictionary or are refused, and what reads is written and read back the same.
#include "platform/PropertyList.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cmath>

namespace {

// Equal values, a NaN equal to itself. (Written bytes are no measure: the writer shares equal data
// values only where their addresses happen to meet in its table.)
bool same(const QVariant& a, const QVariant& b)
{
    if (a.typeId() != b.typeId()) {
        return false;
    }
    switch (a.typeId()) {
    case QMetaType::Double:
        return a.toDouble() == b.toDouble() || (std::isnan(a.toDouble()) && std::isnan(b.toDouble()));
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList();
        const QVariantList y = b.toList();
        return x.size() == y.size() && std::equal(x.cbegin(), x.cend(), y.cbegin(), same);
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        return x.keys() == y.keys() && std::equal(x.cbegin(), x.cend(), y.cbegin(), same);
    }
    default:
        return a == b;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto read = platform::plist::readDictionary(fuzzing::bytes(data, size));
    if (!read) {
        return 0;
    }
    if (const auto written = platform::plist::writeBinary(*read)) {
        const auto again = platform::plist::readDictionary(*written);
        fuzzing::require(again.has_value(), "a written property list does not read back");
        fuzzing::require(same(*again, *read), "a property list changes when written and read back");
    }
    return 0;
}
