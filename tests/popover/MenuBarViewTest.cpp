#include "popover/MenuBarView.h"

#include "capture/VirtualDisplayManager.h"
#include "pip/PiPController.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "popover/PopoverNavigation.h"
#include "popover/SharingGuideView.h"
#include "popover/UpdaterManagerInterface.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/ViewEffect.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

// The popover's root over a started state object, as the shell hosts it.
class RootTest : public PopoverTest
{
protected:
    MenuBarView& open(bool signedIn)
    {
        if (!manager->isStarted()) {
            start(signedIn);
        }
        manager->setIsAuthenticated(signedIn);
        view = std::make_unique<MenuBarView>(pip);
        view->setWindowManager(*manager);
        view->setUpdaterManager(updater);
        view->show();
        advance();
        return *view;
    }
    PopoverNavigation& navigation() const { return view->navigation(); }
    // Shown within the popover (not hidden, and every ancestor shown).
    bool showing(const QWidget* widget) const { return widget != nullptr && widget->isVisibleTo(view.get()); }

    PiPController pip{t.services()};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> view;
};

} // namespace

TEST_F(RootTest, SignedOutShowsTheSignInPanelWhoseStatusFollowsTheSession)
{
    MenuBarView& root = open(false);
    auto* button = child<kit::PillButton>(root, "signInButton");
    auto* dot = child<kit::PulseDot>(root, "signInStatusDot");
    auto* status = child<kit::TextView>(root, "signInStatusText");
    ASSERT_TRUE(button && dot && status);
    EXPECT_EQ(root.currentPage(), root.mainFrame());
    EXPECT_TRUE(showing(root.signInPanel()));
    EXPECT_FALSE(showing(root.mainPage()));
    EXPECT_FALSE(showing(child(root, "guideButton")));
    EXPECT_FALSE(showing(child(root, "settingsButton")));
    EXPECT_FALSE(showing(child(root, "signInStatus"))) << "no message, no row";

    struct Case
    {
        QString message;
        bool inProgress;
        QString label;
        QString shown;
    };
    const Case cases[] = {
        {"Sign in required", false, "Sign in with Veilmox", "SIGN IN REQUIRED"},
        {"Waiting for browser sign-in...", true, "Open sign-in again", "WAITING FOR BROWSER SIGN-IN..."},
        {"Sign-in failed. Try again.", false, "Sign in with Veilmox", "SIGN-IN FAILED. TRY AGAIN."},
    };
    for (const Case& c : cases) {
        manager->setAuthStatusMessage(c.message);
        manager->setAuthInProgress(c.inProgress);
        EXPECT_TRUE(showing(child(root, "signInStatus")));
        EXPECT_EQ(status->text(), c.shown);
        EXPECT_EQ(dot->pulses(), c.inProgress);
        EXPECT_EQ(button->text(), c.label);
    }

    // A completed sign-in swaps the panel for the main page and brings the header's buttons.
    manager->setIsAuthenticated(true);
    EXPECT_TRUE(showing(root.mainPage()));
    EXPECT_FALSE(showing(root.signInPanel()));
    EXPECT_TRUE(showing(child(root, "guideButton")));
    EXPECT_TRUE(showing(child(root, "settingsButton")));
}

TEST_F(RootTest, NavigationKeepsSettingsOverAutoHideAndTheGuideAcrossPagesAndSignOut)
{
    MenuBarView& root = open(true);
    PopoverNavigation& nav = navigation();
    const auto page = [&] {
        advance();
        return root.currentPage();
    };
    click(*child(root, "settingsButton"));
    EXPECT_EQ(page(), root.settingsPage());
    nav.openAutoHide();
    EXPECT_EQ(page(), root.settingsPage()) << "settings win over auto-hide";
    nav.closeSettings();
    EXPECT_EQ(page(), root.autoHidePage());
    nav.closeAutoHide();
    EXPECT_EQ(page(), root.mainFrame());

    // The guide stays open while another page is shown and is there again on return.
    click(*child(root, "guideButton"));
    nav.openSettings();
    EXPECT_EQ(page(), root.settingsPage());
    EXPECT_TRUE(nav.showHelpGuide());

    // Signing out on the settings page keeps it; back on the main frame the sign-in panel shows,
    // still under the guide, with no guide button to close it.
    manager->setIsAuthenticated(false);
    EXPECT_EQ(page(), root.settingsPage());
    nav.closeSettings();
    EXPECT_EQ(page(), root.mainFrame());
    EXPECT_TRUE(showing(root.signInPanel()));
    EXPECT_TRUE(showing(root.guideCard()));
    EXPECT_TRUE(showing(root.guideScrim()));
    EXPECT_FALSE(showing(child(root, "guideButton")));
    click(*root.guideScrim());
    advance();
    EXPECT_FALSE(showing(root.guideCard()));

    // A view made again for the same popover would start closed; this one kept its state.
    EXPECT_FALSE(nav.showingSettings());
}

