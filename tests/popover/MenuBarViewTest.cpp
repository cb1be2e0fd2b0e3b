// The popover's root: the sign-in panel (end to end against the stand-in services too), the
// header, navigation and its motion, each routed control, the sharing guide, and pictures.
#include "capture/VirtualDisplayManager.h"
#include "popover/SharingGuideView.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Fonts.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/ViewEffect.h"
#include "tests/account/AccountFixture.h"
#include "tests/popover/PopoverFixture.h"
#include "tests/support/BundledFonts.h"
#include "tests/support/OnScreen.h"

#include <gtest/gtest.h>

#include <optional>

using namespace testing_support;

namespace {

// The descendant of this type with this name, or null.
template <typename T = QWidget>
T* child(const QWidget& root, const char* name)
{
    return root.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

// Signed out, then signed in, then with the guide open, each rendered to PNG (see
// picturesFolder) and checked at sentinel pixels.
TEST_F(RootTest, SignedOutShowsTheSignInPanelWhoseStatusFollowsTheSessionThenTheMainFrameAndTheGuide)
{
    MenuBarView& popover = open(false);
    auto* button = child<kit::PillButton>(popover, "signInButton");
    auto* status = child<kit::TextView>(popover, "signInStatusText");
    ASSERT_TRUE(button && status);
    EXPECT_TRUE(showing(popover.signInPanel()));
    EXPECT_FALSE(showing(popover.mainPage()));
    EXPECT_FALSE(showing(child(popover, "guideButton")) || showing(child(popover, "settingsButton")));
    EXPECT_FALSE(showing(child(popover, "signInStatus"))) << "no message, no row";

    QImage image;
    const auto render = [&](const QString& name) {
        advance();
        image = kit::renderView(popover, 2.0);
        EXPECT_TRUE(image.save(picturePath(name)));
    };
    // The colour at a point of a control: at its middle, moved by an offset, or `inset` points in
    // from its leading edge.
    const auto colour = [&](const QWidget* control, QPointF offset = {}, std::optional<double> inset = {}) {
        const QRectF frame(QPointF(control->mapTo(&popover, QPoint(0, 0))), QSizeF(control->size()));
        return colorAt(image,
                       inset ? QPointF(frame.left() + *inset, frame.center().y()) : frame.center() + offset);
    };
    manager->setAuthStatusMessage(QStringLiteral("Sign in required"));
    render(QStringLiteral("popover-signed-out"));
    EXPECT_TRUE(flameLike(colour(button)));
    EXPECT_TRUE(flameLike(colour(child(popover, "menuBarLogo"), {-7, 0})));
    EXPECT_TRUE(near(colour(popover.signInPanel()->findChild<kit::CardBackground*>(), {}, 6),
                     kit::Palette::surface()));
    EXPECT_TRUE(near(colorAt(image, QPointF(20, 600)), kit::Palette::canvas()));

    // A failed sign-in: the message, a still dot, the first label again.
    manager->setAuthStatusMessage(QStringLiteral("Sign-in failed. Try again."));
    manager->setAuthInProgress(false);
    EXPECT_TRUE(showing(child(popover, "signInStatus")));
    EXPECT_EQ(status->text(), QStringLiteral("SIGN-IN FAILED. TRY AGAIN."));
    EXPECT_FALSE(child<kit::PulseDot>(popover, "signInStatusDot")->pulses());
    EXPECT_EQ(button->text(), QStringLiteral("Sign in with Veilmox"));

    // Signed in: the header's buttons with their tooltips; the guide button lights while open.
    manager->setIsAuthenticated(true);
    render(QStringLiteral("popover-signed-in"));
    const QWidget* guideButton = child(popover, "guideButton");
    EXPECT_EQ(kit::TooltipSource::of(guideButton)->text(),
              QStringLiteral("How to share your screen in meetings"));
    EXPECT_EQ(kit::TooltipSource::of(child(popover, "settingsButton"))->text(),
              QStringLiteral("Preferences & Settings"));
    EXPECT_TRUE(near(colour(guideButton, {11, 0}), kit::Palette::canvas())) << "no disc while closed";

    popover.navigation().toggleHelpGuide();
    render(QStringLiteral("popover-guide"));
    EXPECT_TRUE(near(colour(guideButton, {11, 0}), kit::Palette::surfaceRaised())) << "the button is active";
    EXPECT_TRUE(near(colour(popover.guideCard(), {}, 5), kit::Palette::surface()));
    EXPECT_TRUE(near(colour(child(popover, "guideGotItButton"), {}, 6), Qt::white));

    // The same as the window server paints the popover's window: "Got it" and the close button.
    image = grabOnScreen(popover);
    EXPECT_TRUE(near(colour(child(popover, "guideGotItButton"), {}, 6), Qt::white));
    EXPECT_GT(colour(child(popover, "guideCloseButton")).lightness(), 100) << "the cross";
    EXPECT_TRUE(near(colour(popover.guideCard(), {}, 5), kit::Palette::surface()));
}

TEST_F(RootTest, NavigationKeepsSettingsOverAutoHideAndTheGuideAcrossPagesAndSignOut)
{
    MenuBarView& popover = open(true);
    PopoverNavigation& nav = popover.navigation();
    const auto page = [&] {
        advance();
        return popover.currentPage();
    };
    click(*child(popover, "settingsButton"));
    EXPECT_EQ(page(), popover.settingsPage());
    nav.openAutoHide();
    EXPECT_EQ(page(), popover.settingsPage()) << "settings win over auto-hide";
    nav.closeSettings();
    EXPECT_EQ(page(), popover.autoHidePage());
    nav.closeAutoHide();
    EXPECT_EQ(page(), popover.mainFrame());

    // The guide flag outlives a page change; signing out on the settings page keeps that page.
    click(*child(popover, "guideButton"));
    nav.openSettings();
    manager->setIsAuthenticated(false);
    EXPECT_EQ(page(), popover.settingsPage());
    EXPECT_TRUE(nav.showHelpGuide());
    // Back on the main frame the guide lies over the sign-in panel, with no guide button.
    nav.closeSettings();
    EXPECT_EQ(page(), popover.mainFrame());
    EXPECT_TRUE(showing(popover.signInPanel()) && showing(popover.guideCard())
                && showing(popover.guideScrim()));
    EXPECT_FALSE(showing(child(popover, "guideButton")));
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
        MenuBarView& popover = open(signedIn);
        if (guideOpen) {
            popover.navigation().toggleHelpGuide();
            advance();
        }
        session.calls.clear();
        const int terminationsBefore = t.desktop.terminateRequests();
        QWidget* widget = child(popover, control);
        ASSERT_TRUE(showing(widget));
        // The scrim is clicked below the card that lies over its top.
        click(*widget,
              widget == popover.guideScrim()
                  ? std::optional(QPointF(widget->width() / 2.0, widget->height() - 10.0))
                  : std::nullopt);
        advance();
        EXPECT_EQ(popover.navigation().showHelpGuide(), guideAfter);
        EXPECT_EQ(popover.navigation().showingSettings(), settingsAfter);
        EXPECT_FALSE(popover.navigation().showingAutoHide());
        EXPECT_EQ(session.calls, QStringList(signIns, QStringLiteral("startBrowserSignIn")));
        EXPECT_EQ(t.desktop.terminateRequests() - terminationsBefore, terminations);
        EXPECT_EQ(showing(popover.guideCard()), guideAfter && !settingsAfter);
    }
}

TEST_F(RootTest, RoutedSettersDoTheirOwnStepsAndHandOnTheValue)
{
    WindowManager& state = start(true);
    // The focus stage flips whatever the switch asked for.
    MenuBarView::setFocusStage(state, true);
    EXPECT_FALSE(state.focusStageOnVirtualDisplay());

    // A panel the user shows or hides is no longer the share's to close.
    for (const bool shown : {true, false}) {
        pip.setOpenedBySharing(true);
        MenuBarView::setPiPShown(pip, shown);
        EXPECT_EQ(std::pair(pip.isVisible(), pip.openedBySharing()), std::pair(shown, false));
        EXPECT_EQ(t.defaults.object(PiPController::visibleKey), QVariant(shown));
    }
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
        MenuBarView& popover = open(true);
        click(*child(popover, "settingsButton"));
        advance(0.05);
        const kit::ViewPose entering = pose(popover.settingsPage());
        EXPECT_EQ(entering.offset.x() > 0, !reduceMotion) << "from the trailing edge";
        EXPECT_EQ(pose(popover.mainFrame()).offset.x() < 0, !reduceMotion) << "out by the leading edge";
        EXPECT_EQ(entering.opacity < 1, reduceMotion);
        // The short ease is over after 0.15 s; the spring is still moving.
        advance(0.12);
        EXPECT_EQ(pose(popover.settingsPage()).isIdentity(), reduceMotion);
        popover.navigation().closeSettings();
        advance(1);

        click(*child(popover, "guideButton"));
        advance(0.05);
        EXPECT_EQ(pose(popover.guideCard()).offset.y() < 0, !reduceMotion) << "drops from the top";
        EXPECT_GT(pose(popover.guideCard()).opacity, 0);
        EXPECT_LT(pose(popover.guideCard()).opacity, 1);
        EXPECT_LT(pose(popover.guideScrim()).opacity, 1);
    }
}

