// The onboarding's moving moments as the user watches them in the viewer: each repaints only what
// it changes while it plays, what the viewer shows after only those repaints equals the desktop
// drawn whole, and once a moment is over the window asks for nothing more.
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingStepDemo.h"
#include "onboarding/OnboardingView.h"
#include "onboarding/steps/StepCard.h"
#include "platform/Window.h"
#include "platform/sim/SimCompositor.h"
#include "shell/kit/PulseDot.h"
#include "tests/shell/app/ViewerApp.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// The application's first run, its onboarding window open on a step (resumed from the draft).
struct OnboardingApp : ViewerApp
{
    explicit OnboardingApp(int step)
    {
        OnboardingDraft draft;
        draft.step = step;
        draft.save(f.env.t.defaults);
        launched = f.scheduler.now();
        start(false);
        settle(1.0); // the window's entrance is over
    }

    platform::Window& window() const { return *f.app->onboardingWindow(); }
    quint32 number() const { return window().windowNumber(); }
    quint64 version() const { return f.desktop.windowContentVersion(number()); }
    OnboardingView& view() const { return *qobject_cast<OnboardingView*>(window().contentView()); }
    template <typename T = QWidget>
    T* find(const char* name) const
    {
        return view().findChild<T*>(QString::fromLatin1(name));
    }
    // Where a view lies in the window, its look's reach included, in the window's points.
    QRect inWindow(const QWidget& widget, const QMarginsF& reach = {}) const
    {
        const QRectF r(widget.mapTo(&view(), QPointF()), QSizeF(widget.size()));
        return r.marginsAdded(reach).toAlignedRect();
    }

    // Runs until the window next asks to be drawn again and the viewer has drawn that, all at one
    // moment, so what the viewer shows can be held against a drawing of the desktop at that
    // moment. Gives where the window was repainted; none when nothing was within `limit`.
    std::optional<QRegion> nextRepaint(double limit = 1.0)
    {
        const quint64 before = version();
        for (double waited = 0; waited < limit; waited += 0.005) {
            f.scheduler.advance(0.005);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            if (version() != before) {
                f.scheduler.advance(0); // the viewer's refresh, due at once
                QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
                return f.desktop.windowRepaintSince(number(), before);
            }
        }
        return std::nullopt;
    }

    // Whether the built-in display as the viewer shows it, after only the parts that changed
    // were drawn again, equals a drawing of all of it now.
    bool viewerShowsTheDesktopAsItIs() const
    {
        const quint32 display = f.desktop.mainDisplayID();
        QImage partly = viewer->picture(display);
        partly.setDevicePixelRatio(1);
        platform::sim::SimCompositor whole(f.desktop);
        whole.setKeepsWindowSurfaces(true);
        QImage fully(partly.size(), QImage::Format_ARGB32_Premultiplied);
        whole.render(*whole.displayScene(display, true), fully, false);
        return partly == fully;
    }

    // Lets `seconds` pass and tells whether the window asked to be drawn again meanwhile.
    bool repaintsWithin(double seconds)
    {
        const quint64 before = version();
        settle(seconds);
        return version() != before;
    }

    double launched = 0; // when the window opened on its step
};

} // namespace

TEST(OnboardingMotion, TheDemoPagesPulseRepaintsItsDotTwentyTimesASecondAndNothingElse)
{
    OnboardingApp app(OnboardingFlow::kDemoStep);
    auto* dot = app.find("demo.audience")->findChild<kit::PulseDot*>();
    ASSERT_NE(dot, nullptr);
    ASSERT_TRUE(dot->isPulsing());
    const QRect dotBounds = app.inWindow(*dot, dot->lookOverflow());
    QRegion repainted;
    int frames = 0;
    const double start = app.f.scheduler.now();
    while (app.f.scheduler.now() - start < 2.0) {
        const auto region = app.nextRepaint();
        ASSERT_TRUE(region) << "the pulse goes on";
        repainted += *region;
        ++frames;
        if (frames % 9 == 0) {
            EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "frame " << frames;
        }
    }
    EXPECT_TRUE(dotBounds.contains(repainted.boundingRect()))
        << "repainted " << repainted.boundingRect().x() << ", " << repainted.boundingRect().y() << " "
        << repainted.boundingRect().width() << " x " << repainted.boundingRect().height();
    EXPECT_NEAR(frames, 2.0 * kit::PulseDotStyle::kFrameRate, 2);
}

