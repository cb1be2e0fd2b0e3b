#include "capture/VirtualDisplayManager.h"
#include "popover/SharingGuideView.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/ViewEffect.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

TEST_F(RootTest, SignedOutShowsTheSignInPanelWhoseStatusFollowsTheSession)
{
    MenuBarView& root = open(false);
    auto* button = child<kit::PillButton>(root, "signInButton");
    auto* status = child<kit::TextView>(root, "signInStatusText");
    ASSERT_TRUE(button && status);
    EXPECT_TRUE(showing(root.signInPanel()));
    EXPECT_FALSE(showing(root.mainPage()));
    EXPECT_FALSE(showing(child(root, "guideButton")) || showing(child(root, "settingsButton")));
    EXPECT_FALSE(showing(child(root, "signInStatus"))) << "no message, no row";

    // A failed sign-in: the message, a still dot, the first label again.
    manager->setAuthStatusMessage(QStringLiteral("Sign-in failed. Try again."));
    manager->setAuthInProgress(false);
    EXPECT_TRUE(showing(child(root, "signInStatus")));
    EXPECT_EQ(status->text(), QStringLiteral("SIGN-IN FAILED. TRY AGAIN."));
    EXPECT_FALSE(child<kit::PulseDot>(root, "signInStatusDot")->pulses());
    EXPECT_EQ(button->text(), QStringLiteral("Sign in with Veilmox"));

    // Signed in: the main page, and the header's buttons with their tooltips.
    manager->setIsAuthenticated(true);
    EXPECT_TRUE(showing(root.mainPage()));
    EXPECT_FALSE(showing(root.signInPanel()));
    EXPECT_EQ(kit::TooltipSource::of(child(root, "guideButton"))->text(),
              QStringLiteral("How to share your screen in meetings"));
    EXPECT_EQ(kit::TooltipSource::of(child(root, "settingsButton"))->text(),
              QStringLiteral("Preferences & Settings"));
    EXPECT_TRUE(showing(child(root, "guideButton")) && showing(child(root, "settingsButton")));
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

    // The guide flag outlives a page change; signing out on the settings page keeps that page.
    click(*child(root, "guideButton"));
    nav.openSettings();
    manager->setIsAuthenticated(false);
    EXPECT_EQ(page(), root.settingsPage());
    EXPECT_TRUE(nav.showHelpGuide());
    // Back on the main frame the guide lies over the sign-in panel, with no guide button.
    nav.closeSettings();
    EXPECT_EQ(page(), root.mainFrame());
    EXPECT_TRUE(showing(root.signInPanel()) && showing(root.guideCard()) && showing(root.guideScrim()));
    EXPECT_FALSE(showing(child(root, "guideButton")));
}

TEST_F(RootTest, EachControlOfTheRootReachesItsOneOperation)
{
    const std::tuple<const char*, bool, bool, bool, bool, int, int> cases[] = {
        // control, signed in, guide open: guide after, settings after, sign-ins, terminations
        {"guideButton", true, false, true, false, 0, 0},
        {"guideButton", true, true, false, false, 0, 0},
        {"settingsButton", true, true, true, true, 0, 0},
        {"signInButton", false, false, false, false, 1, 0},
        {"quitButton", false, false, false, false, 0, 1},
        {"guideScrim", true, true, false, false, 0, 0},
        {"guideCloseButton", true, true, false, false, 0, 0},
        {"guideGotItButton", false, true, false, false, 0, 0},
    };
    for (const auto& [control, signedIn, guideOpen, guideAfter, settingsAfter, signIns, terminations] :
         cases) {
        SCOPED_TRACE(control);
        MenuBarView& root = open(signedIn);
        if (guideOpen) {
            navigation().toggleHelpGuide();
            advance();
        }
        session.calls.clear();
        const int terminationsBefore = t.desktop.terminateRequests();
        QWidget* widget = child(root, control);
        ASSERT_TRUE(showing(widget));
        click(*widget);
        advance();
        EXPECT_EQ(navigation().showHelpGuide(), guideAfter);
        EXPECT_EQ(navigation().showingSettings(), settingsAfter);
        EXPECT_FALSE(navigation().showingAutoHide());
        EXPECT_EQ(session.calls, QStringList(signIns, QStringLiteral("startBrowserSignIn")));
        EXPECT_EQ(t.desktop.terminateRequests() - terminationsBefore, terminations);
        EXPECT_EQ(showing(root.guideCard()), guideAfter && !settingsAfter);
    }
}

