#include "platform/sim/DesktopViewer.h"

#include "platform/VirtualDisplay.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::DesktopViewer;
using platform::sim::SimDesktop;

TEST(DesktopViewer, ShowsEveryDisplayLiveAndFollowsTheScreenList)
{
    SimDesktop desktop;
    platform::sim::VirtualScheduler scheduler;
    platform::sim::SimVirtualDisplays virtualDisplays(desktop, scheduler);
    SimDesktop::DisplaySpec setup;
    setup.name = QStringLiteral("Built-in Display");
    setup.frame = QRectF(0, 0, 400, 250);
    setup.backingScale = 2.0;
    const quint32 builtIn = desktop.addDisplay(setup);
    const auto pid = desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
    SimDesktop::WindowSpec window;
    window.owner = pid;
    window.bounds = QRectF(0, 0, 200, 250);
    window.color = QColor(0xe0, 0x20, 0x20);
    desktop.addWindow(window);

    DesktopViewer viewer(desktop, scheduler);
    viewer.resize(900, 400);
    viewer.show();
    viewer.refresh();
    EXPECT_EQ(viewer.displayIDs(), QList<quint32>{builtIn});
    EXPECT_TRUE(viewer.title(builtIn).startsWith(QStringLiteral("Built-in Display")));
    QImage picture = viewer.picture(builtIn);
    ASSERT_FALSE(picture.isNull());
    // Drawn at the size it is shown, with the window on the left half.
    EXPECT_LE(picture.deviceIndependentSize().width(), viewer.width());
    EXPECT_EQ(picture.pixelColor(picture.width() / 4, picture.height() / 2), QColor(0xe0, 0x20, 0x20));
    EXPECT_EQ(picture.pixelColor(picture.width() * 3 / 4, picture.height() / 2), setup.desktopColor);

    // A virtual display gets its own pane once it shows up, and loses it when it goes.
    CGVirtualDisplayDescriptor descriptor;
    descriptor.name = QStringLiteral("Veilmox");
    auto display = virtualDisplays.createVirtualDisplay(descriptor);
    CGVirtualDisplaySettings settings;
    settings.modes = {CGVirtualDisplayMode{400, 250, 30}};
    ASSERT_TRUE(display->applySettings(settings));
    scheduler.advance(1);
    ASSERT_EQ(viewer.displayIDs(), (QList<quint32>{builtIn, display->displayID()}));
    EXPECT_TRUE(viewer.title(display->displayID()).startsWith(QStringLiteral("Veilmox")));
    EXPECT_FALSE(viewer.picture(display->displayID()).isNull()) << "redrawn by the viewer's own timer";

    // Live: a change on the desktop shows at the next refresh.
    desktop.setWindowBounds(desktop.windowOrder().front(), QRectF(200, 0, 200, 250));
    scheduler.advance(DesktopViewer::kRefreshInterval);
    picture = viewer.picture(builtIn);
    EXPECT_EQ(picture.pixelColor(picture.width() / 4, picture.height() / 2), setup.desktopColor);

    display.reset();
    EXPECT_EQ(viewer.displayIDs(), QList<quint32>{builtIn});
}
