#include "capture/ImageView.h"
#include "tests/capture/VirtualDisplayFixture.h"

#include <QPainter>

using platform::SCContentFilter;
using platform::SCDisplay;
using platform::SCRunningApplication;
using platform::SCWindow;
using platform::sim::SimDesktop;

namespace {

// A small display keeps every capture cheap.
class CaptureFixture : public VirtualDisplayFixture
{
protected:
    void SetUp() override
    {
        system.desktop.removeDisplay(system.mainDisplay);
        SimDesktop::DisplaySpec setup;
        setup.frame = QRectF(0, 0, 320, 200);
        setup.backingScale = 2.0;
        system.mainDisplay = system.desktop.addDisplay(setup);
        VirtualDisplayFixture::SetUp();
    }

    QSet<QString> filteredBundleIDs() const
    {
        QSet<QString> ids;
        for (const auto& app : system.screenCapture.lastFilter()->applications()) {
            ids.insert(app.bundleIdentifier);
        }
        return ids;
    }

    QSet<quint32> filteredWindowIDs() const
    {
        QSet<quint32> ids;
        for (const auto& window : system.screenCapture.lastFilter()->windows()) {
            ids.insert(window.windowID);
        }
        return ids;
    }

    void tick() { system.scheduler.advance(VirtualDisplayManager::kCaptureInterval); }
};

const QString kDenied = QStringLiteral(
    "Screen Recording denied. Grant permission in System Settings, quit Veilmox, then reopen it.");

SCWindow scWindow(quint32 id, const QRectF& frame, std::optional<platform::pid_type> owner = std::nullopt)
{
    SCWindow window;
    window.windowID = id;
    window.frame = frame;
    window.isOnScreen = true;
    if (owner) {
        window.owningApplication =
            SCRunningApplication{QStringLiteral("com.example.app"), QStringLiteral("App"), *owner};
    }
    return window;
}

ShareMask mask(const QUuid& id, quint32 windowID, const QRectF& rect)
{
    return ShareMask{id, windowID, QStringLiteral("com.example.app"), rect};
}

} // namespace

TEST_F(CaptureFixture, CapturesTwentyTimesASecondAndNeverTwoAtOnce)
{
    startReady();
    EXPECT_EQ(deliveredFrames(), 1);
    system.scheduler.advance(1.0);
    EXPECT_NEAR(deliveredFrames(), 21, 1);

    // Slow answers lower the rate instead of piling up.
    system.screenCapture.setResponseDelay(0.04);
    const int requestsBefore = system.screenCapture.contentRequestCount();
    const int framesBefore = deliveredFrames();
    system.scheduler.advance(1.0);
    const int requests = system.screenCapture.contentRequestCount() - requestsBefore;
    EXPECT_LT(requests, 20);
    EXPECT_GE(requests, 8);
    EXPECT_GE(deliveredFrames() - framesBefore, requests - 1);
    EXPECT_EQ(std::count(permissions.begin(), permissions.end(), true), deliveredFrames());
}

TEST_F(CaptureFixture, DeliversTheSamePictureToTheMirrorAndTheOwner)
{
    startReady();
    ASSERT_TRUE(frames.back());
    const QImage& picture = *frames.back();
    EXPECT_EQ(picture.size(), QSize(640, 400));
    ASSERT_TRUE(manager->imageView()->image());
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), picture.cacheKey());
    EXPECT_EQ(permissions, std::vector<bool>{true});
}

TEST_F(CaptureFixture, TheFilterLeavesOutTheProgramTheHiddenAppsAndBySettingDockAndNotifications)
{
    system.desktop.launchApp(QStringLiteral("com.apple.dock"), QStringLiteral("Dock"));
    system.desktop.launchApp(QStringLiteral("com.apple.notificationcenterui"),
                             QStringLiteral("Notification Center"));
    system.desktop.launchApp(QStringLiteral("com.example.secret"), QStringLiteral("Secret"));
    system.desktop.launchApp(QStringLiteral("com.example.open"), QStringLiteral("Open"));
    manager->excludedBundleIDs = {QStringLiteral("com.example.secret"),
                                  QStringLiteral("com.example.notrunning")};
    startReady();

    struct Case
    {
        bool focusStage;
        bool hideNotifications;
        QSet<QString> leftOut;
    };
    const QString own = QStringLiteral("getveilmox.Veilmox");
    const QString secret = QStringLiteral("com.example.secret");
    const QString dock = QStringLiteral("com.apple.dock");
    const QString notifications = QStringLiteral("com.apple.notificationcenterui");
    const Case cases[] = {
        {true, true, {own, secret, dock, notifications}},
        {false, true, {own, secret, notifications}},
        {true, false, {own, secret, dock}},
        {false, false, {own, secret}},
    };
    for (const Case& c : cases) {
        manager->focusStageEnabled = c.focusStage;
        manager->hideNotifications = c.hideNotifications;
        tick();
        ASSERT_TRUE(system.screenCapture.lastFilter());
        EXPECT_EQ(system.screenCapture.lastFilter()->kind(),
                  SCContentFilter::Kind::DisplayExcludingApplications);
        EXPECT_EQ(filteredBundleIDs(), c.leftOut);
        EXPECT_TRUE(system.screenCapture.lastFilter()->windows().isEmpty());
    }
}