// Hide pressed: the audience's window fades, its dot stops pulsing, and then the window rests.
// Dragged: the window follows and settles. Shown again: the pulse starts over. What the viewer
// shows always equals the desktop drawn whole.
TEST(OnboardingMotion, TheDemoPageRestsOnceTheVeilAndADragAreOverAndShowsThemAsDrawnWhole)
{
    OnboardingApp app(OnboardingFlow::kDemoStep);
    app.click(*app.find("demo.veil"), app.window());
    EXPECT_TRUE(app.view().flow().isDemoVeiled());
    app.settle(0.5);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "hidden";
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing moves while hidden";

    // A drag of the private window on the user's own monitor, through the viewer.
    const QWidget* own = app.find("demo.yourScreen");
    const QPointF grab =
        app.window().frame().topLeft()
        + QPointF(own->mapTo(&app.view(), QPointF(own->width() - 140.0, own->height() - 30.0)));
    const auto at = [&app](QPointF global) {
        return app.viewer->viewPoint(global).value_or(QPointF()).toPoint();
    };
    QTest::mousePress(app.ViewerApp::window(), Qt::LeftButton, {}, at(grab));
    for (int step = 1; step <= 10; ++step) {
        app.f.scheduler.advance(1.0 / 60);
        QTest::mouseMove(app.ViewerApp::window(), at(grab + QPointF(-12.0 * step, -6.0 * step)));
    }
    QTest::mouseRelease(app.ViewerApp::window(), Qt::LeftButton, {}, at(grab + QPointF(-120, -60)));
    app.settle(1.5);
    EXPECT_NE(qobject_cast<OnboardingStepDemo*>(app.view().currentStepView())->windowOffset(), QPointF())
        << "the window moved";
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "dragged";
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing moves once it settled";

    app.click(*app.find("demo.veil"), app.window());
    for (int frame = 0; frame < 12; ++frame) {
        ASSERT_TRUE(app.nextRepaint()) << "the pulse is back";
    }
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "shown again";
}

// The setup step's show: the lines tick, the "Shield armed." card comes with its glow flaring and
// two rings swelling once behind its badge, the receipt follows. The glow repaints the card and
// its reach, the rings only their own bounds; after the receipt the window rests, and shows as
// drawn whole.
TEST(OnboardingMotion, TheSetupStepsGlowAndRingsRepaintTheirOwnBoundsAndTheShowEndsAtRest)
{
    OnboardingApp app(4);
    // Everything the window repaints from now until `until` (seconds into the step).
    const auto repaintsUntil = [&app](double until) {
        QRegion repainted;
        while (app.f.scheduler.now() < app.launched + until) {
            const auto region = app.nextRepaint(app.launched + until - app.f.scheduler.now());
            if (!region) {
                break;
            }
            repainted += *region;
        }
        return repainted;
    };
    // The card comes at 1.94 s and its glow flares until 2.29 s.
    app.settle(app.launched + 1.95 - app.f.scheduler.now());
    const auto* card = app.find<StepCard>("setup.card");
    ASSERT_NE(card, nullptr);
    const QRegion flaring = repaintsUntil(2.29);
    EXPECT_FALSE(flaring.isEmpty());
    EXPECT_TRUE(app.inWindow(*card, card->lookOverflow()).contains(flaring.boundingRect()))
        << "the card's glow, not the step";

    // Until the glow eases back at 2.84 s only the rings move.
    app.settle(app.launched + 2.35 - app.f.scheduler.now());
    const QWidget* badge = app.find("setup.badge");
    ASSERT_NE(badge, nullptr);
    const double reach = badge->width() * 0.55 / 2 + 1;
    const QRegion swelling = repaintsUntil(2.8);
    EXPECT_FALSE(swelling.isEmpty()) << "the rings swell";
    EXPECT_TRUE(app.inWindow(*badge, {reach, reach, reach, reach}).contains(swelling.boundingRect()));

    app.settle(2.0); // the receipt, and its entrance
    EXPECT_NE(app.find("SetupReceipt"), nullptr);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing runs once the receipt is shown";
}

// A press of "Test it now" on the hot-key step lights the keys and veils the chat for a moment;
// then the window rests, and shows as drawn whole.
TEST(OnboardingMotion, TheHotkeyStepRestsOnceAFiringsLightsAndVeilAreOver)
{
    OnboardingApp app(3);
    EXPECT_FALSE(app.repaintsWithin(1.0)) << "at rest before";
    QWidget* test = app.view().currentStepView()->findChild<QWidget*>(QStringLiteral("hotkey.test"));
    ASSERT_NE(test, nullptr);
    app.click(*test, app.window());
    EXPECT_TRUE(app.view().flow().isHiddenByShortcut());
    app.settle(1.0);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing runs once the firing is over";
}
