// Shareable content, screenshots, the compositor behind them, and capture streams.
#include "platform/CaptureStream.h"
#include "platform/DispatchQueue.h"
#include "platform/FramePool.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/platform/DesktopViews.h"

#include <QCoreApplication>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace platform;
using platform::sim::SimDesktop;

namespace {

const QColor kWallpaper(0x10, 0x20, 0x30);
const QColor kRed(0xe0, 0x20, 0x20);
const QColor kBlue(0x20, 0x40, 0xe0);

using testing_support::filled;

// Records every sample, and whether each arrived on the queue it was added with. Read it only
// after a sync() of that queue.
struct RecordingOutput final : SCStreamOutput
{
    void stream(SCStream& /*stream*/, const CMSampleBuffer& sample, SCStreamOutputType /*type*/) override
    {
        samples.push_back(sample);
        onQueue = onQueue && queue->isCurrent();
    }
    DispatchQueue* queue = nullptr;
    std::vector<CMSampleBuffer> samples;
    bool onQueue = true;
};

// A 200 x 100 point display at scale 1 with two apps: A's window (red) in front of B's (blue).
struct Rig
{
    Rig()
        : capture(desktop, scheduler)
        , streams(desktop, scheduler)
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
        output.queue = &queue;
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

    SCShareableContent content(bool excludingDesktopWindows = false)
    {
        std::optional<SCShareableContent> result;
        capture.getShareableContent(
            excludingDesktopWindows, true, [&](auto c, auto) { result = std::move(c); });
        EXPECT_FALSE(result) << "never inside the call";
        scheduler.runPending();
        return *result;
    }
    SCRunningApplication app(pid_type pid)
    {
        const auto apps = content().applications;
        return *std::find_if(apps.begin(), apps.end(), [pid](const auto& a) { return a.processID == pid; });
    }
    SCWindow window(quint32 number)
    {
        const auto windows = content().windows;
        return *std::find_if(
            windows.begin(), windows.end(), [number](const auto& w) { return w.windowID == number; });
    }
    SCDisplay display() { return content().displays.front(); }
    // A screenshot through the filter (the whole display by default) at its size, with the
    // pointer.
    QImage screenshot(std::optional<SCContentFilter> filter = std::nullopt)
    {
        std::optional<QImage> image;
        capture.captureImage(filter.value_or(everything()), SCStreamConfiguration(), [&](auto i, auto) {
            image = std::move(i);
        });
        scheduler.runPending();
        return image.value_or(QImage());
    }
    // One of this program's own windows, ordered out, on this desktop.
    std::unique_ptr<Window> ownWindow(const QRectF& frame)
    {
        Services services;
        services.screens = &desktop;
        services.appWindows = &desktop;
        return std::make_unique<Window>(
            services, frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    }
    SCContentFilter everything() { return SCContentFilter::displayExcludingWindows(display(), {}); }
    QImage render(const SCContentFilter& filter, QSize size = {200, 100})
    {
        return capture.compositor().render(filter, size);
    }

    // A stream of the filter (A's window by default) at 10 frames per second at the content's
    // size, with the recording output added.
    std::unique_ptr<SCStream> stream(std::optional<SCContentFilter> filter = std::nullopt)
    {
        SCStreamConfiguration configuration;
        configuration.minimumFrameInterval = CMTime{1, 10};
        auto made = streams.makeStream(
            filter.value_or(SCContentFilter::desktopIndependentWindow(window(windowA))), configuration);
        EXPECT_FALSE(made->addStreamOutput(&output, SCStreamOutputType::Screen, &queue).has_value());
        return made;
    }
    // The samples the queue has run so far.
    std::vector<CMSampleBuffer> received()
    {
        queue.sync([] {});
        return output.samples;
    }

    SimDesktop desktop;
    sim::VirtualScheduler scheduler;
    sim::SimScreenCapture capture;
    sim::SimCaptureStreams streams;
    DispatchQueue queue{QStringLiteral("test.stream.samples")};
    RecordingOutput output;
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

// One letter per point: R red, B blue, W wallpaper, . transparent, ? anything else.
std::string letters(const QImage& image, std::initializer_list<QPoint> points)
{
    std::string result;
    for (const QPoint& p : points) {
        const QRgb c = at(image, p.x(), p.y());
        result += c == kRed.rgba()         ? 'R'
                  : c == kBlue.rgba()      ? 'B'
                  : c == kWallpaper.rgba() ? 'W'
                  : c == 0                 ? '.'
                                           : '?';
    }
    return result;
}

qint64 status(const CMSampleBuffer& sample)
{
    return sample.sampleAttachmentsArray()->front().toMap().value(kSCStreamFrameInfoStatus).toLongLong();
}

const QImage& picture(const CMSampleBuffer& sample)
{
    return sample.imageBuffer->ioSurface()->image();
}

constexpr auto kComplete = static_cast<qint64>(SCFrameStatus::Complete);

} // namespace

TEST(SimScreenCapture, ListsShareableContentAndTakesScreenshotsLaterOrFails)
{
    Rig rig;
    const quint32 minimised = rig.addWindow(rig.pidB, QRectF(0, 0, 10, 10), kBlue);
    rig.desktop.setWindowOnScreen(minimised, false);
    const quint32 neverCaptured = rig.addWindow(rig.pidB, QRectF(0, 0, 10, 10), kBlue);
    rig.desktop.setWindowSharingType(neverCaptured, WindowSharingType::None);
    rig.addWindow(rig.pidB, QRectF(0, 0, 200, 100), kBlue, -2147483624); // the desktop picture
    const quint32 menu = rig.addWindow(rig.pidA, QRectF(0, 0, 200, 10), kRed, 24);

    const SCShareableContent content = rig.content(true);
    ASSERT_EQ(content.displays.size(), 1);
    EXPECT_EQ(content.displays.front().displayID, rig.displayID);
    EXPECT_EQ(QSize(content.displays.front().width, content.displays.front().height), QSize(200, 100));
    QList<quint32> numbers;
    for (const auto& w : content.windows) {
        numbers << w.windowID;
    }
    // Front to back, higher levels first; minimised windows and the desktop left out, windows
    // that no capture may see listed all the same.
    EXPECT_EQ(numbers, (QList<quint32>{menu, neverCaptured, rig.windowA, rig.windowB}));
    EXPECT_EQ(content.windows[2].owningApplication->bundleIdentifier, QStringLiteral("com.example.a"));
    EXPECT_EQ(content.windows[2].frame, QRectF(20, 40, 80, 50));
    EXPECT_EQ(content.applications.size(), 3); // with this program itself

    // Screenshots arrive later at the configured size, or fail.
    SCStreamConfiguration configuration;
    configuration.width = 400;
    configuration.height = 200;
    const SCContentFilter filter = rig.everything();
    std::optional<QImage> image;
    std::optional<CaptureError> error;
    const auto shoot = [&] {
        image.reset();
        error.reset();
        rig.capture.captureImage(filter, configuration, [&](auto i, auto e) {
            image = std::move(i);
            error = std::move(e);
        });
    };
    shoot();
    EXPECT_FALSE(image) << "never inside the call";
    rig.scheduler.runPending();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(400, 200));
    EXPECT_EQ(at(*image, 2 * 30, 2 * 70), kRed.rgba()); // scaled by two

