#include "platform/sim/SimVirtualDisplays.h"

#include "platform/Scheduler.h"
#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace platform::sim {

namespace {
class SimVirtualDisplay;
} // namespace

struct SimVirtualDisplays::Impl
{
    Impl(SimDesktop& d, Scheduler& s)
        : desktop(d)
        , scheduler(s)
    {}

    SimDesktop& desktop;
    Scheduler& scheduler;
    double registrationDelay = 0.5;
    bool refusesRegistration = false;
    bool creationFails = false;
    bool modeCreationFails = false;
    bool settingsFail = false;
    std::map<quint32, SimVirtualDisplay*> live;
};

namespace {

class SimVirtualDisplay final : public CGVirtualDisplay
{
public:
    SimVirtualDisplay(const std::shared_ptr<SimVirtualDisplays::Impl>& impl,
                      quint32 displayID,
                      CGVirtualDisplayDescriptor descriptor)
        : m_impl(impl)
        , m_displayID(displayID)
        , m_descriptor(std::move(descriptor))
    {
        impl->live[displayID] = this;
    }

    ~SimVirtualDisplay() override
    {
        m_registration.cancel();
        if (const auto impl = m_impl.lock()) {
            impl->live.erase(m_displayID);
            removeScreen(*impl);
        }
    }
    SimVirtualDisplay(const SimVirtualDisplay&) = delete;
    SimVirtualDisplay& operator=(const SimVirtualDisplay&) = delete;

    quint32 displayID() const override { return m_displayID; }

    bool applySettings(const CGVirtualDisplaySettings& settings) override
    {
        const auto impl = m_impl.lock();
        if (!impl || impl->settingsFail || settings.modes.isEmpty() || m_terminated) {
            return false;
        }
        m_settings = settings;
        if (!m_registered && !impl->refusesRegistration) {
            m_registration = impl->scheduler.after(impl->registrationDelay, [this] { addScreen(); });
        }
        return true;
    }

    // The system ends the display on its own.
    void terminate()
    {
        const auto impl = m_impl.lock();
        if (!impl || m_terminated) {
            return;
        }
        m_terminated = true;
        m_registration.cancel();
        removeScreen(*impl);
        if (m_descriptor.terminationHandler) {
            impl->scheduler.post(nullptr, m_descriptor.terminationHandler);
        }
    }

    SimVirtualDisplays::Record record() const
    {
        SimVirtualDisplays::Record r;
        r.displayID = m_displayID;
        r.descriptor = m_descriptor;
        r.settings = m_settings;
        r.registered = m_registered;
        return r;
    }

private:
    void addScreen()
    {
        const auto impl = m_impl.lock();
        if (!impl || !m_settings || m_registered) {
            return;
        }
        // Placed to the right of the other displays; as large, in points, as its first mode,
        // with the backing scale its largest mode gives on a HiDPI display.
        const CGVirtualDisplayMode first = m_settings->modes.front();
        quint32 widest = 0;
        for (const auto& mode : m_settings->modes) {
            widest = std::max(widest, mode.width);
        }
        double scale = 1.0;
        if (m_settings->hiDPI && first.width > 0) {
            scale = std::max(1.0, static_cast<double>(widest) / first.width);
        }
        double right = 0;
        for (const quint32 id : impl->desktop.displayIDs()) {
            if (const auto setup = impl->desktop.display(id)) {
                right = std::max(right, setup->frame.right());
            }
        }
        SimDesktop::DisplaySpec setup;
        setup.name = m_descriptor.name;
        setup.frame = QRectF(right, 0, first.width, first.height);
        setup.backingScale = scale;
        setup.id = m_displayID;
        setup.desktopColor = QColor(0x20, 0x20, 0x24);
        m_registered = true;
        impl->desktop.addVirtualDisplay(setup);
    }

    void removeScreen(SimVirtualDisplays::Impl& impl)
    {
        if (m_registered) {
            m_registered = false;
            impl.desktop.removeDisplay(m_displayID);
        }
    }

    std::weak_ptr<SimVirtualDisplays::Impl> m_impl;
    quint32 m_displayID;
    CGVirtualDisplayDescriptor m_descriptor;
    std::optional<CGVirtualDisplaySettings> m_settings;
    TimerHandle m_registration;
    bool m_registered = false;
    bool m_terminated = false;
};

} // namespace

SimVirtualDisplays::SimVirtualDisplays(SimDesktop& desktop, Scheduler& scheduler)
    : m_impl(std::make_shared<Impl>(desktop, scheduler))
{}

SimVirtualDisplays::~SimVirtualDisplays() = default;

std::unique_ptr<CGVirtualDisplay>
SimVirtualDisplays::createVirtualDisplay(const CGVirtualDisplayDescriptor& descriptor)
{
    if (m_impl->creationFails) {
        return nullptr;
    }
    return std::make_unique<SimVirtualDisplay>(m_impl, m_impl->desktop.allocateDisplayID(), descriptor);
}

std::optional<CGVirtualDisplayMode>
SimVirtualDisplays::createMode(quint32 width, quint32 height, double refreshRate)
{
    if (m_impl->modeCreationFails || width == 0 || height == 0 || !std::isfinite(refreshRate)
        || refreshRate <= 0) {
        return std::nullopt;
    }
    CGVirtualDisplayMode mode;
    mode.width = width;
    mode.height = height;
    mode.refreshRate = refreshRate;
    return mode;
}

void SimVirtualDisplays::setRegistrationDelay(double seconds)
{
    m_impl->registrationDelay = seconds;
}

void SimVirtualDisplays::setRefusesRegistration(bool refuses)
{
    m_impl->refusesRegistration = refuses;
}

void SimVirtualDisplays::setCreationFails(bool fails)
{
    m_impl->creationFails = fails;
}

void SimVirtualDisplays::setModeCreationFails(bool fails)
{
    m_impl->modeCreationFails = fails;
}

void SimVirtualDisplays::setSettingsFail(bool fails)
{
    m_impl->settingsFail = fails;
}

QList<SimVirtualDisplays::Record> SimVirtualDisplays::displays() const
{
    QList<Record> records;
    for (const auto& [id, display] : m_impl->live) {
        records.append(display->record());
    }
    return records;
}

void SimVirtualDisplays::terminate(quint32 displayID)
{
    if (const auto it = m_impl->live.find(displayID); it != m_impl->live.end()) {
        it->second->terminate();
    }
}

} // namespace platform::sim
