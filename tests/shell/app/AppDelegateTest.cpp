#include "platform/Layer.h"
#include "platform/Popover.h"
#include "platform/StatusBar.h"
#include "platform/Updates.h"
#include "platform/Window.h"
#include "popover/MenuBarView.h"
#include "shell/UpdaterManager.h"
#include "shell/VeilmoxApp.h"
#include "tests/shell/app/ShellFixture.h"

#include <QWidget>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kSlack = QStringLiteral("com.tinyspeck.slackmacgap");

} // namespace

TEST(AppDelegateLaunch, MakesEverythingInOrderAndInstallsTheShellBeforeTheStateObjectStarts)
{
    ShellFixture f;
    f.make();
    EXPECT_EQ(AppDelegate::shared(), f.app.get());
    // What exists when the state object is asked for.
    bool updaterMade = false;
    bool statusItemMade = true;
    bool popoverMade = true;
    f.whenStateObjectIsTaken = [&] {
        updaterMade = f.app->updaterController() != nullptr;
        statusItemMade = f.app->statusItem() != nullptr;
        popoverMade = f.app->popover() != nullptr;
    };
    f.launch();
    EXPECT_EQ(f.made, (QStringList{"fonts", "pip", "windowManager", "hud", "pip"}));
    EXPECT_TRUE(updaterMade);
    EXPECT_FALSE(statusItemMade);
    EXPECT_FALSE(popoverMade);

    ASSERT_TRUE(f.manager);
    EXPECT_TRUE(f.manager->isStarted());
    EXPECT_EQ(f.manager->appDelegate(), f.app.get());
    EXPECT_EQ(f.manager->hudPresenter(), f.hud.get());
    EXPECT_EQ(f.desktop.activationPolicy(), platform::ActivationPolicy::Accessory);
    EXPECT_EQ(f.env.t.defaults.object(QStringLiteral("AppleFontSmoothing")), QVariant(qint64{2}));
    EXPECT_FALSE(f.env.t.defaults.dictionaryRepresentation().contains(QStringLiteral("AppleFontSmoothing")))
        << "registered, never stored";

    ASSERT_NE(f.app->updaterController(), nullptr);
    EXPECT_TRUE(f.app->updaterController()->updaterStarted());
    EXPECT_EQ(f.env.t.updates.controllersMade(), 1);

    ASSERT_NE(f.app->popover(), nullptr);
    EXPECT_EQ(f.app->popover()->contentSize(), QSizeF(350, 680));
    EXPECT_EQ(f.app->popover()->behavior(), platform::PopoverBehavior::Transient);
    EXPECT_EQ(f.app->popover()->appearance(), platform::Appearance::DarkAqua);
    EXPECT_FALSE(f.app->popover()->isShown());
    ASSERT_NE(f.app->menuBarView(), nullptr);
    EXPECT_EQ(f.app->menuBarView()->size(), QSize(350, 680));
    EXPECT_EQ(f.app->menuBarView()->windowManager(), f.manager.get());
    EXPECT_EQ(&f.app->menuBarView()->pipController(), f.pip.get());

    ASSERT_NE(f.app->statusItem(), nullptr);
    ASSERT_NE(f.app->statusItem()->button(), nullptr);
    EXPECT_EQ(f.app->statusItem()->button()->toolTip(), QStringLiteral("Veilmox \u2014 All apps visible"));
    EXPECT_TRUE(f.app->statusItem()->button()->image().isTemplate);
    EXPECT_EQ(f.app->statusItem()->button()->image().size, QSizeF(16, 16));
}

TEST(AppDelegateLaunch, DrawsTheIconOnlyOnceTheStatusItemExists)
{
    ShellFixture f;
    f.make();
    f.app->updateStatusIcon(3); // before the launch: nothing to draw on
    EXPECT_EQ(f.app->statusItem(), nullptr);
    f.app->checkForUpdates(); // without a controller: nothing
    EXPECT_EQ(f.env.t.updates.checks(), 0);
}