    // Without the permission every request is declined.
    rig.desktop.setScreenRecordingPermission(false);
    std::optional<CaptureError> contentError;
    rig.capture.getShareableContent(false, true, [&](auto c, auto e) {
        EXPECT_FALSE(c);
        contentError = e;
    });
    shoot();
    rig.scheduler.runPending();
    ASSERT_TRUE(contentError && error);
    EXPECT_TRUE(contentError->localizedDescription.contains(QStringLiteral("declined")));
    EXPECT_EQ(error->code, kSCStreamErrorUserDeclined);
    EXPECT_FALSE(image);

    // A display that went away.
    rig.desktop.setScreenRecordingPermission(true);
    rig.desktop.removeDisplay(rig.displayID);
    shoot();
    rig.scheduler.runPending();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, kSCStreamErrorNoCaptureSource);
}

TEST(SimCompositor, EachFilterFormDrawsItsWindowsBackToFront)
{
    Rig rig;
    const SCDisplay display = rig.display();
    const SCRunningApplication appA = rig.app(rig.pidA);
    const SCRunningApplication appB = rig.app(rig.pidB);
    const SCWindow windowA = rig.window(rig.windowA);
    const SCWindow windowB = rig.window(rig.windowB);
    struct Case
    {
        SCContentFilter filter;
        const char* expected; // where A lies over B, only B, only A, neither
    };
    const Case cases[] = {
        {rig.everything(), "RBRW"},
        {SCContentFilter::displayExcludingApplications(display, {appA}, {}), "BBWW"},
        {SCContentFilter::displayExcludingApplications(display, {appA}, {windowA}), "RBRW"},
        {SCContentFilter::displayExcludingWindows(display, {windowB}), "RWRW"},
        {SCContentFilter::displayIncludingApplications(display, {appB}, {}), "BB.."},
        {SCContentFilter::displayIncludingApplications(display, {appB}, {windowB}), "...."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(letters(rig.render(c.filter), {{80, 60}, {140, 30}, {30, 80}, {5, 5}}), c.expected)
            << static_cast<int>(&c - cases);
    }
    // A single window alone, at its own size, even where another window covers it on screen.
    const QImage single = rig.render(SCContentFilter::desktopIndependentWindow(windowB), {100, 60});
    EXPECT_EQ(letters(single, {{20, 40}, {99, 59}}), "BB");
}

TEST(SimCompositor, DrawsPatchesWindowsSeenThroughGapsAndThePointerWhenAsked)
{
    Rig rig;
    // Two opaque windows in front of B, a gap of two points between them; a patch on the left one.
    const QColor green(0x20, 0xc0, 0x40);
    SimDesktop::WindowSpec left;
    left.owner = rig.pidA;
    left.bounds = QRectF(50, 10, 59, 80);
    left.color = kRed;
    left.patches = {{QRectF(5, 5, 10, 10), green}};
    rig.desktop.addWindow(left);
    rig.addWindow(rig.pidA, QRectF(111, 10, 60, 80), kRed);
    rig.desktop.mouseMoved(QPointF(150, 40));

    const QImage plain = rig.render(rig.everything());
    EXPECT_EQ(letters(plain, {{110, 50}, {108, 50}, {111, 50}}), "BRR");
    EXPECT_EQ(at(plain, 60, 20), green.rgba());
    EXPECT_EQ(at(plain, 151, 46), kRed.rgba()) << "no pointer unless asked";

    // The pointer: a black arrow with a white rim, its tip at the location, over every window.
    const QImage pointed = rig.capture.compositor().render(rig.everything(), {200, 100}, true);
    EXPECT_EQ(at(pointed, 152, 48), qRgb(0, 0, 0));
    EXPECT_EQ(at(pointed, 170, 70), kRed.rgba());
    rig.desktop.mouseMoved(QPointF(500, 40));
    EXPECT_EQ(rig.capture.compositor().render(rig.everything(), {200, 100}, true), plain)
        << "a pointer on another display";
}

// A title is drawn into a picture of its own and kept; made as wide as the whole text at four
// pixels a point, ten window titles of 100,000 characters once took gigabytes.
TEST(SimCompositor, DrawsAndKeepsATitleOnlyAsWideAsItShows)
{
    const auto residentMiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
            }
        }
        return qint64(0);
    };
    Rig rig;
    SimDesktop::WindowSpec wide;
    wide.owner = rig.pidA;
    wide.bounds = QRectF(0, 0, 100000, 100); // far past the display's right edge
    wide.color = kRed;
    wide.title = QString(30000, QLatin1Char('W'));
    rig.desktop.addWindow(wide);
    const qint64 before = residentMiB();
    // Four pixels a point: the whole text would be about 200 MB.
    const QImage picture = rig.render(rig.everything(), {800, 400});
    EXPECT_LT(residentMiB() - before, 64);
    // The title shows in the window's top-left corner, the window's colour beyond the strip.
    const QRectF title(sim::SimCompositor::kTitleInset * 4, sim::SimCompositor::kTitleInset * 4, 780, 64);
    bool drawn = false;
    for (int x = static_cast<int>(title.left()); x < 80 && !drawn; ++x) {
        for (int y = static_cast<int>(title.top()); y < title.bottom() && !drawn; ++y) {
            drawn = at(picture, x, y) != kRed.rgba();
        }
    }
    EXPECT_TRUE(drawn);
    EXPECT_EQ(at(picture, 400, 300), kRed.rgba());
}

