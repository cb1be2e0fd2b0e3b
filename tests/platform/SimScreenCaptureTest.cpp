#include "platform/sim/SimScreenCapture.h"

#include "platform/Services.h"
#include "platform/Values.h"
#include "platform/Window.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/VirtualScheduler.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;
using platform::sim::SimScreenCapture;
using platform::sim::VirtualScheduler;

namespace {

const QColor kWallpaper(0x10, 0x20, 0x30);
const QColor kRed(0xe0, 0x20, 0x20);
const QColor kBlue(0x20, 0x40, 0xe0);

class Swatch final : public QWidget
{
public:
    explicit Swatch(const QColor& colour)
        : m_colour(colour)
    {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

// A 200 x 100 point display at scale 1 with two apps: A's window (red) in front of B's (blue).
struct Rig
{
    Rig()
        : capture(desktop, scheduler)
    {
        SimDesktop::DisplaySpec setup;
        setup.frame = QRectF(0, 0, 200, 100);
        setup.backingScale = 1.0;
        setup.desktopColor = kWallpaper;
        displayID = desktop.addDisplay(setup);
        pidA = desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
        pidB = desktop.launchApp(QStringLiteral("com.example.b"), QStringLiteral("B"));
        windowB = addWindow(pidB, QRectF(60, 20, 100, 60), kBlue);
        windowA = addWindow(pidA, QRectF(20, 40, 80, 50), kRed);
    }

    quint32 addWindow(pid_type owner, const QRectF& frame, const QColor& colour, qint64 layer = 0)
    {
        SimDesktop::WindowSpec setup;
        setup.owner = owner;
        setup.bounds = frame;
        setup.color = colour;
        setup.layer = layer;
        return desktop.addWindow(setup);
    }

    SCShareableContent content()
    {
        std::optional<SCShareableContent> result;
        capture.getShareableContent(false, true, [&](auto c, auto) { result = std::move(c); });
        scheduler.runPending();
        return *result;
    }

    SCRunningApplication app(pid_type pid)
    {
        for (const auto& a : content().applications) {
            if (a.processID == pid) {
                return a;
            }
        }
        return {};
    }

    SCWindow window(quint32 number)
    {
        for (const auto& w : content().windows) {
            if (w.windowID == number) {
                return w;
            }
        }
        return {};
    }

    SCDisplay display() { return content().displays.front(); }

    QImage render(const SCContentFilter& filter, QSize size = {200, 100})
    {
        return capture.compositor().render(filter, size);
    }

    Services services()
    {
        Services s;
        s.screens = &desktop;
        s.appWindows = &desktop;
        return s;
    }

    SimDesktop desktop;
    VirtualScheduler scheduler;
    SimScreenCapture capture;
    quint32 displayID = 0;
    pid_type pidA = 0;
    pid_type pidB = 0;
    quint32 windowA = 0;
    quint32 windowB = 0;
};

QRgb at(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y).rgba();
}

} // namespace

TEST(SimScreenCapture, ShareableContentListsDisplaysWindowsAndAppsLater)
{
    Rig rig;
    const quint32 minimised = rig.addWindow(rig.pidB, QRectF(0, 0, 10, 10), kBlue);
    rig.desktop.setWindowOnScreen(minimised, false);
    const quint32 neverCaptured = rig.addWindow(rig.pidB, QRectF(0, 0, 10, 10), kBlue);
    rig.desktop.setWindowSharingType(neverCaptured, WindowSharingType::None);
    const quint32 wallpaper = rig.addWindow(rig.pidB, QRectF(0, 0, 200, 100), kBlue, -2147483624);
    const quint32 menu = rig.addWindow(rig.pidA, QRectF(0, 0, 200, 10), kRed, 24);

    bool answered = false;
    std::optional<SCShareableContent> content;
    rig.capture.getShareableContent(true, true, [&](auto c, auto error) {
        answered = true;
        content = std::move(c);
        EXPECT_FALSE(error);
    });
    EXPECT_FALSE(answered) << "never inside the call";
    rig.scheduler.runPending();
    ASSERT_TRUE(content);

    ASSERT_EQ(content->displays.size(), 1);
    EXPECT_EQ(content->displays.front().displayID, rig.displayID);
    EXPECT_EQ(content->displays.front().width, 200);
    EXPECT_EQ(content->displays.front().height, 100);
    QList<quint32> numbers;
    for (const auto& w : content->windows) {
        numbers << w.windowID;
    }
    // Front to back, higher levels first; minimised windows and the desktop left out, windows
    // that no capture may see listed all the same.
    EXPECT_EQ(numbers, (QList<quint32>{menu, neverCaptured, rig.windowA, rig.windowB}));
    EXPECT_FALSE(numbers.contains(wallpaper));
    EXPECT_EQ(content->windows[2].owningApplication->bundleIdentifier, QStringLiteral("com.example.a"));
    EXPECT_EQ(content->windows[2].frame, QRectF(20, 40, 80, 50));
    EXPECT_EQ(content->applications.size(), 3); // with this program itself
}

TEST(SimScreenCapture, WithoutThePermissionEveryRequestIsDeclined)
{
    Rig rig;
    rig.desktop.setScreenRecordingPermission(false);
    std::optional<CaptureError> contentError;
    std::optional<CaptureError> imageError;
    rig.capture.getShareableContent(false, true, [&](auto content, auto error) {
        EXPECT_FALSE(content);
        contentError = error;
    });
    SCDisplay display;
    display.displayID = rig.displayID;
    display.frame = QRectF(0, 0, 200, 100);
    rig.capture.captureImage(
        SCContentFilter::displayExcludingWindows(display, {}), {}, [&](auto image, auto error) {
            EXPECT_FALSE(image);
            imageError = error;
        });
    rig.scheduler.runPending();
    ASSERT_TRUE(contentError);
    ASSERT_TRUE(imageError);
    EXPECT_TRUE(contentError->localizedDescription.contains(QStringLiteral("declined")));
    EXPECT_EQ(imageError->code, kSCStreamErrorUserDeclined);
}

TEST(SimScreenCapture, ScreenshotsArriveLaterAtTheConfiguredSizeOrFail)
{
    Rig rig;
    SCStreamConfiguration configuration;
    configuration.width = 400;
    configuration.height = 200;
    const SCContentFilter filter = SCContentFilter::displayExcludingWindows(rig.display(), {});
    std::optional<QImage> image;
    rig.capture.captureImage(filter, configuration, [&](auto i, auto) { image = std::move(i); });
    EXPECT_FALSE(image);
    rig.scheduler.runPending();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(400, 200));
    EXPECT_EQ(at(*image, 2 * 30, 2 * 70), QColor(kRed).rgba()); // scaled by two
    EXPECT_EQ(rig.capture.screenshotCount(), 1);
    EXPECT_EQ(rig.capture.lastFilter()->kind(), SCContentFilter::Kind::DisplayExcludingWindows);

