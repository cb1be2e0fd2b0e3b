#pragma once

#include "capture/ShareMaskEditor.h"
#include "pip/PiPController.h"
#include "pip/PiPView.h"
#include "platform/Services.h"
#include "shell/kit/Fonts.h"
#include "tests/state/StateFixture.h"
#include "tests/support/BundledFonts.h"

#include <memory>

namespace testing_support {

// The state object over a simulated desktop, installed as the process's services (the panel's
// views read its settings and animate on its clock), with a mask editor and a picture-in-picture
// controller of its own. Store settings first, then start() and makePip().
struct PiPFixture : StateFixture
{
    PiPFixture()
    {
        platform::Services::setCurrent(t.services());
        testing_support::registerBundledFonts();
        manager->setShareMaskEditor(&maskEditor);
    }
    ~PiPFixture()
    {
        pip.reset();
        platform::Services::setCurrent(platform::Services());
    }
    PiPFixture(const PiPFixture&) = delete;
    PiPFixture& operator=(const PiPFixture&) = delete;

    PiPController& makePip()
    {
        pip = std::make_unique<PiPController>(t.services(), *manager, maskEditor);
        return *pip;
    }
    PiPView* view() const
    {
        return pip->panel() != nullptr ? qobject_cast<PiPView*>(pip->panel()->contentView()) : nullptr;
    }
    QRectF panelFrame() const { return pip->panel()->frame(); }
    // The main display's visible frame (below the menu bar).
    QRectF visibleFrame() const { return t.desktop.screens().front().visibleFrame; }
    // Shows the panel and lets its fade and presentation finish.
    void showSettled()
    {
        pip->show();
        t.scheduler.advance(1);
    }
    // A drag of the panel with the simulated pointer: down at `from`, through the points at
    // `step` seconds apart, up at the last one after `rest` seconds.
    void drag(QPointF from, const QList<QPointF>& through, double step = 0.01, double rest = 0)
    {
        t.desktop.mouseDown(from);
        for (const QPointF& point : through) {
            t.scheduler.advance(step);
            t.desktop.mouseMoved(point);
        }
        t.scheduler.advance(rest);
        t.desktop.mouseUp(through.isEmpty() ? from : through.back());
    }

    ShareMaskEditor maskEditor{t.services(), manager.get()};
    std::unique_ptr<PiPController> pip;
};

struct PiPTest
    : testing::Test
    , PiPFixture
{};

} // namespace testing_support
