#include "capture/ImageView.h"
#include "tests/capture/VirtualDisplayFixture.h"

using platform::SCContentFilter;
using platform::SCDisplay;
using platform::SCRunningApplication;
using platform::SCWindow;
using platform::sim::SimDesktop;

namespace {

// A small display keeps every capture cheap.
const QRectF kSmallDisplay(0, 0, 320, 200);

class CaptureFixture
    : public ::testing::Test
    , public VirtualDisplayRig
{
protected:
    CaptureFixture()
        : VirtualDisplayRig(kSmallDisplay)
    {}

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

} // namespace

TEST_F(CaptureFixture, CapturesTwentyTimesASecondShowsEveryChangeAndNeverTakesTwoAtOnce)
{
    const quint32 window =
        system
            .launchAppWithWindow(QStringLiteral("com.example.app"), QStringLiteral("App"), {10, 20, 100, 80})
            .second;
    startReady();
    // The same picture, in the display's pixels, for the mirror and the owner.
    ASSERT_EQ(deliveredFrames(), 1);
    EXPECT_EQ(frames.back()->size(), QSize(640, 400));
    ASSERT_TRUE(manager->imageView()->image());
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), frames.back()->cacheKey());
    EXPECT_EQ(permissions, std::vector<bool>{true});

    // Captured at every tick; a picture that would look the same as the one up is not shown again.
    const int capturesBefore = system.screenCapture.screenshotCount();
    system.scheduler.advance(1.0);
    EXPECT_NEAR(system.screenCapture.screenshotCount() - capturesBefore, 20, 1);
    EXPECT_LE(deliveredFrames(), 2);
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), frames.back()->cacheKey());
    // A window moving at every tick: every capture shown.
    const int shownBefore = deliveredFrames();
    for (int step = 1; step <= 20; ++step) {
        system.desktop.setWindowBounds(window, {10.0 + step, 20, 100, 80});
        tick();
    }
    EXPECT_NEAR(deliveredFrames() - shownBefore, 20, 1);
    EXPECT_EQ(frames.back()->pixelColor(2 * 31, 2 * 60), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(frames.back()->pixelColor(2 * 29, 2 * 60), SimDesktop::DisplaySpec().desktopColor);
    // A new capture with the pixels of the picture up (the window moved away and back between two
    // captures) is neither shown nor handed on again.
    {
        const int delivered = deliveredFrames();
        const qint64 up = manager->imageView()->image()->cacheKey();
        const int drawn = system.screenCapture.drawnScreenshotCount();
        system.desktop.setWindowBounds(window, {40, 20, 100, 80});
        system.desktop.setWindowBounds(window, {30, 20, 100, 80});
        tick();
        EXPECT_GT(system.screenCapture.drawnScreenshotCount(), drawn);
        EXPECT_EQ(deliveredFrames(), delivered);
        EXPECT_EQ(manager->imageView()->image()->cacheKey(), up);
    }

    // After a cover, a live picture goes up again at once, also of a desktop that did not change.
    QImage cover(640, 400, QImage::Format_RGB32);
    cover.fill(Qt::white);
    manager->output = VirtualDisplayManager::Output::covered(cover);
    manager->imageView()->setImage(cover);
    tick();
    manager->output = VirtualDisplayManager::Output::live();
    const int coveredFrames = deliveredFrames();
    tick();
    EXPECT_EQ(deliveredFrames(), coveredFrames + 1);
    EXPECT_EQ(manager->imageView()->image()->cacheKey(), frames.back()->cacheKey());

    // Slow answers lower the rate instead of piling up.
    system.screenCapture.setResponseDelay(0.04);
    const int requestsBefore = system.screenCapture.contentRequestCount();
    const int screenshotsBefore = system.screenCapture.screenshotCount();
    system.scheduler.advance(1.0);
    const int requests = system.screenCapture.contentRequestCount() - requestsBefore;
    EXPECT_LT(requests, 20);
    EXPECT_GE(requests, 8);
    EXPECT_GE(system.screenCapture.screenshotCount() - screenshotsBefore, requests - 1);
    EXPECT_NEAR(
        std::count(permissions.begin(), permissions.end(), true), system.screenCapture.screenshotCount(), 1);
}

