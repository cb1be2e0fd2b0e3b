#include "capture/ImageView.h"
#include "capture/ShareCoverView.h"
#include "platform/Window.h"
#include "tests/capture/VirtualDisplayFixture.h"
#include "tests/support/Swatch.h"

using platform::sim::SimDesktop;
using testing_support::Swatch;

namespace {

std::unique_ptr<platform::Window> ownWindow(const platform::Services& services,
                                            const QRectF& frame,
                                            const QColor& colour,
                                            platform::WindowSharingType sharing)
{
    auto window = std::make_unique<platform::Window>(
        services, frame, platform::kWindowStyleMaskBorderless, platform::BackingStoreType::Buffered, false);
    window->setContentView(new Swatch(colour));
    window->setFrame(frame, true);
    window->setLevel(1000);
    window->setSharingType(sharing);
    window->orderFrontRegardless();
    return window;
}

const QColor kWallpaper = SimDesktop::DisplaySpec().desktopColor;
const QColor kMaskFill(23, 24, 28);

// Every pixel of the rectangle (in points, on a scale-2 picture) has the colour.
bool allPixels(const QImage& image, const QRectF& points, const QColor& colour)
{
    QImage expected((points.size() * 2).toSize(), QImage::Format_RGB32);
    expected.fill(colour);
    const QRectF pixels(points.topLeft() * 2, points.size() * 2);
    return image.copy(pixels.toRect()).convertToFormat(QImage::Format_RGB32) == expected;
}

} // namespace

TEST_F(VirtualDisplayFixture, TheVeilmoxDisplayShowsTheFilteredMirrorThenFreezesAndCovers)
{
    SimDesktop& desktop = system.desktop;
    auto addWindow =
        [&desktop](platform::pid_type pid, const QRectF& frame, const QColor& colour, qint64 layer) {
            SimDesktop::WindowSpec setup;
            setup.owner = pid;
            setup.title = QStringLiteral("Window");
            setup.bounds = frame;
            setup.color = colour;
            setup.layer = layer;
            return desktop.addWindow(setup);
        };
    const auto notes = desktop.launchApp(QStringLiteral("com.example.notes"), QStringLiteral("Notes"));
    const auto secret = desktop.launchApp(QStringLiteral("com.example.secret"), QStringLiteral("Secret"));
    const auto dock = desktop.launchApp(QStringLiteral("com.apple.dock"), QStringLiteral("Dock"));
    const auto banners = desktop.launchApp(QStringLiteral("com.apple.notificationcenterui"),
                                           QStringLiteral("Notification Center"));

    const QRectF notesFrame(100, 100, 600, 500);
    const QRectF privateFrame(800, 150, 300, 250);
    const QRectF secretFrame(750, 620, 300, 200);
    const QRectF dockFrame(300, 920, 900, 60);
    const QRectF bannerFrame(1150, 40, 340, 80);
    const QRectF ownFrame(1150, 450, 300, 150);
    const QRectF panelFrame(30, 650, 250, 200);
    const quint32 notesWindow = addWindow(notes, notesFrame, QColor(0x2e, 0xa0, 0x43), 0);
    const quint32 privateWindow = addWindow(notes, privateFrame, QColor(0xd0, 0x30, 0xd0), 0);
    addWindow(secret, secretFrame, QColor(0xe0, 0x20, 0x20), 0);
    addWindow(dock, dockFrame, QColor(0xf0, 0xd0, 0x20), 20);
    addWindow(banners, bannerFrame, QColor(0x20, 0xd0, 0xe0), 23);
    const QColor ownColour(0x70, 0x30, 0xa0);
    const QColor panelColour(0xff, 0x80, 0x00);
    const auto own = ownWindow(system.services(), ownFrame, ownColour, platform::WindowSharingType::ReadOnly);
    const auto panel =
        ownWindow(system.services(), panelFrame, panelColour, platform::WindowSharingType::None);

    manager->excludedBundleIDs = {QStringLiteral("com.example.secret")};
    manager->excludedWindowIDs = {privateWindow};
    const QUuid maskID = QUuid::createUuid();
    manager->masks = {
        ShareMask{maskID, notesWindow, QStringLiteral("com.example.notes"), QRectF(20, 30, 100, 60)}};
    startReady();
    system.scheduler.advance(0.1);
    ASSERT_TRUE(frames.back());
    const QImage preview = *frames.back();
    ASSERT_EQ(preview.size(), QSize(3024, 1964));

    // What the audience sees: the "Veilmox" screen as the window server draws it.
    const auto veilmoxScreen = manager->virtualScreen();
    ASSERT_TRUE(veilmoxScreen);
    const quint32 veilmoxID = *veilmoxScreen->displayID();
    const auto& compositor = system.screenCapture.compositor();
    const QImage veilmox =
        compositor.renderDisplay(veilmoxID, QSize(3024, 1964)).convertToFormat(preview.format());

    // The mirror shows exactly the preview.
    EXPECT_EQ(veilmox, preview);

    // The black strip over the menu bar (24 points, 48 pixels), and not a row more.
    EXPECT_TRUE(allPixels(veilmox, QRectF(0, 0, 1512, 24), Qt::black));
    EXPECT_NE(veilmox.pixelColor(5, 48).rgb(), QColor(Qt::black).rgb());
    // The mask over its window, in the mask colour.
    EXPECT_TRUE(allPixels(veilmox, QRectF(120, 130, 100, 60), kMaskFill));
    EXPECT_TRUE(allPixels(veilmox, QRectF(230, 130, 400, 60), QColor(0x2e, 0xa0, 0x43)));
    // Nothing of the hidden app, the hidden window, the Dock, the banner or the program's own
    // windows: the wallpaper shows where they are.
    for (const QRectF& leftOut : {secretFrame, privateFrame, dockFrame, bannerFrame, ownFrame, panelFrame}) {
        EXPECT_TRUE(allPixels(veilmox, leftOut, kWallpaper)) << leftOut.x() << "," << leftOut.y();
    }
}