TEST_F(CaptureFixture, AHiddenWindowTurnsTheFilterIntoAWindowListOnceItIsOnScreen)
{
    const auto [secretPid, secretWindow] =
        system.launchAppWithWindow(QStringLiteral("com.example.secret"), QStringLiteral("Secret"));
    const auto [pid, shown] =
        system.launchAppWithWindow(QStringLiteral("com.example.open"), QStringLiteral("Open"));
    const quint32 hidden = system.desktop.addWindow(pid, QStringLiteral("Private"));
    system.desktop.setWindowOnScreen(hidden, false);
    manager->excludedBundleIDs = {QStringLiteral("com.example.secret")};
    manager->excludedWindowIDs = {hidden, 4242};
    startReady();
    EXPECT_EQ(system.screenCapture.lastFilter()->kind(), SCContentFilter::Kind::DisplayExcludingApplications);

    system.desktop.setWindowOnScreen(hidden, true);
    tick();
    EXPECT_EQ(system.screenCapture.lastFilter()->kind(), SCContentFilter::Kind::DisplayExcludingWindows);
    // The hidden window and every window of a left-out app (the mirror is the program's own).
    EXPECT_EQ(filteredWindowIDs(),
              (QSet<quint32>{hidden, secretWindow, manager->mirrorWindow()->windowNumber()}));
    EXPECT_FALSE(filteredWindowIDs().contains(shown));
}

TEST_F(CaptureFixture, MaskRectanglesFollowTheirWindowsInCapturePixels)
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const SCDisplay display{1, 320, 200, QRectF(0, 0, 320, 200)};
    const QSet<platform::pid_type> none;

    // A still window: the mask at its own size, in pixels.
    manager->masks = {mask(a, 7, QRectF(10, 20, 100, 50))};
    EXPECT_EQ(manager->maskRects({scWindow(7, QRectF(100, 100, 800, 600))}, none, display, 2.0),
              QList<QRect>{QRect(220, 240, 200, 100)});
    EXPECT_EQ(manager->maskRects({scWindow(7, QRectF(100, 100, 800, 600))}, none, display, 2.0),
              QList<QRect>{QRect(220, 240, 200, 100)});
    // Moved 10 points right: 10 points (20 pixels) wider, toward where it is heading.
    EXPECT_EQ(manager->maskRects({scWindow(7, QRectF(110, 100, 800, 600))}, none, display, 2.0),
              QList<QRect>{QRect(240, 240, 220, 100)});
    EXPECT_EQ(manager->lastMaskFrames().value(a), QRectF(120, 120, 100, 50));

    // Wholly outside its (shrunk) window: not painted, and its old rectangle is forgotten.
    EXPECT_TRUE(manager->maskRects({scWindow(7, QRectF(110, 100, 5, 5))}, none, display, 2.0).isEmpty());
    EXPECT_FALSE(manager->lastMaskFrames().contains(a));

    // Hidden windows and windows of left-out apps get no mask; the first of two windows with one
    // number wins; fractions widen to whole pixels; a display elsewhere shifts the origin.
    manager->masks = {mask(a, 7, QRectF(0.25, 0.25, 10, 10)), mask(b, 8, QRectF(0, 0, 10, 10))};
    manager->excludedWindowIDs = {};
    const SCDisplay right{2, 320, 200, QRectF(320, 0, 320, 200)};
    EXPECT_EQ(manager->maskRects({scWindow(7, QRectF(330, 10, 50, 50)),
                                  scWindow(7, QRectF(0, 0, 50, 50)),
                                  scWindow(8, QRectF(400, 10, 50, 50), 77)},
                                 {77},
                                 right,
                                 2.0),
              QList<QRect>{QRect(20, 20, 21, 21)});
    manager->excludedWindowIDs = {7};
    EXPECT_TRUE(manager->maskRects({scWindow(7, QRectF(330, 10, 50, 50))}, none, right, 2.0).isEmpty());

    manager->masks.clear();
    EXPECT_TRUE(manager->maskRects({scWindow(7, QRectF(330, 10, 50, 50))}, none, right, 2.0).isEmpty());
    EXPECT_TRUE(manager->lastMaskFrames().isEmpty());
}

