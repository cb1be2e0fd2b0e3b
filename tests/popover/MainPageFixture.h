#pragma once

#include "capture/ShareMaskEditor.h"
#include "capture/VirtualDisplayManager.h"
#include "popover/MainPageView.h"
#include "popover/PreviewCard.h"
#include "tests/popover/PopoverFixture.h"

namespace testing_support {

// The popover as the shell hosts it, signed in, over a simulated desktop whose main display the
// virtual display mirrors, with a mask editor of the test's own.
struct MainPageFixture : RootTest
{
    ~MainPageFixture() override { root.reset(); }

    // Replaces the main display (before opening).
    void useMainDisplay(const QRectF& frame, double backingScale, const QColor& wallpaper)
    {
        t.desktop.removeDisplay(t.mainDisplay);
        t.mainDisplay = addDisplay(frame, backingScale, wallpaper);
        t.desktop.setMainDisplay(t.mainDisplay);
        scale = backingScale;
    }
    // Adds a display beside the main one.
    quint32 addDisplay(const QRectF& frame,
                       double backingScale,
                       const QColor& wallpaper,
                       const QString& name = QStringLiteral("Built-in Display"))
    {
        platform::sim::SimDesktop::DisplaySpec setup;
        setup.name = name;
        setup.frame = frame;
        setup.backingScale = backingScale;
        setup.desktopColor = wallpaper;
        return t.desktop.addDisplay(setup);
    }

    // Signs in, starts the virtual display, lets it show its first picture and opens the popover.
    MenuBarView& open()
    {
        manager->setShareMaskEditor(&editor);
        start().startVirtualDisplay();
        t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
        return RootTest::open();
    }
    MainPageView& page() const { return *static_cast<MainPageView*>(root->mainPage()); }
    // One capture tick of the virtual display.
    void tick() { t.scheduler.advance(VirtualDisplayManager::kCaptureInterval); }

    // The "Veilmox" display as the audience sees it.
    QImage audience() const
    {
        const VirtualDisplayManager* display = manager->virtualDisplayManager();
        if (display == nullptr || !display->virtualScreen()) {
            return {};
        }
        const platform::Screen screen = *display->virtualScreen();
        const QSize pixels = (screen.frame.size() * screen.backingScaleFactor).toSize();
        return t.screenCapture.compositor().renderDisplay(*screen.displayID(), pixels);
    }
    // Its colour at a point, in points of the mirrored display.
    QColor audienceAt(QPointF point) const { return audience().pixelColor((point * scale).toPoint()); }
    // The preview card as drawn now, and its colour where a point of the mirrored display lands.
    QColor previewAt(QPointF point) const
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

    ShareMaskEditor editor{t.services(), manager.get()};
    double scale = 2;
};

} // namespace testing_support
