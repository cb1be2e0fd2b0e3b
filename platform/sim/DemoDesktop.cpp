#include "platform/sim/DemoDesktop.h"

#include "platform/sim/SimDesktop.h"

namespace platform::sim {

void populateDemoDesktop(SimDesktop& desktop)
{
    desktop.addDisplay(
        {QStringLiteral("Built-in Retina Display"), QRectF(0, 0, 1512, 982), 2.0, std::nullopt, true});

    struct DemoApp
    {
        const char* bundleID;
        const char* name;
        const char* windowTitle;
        QRectF bounds;
        QColor color;
    };
    const DemoApp apps[] = {
        {"com.apple.finder", "Finder", "Downloads", {60, 80, 720, 460}, QColor(0x3d, 0x8b, 0xfd)},
        {"com.tinyspeck.slackmacgap",
         "Slack",
         "general - Acme",
         {140, 120, 980, 640},
         QColor(0x4a, 0x15, 0x4b)},
        {"com.apple.MobileSMS", "Messages", "Messages", {900, 160, 520, 600}, QColor(0x34, 0xc7, 0x59)},
        {"com.google.Chrome",
         "Google Chrome",
         "Quarterly plan - Google Docs",
         {240, 60, 1100, 760},
         QColor(0xf1, 0xf3, 0xf4)},
        {"us.zoom.xos", "zoom.us", "Zoom Meeting", {320, 200, 860, 540}, QColor(0x2d, 0x8c, 0xff)},
    };
    pid_type last = 0;
    for (const DemoApp& app : apps) {
        SimDesktop::AppSpec spec;
        spec.bundleID = QString::fromLatin1(app.bundleID);
        spec.name = QString::fromUtf8(app.name);
        last = desktop.launchApp(spec);
        SimDesktop::WindowSpec window;
        window.owner = last;
        window.title = QString::fromUtf8(app.windowTitle);
        window.bounds = app.bounds;
        window.color = app.color;
        desktop.addWindow(window);
    }
    desktop.activateApp(last);
}

} // namespace platform::sim
