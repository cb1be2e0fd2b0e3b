// The stored masks ("shareMasks"): any bytes decode or are refused, and decoded masks encode and
// decode back the same.
#include "capture/ShareMask.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto masks = ShareMask::decodeList(fuzzing::bytes(data, size));
    if (!masks) {
        return 0;
    }
    const auto encoded = ShareMask::encodeList(*masks);
    fuzzing::require(encoded.has_value(), "decoded masks do not encode");
    const auto again = ShareMask::decodeList(*encoded);
    fuzzing::require(again.has_value() && *again == *masks, "masks change when encoded and decoded");
    return 0;
}
