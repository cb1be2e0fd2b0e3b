// The stored onboarding draft ("onboardingDraft"): any bytes decode or are refused, and a decoded
// draft encodes and decodes back the same.
#include "onboarding/OnboardingDraft.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto draft = OnboardingDraft::decode(fuzzing::bytes(data, size));
    if (!draft) {
        return 0;
    }
    const auto encoded = draft->encoded();
    if (!encoded) {
        // Only a number too large for a double reads as infinite; such a draft is never written.
        return 0;
    }
    const auto again = OnboardingDraft::decode(*encoded);
    fuzzing::require(again.has_value() && *again == *draft, "a draft changes when encoded and decoded");
    return 0;
}
