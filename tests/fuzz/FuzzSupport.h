#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every fuzz target shares: a QApplication on the offscreen platform (made once, by
// LLVMFuzzerInitialize) and the input as Qt types.
namespace fuzzing {

void startApplication(int* argc, char*** argv);

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A property the target checks on every input; breaking it is a finding, like a crash.
inline void require(bool holds, const char* what)
{
    if (!holds) {
        qCritical("Fuzz finding: %s", what);
        std::abort();
    }
}

} // namespace fuzzing