    rig.capture.setResponseDelay(0.5);
    std::optional<CaptureError> error;
    rig.capture.failNextScreenshot({-1, QStringLiteral("Display is sleeping")});
    rig.capture.captureImage(filter, configuration, [&](auto, auto e) { error = e; });
    rig.scheduler.advance(0.49);
    EXPECT_FALSE(error);
    rig.scheduler.advance(0.01);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription, QStringLiteral("Display is sleeping"));

    // A display that went away.
    error.reset();
    rig.desktop.removeDisplay(rig.displayID);
    rig.capture.captureImage(filter, configuration, [&](auto, auto e) { error = e; });
    rig.scheduler.advance(1);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, kSCStreamErrorNoCaptureSource);
}

TEST(SimCompositor, EachFilterFormDrawsItsWindowsBackToFront)
{
    Rig rig;
    const SCDisplay display = rig.display();
    const QRgb wallpaper = kWallpaper.rgba();
    const QRgb red = kRed.rgba();
    const QRgb blue = kBlue.rgba();
    const QRgb clear = 0;
    struct Case
    {
        const char* name;
        SCContentFilter filter;
        QRgb overlap;   // where A lies over B (80, 60)
        QRgb onlyB;     // (140, 30)
        QRgb onlyA;     // (30, 80)
        QRgb elsewhere; // (5, 5)
    };
    const Case cases[] = {
        {"everything", SCContentFilter::displayExcludingWindows(display, {}), red, blue, red, wallpaper},
        {"without A's app",
         SCContentFilter::displayExcludingApplications(display, {rig.app(rig.pidA)}, {}),
         blue,
         blue,
         wallpaper,
         wallpaper},
        {"without A's app, excepting its window",
         SCContentFilter::displayExcludingApplications(
             display, {rig.app(rig.pidA)}, {rig.window(rig.windowA)}),
         red,
         blue,
         red,
         wallpaper},
        {"without B's window",
         SCContentFilter::displayExcludingWindows(display, {rig.window(rig.windowB)}),
         red,
         wallpaper,
         red,
         wallpaper},
        {"only B's app",
         SCContentFilter::displayIncludingApplications(display, {rig.app(rig.pidB)}, {}),
         blue,
         blue,
         clear,
         clear},
        {"only B's app, without its window",
         SCContentFilter::displayIncludingApplications(
             display, {rig.app(rig.pidB)}, {rig.window(rig.windowB)}),
         clear,
         clear,
         clear,
         clear},
    };
    for (const Case& c : cases) {
        const QImage image = rig.render(c.filter);
        EXPECT_EQ(at(image, 80, 60), c.overlap) << c.name;
        EXPECT_EQ(at(image, 140, 30), c.onlyB) << c.name;
        EXPECT_EQ(at(image, 30, 80), c.onlyA) << c.name;
        EXPECT_EQ(at(image, 5, 5), c.elsewhere) << c.name;
    }

    // A single window alone, at its own size, even where another window covers it on screen.
    const QImage single =
        rig.render(SCContentFilter::desktopIndependentWindow(rig.window(rig.windowB)), {100, 60});
    EXPECT_EQ(at(single, 20, 40), blue);
    EXPECT_EQ(at(single, 99, 59), blue);
}

