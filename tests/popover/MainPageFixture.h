#pragma once

#include "capture/ShareMaskEditor.h"
#include "capture/VirtualDisplayManager.h"
#include "popover/MainPageView.h"
#include "tests/popover/PopoverFixture.h"

#include <QImage>

namespace testing_support {

// The popover as the shell hosts it, signed in, over a simulated desktop whose main display the
// virtual display mirrors, with a mask editor of the test's own.
struct MainPageFixture : RootTest
{
    ~MainPageFixture() override { root.reset(); }

    // Replaces the main display (before opening).
    void useMainDisplay(const QRectF& frame, double scale, const QColor& wallpaper);
    // Adds a display beside the main one.
    quint32 addDisplay(const QRectF& frame,
                       double scale,
                       const QColor& wallpaper,
                       const QString& name = QStringLiteral("Built-in Display"));

    // Signs in, starts the virtual display, lets it show its first picture and opens the popover.
    MenuBarView& open();
    MainPageView& page() const { return *static_cast<MainPageView*>(root->mainPage()); }
    // One capture tick of the virtual display.
    void tick() { t.scheduler.advance(VirtualDisplayManager::kCaptureInterval); }

    // The "Veilmox" display as the audience sees it.
    QImage audience() const;
    // Its colour at a point, in points of the mirrored display.
    QColor audienceAt(QPointF point) const;
    // The preview card as drawn now, and its colour where a point of the mirrored display lands.
    QColor previewAt(QPointF point) const;

    ShareMaskEditor editor{t.services(), manager.get()};
    double scale = 2;
};

} // namespace testing_support
