#include "platform/sim/SimVirtualDisplays.h"

#include "platform/sim/SimDesktop.h"
#include "platform/sim/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;
using platform::sim::SimVirtualDisplays;
using platform::sim::VirtualScheduler;

namespace {

struct Rig
{
    Rig()
        : displays(desktop, scheduler)
    {
        desktop.addDisplay();
        changes = desktop.defaultCenter().addObserver(kApplicationDidChangeScreenParameters,
                                                      [this](const Notification&) { ++screenChanges; });
    }

    std::unique_ptr<CGVirtualDisplay> publish(bool hiDPI = true)
    {
        CGVirtualDisplayDescriptor descriptor;
        descriptor.name = QStringLiteral("Veilmox");
        descriptor.maxPixelsWide = 3024;
        descriptor.maxPixelsHigh = 1964;
        descriptor.terminationHandler = [this] {
            ++terminations;
        };
        auto display = displays.createVirtualDisplay(descriptor);
        CGVirtualDisplaySettings settings;
        settings.modes = {*displays.createMode(1512, 982, 30), *displays.createMode(3024, 1964, 30)};
        settings.hiDPI = hiDPI;
        EXPECT_TRUE(display->applySettings(settings));
        return display;
    }

    std::optional<Screen> screen(quint32 id) const
    {
        for (const auto& s : desktop.screens()) {
            if (s.displayID() == id) {
                return s;
            }
        }
        return std::nullopt;
    }

    SimDesktop desktop;
    VirtualScheduler scheduler;
    SimVirtualDisplays displays;
    Cancellable changes;
    int screenChanges = 0;
    int terminations = 0;
};

} // namespace

TEST(SimVirtualDisplays, ADisplayJoinsTheScreensAfterItsDelayAndLeavesWhenReleased)
{
    Rig rig;
    rig.displays.setRegistrationDelay(0.8);
    auto display = rig.publish();
    const quint32 id = display->displayID();
    EXPECT_FALSE(rig.screen(id));
    rig.scheduler.advance(0.79);
    EXPECT_FALSE(rig.screen(id));
    rig.scheduler.advance(0.01);

    const auto screen = rig.screen(id);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->localizedName, QStringLiteral("Veilmox"));
    EXPECT_EQ(screen->frame, QRectF(1512, 0, 1512, 982)); // to the right of the built-in display
    EXPECT_EQ(screen->backingScaleFactor, 2.0);
    EXPECT_EQ(rig.screenChanges, 1);
    EXPECT_TRUE(rig.displays.displays().front().registered);

    display.reset();
    EXPECT_FALSE(rig.screen(id));
    EXPECT_EQ(rig.screenChanges, 2);
    EXPECT_TRUE(rig.displays.displays().isEmpty());
}

TEST(SimVirtualDisplays, RegistrationCanBeRefusedAndEachStepCanFail)
{
    Rig rig;
    rig.displays.setRefusesRegistration(true);
    auto refused = rig.publish(false);
    rig.scheduler.advance(60);
    EXPECT_FALSE(rig.screen(refused->displayID()));
    refused.reset();
    EXPECT_EQ(rig.screenChanges, 0);

    rig.displays.setSettingsFail(true);
    auto display = rig.displays.createVirtualDisplay({});
    ASSERT_TRUE(display);
    CGVirtualDisplaySettings settings;
    settings.modes = {CGVirtualDisplayMode{10, 10, 30}};
    EXPECT_FALSE(display->applySettings(settings));
    rig.displays.setModeCreationFails(true);
    EXPECT_FALSE(rig.displays.createMode(10, 10, 30));
    rig.displays.setCreationFails(true);
    EXPECT_FALSE(rig.displays.createVirtualDisplay({}));
}

TEST(SimVirtualDisplays, ReleasingBeforeRegistrationLeavesNoScreen)
{
    Rig rig;
    auto display = rig.publish();
    display.reset();
    rig.scheduler.advance(5);
    EXPECT_EQ(rig.desktop.screens().size(), 1);
    EXPECT_EQ(rig.screenChanges, 0);
}

TEST(SimVirtualDisplays, TheSystemEndingADisplayRemovesItAndCallsItsHandlerLater)
{
    Rig rig;
    auto display = rig.publish();
    rig.scheduler.advance(1);
    rig.displays.terminate(display->displayID());
    EXPECT_FALSE(rig.screen(display->displayID()));
    EXPECT_EQ(rig.terminations, 0);
    rig.scheduler.runPending();
    EXPECT_EQ(rig.terminations, 1);
    display.reset();
    EXPECT_EQ(rig.screenChanges, 2);
}
