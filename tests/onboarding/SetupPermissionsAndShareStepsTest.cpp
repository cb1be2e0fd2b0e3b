// The setup step (its staged show in virtual time, Reduce Motion, leaving and coming back, the
// receipt's texts as the choices and the sign-in change), the permissions step following the
// state object's permission, the share step's finishing button and the two mock pictures' marks,
// with pictures of each step.
#include "onboarding/MockPicture.h"
#include "onboarding/OBTokens.h"
#include "onboarding/steps/OnboardingStepPermissions.h"
#include "onboarding/steps/OnboardingStepSetup.h"
#include "onboarding/steps/ScreenRecordingSettingsMock.h"
#include "onboarding/steps/SharePickerMock.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <QPainter>

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

namespace {

// A mock picture drawn at its ideal size (or `width` wide) with room around it for what
// reaches beyond, and the point of the picture's own origin in the image.
constexpr double kMargin = 30;
QImage draw(const mock::Item& item, std::optional<double> width = std::nullopt)
{
    const QSizeF size = item.sizeThatFits({width, std::nullopt});
    QImage image((size + QSizeF(2 * kMargin, 2 * kMargin)).toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    item.paint(painter, QRectF(QPointF(kMargin, kMargin), size));
    return image;
}
QColor pixel(const QImage& image, double x, double y)
{
    return colorAt(image, QPointF(kMargin + x, kMargin + y));
}

} // namespace

TEST(PermissionsStep, FollowsThePermissionAsTheStateObjectReportsItAndReachesItsOperations)
{
    OnboardingWindow w(OnboardingFlow::kPermissionsStep, OnboardingWindow::kRealState);
    const auto shows = [&w](const char* name) {
        const QWidget* widget = w.find(name);
        return widget != nullptr && widget->isVisible();
    };
    const auto step = [&w] {
        return qobject_cast<OnboardingStepPermissions*>(w.view->currentStepView());
    };
    const auto status = [&w] {
        return w.find<kit::TextView>("permissions.status")->text();
    };
    // Either the waiting panel with its three buttons or the confirmation, never both.
    const auto expectGranted = [&](bool granted, const char* when) {
        for (const char* name :
             {"permissions.waiting", "permissions.grant", "permissions.recheck", "permissions.skip"}) {
            EXPECT_EQ(shows(name), !granted) << when << " " << name;
        }
        for (const char* name : {"permissions.granted", "permissions.continue"}) {
            EXPECT_EQ(shows(name), granted) << when << " " << name;
        }
        EXPECT_EQ(status(), granted ? "SWITCHED ON" : "WAITING FOR YOU") << when;
    };
    w.env.advance(1);
    ASSERT_FALSE(w.manager->hasScreenRecordingPermission());
    expectGranted(false, "at first");
    EXPECT_EQ(step()->settingsGranted(), 0);
    const QImage asked = w.picture(QStringLiteral("onboarding-permissions"));
    EXPECT_TRUE(flameLike(colorAt(asked, w.inWindow("permissions.grant", QPointF(30, 18)))));

    // "Grant permission" opens the pane; the user switches Veilmox on there, and the state
    // object's probe half a second later brings the step round by itself.
    w.click("permissions.grant");
    EXPECT_EQ(w.env.t.desktop.openedURLs(), QList<QUrl>{QUrl(WindowManager::screenRecordingPaneURL)});
    w.env.t.desktop.setScreenRecordingPermission(true);
    w.env.advance(0.6);
    ASSERT_TRUE(w.manager->hasScreenRecordingPermission());
    expectGranted(true, "granted");
    const double sliding = step()->settingsGranted();
    EXPECT_GT(sliding, 0) << "the pane's switch slides on";
    EXPECT_LT(sliding, 1);
    w.env.advance(1);
    EXPECT_EQ(step()->settingsGranted(), 1);
    // The confirmation panel's flame border, where the waiting panel had none.
    const QImage granted = w.picture(QStringLiteral("onboarding-permissions-granted"));
    const QPointF edge = w.inWindow("permissions.granted", QPointF(0, 20));
    EXPECT_GT(colorAt(granted, edge).red(), colorAt(asked, edge).red() + 30);

    // Taken away again, the step holds no memory of the grant; "Recheck" asks again.
    w.env.t.desktop.setScreenRecordingPermission(false);
    w.manager->refreshScreenRecordingPermission();
    w.env.advance(1);
    expectGranted(false, "revoked");
    EXPECT_EQ(step()->settingsGranted(), 0);
    w.env.t.desktop.setScreenRecordingPermission(true);
    w.click("permissions.recheck");
    w.env.advance(1);
    EXPECT_TRUE(shows("permissions.continue"));

    w.click("permissions.continue");
    EXPECT_EQ(w.step(), OnboardingFlow::kShareStep);
}

TEST(PermissionsStep, TheSwitchSlidesWithASpringOrTheShortEaseUnderReduceMotion)
{
    for (const bool reduceMotion : {false, true}) {
        OnboardingWindow w(OnboardingFlow::kPermissionsStep,
                           reduceMotion ? OnboardingWindow::kReduceMotion : 0U);
        auto* step = qobject_cast<OnboardingStepPermissions*>(w.view->currentStepView());
        w.services->reportPermission(true);
        w.env.advance(0.16);
        EXPECT_EQ(step->settingsGranted() == 1, reduceMotion) << reduceMotion;
        w.env.advance(1);
        // The pane as drawn: Veilmox's switch on (blue track beside the knob, which sits at the
        // trailing end), where before it was off.
        const mock::Item& pane = w.find<MockPicture>("permissions.settings")->item();
        const double width = 300;
        const double row = pane.sizeThatFits({width, std::nullopt}).height() - 64;
        const QImage on = draw(pane, width);
        EXPECT_TRUE(near(pixel(on, 256, row), settingsBlue(), 4)) << reduceMotion;
        EXPECT_TRUE(near(pixel(on, 270.5, row), Qt::white, 4)) << reduceMotion;
        const QImage off = draw(ScreenRecordingSettingsMock{0}.item(), width);
        EXPECT_TRUE(near(pixel(off, 259.5, row), Qt::white, 4));
        EXPECT_FALSE(near(pixel(off, 273, row), settingsBlue(), 40));
    }
}

TEST(ShareStep, FinishSetupStaysEnabledAndEndsTheFlowOnce)
{
    OnboardingWindow w(OnboardingFlow::kShareStep);
    w.env.advance(1);
    const QImage steps = w.picture(QStringLiteral("onboarding-share"));
    EXPECT_TRUE(near(colorAt(steps, w.inWindow("share.finish", QPointF(8, 20))), Qt::white, 3))
        << "white pill";
    w.click("share.finish");
    EXPECT_TRUE(w.find("share.finish")->isEnabled());
    w.click("share.finish");
    EXPECT_EQ(w.completions, 1);
    EXPECT_EQ(w.services->sent().count("flow_completed:6"), 1);
}

TEST(ShareStep, ThePickerMarksTheVeilmoxScreenAndOnlyTheRealScreenShowsPrivateWindows)
{
    KitEnvironment env;
    const double w = SharePickerMock::kThumbnailWidth;
    const double h = SharePickerMock::kThumbnailHeight;
    const QColor desktop = kit::rgb(0x0B0C10);

    const QImage veilmox = draw(SharePickerMock::thumbnail(QStringLiteral("Veilmox"), true));
    EXPECT_TRUE(near(pixel(veilmox, 0.2, h / 2), OBTokens::flame(), 30)) << "flame outline";
    const QColor glow = pixel(veilmox, -4, h / 2);
    EXPECT_GT(glow.alpha(), 0) << "and glow";
    EXPECT_GT(glow.red(), glow.blue());
    EXPECT_TRUE(near(pixel(veilmox, 80, 60), desktop, 3)) << "no private window";
    EXPECT_TRUE(near(pixel(veilmox, w - 8 + 7 - 5, 8 - 7), OBTokens::flame(), 4))
        << "badge 2 at the top right";
    EXPECT_TRUE(near(pixel(veilmox, 9 + 7 + 10 * 3 + 3, 10 + 44 - 7 - 3), OBTokens::flame(), 4))
        << "the shared window's last bar";

    const QImage screen = draw(SharePickerMock::thumbnail(QStringLiteral("Screen 1"), false));
    EXPECT_TRUE(near(pixel(screen, 54 + 5 + 4, 30 + 5 + 4), OBTokens::indigo(), 4));
    EXPECT_TRUE(near(pixel(screen, 70 + 5 + 4, 8 + 5 + 4), OBTokens::blue(), 4));
    EXPECT_FALSE(near(pixel(screen, 0.2, h / 2), OBTokens::flame(), 60)) << "a plain outline";
    EXPECT_TRUE(near(pixel(screen, w - 8 + 7 - 5, 8 - 7), desktop, 3)) << "no badge";
}