TEST(SimCompositor, HonoursLevelsSharingTypesAndTitles)
{
    Rig rig;
    // A higher level stays in front of a window added later.
    const quint32 status = rig.addWindow(rig.pidB, QRectF(0, 0, 50, 50), kBlue, 25);
    rig.addWindow(rig.pidA, QRectF(0, 0, 40, 40), kRed, 0);
    // A window no capture may see.
    const quint32 secret = rig.addWindow(rig.pidA, QRectF(170, 0, 30, 30), kRed, 0);
    rig.desktop.setWindowSharingType(secret, WindowSharingType::None);
    // A titled window shows its title in its top-left corner only.
    SimDesktop::WindowSpec titled;
    titled.owner = rig.pidA;
    titled.title = QStringLiteral("Quarterly plan");
    titled.bounds = QRectF(60, 0, 100, 40);
    titled.color = Qt::white;
    titled.layer = 30;
    const quint32 titledNumber = rig.desktop.addWindow(titled);

    const QImage image = rig.render(SCContentFilter::displayExcludingWindows(rig.display(), {}));
    EXPECT_EQ(at(image, 10, 10), QColor(kBlue).rgba());
    EXPECT_EQ(at(image, 185, 15), kWallpaper.rgba());
    int inked = 0;
    for (int y = 6; y < 22; ++y) {
        for (int x = 66; x < 150; ++x) {
            inked += at(image, x, y) != QColor(Qt::white).rgba() ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 20);
    EXPECT_EQ(at(image, 150, 35), QColor(Qt::white).rgba());
    EXPECT_EQ(rig.content().windows.front().windowID, titledNumber);
    EXPECT_EQ(rig.content().windows[1].windowID, status);
}

TEST(SimCompositor, DrawsTheProgramsOwnWindowsFromTheirWidgets)
{
    Rig rig;
    Window window(rig.services(),
                  QRectF(10, 10, 60, 30),
                  kWindowStyleMaskBorderless,
                  BackingStoreType::Buffered,
                  false);
    window.setContentView(new Swatch(QColor(0x00, 0xa0, 0x60)));
    window.setFrame(QRectF(120, 50, 60, 30), true);
    const SCContentFilter everything = SCContentFilter::displayExcludingWindows(rig.display(), {});
    EXPECT_EQ(at(rig.render(everything), 150, 65), QColor(kBlue).rgba()) << "ordered out: not drawn";

    window.orderFrontRegardless();
    EXPECT_EQ(at(rig.render(everything), 150, 65), QColor(0x00, 0xa0, 0x60).rgba());
    EXPECT_EQ(at(rig.render(everything, {400, 200}), 2 * 179, 2 * 79), QColor(0x00, 0xa0, 0x60).rgba());

    // Below a window of a higher level; invisible to captures with sharing type none.
    rig.addWindow(rig.pidA, QRectF(140, 60, 50, 30), kRed, 5);
    EXPECT_EQ(at(rig.render(everything), 150, 65), QColor(kRed).rgba());
    window.setLevel(10);
    EXPECT_EQ(at(rig.render(everything), 150, 65), QColor(0x00, 0xa0, 0x60).rgba());
    window.setSharingType(WindowSharingType::None);
    EXPECT_EQ(at(rig.render(everything), 130, 55), QColor(kBlue).rgba());
}
