// The property-list reader, as it meets the settings and key store files: any bytes either read
// as a dictionary or are refused, and what reads is written and read back the same.
#include "platform/PropertyList.h"
#include "tests/fuzz/FuzzSupport.h"

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
        // Compared as written, where a NaN equals itself.
        fuzzing::require(platform::plist::writeBinary(*again) == written,
                         "a property list changes when written and read back");
    }
    return 0;
}
