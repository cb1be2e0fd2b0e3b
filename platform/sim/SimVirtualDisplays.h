#pragma once

#include "platform/VirtualDisplay.h"

#include <QList>

#include <memory>
#include <optional>

namespace platform {
class Scheduler;
} // namespace platform

namespace platform::sim {

class SimDesktop;

// Virtual displays on a simulated desktop. A display whose settings were applied joins the
// desktop's screens, named as its descriptor says, after the registration delay; releasing it
// removes it. Tests can make each step fail, delay or refuse the registration, and end a display
// as the system would. Main thread only.
class SimVirtualDisplays final : public VirtualDisplayService
{
public:
    SimVirtualDisplays(SimDesktop& desktop, Scheduler& scheduler);
    ~SimVirtualDisplays() override;
    SimVirtualDisplays(const SimVirtualDisplays&) = delete;
    SimVirtualDisplays& operator=(const SimVirtualDisplays&) = delete;

    std::unique_ptr<CGVirtualDisplay>
    createVirtualDisplay(const CGVirtualDisplayDescriptor& descriptor) override;
    std::optional<CGVirtualDisplayMode>
    createMode(quint32 width, quint32 height, double refreshRate) override;

    // Seconds from applied settings to the screen showing up.
    void setRegistrationDelay(double seconds);
    // The screen never shows up.
    void setRefusesRegistration(bool refuses);
    void setCreationFails(bool fails);
    void setModeCreationFails(bool fails);
    void setSettingsFail(bool fails);

    // A display that exists (created and not yet released).
    struct Record
    {
        quint32 displayID = 0;
        CGVirtualDisplayDescriptor descriptor;
        std::optional<CGVirtualDisplaySettings> settings;
        bool registered = false;
    };
    QList<Record> displays() const;

    // The system ends the display: its screen goes away and its termination handler runs on a
    // later turn of the main thread.
    void terminate(quint32 displayID);

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

} // namespace platform::sim