// A picture with fewer pixels than points (the viewer on a small or scaled screen) shows a title
// shrunk smoothly from its whole size, shrunk both ways or one way only; sampled as it was drawn,
// letters lost whole columns.
TEST(SimCompositor, ATitleInAPictureSmallerThanItsPointsKeepsEveryColumnOfItsLetters)
{
    Rig rig;
    SimDesktop::WindowSpec titled;
    titled.owner = rig.pidA;
    // In front; its title strip on whole pixels at half a pixel a point, cut by its right edge.
    titled.bounds = QRectF(10, 10, 90, 40);
    titled.color = Qt::white;
    titled.title = QStringLiteral("Quarterly plan - Google Docs");
    rig.desktop.addWindow(titled);
    const QImage whole = rig.render(rig.everything(), {200, 100});
    for (const QSize size : {QSize(100, 50), QSize(100, 100)}) {
        SCOPED_TRACE(size.height());
        const QImage expected = whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage shrunk = rig.render(rig.everything(), size);
        // The title strip's letters, from the window's top-left corner to its right edge.
        const int rows = size.height() / 50;
        int worst = 0;
        for (int y = 8 * rows; y < 16 * rows; ++y) {
            for (int x = 8; x < 47; ++x) {
                const QColor a = QColor::fromRgba(at(shrunk, x, y));
                const QColor b = QColor::fromRgba(at(expected, x, y));
                worst = std::max({worst,
                                  std::abs(a.red() - b.red()),
                                  std::abs(a.green() - b.green()),
                                  std::abs(a.blue() - b.blue())});
            }
        }
        EXPECT_LE(worst, 16);
    }
}

