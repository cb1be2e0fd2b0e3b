#include "platform/Layer.h"
#include "platform/Popover.h"
#include "platform/StatusBar.h"
#include "platform/Updates.h"
#include "platform/Window.h"
#include "popover/MenuBarView.h"
#include "shell/UpdaterManager.h"
#include "shell/VeilmoxApp.h"
#include "shell/kit/Tooltips.h"
#include "tests/shell/app/ShellFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kAllVisible = QStringLiteral("Veilmox \u2014 All apps visible");

// "type:step" of the onboarding events the analytics keep while the user is signed out.
QStringList bufferedEvents(ShellFixture& f)
{
    f.scheduler.runPending();
    QStringList events;
    for (const QVariant& entry : f.env.t.defaults.object(OnboardingAnalytics::bufferKey).toList()) {
        const QJsonObject event = QJsonDocument::fromJson(entry.toByteArray()).object();
        events << QStringLiteral("%1:%2")
                      .arg(event.value("event_type").toString())
                      .arg(event.value("step").toInt());
    }
    return events;
}

} // namespace

TEST(AppDelegateLaunch, MakesEverythingInOrderAndInstallsTheShellBeforeTheStateObjectStarts)
{
    ShellFixture f;
    f.make();
    EXPECT_EQ(AppDelegate::shared(), f.app.get());
    f.app->updateStatusIcon(3); // before the launch: nothing to draw on
    f.app->checkForUpdates();   // nor a controller to ask
    EXPECT_EQ(f.env.t.updates.checks(), 0);
    // What exists when the state object is asked for: the updater, not the status item or popover.
    std::tuple<bool, bool, bool> madeBefore;
    f.whenStateObjectIsTaken = [&] {
        madeBefore = {f.app->updaterController() != nullptr,
                      f.app->statusItem() != nullptr,
                      f.app->popover() != nullptr};
    };
    f.launch();
    EXPECT_EQ(f.made, (QStringList{"fonts", "pip", "windowManager", "hud", "pip"}));
    EXPECT_EQ(madeBefore, std::tuple(true, false, false));

    ASSERT_TRUE(f.manager);
    EXPECT_TRUE(f.manager->isStarted());
    EXPECT_EQ(f.manager->appDelegate(), f.app.get());
    EXPECT_EQ(f.manager->hudPresenter(), f.hud.get());
    EXPECT_EQ(f.desktop.activationPolicy(), platform::ActivationPolicy::Accessory);
    EXPECT_EQ(f.env.t.defaults.object(QStringLiteral("AppleFontSmoothing")), QVariant(qint64{2}));
    EXPECT_FALSE(f.env.t.defaults.dictionaryRepresentation().contains(QStringLiteral("AppleFontSmoothing")))
        << "registered, never stored";
    EXPECT_EQ(std::pair(f.app->updaterController()->updaterStarted(), f.env.t.updates.controllersMade()),
              std::pair(true, 1));

    const platform::Popover& popover = *f.app->popover();
    EXPECT_EQ(
        std::tuple(popover.contentSize(), popover.behavior(), popover.appearance(), popover.isShown()),
        std::tuple(
            QSizeF(350, 680), platform::PopoverBehavior::Transient, platform::Appearance::DarkAqua, false));
    const MenuBarView& root = *f.app->menuBarView();
    EXPECT_EQ(std::tuple(root.size(), root.windowManager(), &root.pipController()),
              std::tuple(QSize(350, 680), f.manager.get(), f.pip.get()));

    const platform::StatusBarButton& button = *f.app->statusItem()->button();
    EXPECT_EQ(std::tuple(button.toolTip(), button.image().isTemplate, button.image().size),
              std::tuple(kAllVisible, true, QSizeF(16, 16)));
}

TEST(AppDelegateLaunch, OpensTheOnboardingAndThePictureInPicturePanelAsTheSettingsSay)
{
    for (const bool earlier : {false, true}) {
        // Onboarding done and the panel open last time, or neither.
        ShellFixture f;
        f.store(AppDelegate::onboardingCompletedKey, earlier);
        f.store(PiPController::visibleKey, earlier);
        f.makePip().setOpenedBySharing(true);
        f.launch();
        PiPController& pip = *f.pip;
        platform::Window* window = f.app->onboardingWindow();
        // The panel shown by the setting is not one a share opened.
        EXPECT_EQ(pip.openedBySharing(), !earlier);
        if (earlier) {
            EXPECT_EQ(window, nullptr);
            EXPECT_TRUE(f.env.t.defaults.boolForKey(PiPController::visibleKey));
            ASSERT_NE(pip.panel(), nullptr);
            f.scheduler.advance(PiPController::kFadeDuration + 0.1);
            EXPECT_EQ(std::tuple(pip.panel()->isVisible(),
                                 pip.panel()->level(),
                                 pip.panel()->sharingType(),
                                 pip.panel()->alphaValue()),
                      std::tuple(true, 1001, platform::WindowSharingType::None, 1.0));
            continue;
        }
        EXPECT_FALSE(pip.isVisible() || pip.panel());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(std::tuple(window->isVisible(),
                             window->isKeyWindow(),
                             window->level(),
                             window->title(),
                             window->titleVisibility(),
                             window->titlebarAppearsTransparent(),
                             window->styleMask()),
                  std::tuple(true,
                             true,
                             platform::kFloatingWindowLevel,
                             QStringLiteral("Welcome to Veilmox"),
                             platform::WindowTitleVisibility::Hidden,
                             true,
                             0x8003U));
        // Centred on the main display, and the application comes forward.
        EXPECT_EQ(window->frame(),
                  QRectF(QPointF(1512.0 / 2 - 540, window->frame().top()), QSizeF(1080, 720)));
        EXPECT_TRUE(f.desktop.isActive());
    }
}