TEST(AppDelegateLaunch, OpensTheOnboardingUnlessItWasCompleted)
{
    for (const bool completed : {false, true}) {
        ShellFixture f;
        if (completed) {
            f.store(AppDelegate::onboardingCompletedKey, true);
        }
        f.launch();
        if (completed) {
            EXPECT_EQ(f.app->onboardingWindow(), nullptr);
            continue;
        }
        platform::Window* window = f.app->onboardingWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->isKeyWindow());
        EXPECT_EQ(window->level(), platform::kFloatingWindowLevel);
        EXPECT_EQ(window->title(), QStringLiteral("Welcome to Veilmox"));
        EXPECT_EQ(window->titleVisibility(), platform::WindowTitleVisibility::Hidden);
        EXPECT_TRUE(window->titlebarAppearsTransparent());
        EXPECT_EQ(window->styleMask(), 0x8003U);
        EXPECT_EQ(window->frame().size(), QSizeF(1080, 720));
        EXPECT_DOUBLE_EQ(window->frame().center().x(), 1512.0 / 2) << "centred";
        EXPECT_TRUE(f.desktop.isActive()) << "the application comes forward";
    }
}

TEST(AppDelegateLaunch, ShowsThePictureInPicturePanelWhenItWasOpenLastTime)
{
    for (const bool wasVisible : {false, true}) {
        ShellFixture f;
        f.store(PiPController::visibleKey, wasVisible);
        f.pip = std::make_unique<PiPController>(f.env.t.services());
        f.pip->setOpenedBySharing(true);
        f.launch();
        PiPController& pip = *f.pip;
        if (!wasVisible) {
            EXPECT_TRUE(pip.openedBySharing()) << "untouched";
            EXPECT_FALSE(pip.isVisible());
            EXPECT_EQ(pip.panel(), nullptr);
            continue;
        }
        EXPECT_FALSE(pip.openedBySharing());
        EXPECT_TRUE(f.env.t.defaults.boolForKey(PiPController::visibleKey));
        ASSERT_NE(pip.panel(), nullptr);
        EXPECT_TRUE(pip.panel()->isVisible());
        EXPECT_EQ(pip.panel()->level(), 1001);
        EXPECT_EQ(pip.panel()->sharingType(), platform::WindowSharingType::None);
        f.scheduler.advance(PiPController::kFadeDuration + 0.1);
        EXPECT_DOUBLE_EQ(pip.panel()->alphaValue(), 1.0) << "faded in";
    }
}

TEST(StatusIcon, TooltipAndBadgeFollowTheCount)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    platform::StatusBarButton* button = f.app->statusItem()->button();
    struct Case
    {
        int count;
        const char* toolTip;
        bool dot;
    };
    const Case cases[] = {
        {0, "Veilmox \u2014 All apps visible", false},
        {1, "Veilmox \u2014 1 app veiled", true},
        {2, "Veilmox \u2014 2 apps veiled", true},
        {-4, "Veilmox \u2014 All apps visible", false},
        {12, "Veilmox \u2014 12 apps veiled", true},
    };
    for (const Case& c : cases) {
        f.app->updateStatusIcon(c.count);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(c.toolTip)) << c.count;
        platform::Layer* dot = f.app->badgeDotLayer();
        EXPECT_EQ(dot != nullptr && !dot->isHidden(), c.dot) << c.count;
    }
    ASSERT_NE(button->layer(), nullptr);
    EXPECT_EQ(button->layer()->sublayers().size(), 1U) << "the one dot is reused";
    platform::Layer* dot = f.app->badgeDotLayer();
    EXPECT_EQ(dot->frame(), QRectF(17, 16, 6, 6)) << "on the 24-point square button";
    EXPECT_EQ(dot->cornerRadius(), 3);
    EXPECT_EQ(dot->backgroundColor(), QColor(0xFF, 0x7A, 0x17));
    EXPECT_EQ(dot->borderWidth(), 0.75);
}

TEST(StatusIcon, BadgeDotSitsNearTheTopRightCornerOfAnyButton)
{
    const std::pair<QRectF, QPointF> cases[] = {
        {QRectF(0, 0, 24, 22), QPointF(17, 14)},
        {QRectF(0, 0, 20, 20), QPointF(14, 14)},
        {QRectF(0, 0, 40, 30), QPointF(33, 22)},
    };
    for (const auto& [bounds, origin] : cases) {
        EXPECT_EQ(AppDelegate::badgeDotOrigin(bounds), origin);
    }
}