TEST(SimCompositor, DrawsTheProgramsOwnWindowsFromTheirWidgetsWithTheirEffects)
{
    Rig rig;
    const auto owned = rig.ownWindow(QRectF(120, 50, 60, 30));
    Window& window = *owned;
    auto* container = new QWidget;
    auto* glowing = filled(QColor(255, 0, 0));
    (new QVBoxLayout(container))->addWidget(glowing);
    glowing->setGraphicsEffect(new QGraphicsOpacityEffect);
    window.setContentView(container);
    EXPECT_EQ(at(rig.render(rig.everything()), 150, 65), kBlue.rgba()) << "ordered out: not drawn";

    window.orderFrontRegardless();
    for (const double scale : {1.0, 0.5, 2.0}) {
        const QImage image = rig.render(rig.everything(), (QSizeF(200, 100) * scale).toSize());
        // Red at the effect's opacity of 0.7 over the window's white.
        const QColor c = image.pixelColor((QPointF(150, 65) * scale).toPoint());
        EXPECT_TRUE(c.red() == 255 && std::abs(c.green() - 77) <= 2 && std::abs(c.blue() - 77) <= 2)
            << scale << " " << c.name().toStdString();
    }
    // A see-through window shows what lies under it where its widgets paint nothing.
    const auto see = rig.ownWindow(QRectF(60, 20, 40, 20));
    Window& clear = *see;
    clear.setOpaque(false);
    clear.setBackgroundColor(Qt::transparent);
    auto* half = new QWidget;
    auto* left = filled(kRed);
    left->setParent(half);
    left->setGeometry(0, 0, 20, 20);
    clear.setContentView(half);
    clear.orderFrontRegardless();
    const sim::SimCompositor& compositor = rig.capture.compositor();
    QImage over(200, 100, QImage::Format_ARGB32_Premultiplied);
    over.fill(Qt::black); // whatever a reused frame held
    compositor.render(compositor.scene(rig.everything()), over, false);
    EXPECT_EQ(letters(over, {{65, 30}, {90, 30}}), "RB");

    // A stream that shows the window learns of its changes from its repaints: no frame while it
    // asks for none, one of its new look once its repaint reached the window server (at the
    // event loop's next turn).
    auto stream = rig.stream(rig.everything());
    stream->startCapture(nullptr);
    rig.scheduler.advance(0.25);
    auto samples = rig.received();
    ASSERT_EQ(samples.size(), 1U);
    EXPECT_EQ(status(samples[0]), kComplete);
    QPalette palette = glowing->palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 255));
    glowing->setPalette(palette);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    rig.scheduler.advance(0.1);
    samples = rig.received();
    ASSERT_EQ(samples.size(), 2U);
    ASSERT_EQ(status(samples[1]), kComplete);
    const QColor c = picture(samples[1]).pixelColor(150, 65);
    EXPECT_TRUE(c.blue() == 255 && std::abs(c.red() - 77) <= 2 && std::abs(c.green() - 77) <= 2)
        << c.name().toStdString();
}