TEST(AppDelegateLaunch, ThePopoverAndTheOnboardingWindowShowTheKitsTooltips)
{
    ShellFixture f;
    f.launch();
    ASSERT_NE(f.app->onboardingWindow(), nullptr);
    for (QWidget* content :
         {static_cast<QWidget*>(f.app->menuBarView()), f.app->onboardingWindow()->contentView()}) {
        auto* control = new QWidget(content);
        control->setGeometry(10, 10, 30, 20);
        control->show();
        kit::TooltipSource::attach(control, QStringLiteral("Preferences & Settings"));
        hover(*control, true);
        f.scheduler.advance(0.6);
        const kit::TooltipHost* host = kit::TooltipHost::hostFor(control);
        ASSERT_NE(host, nullptr);
        EXPECT_EQ(host->container(), content);
        ASSERT_NE(host->bubble(), nullptr);
        EXPECT_EQ(host->bubble()->text(), QStringLiteral("Preferences & Settings"));
    }
}

TEST(StatusIcon, TooltipAndBadgeFollowTheCountAndCountNothingWhileSignedOut)
{
    ShellFixture f;
    const QString slack = QStringLiteral("com.tinyspeck.slackmacgap");
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.store(WindowManager::hiddenKey, QVariantList{slack});
    f.desktop.launchApp(slack, QStringLiteral("Slack"));
    f.launch();
    ASSERT_EQ(f.manager->hiddenBundleIDs(), QSet<QString>{slack});
    ASSERT_FALSE(f.manager->isAuthenticated());
    platform::StatusBarButton* button = f.app->statusItem()->button();
    EXPECT_EQ(button->toolTip(), kAllVisible);
    EXPECT_EQ(f.app->badgeDotLayer(), nullptr);

    const std::tuple<int, const char*, bool> cases[] = {
        {0, "Veilmox \u2014 All apps visible", false},
        {1, "Veilmox \u2014 1 app veiled", true},
        {2, "Veilmox \u2014 2 apps veiled", true},
        {-4, "Veilmox \u2014 All apps visible", false},
        {12, "Veilmox \u2014 12 apps veiled", true},
    };
    for (const auto& [count, toolTip, dot] : cases) {
        f.app->updateStatusIcon(count);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(toolTip)) << count;
        EXPECT_EQ(f.app->badgeDotLayer() != nullptr && !f.app->badgeDotLayer()->isHidden(), dot) << count;
    }
    EXPECT_EQ(button->layer()->sublayers().size(), 1U) << "the one dot is reused";
    // Near the top-right corner of the 24-point square button, never nearer the left or top of a small one.
    const platform::Layer& dot = *f.app->badgeDotLayer();
    EXPECT_EQ(std::tuple(dot.frame(), dot.cornerRadius(), dot.backgroundColor(), dot.borderWidth()),
              std::tuple(QRectF(17, 16, 6, 6), 3.0, QColor(0xFF, 0x7A, 0x17), 0.75));
    EXPECT_EQ(AppDelegate::badgeDotOrigin(QRectF(0, 0, 20, 20)), QPointF(14, 14));
}

TEST(Popover, ClickingTheStatusItemWhileItIsOpenClosesItForGood)
{
    ShellFixture f;
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.launch();
    f.click(f.statusButtonCenter());
    ASSERT_TRUE(f.app->isPopoverShown());
    const platform::Window& window = *f.app->popover()->contentWindow();
    EXPECT_EQ(std::tuple(window.level(), window.hidesOnDeactivate(), window.isKeyWindow()),
              std::tuple(AppDelegate::kPopoverLevel, false, true));
    // The click outside the transient popover closes it; the same click must not reopen it.
    f.click(f.statusButtonCenter());
    EXPECT_FALSE(f.app->isPopoverShown());
    f.click(f.statusButtonCenter());
    EXPECT_TRUE(f.app->isPopoverShown()) << "the next click opens it again";
    f.click(QPointF(300, 600));
    EXPECT_FALSE(f.app->isPopoverShown()) << "a click elsewhere closes it";

    f.app->togglePopover();
    f.app->showPopover(); // already shown: nothing changes
    EXPECT_TRUE(f.app->isPopoverShown());
    f.app->togglePopover();
    EXPECT_FALSE(f.app->isPopoverShown());
    f.app->showPopover();
    f.app->closePopover();
    EXPECT_FALSE(f.app->isPopoverShown());
}

