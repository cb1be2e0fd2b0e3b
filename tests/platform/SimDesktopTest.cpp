#include "platform/sim/SimDesktop.h"

#include "platform/Geometry.h"
#include "platform/Values.h"

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;

TEST(SimDesktop, WindowListIsFrontToBackAndHonoursTheOptions)
{
    SimDesktop desktop;
    desktop.addDisplay();
    const auto pid = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto back = desktop.addWindow(pid, QStringLiteral("back"));
    const auto front = desktop.addWindow(pid, QStringLiteral("front"));
    SimDesktop::WindowSpec wallpaper;
    wallpaper.owner = pid;
    wallpaper.layer = -2147483624;
    desktop.addWindow(wallpaper);
    const auto minimised = desktop.addWindow(pid, QStringLiteral("min"));
    desktop.setWindowOnScreen(minimised, false);
    desktop.orderFront(front);

    const auto list = desktop.copyWindowInfo(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2);
    EXPECT_EQ(uint32Value(list->at(0).value(kCGWindowNumber)), front);
    EXPECT_EQ(uint32Value(list->at(1).value(kCGWindowNumber)), back);
    EXPECT_EQ(list->at(0).value(kCGWindowOwnerName).toString(), QStringLiteral("A"));
    EXPECT_EQ(rectFromDictionary(list->at(0).value(kCGWindowBounds)), QRectF(100, 100, 800, 600));

    const auto all = desktop.copyWindowInfo(kCGWindowListOptionAll, kCGNullWindowID);
    EXPECT_EQ(all->size(), 4);
    const auto described = desktop.createDescriptionFromArray({minimised, 9999, back});
    ASSERT_EQ(described->size(), 2);
    EXPECT_FALSE(described->at(0).contains(kCGWindowIsOnscreen));
}

TEST(SimDesktop, FailuresAreToldApartFromEmptyAnswers)
{
    SimDesktop desktop;
    EXPECT_TRUE(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0)->isEmpty());
    desktop.setWindowListFails(true);
    EXPECT_FALSE(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0));
    desktop.setDescriptionQueryFails(true);
    EXPECT_FALSE(desktop.createDescriptionFromArray({1}));
}

TEST(SimDesktop, ApplicationsPostTheirNotificationsAndHidingTakesWindowsOffScreen)
{
    SimDesktop desktop;
    QStringList seen;
    auto launched =
        desktop.notificationCenter().addObserver(kWorkspaceDidLaunchApplication, [&](const Notification& n) {
            seen << QStringLiteral("launch:") + n.application->bundleIdentifier().value_or(QString());
        });
    auto ended = desktop.notificationCenter().addObserver(
        kWorkspaceDidTerminateApplication, [&](const Notification& n) {
            seen << QStringLiteral("end:") + n.application->bundleIdentifier().value_or(QString());
        });
    const auto pid = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto window = desktop.addWindow(pid, QStringLiteral("w"));
    const auto app = desktop.runningApplication(pid);
    ASSERT_TRUE(app);
    app->hide();
    EXPECT_TRUE(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0)->isEmpty());
    app->unhide();
    EXPECT_EQ(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0)->size(), 1);
    desktop.terminateApp(pid);
    EXPECT_FALSE(desktop.runningApplication(pid));
    EXPECT_FALSE(desktop.window(window));
    EXPECT_TRUE(app->isTerminated());
    EXPECT_EQ(seen,
              (QStringList{QStringLiteral("launch:com.example.A"), QStringLiteral("end:com.example.A")}));
}

TEST(SimDesktop, ScreensCarryTheirDisplayNumbers)
{
    SimDesktop desktop;
    const auto first = desktop.addDisplay();
    SimDesktop::DisplaySpec noNumber;
    noNumber.hasScreenNumber = false;
    desktop.addDisplay(noNumber);
    const auto screens = desktop.screens();
    ASSERT_EQ(screens.size(), 2);
    EXPECT_EQ(screens[0].displayID(), first);
    EXPECT_FALSE(screens[1].displayID());
    EXPECT_EQ(desktop.mainDisplayID(), first);
    EXPECT_EQ(desktop.displayBounds(first), QRectF(0, 0, 1512, 982));
}