// A window of this program that shows a picture hides what lies under it only where the picture
// and the colour around it are opaque: through the rest the windows and the wallpaper behind it
// show, whatever its widgets' own background.
TEST(SimCompositor, APictureWindowWithSeeThroughPartsShowsWhatLiesUnderThem)
{
    Rig rig;
    const auto owned = rig.ownWindow(QRectF(40, 10, 100, 80));
    // The picture's left half red, its right half clear, on a clear colour above and below it.
    QImage picture(100, 40, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter(&picture).fillRect(QRect(0, 0, 50, 40), kRed);
    auto* view = new testing_support::PictureView;
    view->setBackground(Qt::transparent);
    view->show(picture);
    owned->setContentView(view);
    owned->orderFrontRegardless();
    ASSERT_TRUE(owned->contentView()->window()->palette().brush(QPalette::Window).isOpaque())
        << "its root paints a background of its own";

    const sim::SimCompositor& compositor = rig.capture.compositor();
    QImage over(200, 100, QImage::Format_ARGB32_Premultiplied);
    over.fill(Qt::black); // whatever a reused frame held
    compositor.render(compositor.scene(rig.everything()), over, false);
    // Red on the picture's left half; B's blue through its right half and through the clear
    // colour above it, A's red below it, the wallpaper beside B.
    EXPECT_EQ(letters(over, {{60, 50}, {120, 50}, {120, 25}, {70, 85}, {45, 15}}), "RBBRW");
}

TEST(SimCaptureStreams, DeliverComposedFramesOfTheFilterOnTheOutputQueueAtTheInterval)
{
    Rig rig;
    auto stream = rig.stream();
    std::vector<std::optional<CaptureError>> completions;
    stream->startCapture([&completions](auto error) { completions.push_back(error); });
    EXPECT_EQ(rig.streams.runningStreamCount(), 1);

    // The first frame on the next turn; none while nothing changes.
    rig.scheduler.advance(0.55);
    ASSERT_EQ(completions.size(), 1U);
    EXPECT_FALSE(completions.front().has_value());
    auto samples = rig.received();
    ASSERT_EQ(samples.size(), 1U);
    EXPECT_TRUE(rig.output.onQueue);
    EXPECT_EQ(status(samples.front()), kComplete);
    EXPECT_EQ(picture(samples.front()).size(), QSize(80, 50));
    EXPECT_EQ(letters(picture(samples.front()), {{40, 25}}), "R");

    // Another window moving over it leaves the single window's picture as it was; a change of
    // the window itself makes a frame, at once when the last one is an interval old.
    rig.desktop.orderFront(rig.windowB);
    rig.desktop.setWindowBounds(rig.windowB, QRectF(20, 40, 60, 40));
    rig.scheduler.advance(0.1);
    EXPECT_EQ(rig.received().size(), 1U);
    rig.desktop.setWindowTitle(rig.windowA, QStringLiteral("Renamed"));
    rig.scheduler.runPending();
    samples = rig.received();
    ASSERT_EQ(samples.size(), 2U);
    EXPECT_EQ(status(samples[1]), kComplete);

    // Changes that come faster than the interval make one frame an interval later.
    for (int i = 0; i < 3; ++i) {
        rig.desktop.setWindowTitle(rig.windowA, QString::number(i));
        rig.scheduler.advance(0.03);
    }
    EXPECT_EQ(rig.received().size(), 2U);
    rig.scheduler.advance(0.02);
    EXPECT_EQ(rig.received().size(), 3U);

    // A new configuration and filter take effect while it runs, a new interval after the last
    // frame.
    SCStreamConfiguration slow;
    slow.width = 50;
    slow.height = 40;
    slow.minimumFrameInterval = CMTime{1, 1};
    stream->updateConfiguration(slow, nullptr);
    stream->updateContentFilter(SCContentFilter::desktopIndependentWindow(rig.window(rig.windowB)), nullptr);
    rig.scheduler.advance(0.9);
    EXPECT_EQ(rig.received().size(), 3U);
    rig.scheduler.advance(0.1);
    samples = rig.received();
    ASSERT_EQ(samples.size(), 4U);
    EXPECT_EQ(picture(samples.back()).size(), QSize(50, 40));
    EXPECT_EQ(letters(picture(samples.back()), {{25, 20}}), "B");

    // Once its window is gone the stream sends nothing; a second output is refused.
    rig.desktop.removeWindow(rig.windowB);
    rig.scheduler.advance(3);
    EXPECT_EQ(rig.received().size(), 4U);
    EXPECT_TRUE(stream->addStreamOutput(&rig.output, SCStreamOutputType::Screen, &rig.queue).has_value());
}

// Each way a stream could wrongly take its picture for unchanged, one step at a time: a frame
// comes after a new filter, after a change of the new filter's window, after changes the desktop
// forgot or a change of the displays, and after a new size alone; none comes otherwise.
TEST(SimCaptureStreams, AFrameComesWheneverWhatTheStreamNowShowsChangedAndOnlyThen)
{
    Rig rig;
    // A fixed pixel size, so that a new filter alone does not change it.
    SCStreamConfiguration configuration;
    configuration.width = 40;
    configuration.height = 30;
    configuration.minimumFrameInterval = CMTime{1, 10};
    auto stream = rig.streams.makeStream(SCContentFilter::desktopIndependentWindow(rig.window(rig.windowA)),
                                         configuration);
    ASSERT_FALSE(stream->addStreamOutput(&rig.output, SCStreamOutputType::Screen, &rig.queue).has_value());
    stream->startCapture(nullptr);
    std::size_t seen = 0;
    // The frames sent since the last call.
    const auto next = [&rig, &seen](double seconds) {
        rig.scheduler.advance(seconds);
        const auto samples = rig.received();
        std::vector<CMSampleBuffer> fresh(samples.begin() + static_cast<std::ptrdiff_t>(seen), samples.end());
        seen = samples.size();
        return fresh;
    };
    auto frames = next(0.25);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(status(frames[0]), kComplete);

    // Another window, unchanged itself: its picture, not the old window's last one.
    stream->updateContentFilter(SCContentFilter::desktopIndependentWindow(rig.window(rig.windowB)), nullptr);
    frames = next(0.1);
    ASSERT_EQ(frames.size(), 1U);
    ASSERT_EQ(status(frames[0]), kComplete);
    EXPECT_EQ(letters(picture(frames[0]), {{20, 15}}), "B");
    EXPECT_TRUE(next(0.1).empty());

    // A change of the window the stream now shows, and only of it.
    rig.desktop.setWindowTitle(rig.windowB, QStringLiteral("Changed"));
    frames = next(0.1);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(status(frames[0]), kComplete);
    // The old window's changes are not this stream's.
    rig.desktop.setWindowTitle(rig.windowA, QStringLiteral("Elsewhere"));
    EXPECT_TRUE(next(0.1).empty());

    // The desktop cannot tell what changed: more changes than it remembers, or the displays
    // changed. The window changed among them, so the frame is complete.
    for (const bool displays : {false, true}) {
        SCOPED_TRACE(displays ? "displays changed" : "changes forgotten");
        rig.desktop.setWindowTitle(rig.windowB,
                                   displays ? QStringLiteral("Third") : QStringLiteral("Second"));
        if (displays) {
            rig.desktop.addDisplay();
        } else {
            for (int i = 0; i < 300; ++i) {
                rig.desktop.setWindowTitle(rig.windowA, QString::number(i));
            }
        }
        frames = next(0.1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(status(frames[0]), kComplete);
        EXPECT_TRUE(next(0.1).empty());
    }

    // A new size alone: the same content at the new size.
    SCStreamConfiguration smaller = configuration;
    smaller.width = 20;
    smaller.height = 15;
    stream->updateConfiguration(smaller, nullptr);
    frames = next(0.1);
    ASSERT_EQ(frames.size(), 1U);
    ASSERT_EQ(status(frames[0]), kComplete);
    EXPECT_EQ(picture(frames[0]).size(), QSize(20, 15));
    EXPECT_TRUE(next(0.1).empty());
}

TEST(SimCaptureStreams, NoCallbackRunsAfterAStreamStoppedOrWasDestroyed)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "stopped");
        Rig rig;
        auto stream = rig.stream();
        stream->startCapture(nullptr);
        // Hold the queue so that frames wait behind the gate, then end the stream.
        std::promise<void> gate;
        rig.queue.async([opened = gate.get_future().share()] { opened.wait(); });
        for (int i = 0; i < 4; ++i) {
            rig.desktop.setWindowTitle(rig.windowA, QString::number(i));
            rig.scheduler.advance(0.1);
        }
        EXPECT_EQ(rig.streams.framesSent(), 4);
        std::optional<CaptureError> stopError = CaptureError{};
        if (destroy) {
            stream.reset();
            EXPECT_EQ(rig.streams.streamCount(), 0);
        } else {
            stream->stopCapture([&stopError](auto error) { stopError = error; });
        }
        gate.set_value();
        EXPECT_TRUE(rig.received().empty());
        rig.desktop.setWindowTitle(rig.windowA, QStringLiteral("After"));
        rig.scheduler.advance(1);
        EXPECT_EQ(rig.streams.framesSent(), 4);
        EXPECT_EQ(rig.streams.runningStreamCount(), 0);
        if (!destroy) {
            EXPECT_FALSE(stopError.has_value());
            // Stopping a stopped stream reports an error.
            stream->stopCapture([&stopError](auto error) { stopError = error; });
            rig.scheduler.runPending();
            EXPECT_TRUE(stopError.has_value());
        }
    }
}

