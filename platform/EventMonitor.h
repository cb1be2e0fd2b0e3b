#pragma once

#include "platform/KeyEvent.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

// Local monitors of this application's key-down events: each handler sees a key-down before any
// window of the application does. A handler returns the event to let it go on (to the next
// monitor, then to the window), or none to consume it. Keys without a virtual key code are not
// shown to monitors. Main thread only.
class EventMonitor
{
public:
    using Token = std::uint64_t;
    using KeyDownHandler = std::function<std::optional<KeyEvent>(const KeyEvent&)>;

    // Installs a monitor, called after those installed before it. None when there is no running
    // application whose events could be watched.
    static std::optional<Token> addLocalMonitorForKeyDown(KeyDownHandler handler);
    // Removes a monitor; an unknown token is ignored. Safe to call from inside a handler.
    static void removeMonitor(Token token);
    static int monitorCount();
};

} // namespace platform