// Hidden windows, which turn the filter into a list of windows, are followed on the pixels by the
// state object's privacy tests.
TEST_F(CaptureFixture, TheFilterLeavesOutTheProgramTheHiddenAppsAndBySettingDockAndNotifications)
{
    const QString own = QStringLiteral("getveilmox.Veilmox");
    const QString secret = QStringLiteral("com.example.secret");
    const QString dock = QStringLiteral("com.apple.dock");
    const QString notifications = QStringLiteral("com.apple.notificationcenterui");
    system.desktop.launchApp(dock, QStringLiteral("Dock"));
    system.desktop.launchApp(notifications, QStringLiteral("Notification Center"));
    system.launchAppWithWindow(secret, QStringLiteral("Secret"));
    manager->excludedBundleIDs = {secret, QStringLiteral("com.example.notrunning")};
    // A hidden window that is not there at all leaves the filter as it is.
    manager->excludedWindowIDs = {4242};
    startReady();

    const std::tuple<bool, bool, QSet<QString>> cases[] = {
        {true, true, {own, secret, dock, notifications}},
        {false, true, {own, secret, notifications}},
        {true, false, {own, secret, dock}},
        {false, false, {own, secret}},
    };
    for (const auto& [focusStage, hideNotifications, leftOut] : cases) {
        manager->focusStageEnabled = focusStage;
        manager->hideNotifications = hideNotifications;
        tick();
        const auto& filter = system.screenCapture.lastFilter();
        ASSERT_TRUE(filter);
        EXPECT_EQ(filter->kind(), SCContentFilter::Kind::DisplayExcludingApplications);
        QSet<QString> ids;
        for (const auto& app : filter->applications()) {
            ids.insert(app.bundleIdentifier);
        }
        EXPECT_EQ(ids, leftOut);
        EXPECT_TRUE(filter->windows().isEmpty());
    }
}

TEST_F(CaptureFixture, MaskRectanglesFollowTheirWindowsInCapturePixels)
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const SCDisplay display{1, 320, 200, QRectF(0, 0, 320, 200)};
    const auto rects = [this](const QList<SCWindow>& windows,
                              const SCDisplay& on,
                              const QSet<platform::pid_type>& excludedPIDs = {}) {
        return manager->maskRects(windows, excludedPIDs, on, 2.0);
    };

    // A still window: the mask at its own size, in pixels, at the first capture and the next.
    manager->masks = {ShareMask{a, 7, {}, QRectF(10, 20, 100, 50)}};
    for (int capture = 0; capture < 2; ++capture) {
        EXPECT_EQ(rects({scWindow(7, QRectF(100, 100, 800, 600))}, display),
                  QList<QRect>{QRect(220, 240, 200, 100)});
    }
    // Moved 10 points right: 10 points (20 pixels) wider, toward where it is heading.
    EXPECT_EQ(rects({scWindow(7, QRectF(110, 100, 800, 600))}, display),
              QList<QRect>{QRect(240, 240, 220, 100)});
    EXPECT_EQ(manager->lastMaskFrames().value(a), QRectF(120, 120, 100, 50));

    // Wholly outside its (shrunk) window: not painted, and its old rectangle is forgotten.
    EXPECT_TRUE(rects({scWindow(7, QRectF(110, 100, 5, 5))}, display).isEmpty());
    EXPECT_FALSE(manager->lastMaskFrames().contains(a));

    // Hidden windows and windows of left-out apps get no mask; the first of two windows with one
    // number wins; fractions widen to whole pixels; a display elsewhere shifts the origin.
    manager->masks = {ShareMask{a, 7, {}, QRectF(0.25, 0.25, 10, 10)},
                      ShareMask{b, 8, {}, QRectF(0, 0, 10, 10)}};
    const SCDisplay right{2, 320, 200, QRectF(320, 0, 320, 200)};
    EXPECT_EQ(rects({scWindow(7, QRectF(330, 10, 50, 50)),
                     scWindow(7, QRectF(0, 0, 50, 50)),
                     scWindow(8, QRectF(400, 10, 50, 50), 77)},
                    right,
                    {77}),
              QList<QRect>{QRect(20, 20, 21, 21)});
    manager->excludedWindowIDs = {7};
    EXPECT_TRUE(rects({scWindow(7, QRectF(330, 10, 50, 50))}, right).isEmpty());
    // A window off screen (minimised, of an app hidden on the Mac) shows nothing to cover.
    manager->excludedWindowIDs.clear();
    SCWindow minimised = scWindow(7, QRectF(330, 10, 50, 50));
    minimised.isOnScreen = false;
    EXPECT_TRUE(rects({minimised}, right).isEmpty());

    manager->masks.clear();
    EXPECT_TRUE(rects({scWindow(7, QRectF(330, 10, 50, 50))}, right).isEmpty());
    EXPECT_TRUE(manager->lastMaskFrames().isEmpty());
}

