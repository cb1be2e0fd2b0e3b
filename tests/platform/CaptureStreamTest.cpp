#include "platform/CaptureStream.h"

#include "platform/DispatchQueue.h"
#include "platform/sim/ManualMainQueue.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/VirtualScheduler.h"

#include <QSignalSpy>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

using namespace platform;
using platform::sim::SimCaptureStream;
using platform::sim::SimCaptureStreams;
using platform::sim::SimDesktop;
using platform::sim::VirtualScheduler;

namespace {

std::string currentThreadName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    return name;
}

const QColor kRed(0xe0, 0x20, 0x20);
const QColor kBlue(0x20, 0x40, 0xe0);

// Records every sample on the thread it arrives on.
class RecordingOutput final : public SCStreamOutput
{
public:
    explicit RecordingOutput(DispatchQueue& queue)
        : m_queue(queue)
    {}

    void stream(SCStream& /*stream*/, const CMSampleBuffer& sampleBuffer, SCStreamOutputType type) override
    {
        const std::lock_guard lock(m_mutex);
        m_samples.push_back(sampleBuffer);
        m_types.push_back(type);
        m_onQueue = m_onQueue && m_queue.isCurrent();
    }

    std::vector<CMSampleBuffer> samples() const
    {
        const std::lock_guard lock(m_mutex);
        return m_samples;
    }
    bool allOnQueue() const
    {
        const std::lock_guard lock(m_mutex);
        return m_onQueue;
    }

private:
    DispatchQueue& m_queue;
    mutable std::mutex m_mutex;
    std::vector<CMSampleBuffer> m_samples;
    std::vector<SCStreamOutputType> m_types;
    bool m_onQueue = true;
};

// One 400 x 300 point display at scale 1 with a red window of app A and a blue one of app B.
struct StreamRig
{
    StreamRig()
        : streams(desktop, scheduler)
    {
        SimDesktop::DisplaySpec spec;
        spec.frame = QRectF(0, 0, 400, 300);
        spec.backingScale = 1.0;
        displayID = desktop.addDisplay(spec);
        const auto pid = desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
        red = addWindow(pid, QRectF(10, 10, 100, 80), kRed);
        blue = addWindow(pid, QRectF(200, 100, 60, 40), kBlue);
    }

    quint32 addWindow(pid_type owner, const QRectF& frame, const QColor& colour)
    {
        SimDesktop::WindowSpec spec;
        spec.owner = owner;
        spec.bounds = frame;
        spec.color = colour;
        return desktop.addWindow(spec);
    }

    SCWindow scWindow(quint32 number) const
    {
        SCWindow window;
        window.windowID = number;
        window.frame = desktop.window(number)->bounds;
        return window;
    }

    // A stream of one window at 10 frames per second, with its output added.
    std::unique_ptr<SCStream> windowStream(quint32 number, int width = 100, int height = 80)
    {
        SCStreamConfiguration configuration;
        configuration.width = width;
        configuration.height = height;
        configuration.minimumFrameInterval = CMTime{1, 10};
        auto stream =
            streams.makeStream(SCContentFilter::desktopIndependentWindow(scWindow(number)), configuration);
        EXPECT_FALSE(stream->addStreamOutput(&output, SCStreamOutputType::Screen, &queue).has_value());
        return stream;
    }

    // Waits until the queue has run everything sent to it so far.
    std::vector<CMSampleBuffer> received()
    {
        queue.sync([] {});
        return output.samples();
    }

    SimDesktop desktop;
    VirtualScheduler scheduler;
    SimCaptureStreams streams;
    DispatchQueue queue{QStringLiteral("test.stream.samples")};
    RecordingOutput output{queue};
    quint32 displayID = 0;
    quint32 red = 0;
    quint32 blue = 0;
};

QColor centreColour(const CMSampleBuffer& sample)
{
    const QImage& image = sample.imageBuffer->ioSurface()->image();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

qint64 status(const CMSampleBuffer& sample)
{
    return sample.sampleAttachmentsArray()->front().toMap().value(kSCStreamFrameInfoStatus).toLongLong();
}

} // namespace

