// The onboarding's moving moments as the user watches them in the viewer: each repaints only what
// it changes while it plays, what the viewer shows after only those repaints equals the desktop
// drawn whole, and once a moment is over the window asks for nothing more.
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingStepDemo.h"
#include "onboarding/OnboardingView.h"
#include "onboarding/steps/StepCard.h"
#include "platform/Window.h"
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
    quint64 version() const { return f.desktop.windowContentVersion(window().windowNumber()); }
    OnboardingView& view() const { return *qobject_cast<OnboardingView*>(window().contentView()); }
    QWidget* find(const char* name) const { return view().findChild<QWidget*>(QString::fromLatin1(name)); }
    // Where a view and its look's reach lie in the window.
    QRect inWindow(const QWidget& widget, const QMarginsF& reach) const
    {
        return QRectF(widget.mapTo(&view(), QPointF()), QSizeF(widget.size()))
            .marginsAdded(reach)
            .toAlignedRect();
    }

    // Everything the window repaints until `until` seconds after it opened, each repaint drawn by
    // the viewer at its own moment, so that what the viewer shows can be held against a drawing
    // of the desktop then; `check` runs after each.
    QRegion repaintsUntil(double until, const std::function<void()>& check = {})
    {
        QRegion repainted;
        quint64 seen = version();
        while (f.scheduler.now() < launched + until) {
            f.scheduler.advance(0.005);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            if (version() != seen) {
                f.scheduler.advance(0); // the viewer's refresh, due at once
                QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
                repainted += f.desktop.windowRepaintSince(window().windowNumber(), seen).value_or(QRegion());
                seen = version();
                if (check) {
                    check();
                }
            }
        }
        return repainted;
    }
    // Lets `seconds` pass and tells whether the window asked to be drawn again meanwhile.
    bool repaintsWithin(double seconds)
    {
        const quint64 before = version();
        settle(seconds);
        return version() != before;
    }

    double launched = 0;
};

} // namespace

// The audience monitor's dot pulses twenty times a second and nothing else is repainted. Hide
// pressed, the window fades, the dot stops and the page rests; a drag settles and it rests again;
// shown again, the pulse is back. What the viewer shows always equals the desktop drawn whole.
TEST(OnboardingMotion, TheDemoPagesPulseRepaintsOnlyItsDotAndThePageRestsOnceTheVeilOrADragIsOver)
{
    OnboardingApp app(OnboardingFlow::kDemoStep);
    const auto* dot = app.find("demo.audience")->findChild<kit::PulseDot*>();
    ASSERT_TRUE(dot->isPulsing());
    int frames = 0;
    const double start = app.f.scheduler.now() - app.launched;
    const QRegion pulsing = app.repaintsUntil(start + 2.0, [&] {
        if (++frames % 9 == 0) {
            EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "frame " << frames;
        }
    });
    EXPECT_TRUE(app.inWindow(*dot, dot->lookOverflow()).contains(pulsing.boundingRect()));
    EXPECT_NEAR(frames, 2.0 * kit::PulseDotStyle::kFrameRate, 2);

    app.click(*app.find("demo.veil"), app.window());
    app.settle(0.5);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "hidden";
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing moves while hidden";

    // The private window dragged on the user's own monitor, through the viewer.
    const QWidget* own = app.find("demo.yourScreen");
    const QPointF grab = app.window().frame().topLeft()
                         + own->mapTo(&app.view(), QPointF(own->width() - 140.0, own->height() - 30.0));
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
    EXPECT_NE(qobject_cast<OnboardingStepDemo*>(app.view().currentStepView())->windowOffset(), QPointF());
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "dragged";
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing moves once it settled";

    app.click(*app.find("demo.veil"), app.window());
    frames = 0;
    app.repaintsUntil(app.f.scheduler.now() - app.launched + 1.0, [&] { ++frames; });
    EXPECT_GE(frames, 15) << "the pulse is back";
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs()) << "shown again";
}

// The setup step's show: the lines tick, the "Shield armed." card comes at 1.94 s with its glow
// flaring until 2.29 s and two rings swelling behind its badge; the glow eases back from 2.84 s
// and the receipt follows. The glow repaints the card and its reach, the rings only their own
// bounds; after the receipt the window rests.
TEST(OnboardingMotion, TheSetupStepsGlowAndRingsRepaintTheirOwnBoundsAndTheShowEndsAtRest)
{
    OnboardingApp app(OnboardingFlow::kSetupStep);
    app.settle(app.launched + 1.95 - app.f.scheduler.now());
    const auto* card = app.view().findChild<StepCard*>(QStringLiteral("setup.card"));
    const QRegion flaring = app.repaintsUntil(2.29);
    EXPECT_TRUE(app.inWindow(*card, card->lookOverflow()).contains(flaring.boundingRect())) << "not the step";

    app.settle(app.launched + 2.35 - app.f.scheduler.now());
    const QWidget* badge = app.find("setup.badge");
    const double reach = badge->width() * 0.55 / 2 + 1;
    const QRegion swelling = app.repaintsUntil(2.8);
    EXPECT_FALSE(swelling.isEmpty());
    EXPECT_TRUE(app.inWindow(*badge, {reach, reach, reach, reach}).contains(swelling.boundingRect()));

    app.settle(2.0); // the receipt, and its entrance
    EXPECT_NE(app.find("SetupReceipt"), nullptr);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing runs once the receipt is shown";
}

// "Test it now" on the hot-key step lights the keys and veils the chat for a moment; then the
// window rests, drawn as it would be whole (a key let go left a row of its shadow behind).
TEST(OnboardingMotion, TheHotkeyStepRestsOnceAFiringsLightsAndVeilAreOver)
{
    OnboardingApp app(OnboardingFlow::kHotkeyStep);
    app.click(*app.view().currentStepView()->findChild<QWidget*>(QStringLiteral("hotkey.test")),
              app.window());
    EXPECT_TRUE(app.view().flow().isHiddenByShortcut());
    app.settle(1.0);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
    EXPECT_FALSE(app.repaintsWithin(2.0)) << "nothing runs once the firing is over";
}