TEST(VirtualDisplayComposition, PaintsTheStripAndTheMasksOrPassesTheCaptureThrough)
{
    QImage capture(100, 80, QImage::Format_ARGB32_Premultiplied);
    capture.fill(Qt::white);
    EXPECT_EQ(VirtualDisplayManager::composeFrame(capture, std::nullopt, {}).cacheKey(), capture.cacheKey());

    const QImage composed = VirtualDisplayManager::composeFrame(capture, 48.0, {QRect(10, 60, 20, 10)});
    EXPECT_EQ(composed.size(), capture.size());
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255), fill = qRgb(23, 24, 28);
    const std::pair<QPoint, QRgb> pixels[] = {
        {{99, 47}, black},
        {{50, 48}, white}, // the strip and not a row more
        {{10, 60}, fill},
        {{29, 69}, fill},
        {{30, 69}, white},
        {{29, 70}, white}, // the mask's edges
    };
    for (const auto& [at, colour] : pixels) {
        EXPECT_EQ(composed.pixel(at), colour) << at.x() << ", " << at.y();
    }
    // The caller's copy is untouched.
    EXPECT_EQ(capture.pixel(50, 0), white);
}

TEST(VirtualDisplayCapture, ErrorsThatNameThePermissionStopCapturingOthersAreRetried)
{
    // (error, of the screenshot rather than of the content request, names the permission)
    const std::tuple<const char*, bool, bool> cases[] = {
        {"The user declined TCCs for application, window, display capture", false, true},
        {"Start stream failed: tcc check", true, true},
        {"Access DENIED", false, true},
        {"Missing Permission", true, true},
        {"The stream was interrupted", false, false},
        {"Display is sleeping", true, false},
    };
    for (const auto& [text, screenshot, permission] : cases) {
        SCOPED_TRACE(text);
        VirtualDisplayRig r(kSmallDisplay);
        std::vector<size_t> grantedWhenReported;
        r.manager->statusHandler = [&r, &grantedWhenReported](const QString& message, bool isError) {
            r.statuses.push_back({r.system.scheduler.now(), message, isError});
            grantedWhenReported.push_back(r.permissions.size());
        };
        const platform::CaptureError error{-1, QString::fromUtf8(text)};
        screenshot ? r.system.screenCapture.failNextScreenshot(error)
                   : r.system.screenCapture.failNextContentRequest(error);
        r.manager->start();
        r.system.scheduler.advance(1.5);
        r.system.scheduler.advance(0.05);
        const int requests = r.system.screenCapture.contentRequestCount();
        r.system.scheduler.advance(0.1);

        if (permission) {
            // Reported, the permission cleared on a later turn, nothing captured after; the
            // mirror stays.
            EXPECT_EQ(std::pair(r.statuses.back().text, r.statuses.back().isError), std::pair(kDenied, true));
            EXPECT_EQ(grantedWhenReported.back(), 0U);
            EXPECT_EQ(r.permissions, std::vector<bool>{false});
            EXPECT_EQ(r.deliveredFrames(), 0);
            EXPECT_EQ(r.system.screenCapture.contentRequestCount(), requests);
            EXPECT_FALSE(r.manager->isCapturing());
            EXPECT_NE(r.manager->mirrorWindow(), nullptr);
        } else {
            EXPECT_EQ(r.statusTexts(), (QStringList{kCreating, kReady}));
            EXPECT_GT(r.deliveredFrames(), 0);
            EXPECT_TRUE(r.manager->isCapturing());
        }
    }
}

