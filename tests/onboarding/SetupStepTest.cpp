// The setup step: its staged show in virtual time with pictures of its stages, Reduce Motion,
// leaving and coming back, and the receipt's texts as the choices and the sign-in change.
#include "onboarding/OBTokens.h"
#include "onboarding/steps/OnboardingStepSetup.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testing_support;

namespace {

OnboardingStepSetup* setupStep(const OnboardingWindow& w)
{
    return qobject_cast<OnboardingStepSetup*>(w.view->currentStepView());
}

QString textOf(const QWidget& view, const QString& name)
{
    const auto* text = view.findChild<kit::TextView*>(name);
    return text != nullptr ? text->text() : QStringLiteral("<none>");
}

} // namespace

TEST(SetupStep, TheShowTicksTheLinesThenArmsWithOneSoundThenShowsTheReceipt)
{
    OnboardingWindow w(OnboardingFlow::kSetupStep);
    OnboardingStepSetup* setup = setupStep(w);
    ASSERT_NE(setup, nullptr);
    const auto* card = w.find<StepCard>("setup.card");
    struct Beat
    {
        double at;
        SetupReceiptPhase phase;
        int revealed;
        bool flare;
        int sounds;
        const char* face;
        const char* picture; // of the stage, with the card's glow above it
    };
    const Beat beats[] = {
        {0.47, SetupReceiptPhase::Compiling, 0, false, 0, "SetupCompilingCard", nullptr},
        {0.49, SetupReceiptPhase::Compiling, 1, false, 0, "SetupCompilingCard", nullptr},
        {0.97, SetupReceiptPhase::Compiling, 2, false, 0, "SetupCompilingCard", nullptr},
        {1.2, SetupReceiptPhase::Compiling, 2, false, 0, "SetupCompilingCard", "compiling"},
        {1.45, SetupReceiptPhase::Compiling, 3, false, 0, "SetupCompilingCard", nullptr},
        {1.93, SetupReceiptPhase::Compiling, 3, false, 0, "SetupCompilingCard", nullptr},
        {1.95, SetupReceiptPhase::Success, 3, true, 1, "SetupSuccessCard", nullptr},
        {2.2, SetupReceiptPhase::Success, 3, true, 1, "SetupSuccessCard", "success"},
        {2.83, SetupReceiptPhase::Success, 3, true, 1, "SetupSuccessCard", nullptr},
        {2.85, SetupReceiptPhase::Success, 3, false, 1, "SetupSuccessCard", nullptr},
        {3.63, SetupReceiptPhase::Success, 3, false, 1, "SetupSuccessCard", nullptr},
        {3.65, SetupReceiptPhase::Ready, 3, false, 1, "SetupReceipt", nullptr},
        {10.0, SetupReceiptPhase::Ready, 3, false, 1, "SetupReceipt", "receipt"},
    };
    double now = 0;
    QImage picture;
    for (const Beat& beat : beats) {
        w.env.advance(beat.at - now);
        now = beat.at;
        EXPECT_EQ(setup->phase(), beat.phase) << beat.at;
        EXPECT_EQ(setup->revealedCount(), beat.revealed) << beat.at;
        EXPECT_EQ(setup->isFlared(), beat.flare) << beat.at;
        EXPECT_EQ(w.successPlays(), beat.sounds) << beat.at;
        EXPECT_EQ(setup->currentCard()->objectName(), beat.face) << beat.at;
        if (beat.at == 2.83) {
            EXPECT_NEAR(card->shadow().radius, 34, 0.01) << "the glow flared";
            EXPECT_NEAR(card->shadow().color.alphaF(), 0.55, 0.01);
        }
        if (beat.picture != nullptr) {
            picture = w.picture(QStringLiteral("onboarding-setup-") + beat.picture);
            const QColor glow = colorAt(picture, w.inWindow(*card, QPointF(card->width() / 2.0, -6)));
            EXPECT_GT(glow.red(), OBTokens::canvas().red() + 20) << beat.picture;
            EXPECT_GT(glow.red(), glow.blue() + 20) << beat.picture;
        }
    }
    EXPECT_NEAR(card->shadow().radius, 20, 0.01) << "and eased back";
    EXPECT_NEAR(card->shadow().color.alphaF(), 0.25, 0.01);
    EXPECT_TRUE(w.find("setup.save")->isVisible());
    EXPECT_TRUE(flameLike(colorAt(picture, w.inWindow("setup.save", QPointF(30, 22))))) << "the call to save";
}

TEST(SetupStep, ATickedLineBrightensOverAThirdOfASecond)
{
    OnboardingWindow w(OnboardingFlow::kSetupStep);
    auto* compiling = qobject_cast<SetupCompilingCard*>(setupStep(w)->currentCard());
    ASSERT_NE(compiling, nullptr);
    w.env.advance(0.48 + 0.1);
    EXPECT_GT(compiling->lineOpacity(0), 0.3);
    EXPECT_LT(compiling->lineOpacity(0), 1);
    EXPECT_EQ(compiling->lineOpacity(1), 0.3);
    w.env.advance(0.3);
    EXPECT_EQ(compiling->lineOpacity(0), 1);
}

