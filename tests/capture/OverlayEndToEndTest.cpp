#include "platform/sim/SimCompositor.h"
#include "tests/capture/OverlayFixture.h"

#include <QCoreApplication>

namespace {

const QString kNotes = QStringLiteral("com.example.notes");
const QColor kRed(0xe0, 0x20, 0x20);
const QColor kBlue(0x20, 0x40, 0xe0);
const QColor kWallpaper = platform::sim::SimDesktop::DisplaySpec().desktopColor;

QColor mix(const QColor& top, double opacity, const QColor& below)
{
    const auto channel = [opacity](int a, int b) {
        return static_cast<int>(std::lround(a * opacity + b * (1 - opacity)));
    };
    return {channel(top.red(), below.red()),
            channel(top.green(), below.green()),
            channel(top.blue(), below.blue())};
}

// The pixel at a point of a scale-2 picture is the colour, give or take rounding.
::testing::AssertionResult colourAt(const QImage& image, QPointF point, const QColor& expected)
{
    const QColor actual = image.pixelColor(static_cast<int>(point.x() * 2), static_cast<int>(point.y() * 2));
    if (std::abs(actual.red() - expected.red()) <= 2 && std::abs(actual.green() - expected.green()) <= 2
        && std::abs(actual.blue() - expected.blue()) <= 2) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "at (" << point.x() << ", " << point.y() << "): " << actual.name().toStdString() << ", not "
           << expected.name().toStdString();
}

// Points below the notes window's title line, covered by the browser and not; the browser
// alone; the desktop.
const QPointF kCovered{400, 400};
const QPointF kUncovered{240, 450};
const QPointF kBrowserOnly{700, 600};
const QPointF kDesktop{100, 700};

} // namespace

// A red notes window partly under a blue browser window on a full-size display.
class OverlayEndToEnd : public OverlayFixture
{
protected:
    void SetUp() override
    {
        OverlayFixture::SetUp();
        useMainDisplay(QRectF(0, 0, 1512, 982), 2.0);
        notes = t.desktop.launchApp(kNotes, QStringLiteral("Notes"));
        browser = t.desktop.launchApp(QStringLiteral("com.example.browser"), QStringLiteral("Browser"));
        notesWindow = addWindow(notes, {200, 200, 400, 300}, 0, kRed);
        addWindow(browser, {300, 250, 500, 400}, 0, kBlue);
    }

    // A capture of the physical display: everything, or without this program's windows as the
    // virtual display captures it.
    QImage capture(bool withoutOwnWindows = false)
    {
        const auto content = platform::sim::shareableContent(t.desktop, false, true);
        QList<platform::SCRunningApplication> own;
        for (const auto& app : content.applications) {
            if (withoutOwnWindows && app.processID == t.desktop.ownProcessIdentifier()) {
                own.append(app);
            }
        }
        return t.screenCapture.compositor().render(
            platform::SCContentFilter::displayExcludingApplications(content.displays.front(), own, {}),
            QSize(3024, 1964));
    }

    platform::pid_type notes = 0;
    platform::pid_type browser = 0;
    quint32 notesWindow = 0;
};

TEST_F(OverlayEndToEnd, APinnedWindowIsDrawnAboveTheFrontAppAtItsTransparency)
{
    controller->setTransparency({{kNotes, 0.4}});
    pin({}, {notesWindow});
    t.desktop.activateApp(browser);
    t.scheduler.runPending();
    deliverFrames();

    const QImage physical = capture();
    EXPECT_TRUE(colourAt(physical, kCovered, mix(kRed, 0.6, kBlue)));
    EXPECT_TRUE(colourAt(physical, kUncovered, kRed));
    EXPECT_TRUE(colourAt(physical, kBrowserOnly, kBlue));
    EXPECT_TRUE(colourAt(physical, kDesktop, kWallpaper));
    // The virtual display's own filter leaves the overlay out.
    EXPECT_TRUE(colourAt(capture(true), kCovered, kBlue));

    // Opaque: the pinned window's picture alone.
    controller->setTransparency({});
    t.scheduler.runPending();
    EXPECT_TRUE(colourAt(capture(), kCovered, kRed));
}

