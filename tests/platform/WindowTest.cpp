#include "platform/Window.h"

#include "platform/Geometry.h"
#include "platform/Services.h"
#include "platform/Values.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;

namespace {

class ClosingDelegate final : public WindowDelegate
{
public:
    void windowWillClose() override { ++closes; }
    int closes = 0;
};

class UnconstrainedWindow final : public Window
{
public:
    using Window::Window;
    QRectF constrainFrameRect(const QRectF& frame, const std::optional<Screen>& /*screen*/) const override
    {
        return frame;
    }
};

} // namespace

TEST(Window, RegistersWithTheWindowServerAsThisProgramsWindow)
{
    SimDesktop desktop;
    desktop.addDisplay();
    Services services;
    services.screens = &desktop;
    services.appWindows = &desktop;
    quint32 number = 0;
    {
        Window window(services,
                      QRectF(10, 40, 300, 200),
                      kWindowStyleMaskBorderless,
                      BackingStoreType::Buffered,
                      false);
        number = window.windowNumber();
        ASSERT_NE(number, 0U);
        EXPECT_FALSE(desktop.isWindowOnScreen(number)) << "created ordered out";

        window.setLevel(kStatusWindowLevel);
        window.setSharingType(WindowSharingType::None);
        window.setIgnoresMouseEvents(true);
        window.orderFrontRegardless();
        const auto listed = desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
        ASSERT_TRUE(listed);
        ASSERT_FALSE(listed->isEmpty());
        const auto& description = listed->front();
        EXPECT_EQ(uint32Value(description.value(kCGWindowNumber)), number);
        EXPECT_EQ(int32Value(description.value(kCGWindowOwnerPID)), desktop.ownProcessIdentifier());
        EXPECT_EQ(integerValue(description.value(kCGWindowLayer)), 25);
        EXPECT_EQ(integerValue(description.value(kCGWindowSharingState)), 0);
        EXPECT_EQ(rectFromDictionary(description.value(kCGWindowBounds)), QRectF(10, 40, 300, 200));
        EXPECT_TRUE(desktop.window(number)->ignoresMouseEvents);

        window.orderOut();
        EXPECT_FALSE(desktop.isWindowOnScreen(number));
    }
    EXPECT_FALSE(desktop.window(number)) << "gone with the window";
}

TEST(Window, KeepsBelowTheMenuBarUnlessASubclassSaysOtherwise)
{
    SimDesktop desktop;
    desktop.addDisplay();
    desktop.setMenuBarHeight(24);
    Services services;
    services.screens = &desktop;
    services.appWindows = &desktop;
    const Screen screen = desktop.screens().front();

    Window plain(
        services, screen.frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false, screen);
    plain.setFrame(screen.frame, true);
    EXPECT_EQ(plain.frame(), QRectF(0, 24, 1512, 982));
    EXPECT_EQ(desktop.window(plain.windowNumber())->bounds, QRectF(0, 24, 1512, 982));
    plain.setFrame(QRectF(100, 300, 200, 100), true);
    EXPECT_EQ(plain.frame(), QRectF(100, 300, 200, 100));

    UnconstrainedWindow full(
        services, screen.frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false, screen);
    full.setFrame(screen.frame, true);
    EXPECT_EQ(full.frame(), screen.frame);
}

TEST(Window, TellsItsDelegateOnceWhenItCloses)
{
    SimDesktop desktop;
    Services services;
    services.appWindows = &desktop;
    Window window(
        services, QRectF(0, 0, 10, 10), kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    ClosingDelegate delegate;
    window.setDelegate(&delegate);
    window.orderFrontRegardless();
    window.close();
    window.close();
    EXPECT_EQ(delegate.closes, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(desktop.isWindowOnScreen(window.windowNumber()));
    window.orderFrontRegardless();
    window.close();
    EXPECT_EQ(delegate.closes, 2);
}