TEST_F(RootTest, TheGuideShowsItsStepsAndTipsWithBoldRunsWhole)
{
    MenuBarView& popover = open(true);
    popover.navigation().toggleHelpGuide();
    advance();
    const auto* guide = child<SharingGuideView>(popover, "sharingGuide");
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
    EXPECT_LE(popover.guideCard()->geometry().bottom(), popover.guideCard()->parentWidget()->height());
    // The highlighted third step stays white when the others brighten with Increase Contrast.
    t.accessibility.setIncreaseContrast(true);
    EXPECT_TRUE(near(texts[0]->look().color, kit::white(0.9), 1));
    EXPECT_TRUE(near(texts[2]->look().color, Qt::white, 1));
}

namespace {

// The popover's root over the state object with the real account session, against the local
// stand-in services, with the views reading the same simulated system.
class PopoverSignInTest : public SessionTest
{
protected:
    PopoverSignInTest()
    {
        platform::Services::setCurrent(system.services());
        testing_support::registerBundledFonts();
    }
    ~PopoverSignInTest() override
    {
        view.reset();
        platform::Services::setCurrent(platform::Services());
    }

    ShareMaskEditor maskEditor{system.services(), state.get()};
    PiPController pip{system.services(), *state, maskEditor};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> view;
};

} // namespace