TEST(VirtualDisplayComposition, PaintsTheStripAndTheMasksOrPassesTheCaptureThrough)
{
    QImage capture(100, 80, QImage::Format_ARGB32_Premultiplied);
    capture.fill(Qt::white);
    const qint64 key = capture.cacheKey();
    EXPECT_EQ(VirtualDisplayManager::composeFrame(capture, std::nullopt, {}).cacheKey(), key);

    const QImage composed = VirtualDisplayManager::composeFrame(capture, 48.0, {QRect(10, 60, 20, 10)});
    EXPECT_EQ(composed.size(), capture.size());
    EXPECT_EQ(composed.pixel(50, 0), qRgb(0, 0, 0));
    EXPECT_EQ(composed.pixel(99, 47), qRgb(0, 0, 0));
    EXPECT_EQ(composed.pixel(50, 48), qRgb(255, 255, 255));
    EXPECT_EQ(composed.pixel(10, 60), qRgb(23, 24, 28));
    EXPECT_EQ(composed.pixel(29, 69), qRgb(23, 24, 28));
    EXPECT_EQ(composed.pixel(30, 69), qRgb(255, 255, 255));
    EXPECT_EQ(composed.pixel(29, 70), qRgb(255, 255, 255));
    // The caller's copy is untouched.
    EXPECT_EQ(capture.pixel(50, 0), qRgb(255, 255, 255));
}

TEST_F(CaptureFixture, AChangeOfOutputDropsTheCaptureInFlight)
{
    startReady();
    system.screenCapture.setResponseDelay(0.03);
    const int before = deliveredFrames();
    system.scheduler.advance(0.09); // the tick at 1.55 has its content at 1.58, its screenshot due at 1.61
    EXPECT_TRUE(manager->captureInProgress());
    manager->output = VirtualDisplayManager::Output::frozen();
    system.scheduler.advance(0.5);
    EXPECT_EQ(deliveredFrames(), before);
    EXPECT_FALSE(manager->captureInProgress());

    QImage cover(8, 8, QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::blue);
    manager->output = VirtualDisplayManager::Output::covered(cover);
    system.scheduler.advance(0.5);
    EXPECT_EQ(deliveredFrames(), before);

    // Live again needs nothing more than the next tick.
    manager->output = VirtualDisplayManager::Output::live();
    system.scheduler.advance(0.12);
    EXPECT_GT(deliveredFrames(), before);
}

TEST_F(CaptureFixture, ErrorsThatNameThePermissionStopCapturingOthersAreRetried)
{
    struct Case
    {
        const char* description;
        bool screenshot;
        bool permission;
    };
    const Case cases[] = {
        {"The user declined TCCs for application, window, display capture", false, true},
        {"Start stream failed: tcc check", true, true},
        {"Access DENIED", false, true},
        {"Missing Permission", true, true},
        {"The stream was interrupted", false, false},
        {"Display is sleeping", true, false},
    };
    for (const Case& c : cases) {
        testing_support::TestDesktop desktop;
        VirtualDisplayManager target(desktop.services());
        std::vector<QString> texts;
        std::vector<bool> granted;
        std::vector<size_t> grantedWhenReported;
        int delivered = 0;
        target.statusHandler = [&](const QString& text, bool) {
            texts.push_back(text);
            grantedWhenReported.push_back(granted.size());
        };
        target.frameHandler = [&](const std::optional<QImage>& image) {
            delivered += image ? 1 : 0;
        };
        target.screenRecordingPermissionHandler = [&](bool value) {
            granted.push_back(value);
        };
        if (c.screenshot) {
            desktop.screenCapture.failNextScreenshot({-1, QString::fromUtf8(c.description)});
        } else {
            desktop.screenCapture.failNextContentRequest({-1, QString::fromUtf8(c.description)});
        }
        target.start();
        desktop.scheduler.advance(1.5);
        desktop.scheduler.advance(0.05);
        const int requests = desktop.screenCapture.contentRequestCount();
        desktop.scheduler.advance(0.1);

        if (c.permission) {
            ASSERT_EQ(texts.back(), kDenied) << c.description;
            // The permission is cleared on a later turn than the report.
            EXPECT_EQ(grantedWhenReported.back(), 0U);
            EXPECT_EQ(granted, std::vector<bool>{false});
            EXPECT_EQ(delivered, 0);
            EXPECT_EQ(desktop.screenCapture.contentRequestCount(), requests)
                << "no capture after the failure";
            EXPECT_FALSE(target.isCapturing());
            EXPECT_NE(target.mirrorWindow(), nullptr);
            EXPECT_NE(target.virtualDisplay(), nullptr);
        } else {
            EXPECT_EQ(texts.size(), 2U) << "only creating and ready";
            EXPECT_GT(delivered, 0) << c.description;
            EXPECT_TRUE(target.isCapturing());
        }
    }
}