TEST(VirtualDisplayPrivacy, OwnWindowsStayOutWithoutABundleAndNothingIsShownWithoutAWindowList)
{
    VirtualDisplayRig r(QRectF(0, 0, 320, 200));
    // A program whose bundle carries no identifier is still left out, by its process.
    const platform::Bundle anonymous{QVariantMap{}};
    platform::Services services = r.system.services();
    services.bundle = &anonymous;
    r.manager = std::make_unique<VirtualDisplayManager>(services);
    r.install(*r.manager);
    const QColor ownColour(0x70, 0x30, 0xa0);
    const auto own =
        ownWindow(services, QRectF(40, 60, 100, 80), ownColour, platform::WindowSharingType::ReadOnly);
    r.startReady();
    r.system.scheduler.advance(0.1);
    ASSERT_GE(r.deliveredFrames(), 2);
    EXPECT_TRUE(allPixels(*r.frames.back(), QRectF(40, 60, 100, 80), kWallpaper));

    // A window list that cannot be read vouches for nothing: the mirror keeps its last picture.
    r.system.desktop.setWindowListFails(true);
    const int shown = r.deliveredFrames();
    r.system.scheduler.advance(0.2);
    EXPECT_EQ(r.deliveredFrames(), shown);
    EXPECT_GE(r.manager->droppedFrameCount(), 3);
    EXPECT_EQ(r.manager->imageView()->image()->cacheKey(), r.frames.back()->cacheKey());
    // Readable again, the next change shows.
    r.system.desktop.setWindowListFails(false);
    r.system.desktop.mouseMoved(QPointF(200, 150));
    r.system.scheduler.advance(0.1);
    EXPECT_GT(r.deliveredFrames(), shown);
}

