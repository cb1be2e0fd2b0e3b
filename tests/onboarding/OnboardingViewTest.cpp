// The onboarding window's view over scripted services: its header and footer per step, Continue
// and Return, the slide between steps, the leaving step, and when the flow appears and ends.
#include "onboarding/OBControls.h"
#include "shell/kit/Palette.h"
#include "shell/kit/ViewEffect.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <QAbstractButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

kit::ViewPose pose(const OnboardingWindow& w)
{
    const kit::ViewEffect* effect = kit::ViewEffect::of(w.view->currentStepView());
    return effect != nullptr ? effect->pose() : kit::ViewPose();
}

} // namespace

TEST(OnboardingView, HeaderAndFooterFollowTheStepAndTheSignIn)
{
    for (int step = 0; step < OnboardingFlow::kStepCount; ++step) {
        OnboardingWindow v(step);
        auto* back = v.find<QAbstractButton>("onboardingBack");
        auto* counter = v.find("stepCounter");
        auto* next = v.find("onboardingContinue");
        auto* signOut = v.find("onboardingSignOut");
        // Back, counter, Continue, Sign out: shown; back enabled and drawn.
        EXPECT_EQ(
            std::tuple(back->isVisible(), counter->isVisible(), next->isVisible(), signOut->isVisible()),
            std::tuple(step <= 4, step <= 4, step <= 3, false))
            << step;
        EXPECT_EQ(std::pair(back->isEnabled(), kit::ViewEffect::on(back).opacity()),
                  std::pair(step != 0, step == 0 ? 0.0 : 1.0))
            << step;
        v.services->reportSignIn(true);
        EXPECT_EQ(signOut->isVisible(), step >= 4) << step;
        v.services->reportSignIn(false);
        EXPECT_FALSE(signOut->isVisible());
        EXPECT_EQ(
            counter->accessibleName(),
            QStringLiteral("Step %1 of 7: %2").arg(step + 1).arg(OnboardingFlow::stepTitles().at(step)));
    }
}

TEST(OnboardingView, ContinueAndReturnActOnlyWhenTheStepHasWhatItNeeds)
{
    OnboardingWindow v;
    // Return pressed through the window, with or without a modifier.
    const auto returnKey = [&v](Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        for (const bool press : {true, false}) {
            QTest::simulateEvent(v.view->windowHandle(), press, Qt::Key_Return, modifiers, QString(), false);
        }
    };
    auto* next = v.find<OnboardingPill>("onboardingContinue");
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(next->style().enabled);
    returnKey();
    v.click("onboardingContinue");
    EXPECT_EQ(v.flow().step(), 0);

    v.click("goal.persona.student");
    EXPECT_EQ(v.flow().persona(), QStringLiteral("student"));
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(next->style().enabled);
    returnKey(Qt::ShiftModifier);
    EXPECT_EQ(v.flow().step(), 0) << "Return with a modifier is not the shortcut";
    returnKey();
    EXPECT_EQ(v.flow().step(), 1);
    v.env.advance(1);
    v.click("hide.category.Work Chat");
    v.click("hide.category.Banking & Finance");
    EXPECT_FALSE(next->isEnabled()) << "nothing to hide chosen";
}

// From the setup step on the steps carry their own buttons and Continue is gone: Return does
// nothing there, so it never skips the sign-in hand-off or ends the flow.
TEST(OnboardingView, ReturnDoesNothingWhereContinueIsGone)
{
    for (int step = OnboardingFlow::kSetupStep; step <= OnboardingFlow::kShareStep; ++step) {
        OnboardingWindow v(step);
        v.env.advance(4);
        for (const bool press : {true, false}) {
            QTest::simulateEvent(
                v.view->windowHandle(), press, Qt::Key_Return, Qt::NoModifier, QString(), false);
        }
        v.env.advance(1);
        EXPECT_EQ(v.flow().step(), step);
        EXPECT_FALSE(v.services->calls.contains("signIn")) << step;
        EXPECT_EQ(v.services->sent(), QStringList{QStringLiteral("step_started:%1").arg(step)}) << step;
        EXPECT_EQ(v.completions, 0) << step;
    }
}

