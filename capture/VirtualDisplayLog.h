#pragma once

#include <QLoggingCategory>

namespace platform {
struct Services;
} // namespace platform

// The virtual display's log: category "VirtualDisplay" under the application's bundle identifier
// ("getveilmox.Veilmox" when it has none), created on first use. Info messages are off unless
// logging rules turn them on.
const QLoggingCategory& virtualDisplayLog(const platform::Services& services);
