#include "capture/FrameStream.h"

#include "capture/OverlayGeometry.h"
#include "capture/SCOverlayController.h"
#include "capture/SurfaceView.h"
#include "platform/sim/SimCaptureStreams.h"
#include "tests/support/TestDesktop.h"

#include <QVariantMap>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using platform::CMSampleBuffer;
using platform::IOSurfaceRef;
using platform::SCFrameStatus;
using platform::SCStreamOutputType;

namespace {

IOSurfaceRef surface(const QColor& colour, QSize size = QSize(8, 8))
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return std::make_shared<const platform::IOSurface>(std::move(image));
}

// A FrameStream of one window that records what reaches the main thread.
struct StreamFixture
{
    StreamFixture()
    {
        platform::SCWindow scWindow;
        scWindow.windowID =
            t.launchAppWithWindow(QStringLiteral("com.example.a"), QStringLiteral("A")).second;
        scWindow.frame = QRectF(100, 100, 800, 600);
        platform::SCStreamConfiguration configuration;
        configuration.width = 1600;
        configuration.height = 1200;
        configuration.minimumFrameInterval = platform::CMTime{1, 60};
        stream = std::make_unique<FrameStream>(
            platform::SCContentFilter::desktopIndependentWindow(scWindow),
            configuration,
            [this](const IOSurfaceRef& s) { delivered.push_back(s); },
            t.services());
    }

    void send(const CMSampleBuffer& sample, SCStreamOutputType type = SCStreamOutputType::Screen)
    {
        stream->stream(stream->stream(), sample, type);
    }

    const platform::sim::SimCaptureStream& sim() const
    {
        return dynamic_cast<const platform::sim::SimCaptureStream&>(stream->stream());
    }

    testing_support::TestDesktop t;
    std::vector<IOSurfaceRef> delivered;
    std::unique_ptr<FrameStream> stream;
};

} // namespace

TEST(FrameStream, FramesCoalesceToTheNewestWithOneDeliveryQueuedEvenUnderAFloodFromTheCaptureThread)
{
    StreamFixture f;
    const IOSurfaceRef first = surface(Qt::red), second = surface(Qt::green), third = surface(Qt::blue);
    f.send(CMSampleBuffer::frame(first));
    f.send(CMSampleBuffer::frame(second));
    EXPECT_EQ(f.t.mainQueue.runPending(), 1U);
    // An empty slot queues the next delivery.
    f.send(CMSampleBuffer::frame(third));
    EXPECT_EQ(f.t.mainQueue.runPending(), 1U);
    EXPECT_EQ(f.delivered, (std::vector<IOSurfaceRef>{second, third}));

    std::vector<IOSurfaceRef> frames;
    for (int i = 0; i < 500; ++i) {
        frames.push_back(surface(QColor::fromRgb(i % 256, 0, 0), QSize(2, 2)));
    }
    f.delivered.clear();
    std::size_t drained = 0;
    std::thread producer([&f, &frames] {
        for (const auto& frame : frames) {
            f.stream->queue().async([&f, frame] { f.send(CMSampleBuffer::frame(frame)); });
        }
    });
    // The main thread takes deliveries while the queue keeps producing.
    for (int round = 0; round < 50; ++round) {
        drained += f.t.mainQueue.runPending();
    }
    producer.join();
    f.stream->queue().sync([] {});
    drained += f.t.mainQueue.runPending();
    EXPECT_EQ(f.t.mainQueue.highWaterMark(), 1U);
    ASSERT_FALSE(f.delivered.empty());
    EXPECT_EQ(f.delivered.back(), frames.back());
    EXPECT_EQ(f.delivered.size(), drained);
    // Deliveries keep the production order.
    EXPECT_TRUE(
        std::is_sorted(f.delivered.begin(), f.delivered.end(), [&frames](const auto& a, const auto& b) {
            return std::find(frames.begin(), frames.end(), a) < std::find(frames.begin(), frames.end(), b);
        }));
}

TEST(FrameStream, OnlyCompleteScreenFramesWithASurfaceReachTheMainThread)
{
    const auto changed = [](const std::function<void(CMSampleBuffer&)>& change) {
        CMSampleBuffer sample = CMSampleBuffer::frame(surface(Qt::red));
        change(sample);
        return sample;
    };
    const auto withStatus = [&changed](const QVariant& status) {
        return changed([&status](CMSampleBuffer& s) {
            s.attachments = QVariantList{QVariantMap{{platform::kSCStreamFrameInfoStatus, status}}};
        });
    };
    std::vector<std::pair<const char*, CMSampleBuffer>> cases = {
        {"status not an integer", withStatus(QStringLiteral("0"))},
        {"status missing", withStatus(QVariant())},
        {"no attachments", changed([](CMSampleBuffer& s) { s.attachments.reset(); })},
        {"empty attachments", changed([](CMSampleBuffer& s) { s.attachments = QVariantList(); })},
        {"attachments not dictionaries", changed([](CMSampleBuffer& s) { s.attachments = QVariantList{0}; })},
        {"no image buffer", changed([](CMSampleBuffer& s) { s.imageBuffer.reset(); })},
        {"no surface", CMSampleBuffer::frame(nullptr)},
    };
    for (const auto status : {SCFrameStatus::Idle,
                              SCFrameStatus::Blank,
                              SCFrameStatus::Suspended,
                              SCFrameStatus::Started,
                              SCFrameStatus::Stopped}) {
        cases.emplace_back("not complete", CMSampleBuffer::frame(surface(Qt::red), status));
    }
    StreamFixture f;
    const IOSurfaceRef shown = surface(Qt::green);
    f.send(CMSampleBuffer::frame(shown));
    f.t.mainQueue.runPending();
    f.send(CMSampleBuffer::frame(surface(Qt::red)), SCStreamOutputType::Audio);
    for (const auto& [name, sample] : cases) {
        f.send(sample);
        EXPECT_EQ(f.t.mainQueue.pendingCount(), 0U) << name;
    }
    // The view keeps the last complete frame.
    EXPECT_EQ(f.delivered, std::vector<IOSurfaceRef>{shown});
}