TEST(SimCaptureStreams, StartFailsWithoutThePermissionOrWhenTold)
{
    for (const bool permission : {false, true}) {
        Rig rig;
        auto stream = rig.stream();
        rig.desktop.setScreenRecordingPermission(permission);
        if (permission) {
            rig.streams.failNextStart(CaptureError{-1, QStringLiteral("boom")});
        }
        std::optional<CaptureError> error;
        stream->startCapture([&error](auto e) { error = e; });
        rig.scheduler.advance(1);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->localizedDescription,
                  permission ? QStringLiteral("boom")
                             : sim::SimScreenCapture::declinedError().localizedDescription);
        EXPECT_TRUE(rig.received().empty());
        EXPECT_EQ(rig.streams.runningStreamCount(), 0);
    }
}

TEST(FramePool, HandsABufferOutAgainOnlyOnceNoImageSharesItAnyMore)
{
    FramePool pool;
    QImage first = pool.frame({64, 32}, QImage::Format_RGB32);
    ASSERT_EQ(first.size(), QSize(64, 32));
    first.fill(kRed);
    QImage held = first; // someone still shows it
    first = QImage();
    const QImage second = pool.frame({64, 32}, QImage::Format_ARGB32_Premultiplied);
    EXPECT_NE(second.constBits(), held.constBits());
    EXPECT_EQ(held.pixelColor(10, 10), kRed);
    EXPECT_EQ(pool.buffersMade(), 2);

    // Let go of on another thread, the buffer comes back.
    const uchar* const buffer = held.constBits();
    std::thread([released = std::move(held)]() mutable { released = QImage(); }).join();
    const QImage third = pool.frame({64, 32}, QImage::Format_RGB32);
    EXPECT_EQ(third.constBits(), buffer);
    EXPECT_EQ(pool.buffersMade(), 2);

    // Painting on a frame one holds alone costs no copy.
    QImage own = pool.frame({64, 32}, QImage::Format_RGB32);
    const uchar* const pixels = own.constBits();
    QPainter(&own).fillRect(0, 0, 8, 8, kBlue);
    EXPECT_EQ(own.constBits(), pixels);
    EXPECT_TRUE(pool.frame({0, 10}, QImage::Format_RGB32).isNull());
    EXPECT_TRUE(pool.frame({8, 8}, QImage::Format_RGB16).isNull());

    // A buffer of a size no longer asked for never comes back for another: neither a spare kept
    // from before the change nor one let go of after it.
    FramePool resized;
    quint64 spareNumber = 0;
    quint64 lateNumber = 0;
    QImage spare = resized.frame({64, 32}, QImage::Format_RGB32, &spareNumber);
    QImage late = resized.frame({64, 32}, QImage::Format_RGB32, &lateNumber);
    spare = QImage();
    quint64 larger = 0;
    const QImage first80 = resized.frame({80, 40}, QImage::Format_RGB32, &larger);
    late = QImage();
    quint64 again = 0;
    const QImage second80 = resized.frame({80, 40}, QImage::Format_RGB32, &again);
    for (const quint64 handedOut : {larger, again}) {
        EXPECT_NE(handedOut, spareNumber);
        EXPECT_NE(handedOut, lateNumber);
    }
}