TEST_F(RootTest, EachControlOfTheRootReachesItsOneOperation)
{
    struct Case
    {
        const char* control;
        bool signedIn;
        bool guideOpen;
        // What the click must have done, and nothing else.
        bool guideAfter;
        bool settingsAfter;
        int signInStarts;
        int terminations;
    };
    const Case cases[] = {
        {"guideButton", true, false, true, false, 0, 0},
        {"guideButton", true, true, false, false, 0, 0},
        {"settingsButton", true, false, false, true, 0, 0},
        {"settingsButton", true, true, true, true, 0, 0},
        {"signInButton", false, false, false, false, 1, 0},
        {"quitButton", false, false, false, false, 0, 1},
        {"guideScrim", true, true, false, false, 0, 0},
        {"guideCloseButton", true, true, false, false, 0, 0},
        {"guideGotItButton", false, true, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        MenuBarView& root = open(c.signedIn);
        if (c.guideOpen) {
            navigation().toggleHelpGuide();
            advance();
        }
        session.calls.clear();
        const int terminationsBefore = t.desktop.terminateRequests();
        QWidget* control = child(root, c.control);
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(showing(control));
        click(*control);
        advance();
        EXPECT_EQ(navigation().showHelpGuide(), c.guideAfter);
        EXPECT_EQ(navigation().showingSettings(), c.settingsAfter);
        EXPECT_FALSE(navigation().showingAutoHide());
        EXPECT_EQ(session.calls.count("startBrowserSignIn"), c.signInStarts);
        EXPECT_EQ(session.calls.size(), c.signInStarts);
        EXPECT_EQ(t.desktop.terminateRequests() - terminationsBefore, c.terminations);
        EXPECT_EQ(showing(root.guideCard()), c.guideAfter && !c.settingsAfter);
    }
}

TEST_F(RootTest, RoutedOperationsStoreAndHandOnWhatTheirSwitchesAsk)
{
    const auto [pid, window] =
        t.launchAppWithWindow(QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("Slack"));
    Q_UNUSED(pid);
    Q_UNUSED(window);
    WindowManager& state = start(true);
    state.startVirtualDisplay();
    ASSERT_NE(state.virtualDisplayManager(), nullptr);
    const auto stored = [&](const QString& key) {
        return t.defaults.object(key);
    };
    struct Case
    {
        const char* name;
        std::function<void()> action;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"notification banners off",
         [&] { MenuBarView::setHideNotifications(state, false); },
         [&] {
             EXPECT_FALSE(state.hideNotificationsOnShare());
             EXPECT_EQ(stored(WindowManager::hideNotificationsKey), QVariant(false));
             EXPECT_FALSE(state.virtualDisplayManager()->hideNotifications);
         }},
        {"auto-hide on during a share",
         [&] {
             state.toggleAutoHide(true, QStringLiteral("com.tinyspeck.slackmacgap"));
             state.setDetectedShare(
                 ScreenShareDetector::Source{QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us")});
             MenuBarView::setAutoHideEnabled(state, true);
         },
         [&] {
             EXPECT_TRUE(state.autoHideEnabled());
             EXPECT_EQ(stored(WindowManager::autoHideEnabledKey), QVariant(true));
             EXPECT_TRUE(state.autoHideActive());
             EXPECT_TRUE(state.hiddenBundleIDs().contains(QStringLiteral("com.tinyspeck.slackmacgap")));
         }},
        {"focus stage flips whatever is asked",
         [&] { MenuBarView::setFocusStage(state, true); },
         [&] {
             EXPECT_FALSE(state.focusStageOnVirtualDisplay());
         }},
        {"display choice",
         [&] { MenuBarView::selectDisplay(state, t.mainDisplay); },
         [&] {
             EXPECT_EQ(state.sharedDisplayID(), std::optional<quint32>(t.mainDisplay));
         }},
        {"panic mode",
         [&] { MenuBarView::setPanicMode(state, WindowManager::PanicMode::Cover); },
         [&] {
             EXPECT_EQ(stored(WindowManager::panicModeKey), QVariant(QStringLiteral("cover")));
         }},
        {"panic shortcut taken by the global one",
         [&] {
             EXPECT_FALSE(
                 MenuBarView::savePanicHotKey(state, HotKeyCombo{4, 0x300, QStringLiteral("\u21E7\u2318H")}));
         },
         [&] {
             EXPECT_EQ(state.panicShortcut(), HotKeyCombo::defaultPanicShortcut());
         }},
        {"picture-in-picture shown by the user",
         [&] {
             pip.setOpenedBySharing(true);
             MenuBarView::setPiPShown(pip, true);
         },
         [&] {
             EXPECT_TRUE(pip.isVisible());
             EXPECT_FALSE(pip.openedBySharing());
         }},
        {"picture-in-picture hidden by the user",
         [&] { MenuBarView::setPiPShown(pip, false); },
         [&] {
             EXPECT_FALSE(pip.isVisible());
             EXPECT_EQ(stored(PiPController::visibleKey), QVariant(false));
         }},
        {"open when sharing starts off",
         [&] { MenuBarView::setPiPAutoShow(pip, false); },
         [&] {
             EXPECT_FALSE(pip.autoShowOnShare());
             EXPECT_EQ(stored(PiPController::autoShowKey), QVariant(false));
         }},
        {"pop out",
         [&] {
             shell.popoverShown = true;
             pip.setOpenedBySharing(true);
             MenuBarView::popOutPreview(state, pip);
         },
         [&] {
             EXPECT_TRUE(pip.isVisible());
             EXPECT_FALSE(pip.openedBySharing());
             EXPECT_EQ(shell.popoverCloses, 1);
         }},
        {"check for updates",
         [&] { MenuBarView::checkForUpdates(updater); },
         [&] {
             EXPECT_EQ(updater.checks, 1);
         }},
        {"quit",
         [&] { MenuBarView::quit(); },
         [&] {
             EXPECT_EQ(t.desktop.terminateRequests(), 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.action();
        advance();
        c.check();
    }
}

TEST_F(RootTest, PagesSlideAndTheGuideDropsInUnlessReduceMotionMakesThemFade)
{
    for (const bool reduceMotion : {false, true}) {
        SCOPED_TRACE(reduceMotion ? "reduce motion" : "motion");
        t.accessibility.setReduceMotion(reduceMotion);
        MenuBarView& root = open(true);
        const auto pose = [](const QWidget* w) {
            const kit::ViewEffect* effect = kit::ViewEffect::of(w);
            return effect != nullptr ? effect->pose() : kit::ViewPose();
        };

        click(*child(root, "settingsButton"));
        advance(0.05);
        const kit::ViewPose entering = pose(root.settingsPage());
        const kit::ViewPose leaving = pose(root.mainFrame());
        if (reduceMotion) {
            EXPECT_EQ(entering.offset, QPointF());
            EXPECT_GT(entering.opacity, 0.0);
            EXPECT_LT(entering.opacity, 1.0);
            EXPECT_EQ(leaving.offset, QPointF());
        } else {
            EXPECT_GT(entering.offset.x(), 0) << "from the trailing edge";
            EXPECT_DOUBLE_EQ(entering.opacity, 1.0);
            EXPECT_LT(leaving.offset.x(), 0) << "out by the leading edge";
        }
        // The short ease is over after 0.15 s; the spring is still moving.
        advance(0.12);
        EXPECT_EQ(pose(root.settingsPage()).isIdentity(), reduceMotion);
        advance(1);
        navigation().closeSettings();
        advance(1);

        click(*child(root, "guideButton"));
        advance(0.05);
        const kit::ViewPose card = pose(root.guideCard());
        EXPECT_EQ(card.offset.y() < 0, !reduceMotion) << "drops from the top";
        EXPECT_EQ(card.offset.x(), 0);
        EXPECT_LT(pose(root.guideScrim()).opacity, 1.0);
        advance(1);
        navigation().dismissHelpGuide();
        advance(1);
    }
}

TEST_F(RootTest, TheGuideShowsItsStepsAndTipsWithBoldRunsWholeAndBrighterWithIncreaseContrast)
{
    MenuBarView& root = open(true);
    navigation().toggleHelpGuide();
    advance();
    auto* guide = child<SharingGuideView>(root, "sharingGuide");
    ASSERT_NE(guide, nullptr);
    const auto bold = [](const kit::TextView* text) {
        QStringList runs;
        for (const kit::TextRun& run : text->runs()) {
            if (run.emphasized) {
                runs << run.text;
            }
        }
        return runs;
    };
    const QList<QStringList> stepBold = {{"Share Screen"}, {"Entire Screen"}, {"Veilmox"}};
    const QList<QStringList> tipBold = {
        {"\u21E7 \u2318 H"}, {"N WINDOWS"}, {"%"}, {"purple recording icon"}, {}};
    ASSERT_EQ(guide->stepTexts().size(), 3);
    ASSERT_EQ(guide->tipTexts().size(), 5);
    QList<kit::TextView*> texts = guide->stepTexts() + guide->tipTexts();
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bold(texts[i]), i < 3 ? stepBold[i] : tipBold[i - 3]);
        EXPECT_FALSE(texts[i]->text().contains("**"));
        // Every row wraps inside the card and is given the height of all its lines.
        const kit::TextBlock block = texts[i]->layoutAt(texts[i]->width());
        EXPECT_FALSE(block.isTruncated());
        EXPECT_GE(texts[i]->height(), static_cast<int>(block.size().height()));
    }
    EXPECT_LE(root.guideCard()->geometry().bottom(), root.guideCard()->parentWidget()->height())
        << "the card fits below the header";

    // Muted steps brighten with Increase Contrast; the highlighted third keeps white.
    EXPECT_TRUE(near(texts[0]->look().color, kit::white(0.55), 1));
    t.accessibility.setIncreaseContrast(true);
    EXPECT_TRUE(near(texts[0]->look().color, kit::white(0.9), 1));
    EXPECT_TRUE(near(texts[2]->look().color, Qt::white, 1));
    EXPECT_TRUE(near(texts[3]->look().color, kit::white(0.9), 1));
}
