#include "state/GlobalHotKeyManager.h"

#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/VirtualScheduler.h"

#include <gtest/gtest.h>

TEST(GlobalHotKeyManager, DeliversLaterToTheLatestActionRefusesTakenCombinationsAndReleasesAllAtTheEnd)
{
    platform::sim::SimHotKeySystem system;
    platform::sim::VirtualScheduler scheduler;
    std::optional<GlobalHotKeyManager> manager{std::in_place, system, scheduler};
    int first = 0;
    int second = 0;
    ASSERT_TRUE(manager->registerHotKey(2, 35, 0x1900, [&] { ++first; }));
    // Registering the id again releases the old combination first.
    ASSERT_TRUE(manager->registerHotKey(2, 35, 0x1900, [&] { ++second; }));
    EXPECT_EQ(system.registrationCount(), 1U);
    EXPECT_EQ(system.handlerCount(), 1U);
    EXPECT_TRUE(system.press(35, 0x1900));
    EXPECT_FALSE(system.press(35, 0x1800));
    EXPECT_EQ(second, 0); // on a later main-loop turn
    scheduler.runPending();
    EXPECT_EQ(std::pair(first, second), std::pair(0, 1));

    // Foreign and malformed events, and presses of an action removed meanwhile, do nothing.
    system.deliverRawEvent(std::nullopt);
    system.deliverRawEvent(platform::EventHotKeyID{platform::fourCharCode("ABCD"), 2});
    system.press(35, 0x1900);
    manager->unregister(2);
    manager->unregister(2);
    scheduler.runPending();
    EXPECT_EQ(second, 1);
    EXPECT_EQ(system.registrationCount(), 0U);

    // A combination another application holds, or another id of ours, leaves the id unregistered.
    system.claimForOtherApplication(35, 0x1900);
    ASSERT_TRUE(manager->registerHotKey(2, 12, 0x100, [] {}));
    EXPECT_FALSE(manager->registerHotKey(2, 35, 0x1900, [] {}));
    EXPECT_FALSE(manager->isRegistered(2));
    EXPECT_FALSE(system.isRegistered(12, 0x100));
    ASSERT_TRUE(manager->registerHotKey(1, 4, 0x300, [] {}));
    EXPECT_FALSE(manager->registerHotKey(2, 4, 0x300, [] {}));
    EXPECT_TRUE(manager->isRegistered(1));

    manager.reset();
    EXPECT_EQ(system.registrationCount() + system.handlerCount(), 0U);
}
