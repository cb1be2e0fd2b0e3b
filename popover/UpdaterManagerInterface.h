#pragma once

#include <QString>

// What the popover shows of and asks for the application's updates. The shell's UpdaterManager provides it
// (the popover sits below the shell and reaches it only through this).
class UpdaterManagerInterface
{
public:
    virtual ~UpdaterManagerInterface() = default;

    // The application's version, for example "v1.0.0 (1)".
    virtual QString versionString() const = 0;
    // Asks the update framework to check now; nothing when it is not running.
    virtual void checkForUpdates() const = 0;

protected:
    UpdaterManagerInterface() = default;
    UpdaterManagerInterface(const UpdaterManagerInterface&) = default;
    UpdaterManagerInterface& operator=(const UpdaterManagerInterface&) = default;
};