TEST(Onboarding, EachShowingIsAFreshFlowThatClosingEndsAndItsWindowIsDeletedOnALaterTurn)
{
    ShellFixture f;
    f.launch();
    platform::Window* first = f.app->onboardingWindow();
    ASSERT_NE(first, nullptr);
    const quint32 number = first->windowNumber();
    // Off screen and back without closing: the same window and flow go on.
    first->orderOut();
    f.app->showOnboarding();
    EXPECT_EQ(f.app->onboardingWindow(), first);
    f.click(ShellFixture::centerOf(*first->closeButton(), *first) - QPointF(20, 0));
    EXPECT_EQ(f.app->onboardingWindow(), nullptr);
    f.scheduler.runPending();
    EXPECT_FALSE(f.desktop.window(number)) << "deleted, not leaked";

    f.app->showOnboarding();
    ASSERT_NE(f.app->onboardingWindow(), nullptr);
    const quint32 second = f.app->onboardingWindow()->windowNumber();
    EXPECT_NE(second, number);
    f.app->windowWillClose(f.app->popover()->contentWindow()); // another window: ignored
    EXPECT_NE(f.app->onboardingWindow(), nullptr);
    EXPECT_EQ(bufferedEvents(f), (QStringList{"step_started:0", "app_closed:0", "step_started:0"}));

    // Resetting closes the popover, forgets the completion and starts over in a brand-new window.
    f.store(AppDelegate::onboardingCompletedKey, true);
    f.app->showPopover();
    f.app->resetOnboarding();
    EXPECT_FALSE(f.app->isPopoverShown());
    EXPECT_FALSE(f.env.t.defaults.hasObject(AppDelegate::onboardingCompletedKey));
    ASSERT_NE(f.app->onboardingWindow(), nullptr);
    EXPECT_NE(f.app->onboardingWindow()->windowNumber(), second);
    EXPECT_TRUE(f.app->onboardingWindow()->isVisible());
    f.scheduler.runPending();
    EXPECT_FALSE(f.desktop.window(second));
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
    // The answer is on screen, in the framework's own alert, and the app goes on meanwhile.
    const platform::Window* alert = f.env.t.updates.alertWindow();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(f.desktop.windowAt(alert->frame().center()), alert->windowNumber());
    EXPECT_EQ(platform::UpdateFrameworkStandIn::alertText(*alert, QStringLiteral("updateAlertMessage")),
              platform::UpdateFrameworkStandIn::kNoUpdateSourceReport);
    EXPECT_EQ(f.env.t.updates.backgroundChecks(), 0) << "the framework checked nothing on its own";
    // The popover's "Check Now" reaches the same framework through the updater manager.
    f.app->updaterManager()->checkForUpdates();
    EXPECT_EQ(f.env.t.updates.checks(), 2);
    EXPECT_EQ(f.app->updaterManager()->versionString(), QStringLiteral("v1.0.0 (1)"));

    const QString short_ = platform::kBundleShortVersionStringKey;
    const QString build = platform::kBundleVersionKey;
    const std::pair<QVariantMap, const char*> cases[] = {
        {{{short_, QStringLiteral("2.3")}}, "v2.3 (1)"},
        {{}, "v1.0.0 (1)"},
        {{{short_, QStringLiteral("1.4.2")}, {build, QStringLiteral("57")}}, "v1.4.2 (57)"},
        {{{short_, 5}, {build, QStringLiteral("9")}}, "v1.0.0 (9)"},
    };
    for (const auto& [info, expected] : cases) {
        EXPECT_EQ(UpdaterManager(platform::Bundle(info)).versionString(), QString::fromLatin1(expected));
    }
}

TEST(VeilmoxAppEntry, KeepsOpenedURLsUntilTheLaunchHasRun)
{
    ShellFixture f;
    {
        VeilmoxApp app(f.environment());
        const QList<QUrl> urls{QUrl(QStringLiteral("veilmox://auth?code=a")),
                               QUrl(QStringLiteral("veilmox://b"))};
        app.openURLs(urls);
        EXPECT_EQ(app.pendingURLs(), urls);
        app.scheduleLaunch();
        EXPECT_FALSE(app.hasFinishedLaunching());
        f.scheduler.runPending();
        EXPECT_TRUE(app.hasFinishedLaunching());
        EXPECT_TRUE(app.pendingURLs().isEmpty()) << "handed to the delegate";
        EXPECT_TRUE(f.manager->isStarted());
        app.openURLs({QUrl(QStringLiteral("veilmox://c"))});
        EXPECT_TRUE(app.pendingURLs().isEmpty());
    }
    EXPECT_EQ(f.manager->appDelegate(), nullptr) << "the delegate takes itself off the state object";
}
