// A still screen costs nothing while the user sits with the popover or the picture-in-picture
// panel open: the capture goes on, but finds no new picture, hands nothing on and nothing is
// repainted, until something on the desktop moves.
#include "bench/PaintCounter.h"
#include "pip/PiPController.h"
#include "platform/sim/SimCompositor.h"
#include "tests/shell/app/ViewerApp.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;

namespace {

const QColor kMovingColour(0x20, 0xc0, 0x40);
const QRectF kMovingFrame(100, 500, 300, 260); // clear of the popover and of the panel's corner

struct StillApp : ViewerApp
{
    StillApp()
    {
        platform::sim::SimDesktop::WindowSpec window;
        window.owner = f.desktop.launchApp(QStringLiteral("com.example.notes"), QStringLiteral("Notes"));
        window.title = QStringLiteral("Notes");
        window.bounds = kMovingFrame;
        window.color = kMovingColour;
        moving = f.desktop.addWindow(window);
        start(true);
    }

    // The capture's state and what it handed on, before a stretch of time.
    struct Before
    {
        int drawn = 0;
        int screenshots = 0;
    };
    Before before() const
    {
        return {f.env.t.screenCapture.drawnScreenshotCount(), f.env.t.screenCapture.screenshotCount()};
    }

    // The colour of the latest frame at a point of the built-in display.
    QColor previewAt(QPointF point) const
    {
        const auto& frame = f.manager->virtualDisplayPreviewImage();
        if (!frame) {
            return {};
        }
        const QSizeF size = f.desktop.displayBounds(f.desktop.mainDisplayID()).size();
        return frame->pixelColor(
            QPointF(point.x() / size.width() * frame->width(), point.y() / size.height() * frame->height())
                .toPoint());
    }

    // Whether the latest frame, where the moving window was and is, has the pixels of the built-in
    // display composed whole without this program's windows.
    bool previewShowsTheDesktopAsItIs(QRectF points) const
    {
        const auto& frame = f.manager->virtualDisplayPreviewImage();
        if (!frame) {
            return false;
        }
        const auto content = platform::sim::shareableContent(f.desktop, false, true);
        QList<platform::SCRunningApplication> own;
        for (const auto& running : content.applications) {
            if (running.processID == f.desktop.ownProcessIdentifier()) {
                own.append(running);
            }
        }
        const quint32 display = f.desktop.mainDisplayID();
        const auto shown = std::find_if(content.displays.begin(),
                                        content.displays.end(),
                                        [display](const auto& d) { return d.displayID == display; });
        if (shown == content.displays.end()) {
            return false;
        }
        const QImage whole = platform::sim::SimCompositor(f.desktop).render(
            platform::SCContentFilter::displayExcludingApplications(*shown, own, {}), frame->size());
        const double scale = frame->width() / shown->frame.width();
        const QRect pixels = QRectF(points.topLeft() * scale, points.size() * scale).toAlignedRect();
        return frame->copy(pixels).convertToFormat(QImage::Format_RGB32)
               == whole.copy(pixels).convertToFormat(QImage::Format_RGB32);
    }

    quint32 moving = 0;
};

// Watches a view for paints and its window's content for repaints asked of the window server.
struct Watch
{
    Watch(StillApp& watched, QWidget* view, quint32 number)
        : app(watched)
        , window(number)
        , version(watched.f.desktop.windowContentVersion(number))
    {
        view->installEventFilter(&count);
    }
    bool repainted() const
    {
        return count.paints > 0 || app.f.desktop.windowContentVersion(window) != version;
    }

    StillApp& app;
    quint32 window;
    quint64 version;
    bench::PaintCounter count;
};

// Several seconds of a still desktop with a view of the preview watched, then one window moves.
void stillThenMoving(StillApp& app, QWidget* preview, quint32 previewWindow)
{
    ASSERT_NE(preview, nullptr);
    app.settle(1.0); // the first frames and the openings settle
    ASSERT_TRUE(app.f.manager->virtualDisplayPreviewImage());
    const StillApp::Before before = app.before();
    QSignalSpy published(app.f.manager.get(), &WindowManager::virtualDisplayPreviewImageChanged);
    {
        const Watch watch(app, preview, previewWindow);
        app.settle(3.0);
        EXPECT_GE(app.f.env.t.screenCapture.screenshotCount() - before.screenshots, 50)
            << "the capture goes on";
        EXPECT_EQ(app.f.env.t.screenCapture.drawnScreenshotCount(), before.drawn)
            << "no new picture of the \"Veilmox\" series";
        EXPECT_EQ(published.count(), 0) << "no frame handed to the preview";
        EXPECT_FALSE(watch.repainted()) << "the preview was repainted";
    }

    EXPECT_EQ(app.previewAt(kMovingFrame.center()), kMovingColour);
    const Watch watch(app, preview, previewWindow);
    app.f.desktop.setWindowBounds(app.moving, kMovingFrame.translated(400, 0));
    app.settle(0.3);
    EXPECT_GE(published.count(), 1);
    EXPECT_TRUE(watch.repainted());
    EXPECT_NE(app.previewAt(kMovingFrame.center()), kMovingColour) << "where the window was";
    EXPECT_EQ(app.previewAt(kMovingFrame.center() + QPointF(400, 0)), kMovingColour);
    EXPECT_TRUE(app.previewShowsTheDesktopAsItIs(kMovingFrame.united(kMovingFrame.translated(400, 0))));
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
}

} // namespace

TEST(StillScreen, WithThePopoverOpenNothingIsCapturedAnewHandedOnOrRepaintedUntilAWindowMoves)
{
    StillApp app;
    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    stillThenMoving(app, app.inPopover("previewPicture"), app.popoverWindow().windowNumber());
}

TEST(StillScreen, WithThePanelShownNothingIsCapturedAnewHandedOnOrRepaintedUntilAWindowMoves)
{
    StillApp app;
    app.f.pip->show();
    ASSERT_NE(app.f.pip->panel(), nullptr);
    stillThenMoving(app,
                    app.f.pip->panel()->contentView()->findChild<QWidget*>(QStringLiteral("pipPreview")),
                    app.f.pip->panel()->windowNumber());
}
