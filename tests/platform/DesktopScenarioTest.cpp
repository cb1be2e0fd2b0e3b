#include "platform/Values.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;

namespace {

std::optional<RunningApplicationRef> app(const SimDesktop& desktop, const QString& bundleID)
{
    for (const auto& running : desktop.runningApplications()) {
        if (running->bundleIdentifier() == bundleID) {
            return running;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(DesktopScenario, BuildsTheDesktopItDescribes)
{
    SimDesktop desktop;
    const auto error = platform::sim::loadDesktopScenario(desktop, R"({
        "menuBarHeight": 30,
        "screenRecordingPermission": false,
        "displays": [
            {"name": "Studio Display", "frame": [0, 0, 2560, 1440], "scale": 2, "wallpaper": "#102030"},
            {"frame": [2560, 0, 1920, 1080], "scale": 1}
        ],
        "apps": [
            {"bundleID": "com.example.editor", "name": "Editor", "active": true,
             "windows": [{"title": "notes.txt", "frame": [100, 100, 800, 600], "color": "#336699"},
                         {"frame": [50, 50, 200, 100], "onScreen": false, "sharing": 0, "layer": 3, "alpha": 0.5}]},
            {"bundleID": "com.apple.dock", "name": "Dock", "policy": "accessory"}
        ]
    })");
    ASSERT_FALSE(error) << error->toStdString();
    EXPECT_EQ(desktop.menuBarHeight(), 30);
    EXPECT_FALSE(desktop.screenRecordingPermission());
    const auto screens = desktop.screens();
    ASSERT_EQ(screens.size(), 2);
    EXPECT_EQ(screens[0].localizedName, QStringLiteral("Studio Display"));
    EXPECT_EQ(screens[1].frame, QRectF(2560, 0, 1920, 1080));
    EXPECT_EQ(screens[1].backingScaleFactor, 1.0);
    EXPECT_EQ(desktop.display(*screens[0].displayID())->desktopColor, QColor(0x10, 0x20, 0x30));

    const auto editor = app(desktop, QStringLiteral("com.example.editor"));
    ASSERT_TRUE(editor);
    EXPECT_TRUE((*editor)->isActive());
    EXPECT_EQ((*app(desktop, QStringLiteral("com.apple.dock")))->activationPolicy(),
              ActivationPolicy::Accessory);
    const auto order = desktop.windowOrder();
    ASSERT_EQ(order.size(), 2);
    const auto panel = *desktop.window(order[0]);
    EXPECT_EQ(panel.layer, 3);
    EXPECT_EQ(panel.sharingState, 0);
    EXPECT_FALSE(panel.onScreen);
    EXPECT_EQ(panel.alpha, 0.5);
    const auto notes = *desktop.window(order[1]);
    EXPECT_EQ(notes.title, QStringLiteral("notes.txt"));
    EXPECT_EQ(notes.color, QColor(0x33, 0x66, 0x99));
    EXPECT_EQ(notes.owner, (*editor)->processIdentifier());
}

TEST(DesktopScenario, AScenarioThatDoesNotReadChangesNothing)
{
    struct Case
    {
        const char* json;
        const char* says;
    };
    const Case cases[] = {
        {"{", "not JSON"},
        {"[]", "must be an object"},
        {R"({"apps": []})", "no display"},
        {R"({"displays": [{"frame": [0, 0, 100]}]})", "frame"},
        {R"({"displays": [{"frame": [0, 0, -5, 10]}]})", "frame"},
        {R"({"displays": [{"frame": [0, 0, 100, 100], "scale": "2"}]})", "scale"},
        {R"({"displays": [{"frame": [0, 0, 100, 100], "wallpaper": "blurple"}]})", "wallpaper"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}], "apps": [{"name": "No id"}]})", "bundleID"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}], "apps": [{"bundleID": "a.b", "name": "A", "policy": "x"}]})",
         "policy"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}],
             "apps": [{"bundleID": "a.b", "name": "A", "windows": [{"frame": [0, 0, 9, 9], "sharing": 7}]}]})",
         "sharing"},
    };
    for (const Case& c : cases) {
        SimDesktop desktop;
        const auto error = platform::sim::loadDesktopScenario(desktop, c.json);
        ASSERT_TRUE(error) << c.json;
        EXPECT_TRUE(error->contains(QString::fromUtf8(c.says))) << error->toStdString();
        EXPECT_TRUE(desktop.screens().isEmpty());
        EXPECT_EQ(desktop.runningApplications().size(), 1) << "only this program";
        EXPECT_TRUE(desktop.windowOrder().isEmpty());
    }
}

TEST(DesktopScenario, TheDemoDesktopHasAppsAndTheSystemsOwnWindows)
{
    SimDesktop desktop;
    platform::sim::populateDemoDesktop(desktop);
    ASSERT_EQ(desktop.screens().size(), 1);
    EXPECT_TRUE(desktop.frontmostApplication());
    QSet<qint64> layers;
    for (const quint32 number : desktop.windowOrder()) {
        layers.insert(desktop.window(number)->layer);
    }
    EXPECT_EQ(layers, (QSet<qint64>{0, 20, 23, 24}));
    EXPECT_TRUE(app(desktop, QStringLiteral("com.apple.dock")));
    EXPECT_TRUE(app(desktop, QStringLiteral("com.apple.notificationcenterui")));
}