TEST(SetupStep, LeavingCancelsTheRestAndComingBackStartsOverWithoutAStraySound)
{
    OnboardingWindow w(OnboardingFlow::kSetupStep);
    w.env.advance(1.0);
    ASSERT_EQ(setupStep(w)->revealedCount(), 2);
    w.click("onboardingBack");
    ASSERT_EQ(w.step(), OnboardingFlow::kHotkeyStep);
    w.env.advance(5);
    EXPECT_EQ(w.successPlays(), 0) << "the first run's beats never fire";

    w.flow().setShortcutTriggerCount(1);
    w.click("onboardingContinue");
    ASSERT_EQ(w.step(), OnboardingFlow::kSetupStep);
    OnboardingStepSetup* again = setupStep(w);
    EXPECT_EQ(again->phase(), SetupReceiptPhase::Compiling);
    EXPECT_EQ(again->revealedCount(), 0);
    w.env.advance(2.0);
    EXPECT_EQ(again->phase(), SetupReceiptPhase::Success);
    EXPECT_EQ(w.successPlays(), 1);
    w.env.advance(5);
    EXPECT_EQ(again->phase(), SetupReceiptPhase::Ready);
    EXPECT_EQ(w.successPlays(), 1);
}

TEST(SetupStep, TheReceiptReadsTheChoices)
{
    struct Case
    {
        QString persona;
        QSet<HideCategory> selected;
        double transparency;
        QString goal;
        QString hidden;
        QString percent;
    };
    const Case cases[] = {
        {"", {}, 100, "Protect Client Confidentiality", "Hotkey only", "100%"},
        {"student", {HideCategory::Files}, 72.5, "Prevent Accidental Screen Sharing", "1 window", "73%"},
        {"remote",
         {HideCategory::Files, HideCategory::Finance, HideCategory::Personal},
         72.4,
         "Maintain Deep Work & Privacy",
         "3 windows",
         "72%"},
        {"nobody",
         {HideCategory::Files, HideCategory::WorkChat},
         std::nan(""),
         "Protect Client Confidentiality",
         "2 windows",
         "100%"},
    };
    for (const Case& c : cases) {
        OnboardingWindow w(OnboardingFlow::kSetupStep, OnboardingWindow::kReduceMotion);
        OnboardingFlow& flow = w.flow();
        flow.setPersona(c.persona);
        flow.setSelected(c.selected);
        flow.setTransparency(c.transparency);
        const QWidget& step = *w.view->currentStepView();
        EXPECT_EQ(textOf(step, "receipt.persona"), c.goal) << c.persona.toStdString();
        EXPECT_EQ(textOf(step, "receipt.hiddenWindows"), c.hidden) << c.persona.toStdString();
        EXPECT_EQ(textOf(step, "receipt.transparency"), c.percent) << c.persona.toStdString();
    }
}

TEST(SetupStep, UnderReduceMotionTheReceiptShowsAtOnceInSilenceAndSigningInSwapsItsFooter)
{
    OnboardingWindow w(OnboardingFlow::kSetupStep, OnboardingWindow::kReduceMotion);
    OnboardingStepSetup* setup = setupStep(w);
    EXPECT_EQ(setup->phase(), SetupReceiptPhase::Ready);
    EXPECT_EQ(setup->currentCard()->objectName(), "SetupReceipt");
    w.env.advance(10);
    EXPECT_EQ(setup->phase(), SetupReceiptPhase::Ready);
    EXPECT_EQ(setup->revealedCount(), 0) << "no line was ever ticked";
    EXPECT_FALSE(setup->isFlared());
    EXPECT_EQ(w.successPlays(), 0);

    const QWidget& step = *w.view->currentStepView();
    EXPECT_EQ(textOf(step, "receipt.status"), "Not saved to your account yet");
    EXPECT_TRUE(w.find("setup.save")->isVisible());
    EXPECT_FALSE(w.find("setup.continue")->isVisible());

    w.services->reportSignIn(true);
    EXPECT_EQ(textOf(step, "receipt.status"), "Saved to your account");
    EXPECT_FALSE(w.find("setup.save")->isVisible());
    EXPECT_TRUE(w.find("setup.continue")->isVisible());
    EXPECT_TRUE(w.find("onboardingSignOut")->isVisible());
    w.services->reportSignIn(false);
    EXPECT_TRUE(w.find("setup.save")->isVisible() && !w.find("setup.continue")->isVisible()) << "and back";
    w.services->reportSignIn(true);

    // Signed in, Continue hides the chosen apps that run and moves on without a sign-in.
    w.services->running = {QStringLiteral("com.tinyspeck.slackmacgap")};
    w.click("setup.continue");
    EXPECT_EQ(w.step(), OnboardingFlow::kPermissionsStep);
    EXPECT_FALSE(w.services->calls.contains("signIn"));
    EXPECT_EQ(w.services->hidden, QList<QSet<QString>>{{QStringLiteral("com.tinyspeck.slackmacgap")}});
}