TEST_F(PopoverSignInTest, TheButtonStartsTheBrowserSignInAndItsCompletionShowsTheMainPage)
{
    launch();
    ASSERT_TRUE(reaches(QStringLiteral("Sign in required")));
    view = std::make_unique<MenuBarView>(pip);
    view->setWindowManager(*state);
    view->setUpdaterManager(updater);
    view->show();
    auto* button = child<kit::PillButton>(*view, "signInButton");
    auto* status = child<kit::TextView>(*view, "signInStatusText");
    auto* dot = child<kit::PulseDot>(*view, "signInStatusDot");
    ASSERT_TRUE(button && status && dot);
    EXPECT_EQ(std::tuple(status->text(), dot->pulses(), button->text()),
              std::tuple(QStringLiteral("SIGN IN REQUIRED"), false, QStringLiteral("Sign in with Veilmox")));

    shell.popoverShown = true;
    click(*button);
    ASSERT_EQ(system.desktop.openedURLs().size(), 1);
    const QUrl page = system.desktop.openedURLs().first();
    EXPECT_EQ(page.adjusted(QUrl::RemoveQuery), services.accountURL().resolved(QUrl("/desktop/connect")));
    EXPECT_EQ(shell.popoverCloses, 1);
    EXPECT_EQ(std::tuple(status->text(), dot->pulses(), button->text()),
              std::tuple(QStringLiteral("WAITING FOR BROWSER SIGN-IN..."),
                         true,
                         QStringLiteral("Open sign-in again")));

    // The browser comes back with a code: the panel gives way to the main page by itself.
    state->handleCallbackURL(
        QUrl("veilmox://auth?code="
             + services.issueCode(LocalServices::defaultAccount(),
                                  QUrlQuery(page).queryItemValue(QStringLiteral("code_challenge")))));
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    EXPECT_TRUE(view->mainPage()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->signInPanel()->isVisibleTo(view.get()));
    EXPECT_TRUE(child(*view, "settingsButton")->isVisibleTo(view.get()));
}