TEST_F(CaptureFixture, AMissingDisplayFallsBackToTheSourceScreenOrIsReportedAtEveryTick)
{
    SimDesktop::DisplaySpec second;
    second.frame = QRectF(-320, 0, 320, 200);
    const quint32 secondID = system.desktop.addDisplay(second);
    manager->sourceDisplayID = secondID;
    startReady();
    EXPECT_EQ(manager->mainDisplayID, secondID);

    // Unplugged: the next capture mirrors the main display and goes on.
    system.desktop.removeDisplay(secondID);
    const int before = deliveredFrames();
    tick();
    EXPECT_EQ(manager->mainDisplayID, system.mainDisplay);
    EXPECT_EQ(deliveredFrames(), before + 1);

    // Only a screen without an identifier is left: nothing to mirror, said at every tick.
    SimDesktop::DisplaySpec unnumbered;
    unnumbered.frame = QRectF(0, 300, 320, 200);
    unnumbered.hasScreenNumber = false;
    system.desktop.addDisplay(unnumbered);
    system.desktop.removeDisplay(system.mainDisplay);
    statuses.clear();
    const int requests = system.screenCapture.contentRequestCount();
    system.scheduler.advance(0.2);
    ASSERT_GE(statuses.size(), 3U);
    EXPECT_EQ(static_cast<int>(statuses.size()), system.screenCapture.contentRequestCount() - requests);
    for (const auto& status : statuses) {
        EXPECT_EQ(status.text, QStringLiteral("Shared display not found."));
        EXPECT_TRUE(status.isError);
    }
    EXPECT_TRUE(manager->isCapturing());
}

TEST_F(CaptureFixture, ACaptureInFlightWhenCaptureStopsEndsSilently)
{
    struct Case
    {
        double stopAfter; // into the tick at 1.55 with answers taking 0.03 s
        bool denied;
    };
    // Stopped while the content is awaited, and while the screenshot is awaited; with answers
    // that would deliver a picture and with answers that would report a missing permission.
    const Case cases[] = {{0.01, false}, {0.04, false}, {0.01, true}};
    for (const Case& c : cases) {
        testing_support::TestDesktop desktop;
        VirtualDisplayManager target(desktop.services());
        std::vector<QString> texts;
        std::vector<std::optional<QImage>> seen;
        std::vector<bool> granted;
        target.statusHandler = [&](const QString& text, bool) {
            texts.push_back(text);
        };
        target.frameHandler = [&](const std::optional<QImage>& image) {
            seen.push_back(image);
        };
        target.screenRecordingPermissionHandler = [&](bool value) {
            granted.push_back(value);
        };
        target.start();
        desktop.scheduler.advance(1.5);
        desktop.screenCapture.setResponseDelay(0.03);
        desktop.desktop.setScreenRecordingPermission(!c.denied);
        desktop.scheduler.advance(0.05 + c.stopAfter);
        ASSERT_TRUE(target.captureInProgress());
        const size_t textsBefore = texts.size();
        const size_t grantedBefore = granted.size();
        seen.clear();
        target.stop();
        desktop.scheduler.advance(1.0);

        // Only the none of stop() (and of its echo when the mirror window closed).
        EXPECT_TRUE(
            std::none_of(seen.begin(), seen.end(), [](const auto& image) { return image.has_value(); }));
        EXPECT_EQ(texts.size(), textsBefore);
        EXPECT_EQ(granted.size(), grantedBefore);
    }
}