TEST(DispatchQueue, RunsBlocksInOrderOnItsOwnNamedThread)
{
    DispatchQueue queue(QStringLiteral("veilmox.overlay.frames"),
                        DispatchQueue::QualityOfService::UserInteractive,
                        QStringLiteral("vmx.ovl.frames"));
    EXPECT_EQ(queue.label(), QStringLiteral("veilmox.overlay.frames"));
    EXPECT_EQ(queue.qualityOfService(), DispatchQueue::QualityOfService::UserInteractive);

    std::vector<int> order;
    std::vector<std::string> names;
    std::atomic<bool> offMainThread = true;
    const auto mainThread = std::this_thread::get_id();
    for (int i = 0; i < 50; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            names.push_back(currentThreadName());
            offMainThread = offMainThread && std::this_thread::get_id() != mainThread && queue.isCurrent();
        });
    }
    // sync() comes after everything submitted before it.
    queue.sync([] {});
    ASSERT_EQ(order.size(), 50U);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_TRUE(offMainThread);
    EXPECT_EQ(names.front(), "vmx.ovl.frames");
    EXPECT_FALSE(queue.isCurrent());
}

TEST(DispatchQueue, CutsLongLabelsForTheThreadNameAndRunsItsBlocksBeforeItEnds)
{
    std::atomic<int> ran = 0;
    {
        DispatchQueue queue(QStringLiteral("com.example.a-very-long-label"));
        EXPECT_EQ(queue.label(), QStringLiteral("com.example.a-very-long-label"));
        EXPECT_EQ(queue.threadName(), QStringLiteral("com.example.a-v"));
        for (int i = 0; i < 20; ++i) {
            queue.async([&ran] { ++ran; });
        }
    }
    EXPECT_EQ(ran, 20);
}

TEST(SimCaptureStreams, DeliverComposedFramesOfTheFilterOnTheOutputQueueAtTheInterval)
{
    StreamRig rig;
    auto stream = rig.windowStream(rig.red);
    std::vector<std::optional<CaptureError>> completions;
    stream->startCapture([&completions](auto error) { completions.push_back(error); });
    EXPECT_EQ(rig.streams.runningStreamCount(), 1);

    // The first frame on the next turn, then one every 0.1 s; idle while nothing changes.
    rig.scheduler.advance(0.55);
    ASSERT_EQ(completions.size(), 1U);
    EXPECT_FALSE(completions.front().has_value());
    auto samples = rig.received();
    ASSERT_EQ(samples.size(), 6U);
    EXPECT_TRUE(rig.output.allOnQueue());
    EXPECT_EQ(status(samples.front()), static_cast<qint64>(SCFrameStatus::Complete));
    ASSERT_TRUE(samples.front().imageBuffer && samples.front().imageBuffer->ioSurface());
    EXPECT_EQ(samples.front().imageBuffer->ioSurface()->image().size(), QSize(100, 80));
    EXPECT_EQ(centreColour(samples.front()).rgb(), kRed.rgb());
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(status(samples[i]), static_cast<qint64>(SCFrameStatus::Idle));
        EXPECT_FALSE(samples[i].imageBuffer.has_value());
    }

    // Another window moving over it leaves the single window's picture as it was; a change of
    // the window itself makes the next frame complete again.
    rig.desktop.setWindowBounds(rig.blue, QRectF(40, 30, 60, 40));
    rig.scheduler.advance(0.1);
    rig.desktop.setWindowTitle(rig.red, QStringLiteral("Renamed"));
    rig.scheduler.advance(0.1);
    samples = rig.received();
    ASSERT_EQ(samples.size(), 8U);
    EXPECT_EQ(status(samples[6]), static_cast<qint64>(SCFrameStatus::Idle));
    EXPECT_EQ(status(samples[7]), static_cast<qint64>(SCFrameStatus::Complete));
}

TEST(SimCaptureStreams, TakeNewConfigurationsAndFiltersWhileRunning)
{
    StreamRig rig;
    auto stream = rig.windowStream(rig.red);
    stream->startCapture(nullptr);
    rig.scheduler.runPending();
    ASSERT_EQ(rig.received().size(), 1U);

    SCStreamConfiguration slow;
    slow.width = 50;
    slow.height = 40;
    slow.minimumFrameInterval = CMTime{1, 1};
    stream->updateConfiguration(slow, nullptr);
    stream->updateContentFilter(SCContentFilter::desktopIndependentWindow(rig.scWindow(rig.blue)), nullptr);
    rig.scheduler.advance(0.99);
    EXPECT_EQ(rig.received().size(), 1U);
    rig.scheduler.advance(0.02);
    const auto samples = rig.received();
    ASSERT_EQ(samples.size(), 2U);
    EXPECT_EQ(samples.back().imageBuffer->ioSurface()->image().size(), QSize(50, 40));
    EXPECT_EQ(centreColour(samples.back()).rgb(), kBlue.rgb());

    const auto& sim = dynamic_cast<const SimCaptureStream&>(*stream);
    EXPECT_EQ(sim.configurationUpdateCount(), 1);
    EXPECT_EQ(sim.filterUpdateCount(), 1);
    EXPECT_EQ(sim.configuration().minimumFrameInterval, (CMTime{1, 1}));
}

