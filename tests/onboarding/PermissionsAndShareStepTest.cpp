// The permissions step following the state object's permission as it changes, and reaching its
// operations; the share step's finishing button; the two mock pictures' marks.
#include "onboarding/MockPicture.h"
#include "onboarding/OnboardingServices.h"
#include "onboarding/steps/OnboardingStepPermissions.h"
#include "onboarding/steps/ScreenRecordingSettingsMock.h"
#include "onboarding/steps/SharePickerMock.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/onboarding/StepTestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// The onboarding window over the real state object on the simulated system, opened on the
// permissions step while the system withholds the permission.
struct PermissionsWindow
{
    PermissionsWindow()
    {
        env.t.desktop.setScreenRecordingPermission(false);
        OnboardingDraft draft;
        draft.step = OnboardingFlow::kPermissionsStep;
        draft.save(env.t.defaults);
        view = std::make_unique<OnboardingView>(
            std::make_unique<SystemOnboardingServices>(manager, nullptr, env.t.scheduler, env.t.defaults),
            [] {});
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
    }

    bool shows(const char* name) const
    {
        const QWidget* widget = view->findChild<QWidget*>(name);
        return widget != nullptr && widget->isVisible();
    }
    void click(const char* name) const
    {
        QWidget* control = view->findChild<QWidget*>(name);
        ASSERT_TRUE(control != nullptr && control->isVisible()) << name;
        press(*control, QPointF(control->rect().center()));
        release(*control, QPointF(control->rect().center()));
    }
    // Lets the state object's probes come back.
    void settle() { env.advance(1); }
    OnboardingStepPermissions* step() const
    {
        return qobject_cast<OnboardingStepPermissions*>(view->currentStepView());
    }
    QString status() const { return view->findChild<kit::TextView*>("permissions.status")->text(); }

    KitEnvironment env;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    WindowManager manager{env.t.services(), &registry};
    std::unique_ptr<OnboardingView> view;
};

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
    PermissionsWindow w;
    w.settle();
    ASSERT_FALSE(w.manager.hasScreenRecordingPermission());
    const auto waiting = [&w](const char* when) {
        for (const char* name :
             {"permissions.waiting", "permissions.grant", "permissions.recheck", "permissions.skip"}) {
            EXPECT_TRUE(w.shows(name)) << when << " " << name;
        }
        for (const char* name : {"permissions.granted", "permissions.continue"}) {
            EXPECT_FALSE(w.shows(name)) << when << " " << name;
        }
        EXPECT_EQ(w.status(), "WAITING FOR YOU") << when;
        EXPECT_EQ(w.step()->settingsGranted(), 0) << when;
    };
    waiting("at first");

    // "Grant permission" opens the pane; the user switches Veilmox on there, and the state
    // object's probe half a second later brings the step round by itself.
    w.click("permissions.grant");
    EXPECT_EQ(w.env.t.desktop.openedURLs(), QList<QUrl>{QUrl(WindowManager::screenRecordingPaneURL)});
    w.env.t.desktop.setScreenRecordingPermission(true);
    w.env.advance(0.6);
    ASSERT_TRUE(w.manager.hasScreenRecordingPermission());
    for (const char* name : {"permissions.granted", "permissions.continue"}) {
        EXPECT_TRUE(w.shows(name)) << name;
    }
    for (const char* name :
         {"permissions.waiting", "permissions.grant", "permissions.recheck", "permissions.skip"}) {
        EXPECT_FALSE(w.shows(name)) << name;
    }
    EXPECT_EQ(w.status(), "SWITCHED ON");
    const double sliding = w.step()->settingsGranted();
    EXPECT_GT(sliding, 0) << "the pane's switch slides on";
    EXPECT_LT(sliding, 1);
    w.env.advance(1);
    EXPECT_EQ(w.step()->settingsGranted(), 1);

    // Taken away again, the step holds no memory of the grant; "Recheck" asks again.
    w.env.t.desktop.setScreenRecordingPermission(false);
    w.manager.refreshScreenRecordingPermission();
    w.settle();
    waiting("revoked");
    w.env.t.desktop.setScreenRecordingPermission(true);
    w.click("permissions.recheck");
    w.settle();
    EXPECT_TRUE(w.shows("permissions.continue"));

    w.click("permissions.continue");
    EXPECT_EQ(w.view->flow().step(), OnboardingFlow::kShareStep);
}

TEST(PermissionsStep, TheSwitchSlidesWithASpringOrTheShortEaseUnderReduceMotion)
{
    for (const bool reduceMotion : {false, true}) {
        OnboardingWindow w(OnboardingFlow::kPermissionsStep, false, reduceMotion);
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