TEST(StatusIcon, CountsNothingWhileSignedOut)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.store(WindowManager::hiddenKey, QVariantList{kSlack});
    f.desktop.launchApp(kSlack, QStringLiteral("Slack"));
    f.launch();
    ASSERT_EQ(f.manager->hiddenBundleIDs(), QSet<QString>{kSlack});
    ASSERT_FALSE(f.manager->isAuthenticated());
    EXPECT_EQ(f.app->statusItem()->button()->toolTip(), QStringLiteral("Veilmox \u2014 All apps visible"));
    EXPECT_EQ(f.app->badgeDotLayer(), nullptr);
}

TEST(Popover, TheStatusButtonOpensAndClosesIt)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    platform::Popover* popover = f.app->popover();

    f.app->togglePopover();
    ASSERT_TRUE(popover->isShown());
    platform::Window* window = popover->contentWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->level(), AppDelegate::kPopoverLevel);
    EXPECT_FALSE(window->hidesOnDeactivate());
    EXPECT_TRUE(window->isKeyWindow());
    const QRectF button = *f.app->statusItem()->button()->screenFrame();
    EXPECT_EQ(window->frame().top(), button.bottom() + platform::Popover::kArrowGap)
        << "below the status item";
    EXPECT_EQ(window->frame().right(), 1512) << "kept on the screen";

    f.app->showPopover(); // already shown: nothing changes
    EXPECT_TRUE(popover->isShown());
    f.app->togglePopover();
    EXPECT_FALSE(popover->isShown());
    f.app->showPopover();
    EXPECT_TRUE(popover->isShown());
    f.app->closePopover();
    EXPECT_FALSE(f.app->isPopoverShown());
}

TEST(Popover, ClickingTheStatusItemWhileItIsOpenClosesItForGood)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    f.click(f.statusButtonCenter());
    ASSERT_TRUE(f.app->isPopoverShown());
    // The click outside the transient popover closes it; the same click must not reopen it.
    f.click(f.statusButtonCenter());
    EXPECT_FALSE(f.app->isPopoverShown());
    f.click(f.statusButtonCenter());
    EXPECT_TRUE(f.app->isPopoverShown()) << "the next click opens it again";
    f.click(QPointF(300, 600));
    EXPECT_FALSE(f.app->isPopoverShown()) << "a click elsewhere closes it";
}

TEST(Onboarding, ClosingItsWindowForgetsItAndTheNextShowBuildsANewOne)
{
    ShellFixture f;
    f.launch();
    platform::Window* first = f.app->onboardingWindow();
    ASSERT_NE(first, nullptr);
    const quint32 number = first->windowNumber();
    ASSERT_NE(first->closeButton(), nullptr);
    f.click(ShellFixture::centerOf(*first->closeButton(), *first) - QPointF(20, 0));
    EXPECT_EQ(f.app->onboardingWindow(), nullptr);
    f.scheduler.runPending();
    EXPECT_FALSE(f.desktop.window(number)) << "deleted, not leaked";

    f.app->showOnboarding();
    ASSERT_NE(f.app->onboardingWindow(), nullptr);
    EXPECT_NE(f.app->onboardingWindow()->windowNumber(), number);
    f.app->windowWillClose(f.app->popover()->contentWindow()); // another window: ignored
    EXPECT_NE(f.app->onboardingWindow(), nullptr);
}

TEST(Onboarding, CompletingItClosesTheWindowAndOpensThePopover)
{
    ShellFixture f;
    f.launch();
    platform::Window* window = f.app->onboardingWindow();
    ASSERT_NE(window, nullptr);
    auto* finish = window->contentView()->findChild<QWidget*>(QStringLiteral("onboardingComplete"));
    ASSERT_NE(finish, nullptr);
    f.click(ShellFixture::centerOf(*finish, *window));
    EXPECT_NE(f.app->onboardingWindow(), nullptr) << "the view's call returns first";
    f.scheduler.runPending();
    EXPECT_TRUE(f.env.t.defaults.boolForKey(AppDelegate::onboardingCompletedKey));
    EXPECT_EQ(f.app->onboardingWindow(), nullptr);
    ASSERT_TRUE(f.app->isPopoverShown());
    EXPECT_EQ(f.app->popover()->contentWindow()->level(), AppDelegate::kPopoverLevel);
}