TEST(SimCaptureStreams, NoCallbackRunsAfterAStreamStoppedOrWasDestroyed)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "stopped");
        StreamRig rig;
        auto stream = rig.windowStream(rig.red);
        stream->startCapture(nullptr);
        // Hold the queue so that frames wait behind the gate, then end the stream.
        std::promise<void> gate;
        std::shared_future<void> opened = gate.get_future().share();
        rig.queue.async([opened] { opened.wait(); });
        rig.scheduler.advance(0.35);
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
    struct Case
    {
        const char* name;
        bool permission;
        std::optional<CaptureError> failure;
        QString expected;
    };
    const Case cases[] = {
        {"no permission", false, std::nullopt, sim::SimScreenCapture::declinedError().localizedDescription},
        {"told to fail", true, CaptureError{-1, QStringLiteral("boom")}, QStringLiteral("boom")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRig rig;
        rig.desktop.setScreenRecordingPermission(c.permission);
        if (c.failure) {
            rig.streams.failNextStart(*c.failure);
        }
        auto stream = rig.windowStream(rig.red);
        std::optional<CaptureError> error;
        stream->startCapture([&error](auto e) { error = e; });
        rig.scheduler.advance(1);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->localizedDescription, c.expected);
        EXPECT_TRUE(rig.received().empty());
        EXPECT_EQ(rig.streams.runningStreamCount(), 0);
    }
}

TEST(SimCaptureStreams, AStreamWhoseWindowIsGoneSendsNothing)
{
    StreamRig rig;
    auto stream = rig.windowStream(rig.red);
    stream->startCapture(nullptr);
    rig.scheduler.runPending();
    rig.desktop.removeWindow(rig.red);
    rig.scheduler.advance(1);
    EXPECT_EQ(rig.received().size(), 1U);
    // A second output is refused.
    EXPECT_TRUE(stream->addStreamOutput(&rig.output, SCStreamOutputType::Screen, &rig.queue).has_value());
}

TEST(SimCaptureStreams, AFilterThatShowsAWidgetWindowNeverSendsIdleFrames)
{
    StreamRig rig;
    QWidget content;
    content.resize(50, 50);
    SimDesktop::WindowSpec spec;
    spec.owner = rig.desktop.ownProcessIdentifier();
    spec.bounds = QRectF(300, 200, 50, 50);
    spec.content = &content;
    rig.desktop.addWindow(spec);
    SCDisplay display;
    display.displayID = rig.displayID;
    display.frame = QRectF(0, 0, 400, 300);
    SCStreamConfiguration configuration;
    configuration.minimumFrameInterval = CMTime{1, 10};
    auto stream =
        rig.streams.makeStream(SCContentFilter::displayExcludingWindows(display, {}), configuration);
    ASSERT_FALSE(stream->addStreamOutput(&rig.output, SCStreamOutputType::Screen, &rig.queue).has_value());
    stream->startCapture(nullptr);
    rig.scheduler.advance(0.25);
    const auto samples = rig.received();
    ASSERT_EQ(samples.size(), 3U);
    for (const auto& sample : samples) {
        EXPECT_EQ(status(sample), static_cast<qint64>(SCFrameStatus::Complete));
    }
}

TEST(QtMainQueue, RunsBlocksFromAnyThreadOnTheMainThreadInOrder)
{
    QtMainQueue main;
    QObject signaller;
    QSignalSpy done(&signaller, &QObject::objectNameChanged);
    std::vector<int> ran;
    bool onMainThread = true;
    const auto mainThread = std::this_thread::get_id();
    std::thread producer([&] {
        for (int i = 0; i < 20; ++i) {
            main.async([&, i] {
                ran.push_back(i);
                onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
            });
        }
        main.async([&signaller] { signaller.setObjectName(QStringLiteral("done")); });
    });
    producer.join();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(ran.size(), 20U);
    EXPECT_TRUE(std::is_sorted(ran.begin(), ran.end()));
    EXPECT_TRUE(onMainThread);
}
