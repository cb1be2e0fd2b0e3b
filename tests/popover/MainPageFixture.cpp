#include "tests/popover/MainPageFixture.h"

#include "popover/PreviewCard.h"
#include "shell/kit/Snapshot.h"

namespace testing_support {

void MainPageFixture::useMainDisplay(const QRectF& frame, double backingScale, const QColor& wallpaper)
{
    t.desktop.removeDisplay(t.mainDisplay);
    t.mainDisplay = addDisplay(frame, backingScale, wallpaper);
    t.desktop.setMainDisplay(t.mainDisplay);
    scale = backingScale;
}

quint32 MainPageFixture::addDisplay(const QRectF& frame,
                                    double backingScale,
                                    const QColor& wallpaper,
                                    const QString& name)
{
    platform::sim::SimDesktop::DisplaySpec setup;
    setup.name = name;
    setup.frame = frame;
    setup.backingScale = backingScale;
    setup.desktopColor = wallpaper;
    return t.desktop.addDisplay(setup);
}

MenuBarView& MainPageFixture::open()
{
    manager->setShareMaskEditor(&editor);
    start().startVirtualDisplay();
    t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    return RootTest::open();
}

QImage MainPageFixture::audience() const
{
    const VirtualDisplayManager* display = manager->virtualDisplayManager();
    if (display == nullptr || !display->virtualScreen()) {
        return {};
    }
    const platform::Screen screen = *display->virtualScreen();
    const QSize pixels = (screen.frame.size() * screen.backingScaleFactor).toSize();
    return t.screenCapture.compositor().renderDisplay(*screen.displayID(), pixels);
}

QColor MainPageFixture::audienceAt(QPointF point) const
{
    const QImage picture = audience();
    return picture.pixelColor((point * scale).toPoint());
}

QColor MainPageFixture::previewAt(QPointF point) const
{
    PreviewCard& card = *page().previewCard();
    const QImage drawn = kit::renderView(card, 1.0);
    const QRectF target = card.imageRect();
    const std::optional<QImage>& frame = card.image();
    if (!frame || target.isEmpty()) {
        return {};
    }
    const double toCard = target.width() / frame->width() * scale;
    return drawn.pixelColor((target.topLeft() + point * toCard).toPoint());
}

} // namespace testing_support
