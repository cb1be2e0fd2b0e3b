#include "state/GlobalHotKeyManager.h"

#include "tests/state/StateFixture.h"

#include <gtest/gtest.h>

namespace {

struct Registry
{
    platform::sim::SimHotKeySystem system;
    platform::sim::VirtualScheduler scheduler;
    std::optional<GlobalHotKeyManager> manager{std::in_place, system, scheduler};
};

} // namespace

using WindowManagerHotKeys = testing_support::StateTest;

TEST(GlobalHotKeyManager, DeliversPressesLaterToTheLatestActionOnly)
{
    Registry r;
    int first = 0;
    int second = 0;
    ASSERT_TRUE(r.manager->registerHotKey(2, 35, 0x1900, [&] { ++first; }));
    // Registering the id again releases the old combination first.
    ASSERT_TRUE(r.manager->registerHotKey(2, 35, 0x1900, [&] { ++second; }));
    EXPECT_EQ(r.system.registrationCount(), 1U);
    EXPECT_EQ(r.system.handlerCount(), 1U);
    EXPECT_TRUE(r.system.press(35, 0x1900));
    EXPECT_FALSE(r.system.press(35, 0x1800));
    EXPECT_EQ(second, 0); // on a later main-loop turn
    r.scheduler.runPending();
    EXPECT_EQ(std::pair(first, second), std::pair(0, 1));

    // Foreign and malformed events, and presses of an action removed meanwhile, do nothing.
    r.system.deliverRawEvent(std::nullopt);
    r.system.deliverRawEvent(platform::EventHotKeyID{platform::fourCharCode("ABCD"), 2});
    r.system.press(35, 0x1900);
    r.manager->unregister(2);
    r.manager->unregister(2);
    r.scheduler.runPending();
    EXPECT_EQ(second, 1);
    EXPECT_EQ(r.system.registrationCount(), 0U);
}

TEST(GlobalHotKeyManager, RefusedCombinationsLeaveTheIdUnregisteredAndDestructionReleasesAll)
{
    Registry r;
    r.system.claimForOtherApplication(35, 0x1900);
    ASSERT_TRUE(r.manager->registerHotKey(2, 12, 0x100, [] {}));
    EXPECT_FALSE(r.manager->registerHotKey(2, 35, 0x1900, [] {}));
    EXPECT_FALSE(r.manager->isRegistered(2));
    EXPECT_FALSE(r.system.isRegistered(12, 0x100));
    // A combination held by another id of ours is refused too.
    ASSERT_TRUE(r.manager->registerHotKey(1, 4, 0x300, [] {}));
    EXPECT_FALSE(r.manager->registerHotKey(2, 4, 0x300, [] {}));
    EXPECT_TRUE(r.manager->isRegistered(1));

    r.manager.reset();
    EXPECT_EQ(r.system.registrationCount(), 0U);
    EXPECT_EQ(r.system.handlerCount(), 0U);
}

TEST_F(WindowManagerHotKeys, StartRegistersBothAndTheGlobalShortcutFollowsItsSettingAndSuspension)
{
    testing_support::StateFixture f;
    f.t.hotKeys.claimForOtherApplication(35, 0x1900);
    f.store(WindowManager::globalShortcutKey, false);
    WindowManager& m = f.start();
    EXPECT_FALSE(m.panicShortcutAvailable());
    EXPECT_FALSE(f.t.hotKeys.isRegistered(4, 0x300));
    f.t.hotKeys.releaseFromOtherApplication(35, 0x1900);
    EXPECT_TRUE(m.registerPanicShortcut());
    EXPECT_TRUE(m.panicShortcutAvailable());

    // Suspending does nothing while the shortcut is off.
    m.registerGlobalShortcut();
    m.suspendGlobalShortcut();
    EXPECT_TRUE(f.t.hotKeys.isRegistered(4, 0x300));
    m.setGlobalShortcutEnabled(false);
    EXPECT_FALSE(f.t.hotKeys.isRegistered(4, 0x300));
    EXPECT_EQ(f.t.defaults.object(WindowManager::globalShortcutKey), QVariant(false));
    m.setGlobalShortcutEnabled(true);
    EXPECT_TRUE(f.t.hotKeys.isRegistered(4, 0x300));
    m.suspendGlobalShortcut();
    EXPECT_FALSE(f.t.hotKeys.isRegistered(4, 0x300));
    m.registerGlobalShortcut();
    EXPECT_TRUE(f.t.hotKeys.isRegistered(4, 0x300));
}
