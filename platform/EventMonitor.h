#pragma once

#include "platform/KeyEvent.h"

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

// Local monitors of this application's key events: each handler sees the events of the kinds in
// its mask (key-down, key-up, flags changes) before any window of the application does, each
// event once. A handler returns the event to let it go on (to the next monitor, then to the
// window), or none to consume it. Keys without a virtual key code are not shown to monitors.
// Main thread only.
class EventMonitor
{
public:
    using Token = std::uint64_t;
    using Handler = std::function<std::optional<KeyEvent>(const KeyEvent&)>;
    using KeyDownHandler = Handler;

    // Installs a monitor of the kinds in `mask` (kEventMaskKeyDown | …), called after those
    // installed before it. None when there is no running application whose events could be
    // watched, or for an empty mask.
    static std::optional<Token> addLocalMonitorForEvents(std::uint64_t mask, Handler handler);
    static std::optional<Token> addLocalMonitorForKeyDown(Handler handler)
    {
        return addLocalMonitorForEvents(kEventMaskKeyDown, std::move(handler));
    }
    // Removes a monitor; an unknown token is ignored. Safe to call from inside a handler.
    static void removeMonitor(Token token);
    static int monitorCount();

    // Key events that reach `window` are not this application's: the window is the host's, not
    // one of the system's (it passes what it gets on as the system's input). No monitor sees them.
    static void ignoreEventsOf(QWidget* window);
};

} // namespace platform
