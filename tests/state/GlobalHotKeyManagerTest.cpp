#include "state/GlobalHotKeyManager.h"

#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/VirtualScheduler.h"
#include "state/WindowManager.h"
#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

using platform::EventHotKeyID;

namespace {

struct Registry
{
    platform::sim::SimHotKeySystem system;
    platform::sim::VirtualScheduler scheduler;
    GlobalHotKeyManager manager{system, scheduler};
};

} // namespace

TEST(GlobalHotKeyManager, DeliversPressesOnALaterMainLoopTurn)
{
    Registry r;
    int presses = 0;
    ASSERT_TRUE(r.manager.registerHotKey(2, 35, 0x1900, [&] { ++presses; }));
    EXPECT_TRUE(r.system.press(35, 0x1900));
    EXPECT_EQ(presses, 0);
    r.scheduler.runPending();
    EXPECT_EQ(presses, 1);
    EXPECT_FALSE(r.system.press(35, 0x1800));
}

TEST(GlobalHotKeyManager, ReRegisteringReleasesTheOldCombinationFirst)
{
    Registry r;
    int first = 0;
    int second = 0;
    ASSERT_TRUE(r.manager.registerHotKey(2, 35, 0x1900, [&] { ++first; }));
    ASSERT_TRUE(r.manager.registerHotKey(2, 35, 0x1900, [&] { ++second; }));
    EXPECT_EQ(r.system.registrationCount(), 1U);
    EXPECT_EQ(r.system.handlerCount(), 1U);
    r.system.press(35, 0x1900);
    r.scheduler.runPending();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(GlobalHotKeyManager, ARefusedCombinationLeavesTheIdUnregistered)
{
    Registry r;
    r.system.claimForOtherApplication(35, 0x1900);
    ASSERT_TRUE(r.manager.registerHotKey(2, 12, 0x100, [] {}));
    EXPECT_FALSE(r.manager.registerHotKey(2, 35, 0x1900, [] {}));
    EXPECT_FALSE(r.manager.isRegistered(2));
    EXPECT_FALSE(r.system.isRegistered(12, 0x100));
    // A combination held by another id of ours is refused too.
    ASSERT_TRUE(r.manager.registerHotKey(1, 4, 0x300, [] {}));
    EXPECT_FALSE(r.manager.registerHotKey(2, 4, 0x300, [] {}));
    EXPECT_TRUE(r.manager.isRegistered(1));
}

TEST(GlobalHotKeyManager, IgnoresForeignAndMalformedEventsAndRemovedActions)
{
    Registry r;
    int presses = 0;
    r.manager.registerHotKey(1, 4, 0x300, [&] { ++presses; });
    r.system.deliverRawEvent(std::nullopt);
    r.system.deliverRawEvent(EventHotKeyID{platform::fourCharCode("ABCD"), 1});
    r.scheduler.runPending();
    EXPECT_EQ(presses, 0);

    r.system.press(4, 0x300);
    r.manager.unregister(1);
    r.manager.unregister(1);
    r.scheduler.runPending();
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(r.system.registrationCount(), 0U);
}

TEST(GlobalHotKeyManager, DestroyingTheRegistryReleasesEverything)
{
    platform::sim::SimHotKeySystem system;
    platform::sim::VirtualScheduler scheduler;
    {
        GlobalHotKeyManager manager(system, scheduler);
        manager.registerHotKey(1, 4, 0x300, [] {});
        manager.registerHotKey(2, 35, 0x1900, [] {});
    }
    EXPECT_EQ(system.registrationCount(), 0U);
    EXPECT_EQ(system.handlerCount(), 0U);
}

TEST(WindowManagerHotKeys, StartRegistersBothAndPublishesPanicAvailability)
{
    testing_support::TestDesktop t;
    GlobalHotKeyManager registry(t.hotKeys, t.scheduler);
    t.hotKeys.claimForOtherApplication(35, 0x1900);
    WindowManager manager(t.services(), &registry);
    manager.start();
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));
    EXPECT_FALSE(manager.panicShortcutAvailable());

    t.hotKeys.releaseFromOtherApplication(35, 0x1900);
    EXPECT_TRUE(manager.registerPanicShortcut());
    EXPECT_TRUE(manager.panicShortcutAvailable());
}

TEST(WindowManagerHotKeys, SuspendingFreesTheGlobalShortcutOnlyWhileEnabled)
{
    testing_support::TestDesktop t;
    GlobalHotKeyManager registry(t.hotKeys, t.scheduler);
    t.defaults.setObject(false, WindowManager::globalShortcutKey);
    WindowManager manager(t.services(), &registry);
    manager.start();
    EXPECT_FALSE(t.hotKeys.isRegistered(4, 0x300));
    manager.registerGlobalShortcut();
    manager.suspendGlobalShortcut();
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));

    manager.setGlobalShortcutEnabled(true);
    manager.suspendGlobalShortcut();
    EXPECT_FALSE(t.hotKeys.isRegistered(4, 0x300));
    manager.registerGlobalShortcut();
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));
}