TEST_F(CaptureFixture, TheSourceIsTheChosenScreenElseTheMainOneAndWithNoneLeftThatIsSaidAtEveryTick)
{
    SimDesktop::DisplaySpec second;
    second.frame = QRectF(320, 0, 640, 400);
    second.backingScale = 1.0;
    const quint32 secondID = system.desktop.addDisplay(second);
    SimDesktop::DisplaySpec unnumbered;
    unnumbered.frame = QRectF(-800, 0, 800, 600);
    unnumbered.hasScreenNumber = false;
    system.desktop.addDisplay(unnumbered);

    // The chosen display, else the main one; the size is the mirrored display's, else the main's.
    for (const auto& [chosen, expected] :
         {std::pair<std::optional<quint32>, quint32>{std::nullopt, system.mainDisplay},
          {secondID, secondID},
          {999, system.mainDisplay}}) {
        manager->sourceDisplayID = chosen;
        manager->mainDisplayID = chosen;
        EXPECT_EQ(manager->sourceScreen()->displayID(), expected);
        EXPECT_EQ(manager->sourceSize(), expected == secondID ? QSizeF(640, 400) : QSizeF(320, 200));
    }

    manager->sourceDisplayID = secondID;
    startReady();
    EXPECT_EQ(manager->mainDisplayID, secondID);
    EXPECT_EQ(std::pair(manager->virtualScreen()->frame.size(), manager->virtualScreen()->backingScaleFactor),
              std::pair(QSizeF(640, 400), 1.0));
    // The virtual screen is never a candidate, even when chosen.
    manager->sourceDisplayID = manager->virtualDisplay()->displayID();
    EXPECT_EQ(manager->sourceScreen()->displayID(), system.mainDisplay);
    manager->sourceDisplayID = secondID;

    // Unplugged: the next capture mirrors the main display and goes on.
    system.desktop.removeDisplay(secondID);
    const int before = deliveredFrames();
    tick();
    EXPECT_EQ(manager->mainDisplayID, system.mainDisplay);
    EXPECT_EQ(deliveredFrames(), before + 1);

    // Only a screen without an identifier is left: nothing to mirror, said at every tick.
    system.desktop.removeDisplay(system.mainDisplay);
    statuses.clear();
    const int requests = system.screenCapture.contentRequestCount();
    system.scheduler.advance(0.2);
    ASSERT_GE(statuses.size(), 3U);
    EXPECT_EQ(static_cast<int>(statuses.size()), system.screenCapture.contentRequestCount() - requests);
    for (const auto& status : statuses) {
        EXPECT_EQ(std::pair(status.text, status.isError),
                  std::pair(QStringLiteral("Shared display not found."), true));
    }
    EXPECT_TRUE(manager->isCapturing());
    // Stopped, there is no source at all.
    manager->stop();
    EXPECT_FALSE(manager->sourceScreen());
    EXPECT_FALSE(manager->sourceSize());
}

TEST(VirtualDisplayCapture, ACaptureInFlightWhenCaptureStopsEndsSilently)
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
        VirtualDisplayRig r(kSmallDisplay);
        r.startReady();
        r.system.screenCapture.setResponseDelay(0.03);
        r.system.desktop.setScreenRecordingPermission(!c.denied);
        r.system.scheduler.advance(0.05 + c.stopAfter);
        ASSERT_TRUE(r.manager->captureInProgress());
        const size_t statusesBefore = r.statuses.size();
        const size_t permissionsBefore = r.permissions.size();
        r.frames.clear();
        r.manager->stop();
        r.system.scheduler.advance(1.0);

        // Only the none of stop() (and of its echo when the mirror window closed).
        EXPECT_EQ(r.deliveredFrames(), 0);
        EXPECT_EQ(r.statuses.size(), statusesBefore);
        EXPECT_EQ(r.permissions.size(), permissionsBefore);
    }
}