// The window on the demo step, pictured (the run without Reduce Motion goes last and leaves its
// picture), then a step forward and back.
TEST(OnboardingView, StepsSlideInFromTheSideTheyComeFromAndOnlyFadeUnderReduceMotion)
{
    for (const bool reduceMotion : {true, false}) {
        OnboardingWindow v(2, reduceMotion ? OnboardingWindow::kReduceMotion : 0U, QStringLiteral("remote"));
        v.env.advance(1);
        const QImage image = v.picture(QStringLiteral("onboarding-window"));
        EXPECT_EQ(image.size(), QSize(2160, 1440));
        // The counter: two steps passed, the current one white, four ahead.
        const QWidget* counter = v.find("stepCounter");
        const QPointF origin = counter->mapTo(v.view.get(), QPointF(0, 1.5));
        const double segment = (counter->width() - 6 * 6) / 7.0 + 6;
        for (int i = 0; i < 7; ++i) {
            const QColor expected = i < 2    ? over(OBTokens::textSecondary())
                                    : i == 2 ? Qt::white
                                             : OBTokens::surfaceHigh();
            EXPECT_TRUE(near(colorAt(image, origin + QPointF(segment * i + segment / 2 - 3, 0)), expected, 3))
                << i;
        }
        // The canvas, the footer's rule, and the dimmed Continue (the veil is not tried yet).
        EXPECT_TRUE(near(colorAt(image, {20, 300}), OBTokens::canvas()));
        EXPECT_TRUE(near(colorAt(image, {540, 656.5}), over(OBTokens::hairline()), 2));
        EXPECT_TRUE(
            near(colorAt(image, v.inWindow("onboardingContinue", QPointF(6, 20))), over(kit::white(0.4)), 3));

        v.flow().setHasTriedVeil(true);
        v.click("onboardingContinue");
        v.env.advance(0.05);
        EXPECT_LT(pose(v).opacity, 1);
        EXPECT_EQ(pose(v).offset.x() > 0, !reduceMotion) << "forward comes from the right";
        v.env.advance(1);
        EXPECT_TRUE(pose(v).isIdentity());

        v.click("onboardingBack");
        v.env.advance(0.05);
        EXPECT_LT(pose(v).opacity, 1);
        EXPECT_EQ(pose(v).offset.x() < 0, !reduceMotion) << "back comes from the left";
        if (reduceMotion) {
            EXPECT_EQ(pose(v).offset.x(), 0);
        }
    }
}

// A second click on a step that is on its way out must find nothing to press: a double click
// on "Save my setup" would otherwise start two sign-ins.
TEST(OnboardingView, TheLeavingStepIsAPictureOfItselfThatTakesNoInput)
{
    OnboardingWindow v(4);
    v.env.advance(4); // the receipt with its button comes after the setup's short show
    QPointer<QWidget> step = v.view->currentStepView();
    QPointer<QWidget> save = v.find("setup.save");
    ASSERT_TRUE(save);
    const QImage before = kit::renderView(*step, 1.0);
    v.click("setup.save");
    EXPECT_EQ(v.services->calls.count("signIn"), 1);
    EXPECT_EQ(v.flow().step(), 5);
    EXPECT_TRUE(!step || !step->isVisible()) << "the live step left at once";
    EXPECT_TRUE(!save || !save->isVisibleTo(v.view.get()));

    auto* picture = v.find("leavingStep");
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->isVisible());
    EXPECT_TRUE(picture->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(picture->focusPolicy(), Qt::NoFocus);
    // It shows what the step showed: the sunset button's flame where it was.
    const QPointF center = save ? QPointF(save->mapTo(step, save->rect().center())) : QPointF();
    ASSERT_TRUE(save);
    const QImage shown = kit::renderView(*picture, 1.0);
    EXPECT_TRUE(near(colorAt(shown, center), colorAt(before, center), 6));
    EXPECT_GT(colorAt(shown, center).red(), 200);

    v.env.advance(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(step) << "gone once the slide is over";
    EXPECT_EQ(v.find("leavingStep"), nullptr);
}

TEST(OnboardingView, TheFlowAppearsOnceAndEndsOnlyWhenTheWindowClosesOrTheViewGoes)
{
    OnboardingWindow v(3);
    EXPECT_EQ(v.services->sent(), QStringList{"step_started:3"});
    EXPECT_EQ(v.services->calls, QStringList{"suspend"});
    // Taken off screen and back, as a minimised window would be: the flow goes on.
    v.view->hide();
    v.view->show();
    EXPECT_EQ(v.services->sent(), QStringList{"step_started:3"});
    EXPECT_EQ(v.services->calls, QStringList{"suspend"});

    v.view->handleDisappear();
    EXPECT_EQ(v.services->sent(), (QStringList{"step_started:3", "app_closed:3"}));
    EXPECT_EQ(v.services->calls, (QStringList{"suspend", "register"}));

    // Destroyed without a close, the view still ends its flow (the services go with it).
    OnboardingWindow other(1);
    QStringList seen;
    other.services->observer = [&](const FakeOnboardingServices::Event& e) {
        seen << QStringLiteral("%1:%2").arg(e.type).arg(e.step);
    };
    other.view.reset();
    EXPECT_EQ(seen, QStringList{"app_closed:1"});
}