TEST(Onboarding, ResettingItClosesThePopoverAndStartsOver)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    f.app->showPopover();
    f.app->resetOnboarding();
    EXPECT_FALSE(f.app->isPopoverShown());
    EXPECT_FALSE(f.env.t.defaults.hasObject(AppDelegate::onboardingCompletedKey));
    platform::Window* first = f.app->onboardingWindow();
    ASSERT_NE(first, nullptr);
    const quint32 number = first->windowNumber();
    f.app->resetOnboarding();
    ASSERT_NE(f.app->onboardingWindow(), nullptr);
    EXPECT_NE(f.app->onboardingWindow()->windowNumber(), number) << "a brand-new window";
    EXPECT_TRUE(f.app->onboardingWindow()->isVisible());
}

TEST(Onboarding, ReturningToTheBrowserLowersTheWindowAndActivatesTheBrowser)
{
    for (const bool active : {true, false}) {
        ShellFixture f;
        f.useBundleWithAccountService();
        const auto safari = f.desktop.launchApp(QStringLiteral("com.apple.Safari"), QStringLiteral("Safari"));
        f.launch();
        if (!active) {
            f.desktop.activateApp(safari);
            f.desktop.activateApp(
                f.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes")));
        }
        f.app->returnFocusToBrowser();
        EXPECT_EQ(f.app->onboardingWindow()->level(), platform::kNormalWindowLevel);
        EXPECT_EQ(f.desktop.frontmostApplication()->processIdentifier() == safari, active);

        f.app->raiseOnboardingWindow();
        EXPECT_EQ(f.app->onboardingWindow()->level(), platform::kFloatingWindowLevel);
        EXPECT_TRUE(f.desktop.isActive());
    }
}

TEST(Updates, ChecksGoToTheFrameworkAndTheVersionComesFromTheBundle)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    f.app->checkForUpdates();
    EXPECT_EQ(f.env.t.updates.checks(), 1);
    EXPECT_EQ(f.env.t.updates.reports().front(), platform::UpdateFrameworkStandIn::kNoUpdateSourceReport);
    EXPECT_EQ(f.app->updaterManager()->versionString(), QStringLiteral("v1.0.0 (1)"));

    struct Case
    {
        QVariantMap info;
        const char* expected;
    };
    const Case cases[] = {
        {{{platform::kBundleShortVersionStringKey, QStringLiteral("2.3")}}, "v2.3 (1)"},
        {{}, "v1.0.0 (1)"},
        {{{platform::kBundleShortVersionStringKey, QStringLiteral("1.4.2")},
          {platform::kBundleVersionKey, QStringLiteral("57")}},
         "v1.4.2 (57)"},
        {{{platform::kBundleShortVersionStringKey, 5}, {platform::kBundleVersionKey, QStringLiteral("9")}},
         "v1.0.0 (9)"},
    };
    for (const Case& c : cases) {
        const platform::Bundle bundle(c.info);
        EXPECT_EQ(UpdaterManager(bundle).versionString(), QString::fromLatin1(c.expected));
    }
}

TEST(VeilmoxAppEntry, KeepsOpenedURLsUntilTheLaunchHasRun)
{
    testing_support::KitEnvironment env;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    WindowManager manager(env.t.services(), &registry);
    PiPController pip(env.t.services());
    HUDOverlayController hud(env.t.services());
    AppDelegate::Environment environment;
    environment.services = env.t.services();
    environment.windowManager = [&]() -> WindowManager& {
        return manager;
    };
    environment.pipController = [&]() -> PiPController& {
        return pip;
    };
    environment.hud = [&]() -> HUDPresenter& {
        return hud;
    };
    {
        VeilmoxApp app(environment);
        const QList<QUrl> urls{QUrl(QStringLiteral("veilmox://auth?code=a")),
                               QUrl(QStringLiteral("veilmox://b"))};
        app.openURLs(urls);
        EXPECT_EQ(app.pendingURLs(), urls);
        app.scheduleLaunch();
        EXPECT_FALSE(app.hasFinishedLaunching());
        env.t.scheduler.runPending();
        EXPECT_TRUE(app.hasFinishedLaunching());
        EXPECT_TRUE(app.pendingURLs().isEmpty()) << "handed to the delegate";
        EXPECT_TRUE(manager.isStarted());
        app.openURLs({QUrl(QStringLiteral("veilmox://c"))});
        EXPECT_TRUE(app.pendingURLs().isEmpty());
    }
    EXPECT_EQ(manager.appDelegate(), nullptr) << "the delegate takes itself off the state object";
    env.t.scheduler.runPending();
}
