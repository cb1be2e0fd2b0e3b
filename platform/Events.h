#pragma once

#include "platform/NotificationCenter.h"

#include <QPointF>

#include <functional>

namespace platform {

// The system's input events as the application sees them: where the pointer is, which event is
// being handled, and mouse-down monitors. Main thread only.
class Events
{
public:
    virtual ~Events() = default;

    // The pointer's position in global points.
    virtual QPointF mouseLocation() const = 0;
    // A number that grows with every input event; the one being handled now.
    virtual quint64 currentEventNumber() const = 0;
    // Called with the location of every mouse-down, in any window or none, before the window
    // under the pointer receives it.
    [[nodiscard]] virtual Cancellable addMouseDownMonitor(std::function<void(QPointF)> monitor) = 0;
};

} // namespace platform