TEST_F(RootTest, RoutedSettersDoTheirOwnStepsAndHandOnTheValue)
{
    const QString slack = QStringLiteral("com.tinyspeck.slackmacgap");
    t.launchAppWithWindow(slack, QStringLiteral("Slack"));
    WindowManager& state = start(true);
    state.startVirtualDisplay();
    ASSERT_NE(state.virtualDisplayManager(), nullptr);
    const auto stored = [&](const QString& key) {
        return t.defaults.object(key);
    };

    MenuBarView::setHideNotifications(state, false);
    EXPECT_FALSE(state.hideNotificationsOnShare());
    EXPECT_EQ(stored(WindowManager::hideNotificationsKey), QVariant(false));
    EXPECT_FALSE(state.virtualDisplayManager()->hideNotifications);

    // Switched on during a share, automatic hiding starts at once.
    state.toggleAutoHide(true, slack);
    state.setDetectedShare(
        ScreenShareDetector::Source{QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us")});
    MenuBarView::setAutoHideEnabled(state, true);
    EXPECT_EQ(stored(WindowManager::autoHideEnabledKey), QVariant(true));
    EXPECT_TRUE(state.autoHideActive() && state.hiddenBundleIDs().contains(slack));

    // The focus stage flips whatever the switch asked for.
    MenuBarView::setFocusStage(state, true);
    EXPECT_FALSE(state.focusStageOnVirtualDisplay());

    // A panel the user shows, hides or pops out is no longer the share's to close.
    for (const bool shown : {true, false}) {
        pip.setOpenedBySharing(true);
        MenuBarView::setPiPShown(pip, shown);
        EXPECT_EQ(std::pair(pip.isVisible(), pip.openedBySharing()), std::pair(shown, false));
        EXPECT_EQ(stored(PiPController::visibleKey), QVariant(shown));
    }
    shell.popoverShown = true;
    pip.setOpenedBySharing(true);
    MenuBarView::popOutPreview(state, pip);
    EXPECT_EQ(std::pair(pip.isVisible(), pip.openedBySharing()), std::pair(true, false));
    EXPECT_EQ(shell.popoverCloses, 1);

    MenuBarView::setPiPAutoShow(pip, false);
    EXPECT_FALSE(pip.autoShowOnShare());
    EXPECT_EQ(stored(PiPController::autoShowKey), QVariant(false));
}

TEST_F(RootTest, PagesSlideAndTheGuideDropsInUnlessReduceMotionMakesThemFade)
{
    const auto pose = [](const QWidget* w) {
        const kit::ViewEffect* effect = kit::ViewEffect::of(w);
        return effect != nullptr ? effect->pose() : kit::ViewPose();
    };
    for (const bool reduceMotion : {false, true}) {
        SCOPED_TRACE(reduceMotion ? "reduce motion" : "motion");
        t.accessibility.setReduceMotion(reduceMotion);
        MenuBarView& root = open(true);
        click(*child(root, "settingsButton"));
        advance(0.05);
        const kit::ViewPose entering = pose(root.settingsPage());
        EXPECT_EQ(entering.offset.x() > 0, !reduceMotion) << "from the trailing edge";
        EXPECT_EQ(pose(root.mainFrame()).offset.x() < 0, !reduceMotion) << "out by the leading edge";
        EXPECT_EQ(entering.opacity < 1, reduceMotion);
        // The short ease is over after 0.15 s; the spring is still moving.
        advance(0.12);
        EXPECT_EQ(pose(root.settingsPage()).isIdentity(), reduceMotion);
        navigation().closeSettings();
        advance(1);

        click(*child(root, "guideButton"));
        advance(0.05);
        EXPECT_EQ(pose(root.guideCard()).offset.y() < 0, !reduceMotion) << "drops from the top";
        EXPECT_GT(pose(root.guideCard()).opacity, 0);
        EXPECT_LT(pose(root.guideCard()).opacity, 1);
        EXPECT_LT(pose(root.guideScrim()).opacity, 1);
    }
}

TEST_F(RootTest, TheGuideShowsItsStepsAndTipsWithBoldRunsWhole)
{
    MenuBarView& root = open(true);
    navigation().toggleHelpGuide();
    advance();
    const auto* guide = child<SharingGuideView>(root, "sharingGuide");
    ASSERT_NE(guide, nullptr);
    const QList<QStringList> bold = {{"Share Screen"},
                                     {"Entire Screen"},
                                     {"Veilmox"},
                                     {"\u21E7 \u2318 H"},
                                     {"N WINDOWS"},
                                     {"%"},
                                     {"purple recording icon"},
                                     {}};
    const QList<kit::TextView*> texts = guide->stepTexts() + guide->tipTexts();
    ASSERT_EQ(texts.size(), bold.size());
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        QStringList emphasized;
        for (const kit::TextRun& run : texts[i]->runs()) {
            if (run.emphasized) {
                emphasized << run.text;
            }
        }
        EXPECT_EQ(emphasized, bold[i]);
        // Every row wraps inside the card and gets the height of all its lines.
        const kit::TextBlock block = texts[i]->layoutAt(texts[i]->width());
        EXPECT_FALSE(block.isTruncated());
        EXPECT_GE(texts[i]->height(), static_cast<int>(block.size().height()));
    }
    EXPECT_LE(root.guideCard()->geometry().bottom(), root.guideCard()->parentWidget()->height());
    // The highlighted third step stays white when the others brighten with Increase Contrast.
    t.accessibility.setIncreaseContrast(true);
    EXPECT_TRUE(near(texts[0]->look().color, kit::white(0.9), 1));
    EXPECT_TRUE(near(texts[2]->look().color, Qt::white, 1));
}