TEST_F(OverlayEndToEnd, AFrontmostSeeThroughAppShowsWhatLiesBehindItsOwnPixels)
{
    controller->setTransparency({{kNotes, 0.4}});
    pin({}, {notesWindow});
    t.desktop.orderFront(notesWindow);
    t.desktop.activateApp(notes);
    t.scheduler.runPending();
    ASSERT_EQ(controller->passthroughs().size(), 1U);
    EXPECT_FALSE(entry(notesWindow).panel->isVisible());
    deliverFrames();

    // Over the app's pixels: what is behind it, under the app at 0.6; elsewhere untouched.
    const QImage physical = capture();
    EXPECT_TRUE(colourAt(physical, kCovered, mix(kRed, 0.6, kBlue)));
    EXPECT_TRUE(colourAt(physical, kUncovered, mix(kRed, 0.6, kWallpaper)));
    EXPECT_TRUE(colourAt(physical, kBrowserOnly, kBlue));
    EXPECT_TRUE(colourAt(physical, kDesktop, kWallpaper));
    EXPECT_TRUE(colourAt(capture(true), kCovered, kRed));
}

// While the pinned window stays as it is, its overlay costs nothing: the discoveries every half
// second ask for no frame, no repaint and no change of the desktop. Each change of the window
// reaches the overlay: its content within a frame, its place within a discovery.
TEST_F(OverlayEndToEnd, APinnedWindowsOverlaySleepsWhileTheWindowIsStillAndFollowsEachChange)
{
    pin({}, {notesWindow});
    t.desktop.activateApp(browser);
    t.scheduler.advance(0.1);
    deliverFrames();
    const auto& overlay = entry(notesWindow);
    const quint32 panel = overlay.panel->windowNumber();
    const auto& stream = sim(*overlay.stream);
    ASSERT_EQ(stream.framesSent(), 1);
    // The overlay shows the window as a capture of it alone draws it now.
    const auto showsTheWindow = [&] {
        const QImage& shown = overlay.view->surface()->image();
        const auto content = platform::sim::shareableContent(t.desktop, false, true);
        const auto it = std::find_if(content.windows.cbegin(), content.windows.cend(), [this](const auto& w) {
            return w.windowID == notesWindow;
        });
        return it != content.windows.cend()
               && shown
                      == t.screenCapture.compositor().render(
                          platform::SCContentFilter::desktopIndependentWindow(*it), shown.size());
    };
    EXPECT_TRUE(showsTheWindow());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    const quint64 generation = t.desktop.generation();
    const quint64 damage = t.desktop.damageSerial();
    const quint64 content = t.desktop.windowContentVersion(panel);
    t.scheduler.advance(3);
    deliverFrames();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest); // as the event loop would
    EXPECT_EQ(stream.framesSent(), 1);
    EXPECT_EQ(t.desktop.windowContentVersion(panel), content);
    EXPECT_EQ(t.desktop.damageSerial(), damage);
    EXPECT_EQ(t.desktop.generation(), generation);

    // A new title: a new frame, shown.
    t.desktop.setWindowTitle(notesWindow, QStringLiteral("Renamed"));
    t.scheduler.advance(0.05);
    deliverFrames();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_EQ(stream.framesSent(), 2);
    EXPECT_GT(t.desktop.windowContentVersion(panel), content);
    EXPECT_TRUE(showsTheWindow());

    // Moved: the overlay follows, and shows the window as it is wherever it went, not the part
    // of the screen where it was.
    t.desktop.setWindowBounds(notesWindow, {100, 300, 400, 300});
    t.scheduler.advance(0.5);
    deliverFrames();
    EXPECT_EQ(overlay.panel->frame(), QRectF(100, 300, 400, 300));
    EXPECT_TRUE(colourAt(capture(), {150, 550}, kRed));
    EXPECT_TRUE(showsTheWindow());
}
