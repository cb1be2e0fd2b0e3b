#pragma once

#include <QList>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What a new virtual display looks like to the system. Its queue is always the main queue: the
// termination handler runs on a later turn of the main thread.
struct CGVirtualDisplayDescriptor
{
    QString name;
    quint32 maxPixelsWide = 0;
    quint32 maxPixelsHigh = 0;
    QSizeF sizeInMillimeters;
    quint32 serialNum = 0;
    quint32 vendorID = 0;
    quint32 productID = 0;
    // Called when the system ends the display on its own.
    std::function<void()> terminationHandler;
};

struct CGVirtualDisplayMode
{
    quint32 width = 0;
    quint32 height = 0;
    double refreshRate = 0;
};

struct CGVirtualDisplaySettings
{
    QList<CGVirtualDisplayMode> modes;
    bool hiDPI = false;
};

// A published virtual display. Holding the object keeps the display; destroying it removes the
// display from the system.
class CGVirtualDisplay
{
public:
    virtual ~CGVirtualDisplay() = default;

    virtual quint32 displayID() const = 0;
    // Returns whether the system took the settings.
    virtual bool applySettings(const CGVirtualDisplaySettings& settings) = 0;
};

// Creates virtual displays. The system shows a new display as a screen some time after its
// settings were applied, not at once.
class VirtualDisplayService
{
public:
    virtual ~VirtualDisplayService() = default;

    // None when the system refuses the display.
    virtual std::unique_ptr<CGVirtualDisplay>
    createVirtualDisplay(const CGVirtualDisplayDescriptor& descriptor) = 0;
    // None when the system refuses the mode.
    virtual std::optional<CGVirtualDisplayMode>
    createMode(quint32 width, quint32 height, double refreshRate) = 0;
};

} // namespace platform