// What a meeting app captures of "Veilmox", frame after frame, is the picture the capture
// composed, while a masked window is dragged through the strip, the mask moves, an app is hidden
// and shown again and the share is paused behind its cover now and then: the window server redraws
// only where each picture says it changed, and that must be everywhere it did.
TEST(VirtualDisplayPrivacy, TheAudienceGetsEveryComposedPictureWhileAMaskedWindowIsDragged)
{
    VirtualDisplayRig r(QRectF(0, 0, 320, 200));
    SimDesktop& desktop = r.system.desktop;
    const auto notes = desktop.launchApp(QStringLiteral("com.example.notes"), QStringLiteral("Notes"));
    const auto secret = desktop.launchApp(QStringLiteral("com.example.secret"), QStringLiteral("Secret"));
    SimDesktop::WindowSpec setup;
    setup.owner = notes;
    setup.title = QStringLiteral("Notes");
    setup.bounds = QRectF(40, 30, 120, 90);
    setup.color = QColor(0x2e, 0xa0, 0x43);
    setup.patches = {{QRectF(60, 70, 30, 20), QColor(0xff, 0xee, 0x00)}};
    const quint32 notesWindow = desktop.addWindow(setup);
    setup.owner = secret;
    setup.title = QStringLiteral("Secret");
    setup.bounds = QRectF(180, 60, 100, 100);
    setup.color = QColor(0xe0, 0x20, 0x20);
    setup.patches = {};
    desktop.addWindow(setup);
    ShareMask mask{
        QUuid::createUuid(), notesWindow, QStringLiteral("com.example.notes"), QRectF(10, 20, 40, 30)};
    r.manager->masks = {mask};
    r.startReady();
    r.system.scheduler.advance(0.1);

    const quint32 veilmoxID = *r.manager->virtualScreen()->displayID();
    platform::SCDisplay veilmox;
    veilmox.displayID = veilmoxID;
    veilmox.frame = desktop.display(veilmoxID)->frame;
    veilmox.width = 320;
    veilmox.height = 200;
    const auto audience = [&] {
        platform::SCStreamConfiguration configuration;
        configuration.width = 640;
        configuration.height = 400;
        std::optional<QImage> image;
        r.system.screenCapture.captureImage(platform::SCContentFilter::displayExcludingWindows(veilmox, {}),
                                            configuration,
                                            [&image](auto picture, auto) { image = std::move(picture); });
        r.system.scheduler.advance(0.001);
        return image.value_or(QImage()).convertToFormat(QImage::Format_RGB32);
    };
    ASSERT_EQ(audience(), r.manager->imageView()->image()->convertToFormat(QImage::Format_RGB32));
    for (int step = 0; step < 60; ++step) {
        SCOPED_TRACE(step);
        QRectF bounds = desktop.window(notesWindow)->bounds;
        bounds.translate(step < 30 ? 3 : -2, step < 20 ? -1 : 1); // up through the strip and back
        desktop.setWindowBounds(notesWindow, bounds);
        if (step % 15 == 7) {
            mask.rect.translate(7, 5);
            r.manager->masks = {mask};
        }
        if (step % 20 == 10) {
            r.manager->excludedBundleIDs = {QStringLiteral("com.example.secret")};
        } else if (step % 20 == 15) {
            r.manager->excludedBundleIDs = {};
        }
        r.manager->output = VirtualDisplayManager::Output::live();
        r.system.scheduler.advance(0.05);
        if (step % 20 == 18) {
            // The pause's cover put up, as its owner does, in the same turn as a frame reached the
            // mirror, before the window server read that frame: the audience gets all the cover.
            const auto cover = ShareCoverView::renderImage(320, 200);
            ASSERT_TRUE(cover);
            r.manager->output = VirtualDisplayManager::Output::covered(*cover);
            r.manager->imageView()->setImage(*cover);
        }
        const QImage shown = r.manager->imageView()->image()->convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(audience(), shown);
    }
    EXPECT_GE(r.deliveredFrames(), 50);
}
