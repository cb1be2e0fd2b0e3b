// The local check of an access token, on any text: the segments, the claims and the subject.
#include "account/TokenCheck.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString token = QString::fromUtf8(fuzzing::bytes(data, size));
    for (int index = 0; index < 3; ++index) {
        (void)decodeJWTSegment(token, index);
    }
    const bool usable =
        isAccessTokenUsable(token, 1'700'000'000, QStringLiteral("https://project.example.co"), 30);
    const auto subject = userID(token);
    fuzzing::require(!usable || (subject && !subject->isEmpty()), "a usable token names no user");
    return 0;
}
