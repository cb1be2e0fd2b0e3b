#pragma once

#include "platform/Workspace.h"

namespace platform {

// This application as the system runs it: its activation policy and whether it is active.
// Main thread only.
class Application
{
public:
    virtual ~Application() = default;

    virtual ActivationPolicy activationPolicy() const = 0;
    // False when the system refused the policy.
    virtual bool setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings this application to the front (taking the focus from the active one when
    // `ignoringOtherApps`).
    virtual void activate(bool ignoringOtherApps) = 0;
    virtual bool isActive() const = 0;
    // Asks the application to end (the quit buttons).
    virtual void terminate() = 0;
};

} // namespace platform