TEST(SimScreenCapture, AStillDesktopIsDrawnOnceAndAScreenshotHandedOutIsNeverDrawnOver)
{
    Rig rig;
    rig.desktop.mouseMoved(QPointF(190, 90));
    const QImage first = rig.screenshot();
    QImage second = rig.screenshot();
    const QImage third = rig.screenshot();
    // The first two are their receivers' own; from the second on, a still desktop is kept.
    EXPECT_NE(first.cacheKey(), second.cacheKey());
    EXPECT_EQ(second.cacheKey(), third.cacheKey());
    EXPECT_EQ(rig.capture.drawnScreenshotCount(), 2);
    // A receiver that paints on a kept picture paints on its own copy.
    QPainter(&second).fillRect(QRectF(0, 0, 200, 100), Qt::black);
    EXPECT_EQ(letters(rig.screenshot(), {{30, 80}}), "R");

    // Whatever changes in the picture is drawn; what changes elsewhere is not.
    struct Case
    {
        const char* change;
        std::function<void()> act;
        bool redrawn;
        QPoint at;
        char shows;
    };
    const quint32 offDisplay = rig.addWindow(rig.pidB, QRectF(400, 0, 50, 50), kBlue);
    const Case cases[] = {
        {"a window moved",
         [&] { rig.desktop.setWindowBounds(rig.windowA, QRectF(20, 10, 80, 50)); },
         true,
         {30, 20},
         'R'},
        {"the pointer moved", [&] { rig.desktop.mouseMoved(QPointF(150, 40)); }, true, {152, 48}, '?'},
        {"an app hidden", [&] { rig.desktop.runningApplication(rig.pidB)->hide(); }, true, {140, 30}, 'W'},
        {"a window off the display moved",
         [&] { rig.desktop.setWindowBounds(offDisplay, QRectF(420, 0, 50, 50)); },
         false,
         {30, 20},
         'R'},
        {"the pointer off the display",
         [&] { rig.desktop.mouseMoved(QPointF(500, 40)); },
         true,
         {152, 48},
         'W'},
        {"the pointer moved off the display",
         [&] { rig.desktop.mouseMoved(QPointF(510, 40)); },
         false,
         {152, 48},
         'W'},
    };
    QImage held = rig.screenshot();
    const std::string heldLetters = letters(held, {{30, 20}, {30, 80}, {140, 30}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        const QImage before = rig.screenshot();
        c.act();
        const QImage after = rig.screenshot();
        EXPECT_EQ(after.cacheKey() != before.cacheKey(), c.redrawn);
        EXPECT_EQ(letters(after, {c.at})[0], c.shows);
    }
    // Every screenshot drawn since went into another buffer than the one still held.
    EXPECT_EQ(letters(held, {{30, 20}, {30, 80}, {140, 30}}), heldLetters);
}

TEST(SimScreenCapture, AWindowAFilterLeavesOutMakesNoNewPictureForItWhateverItDoes)
{
    Rig rig;
    // This program's own window, which redraws itself, and a window no capture sees.
    const auto owned = rig.ownWindow(QRectF(165, 5, 30, 20));
    Window& own = *owned;
    own.setContentView(filled(kRed));
    own.orderFrontRegardless();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    const quint32 unseen = rig.addWindow(rig.pidB, QRectF(10, 10, 40, 20), kRed);
    rig.desktop.setWindowSharingType(unseen, WindowSharingType::None);
    const SCContentFilter withoutA =
        SCContentFilter::displayExcludingApplications(rig.display(), {rig.app(rig.pidA)}, {});
    SCRunningApplication self;
    self.processID = rig.desktop.ownProcessIdentifier();
    const SCContentFilter withoutSelf =
        SCContentFilter::displayExcludingApplications(rig.display(), {self}, {});

    struct Case
    {
        const char* change;
        std::function<void()> act;
        QPoint at;
        char everything; // what the whole display shows there after it, and whether each filter
        bool inWhole;    // gets a new picture
        bool inWithoutA;
        bool inWithoutSelf;
    };
    const Case cases[] = {
        {"A's window moved",
         [&] { rig.desktop.setWindowBounds(rig.windowA, QRectF(20, 30, 80, 50)); },
         {30, 35},
         'R',
         true,
         false,
         true},
        {"A's window retitled",
         [&] { rig.desktop.setWindowTitle(rig.windowA, QStringLiteral("Budget")); },
         {90, 75},
         'R',
         true,
         false,
         true},
        {"this program's window redrew itself",
         [&] {
             QPalette palette = own.contentView()->palette();
             palette.setColor(QPalette::Window, kBlue);
             own.contentView()->setPalette(palette);
             QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
         },
         {180, 10},
         'B',
         true,
         true,
         false},
        {"a window no capture sees moved",
         [&] { rig.desktop.setWindowBounds(unseen, QRectF(10, 5, 40, 20)); },
         {20, 8},
         'W',
         false,
         false,
         false},
        {"that window became one captures see",
         [&] { rig.desktop.setWindowSharingType(unseen, WindowSharingType::ReadOnly); },
         {20, 8},
         'R',
         true,
         true,
         true},
        {"and one they do not see again",
         [&] { rig.desktop.setWindowSharingType(unseen, WindowSharingType::None); },
         {20, 8},
         'W',
         true,
         true,
         true},
    };
    // The first picture of each filter is its receiver's own; from the second on they are kept.
    for (const auto& filter : {rig.everything(), withoutA, withoutSelf}) {
        rig.screenshot(filter);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        const qint64 whole = rig.screenshot().cacheKey();
        const qint64 withoutAKey = rig.screenshot(withoutA).cacheKey();
        const qint64 withoutSelfKey = rig.screenshot(withoutSelf).cacheKey();
        c.act();
        const QImage after = rig.screenshot();
        EXPECT_EQ(after.cacheKey() != whole, c.inWhole);
        EXPECT_EQ(letters(after, {c.at})[0], c.everything);
        EXPECT_EQ(rig.screenshot(withoutA).cacheKey() != withoutAKey, c.inWithoutA);
        EXPECT_EQ(rig.screenshot(withoutSelf).cacheKey() != withoutSelfKey, c.inWithoutSelf);
    }
}

TEST(SimCompositor, DrawsEveryPixelWhateverTheFrameHeldBefore)
{
    // Reused frames hold older pictures: none of it may show through, at any scale, under
    // windows of fractional bounds, see-through colours or see-through windows.
    Rig rig;
    SimDesktop::WindowSpec glass;
    glass.owner = rig.pidA;
    glass.bounds = QRectF(10.5, 5.25, 60.3, 40.7);
    glass.color = QColor(0, 200, 0, 120);
    rig.desktop.addWindow(glass);
    SimDesktop::WindowSpec faint;
    faint.owner = rig.pidB;
    faint.bounds = QRectF(120, 50, 70, 45);
    faint.alpha = 0.5;
    rig.desktop.addWindow(faint);
    rig.addWindow(rig.pidA, QRectF(0.4, 60.6, 99.2, 30.3), kBlue);
    const auto scene = rig.capture.compositor().scene(rig.everything());
    // Drawn over two different old pictures, the frames must come out the same.
    for (const QSize size : {QSize(200, 100), QSize(400, 200), QSize(300, 150), QSize(123, 77)}) {
        QImage overBlack(size, QImage::Format_RGB32);
        overBlack.fill(Qt::black);
        QImage overWhite(size, QImage::Format_RGB32);
        overWhite.fill(Qt::white);
        rig.capture.compositor().render(scene, overBlack, true);
        rig.capture.compositor().render(scene, overWhite, true);
        EXPECT_TRUE(overBlack == overWhite) << size.width() << " x " << size.height();
    }
    // A window of a see-through colour hides nothing: A's red shows through it.
    const QImage picture = rig.render(rig.everything());
    EXPECT_GT(picture.pixelColor(30, 43).red(), 100);
    EXPECT_GT(picture.pixelColor(30, 43).green(), 50);
}

TEST(SimCompositor, OpaqueColoursWrittenStraightIntoThePixelsGiveThePicturePaintingGives)
{
    // Over A (red, in front of B): a see-through window of an opaque colour, one on half points
    // touching A, one with a patch and a title; the wallpaper between them.
    Rig rig;
    SimDesktop::WindowSpec faint;
    faint.owner = rig.pidB;
    faint.bounds = QRectF(70, 30, 60, 40);
    faint.color = QColor(0x20, 0xc0, 0x40);
    faint.alpha = 0.5;
    rig.desktop.addWindow(faint);
    rig.addWindow(rig.pidA, QRectF(99.5, 60.5, 40, 30), kBlue);
    SimDesktop::WindowSpec titled;
    titled.owner = rig.pidA;
    titled.bounds = QRectF(150, 5, 45, 40);
    titled.title = QStringLiteral("Notes");
    titled.patches = {{QRectF(0, 30, 45, 10), kRed}};
    rig.desktop.addWindow(titled);
    const auto scene = rig.capture.compositor().scene(rig.everything());
    for (const QSize size : {QSize(200, 100), QSize(400, 200)}) {
        // Written straight in (RGB32), and painted (a format the direct way does not take).
        QImage direct(size, QImage::Format_RGB32);
        QImage painted(size, QImage::Format_RGBX8888);
        rig.capture.compositor().render(scene, direct, false);
        rig.capture.compositor().render(scene, painted, false);
        EXPECT_TRUE(direct == painted.convertToFormat(QImage::Format_RGB32)) << size.width();
        // Half green over A's red where the see-through window lies over it.
        const QColor mixed = direct.pixelColor(75 * size.width() / 200, 45 * size.height() / 100);
        EXPECT_GT(mixed.red(), 90);
        EXPECT_GT(mixed.green(), 60);
    }
}
