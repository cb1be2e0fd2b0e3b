// The stored panic shortcut ("panicShortcut"): any bytes decode or are refused; a decoded
// shortcut can be registered and encodes and decodes back the same.
#include "state/HotKeyCombo.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto combo = HotKeyCombo::decode(fuzzing::bytes(data, size));
    if (!combo) {
        return 0;
    }
    fuzzing::require(combo->isRegistrable(), "a decoded shortcut cannot be registered");
    const auto encoded = combo->encoded();
    fuzzing::require(encoded.has_value(), "a decoded shortcut does not encode");
    fuzzing::require(HotKeyCombo::decode(*encoded) == combo, "a shortcut changes when encoded and decoded");
    return 0;
}