TEST(FrameStream, CapturesOnItsOwnQueueResizesOnlyWhenThePixelSizeChangesAndDeliversNothingOnceDestroyed)
{
    StreamFixture f;
    const auto& queue = f.stream->queue();
    EXPECT_EQ(std::pair(queue.label(), queue.qualityOfService()),
              std::pair(QStringLiteral("veilmox.overlay.frames"),
                        platform::DispatchQueue::QualityOfService::UserInteractive));

    struct Step
    {
        double width, height, scale;
        QSize pixels;
        int updates;
    };
    const Step steps[] = {
        {800, 600, 2.0, {1600, 1200}, 0},
        {0.4, 600, 2.0, {1, 1200}, 1},
        {0.4, 600, 2.0, {1, 1200}, 1},
        {0.2, 0, 1.0, {1, 1}, 2},
        {300.7, 200.2, 1.0, {300, 200}, 3},
    };
    for (const Step& step : steps) {
        f.stream->resize(step.width, step.height, step.scale);
        EXPECT_EQ(QSize(f.sim().configuration().width, f.sim().configuration().height), step.pixels);
        EXPECT_EQ(f.sim().configurationUpdateCount(), step.updates);
    }

    // A frame of the window waits for the main thread; the stream destroyed meanwhile, it reaches
    // no one.
    f.stream->stream().startCapture(nullptr);
    f.t.scheduler.advance(0.1);
    f.stream->queue().sync([] {});
    EXPECT_EQ(f.t.mainQueue.pendingCount(), 1U);
    f.stream.reset();
    EXPECT_EQ(f.t.captureStreams.streamCount(), 0);
    f.t.mainQueue.runPending();
    EXPECT_TRUE(f.delivered.empty());
}

TEST(OverlayGeometry, AStreamOfAnEmptyDisplayHasAPixelAndTheScaleIsTheMostCoveringScreens)
{
    EXPECT_EQ(SCOverlayController::streamConfiguration(30, platform::SCDisplay{}, 2.0).width, 1);

    // The backing scale of the screen covering most of a rectangle.
    platform::Screen left;
    left.frame = QRectF(0, 0, 100, 100);
    left.backingScaleFactor = 1.0;
    platform::Screen right;
    right.frame = QRectF(100, 0, 100, 100);
    right.backingScaleFactor = 2.0;
    struct Case
    {
        const char* name;
        QList<platform::Screen> screens;
        QRectF rect;
        double scale;
    };
    const Case cases[] = {
        {"half and half: the first", {left, right}, {50, 0, 100, 50}, 1.0},
        {"half and half, other order", {right, left}, {50, 0, 100, 50}, 2.0},
        {"more on the second", {left, right}, {90, 0, 100, 50}, 2.0},
        {"on no screen: the first", {right, left}, {500, 500, 10, 10}, 2.0},
        {"no screens", {}, {0, 0, 10, 10}, 2.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(backingScale(c.rect, c.screens), c.scale) << c.name;
    }
}

TEST(SurfaceView, DrawsItsSurfaceStretchedAndNothingWhenMaskedWithoutMaskContents)
{
    const auto render = [](bool masked) {
        SurfaceView view(QRectF(0, 0, 40, 20), masked);
        view.setSurface(surface(Qt::red, QSize(3, 3)));
        QImage picture(QSize(80, 40), QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(2.0);
        picture.fill(Qt::white);
        view.render(&picture);
        return std::pair(picture.pixelColor(1, 1), picture.pixelColor(78, 38));
    };
    EXPECT_EQ(render(false), std::pair(QColor(Qt::red), QColor(Qt::red)));
    EXPECT_EQ(render(true), std::pair(QColor(Qt::white), QColor(Qt::white)));

    // The mask layer follows the view's bounds as it is laid out.
    SurfaceView view(QRectF(0, 0, 40, 20), true);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    view.resize(60, 30);
    EXPECT_EQ(view.maskLayer()->frame(), QRectF(0, 0, 60, 30));
}
