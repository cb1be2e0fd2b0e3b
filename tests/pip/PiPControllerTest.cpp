// The picture-in-picture controller on the simulated desktop, in virtual time: its stored
// settings, showing and hiding, automatic showing around a detected share, the screen it docks
// on, dragging and the spring into a corner.
#include "tests/pip/PiPFixture.h"

#include <gtest/gtest.h>

#include <cmath>

using testing_support::PiPTest;

namespace {

bool isFinite(const QRectF& r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width())
           && std::isfinite(r.height());
}

platform::sim::SimDesktop::DisplaySpec
display(const QString& name, const QRectF& frame, bool hasNumber = true)
{
    platform::sim::SimDesktop::DisplaySpec setup;
    setup.name = name;
    setup.frame = frame;
    setup.hasScreenNumber = hasNumber;
    return setup;
}

} // namespace

TEST_F(PiPTest, StoredSettingsCountOnlyWhenTheyAreOfTheRightKind)
{
    struct Case
    {
        const char* what;
        QVariantMap stored;
        bool expanded;
        bool autoShow;
        PiPCorner corner;
        std::optional<quint32> displayID;
    };
    const PiPCorner br = PiPCorner::BottomRight;
    const Case cases[] = {
        {"nothing stored", {}, true, true, br, std::nullopt},
        {"every setting",
         {{"pipExpanded", false},
          {"pipAutoShowOnShare", false},
          {"pipCorner", "topLeft"},
          {"pipDisplayID", qint64{7}}},
         false,
         false,
         PiPCorner::TopLeft,
         7},
        {"bools read from other kinds",
         {{"pipExpanded", qint64{0}}, {"pipAutoShowOnShare", "NO"}},
         false,
         false,
         br,
         std::nullopt},
        {"an unknown corner", {{"pipCorner", "middle"}}, true, true, br, std::nullopt},
        {"a corner in the wrong case", {{"pipCorner", "TopLeft"}}, true, true, br, std::nullopt},
        {"a corner that is not a string", {{"pipCorner", qint64{1}}}, true, true, br, std::nullopt},
        {"the largest display number", {{"pipDisplayID", qint64{4294967295}}}, true, true, br, 4294967295U},
        {"a negative display number", {{"pipDisplayID", qint64{-1}}}, true, true, br, std::nullopt},
        {"a display number too large", {{"pipDisplayID", qint64{4294967296}}}, true, true, br, std::nullopt},
        {"a fractional display number", {{"pipDisplayID", 5.5}}, true, true, br, std::nullopt},
        {"a display number as text", {{"pipDisplayID", "5"}}, true, true, br, std::nullopt},
        {"a display number as a bool", {{"pipDisplayID", true}}, true, true, br, std::nullopt},
    };
    for (const Case& c : cases) {
        for (const auto& key : {PiPController::expandedKey,
                                PiPController::autoShowKey,
                                PiPController::cornerKey,
                                PiPController::displayKey}) {
            t.defaults.removeObject(key);
        }
        for (auto it = c.stored.cbegin(); it != c.stored.cend(); ++it) {
            store(it.key(), it.value());
        }
        PiPController& p = makePip();
        EXPECT_EQ(p.isExpanded(), c.expanded) << c.what;
        EXPECT_EQ(p.autoShowOnShare(), c.autoShow) << c.what;
        EXPECT_EQ(p.corner(), c.corner) << c.what;
        EXPECT_EQ(p.displayID(), c.displayID) << c.what;
        EXPECT_FALSE(p.isVisible()) << c.what;
        EXPECT_EQ(p.panel(), nullptr) << "nothing shown: " << c.what;
    }
}

TEST_F(PiPTest, ShowingFadesANeverCapturedPanelInAtItsCornerAndHidingFadesItOut)
{
    start();
    PiPController& p = makePip();
    p.show();
    PiPPanel* panel = p.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(p.isVisible());
    EXPECT_TRUE(t.defaults.boolForKey(PiPController::visibleKey));
    EXPECT_EQ(panel->level(), 1001);
    EXPECT_EQ(panel->sharingType(), platform::WindowSharingType::None);
    EXPECT_FALSE(panel->canBecomeKeyWindow());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0);
    EXPECT_FALSE(p.isPresented()) << "turned on a moment later";
    const QRectF v = visibleFrame();
    EXPECT_EQ(panelFrame(),
              QRectF(v.right() - 16 - p.contentSize().width(),
                     v.bottom() - 16 - p.contentSize().height(),
                     p.contentSize().width(),
                     p.contentSize().height()));
    t.scheduler.advance(0.1);
    EXPECT_TRUE(p.isPresented());
    EXPECT_GT(panel->alphaValue(), 0.5) << "the fast-out curve";
    t.scheduler.advance(0.2);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 1);

    p.hide();
    EXPECT_FALSE(p.isVisible());
    EXPECT_FALSE(p.isPresented());
    EXPECT_FALSE(t.defaults.boolForKey(PiPController::visibleKey));
    t.scheduler.advance(0.1);
    EXPECT_TRUE(panel->isVisible()) << "still fading";
    // Shown again during the fade: it stays where it is.
    const QRectF before = panelFrame();
    p.show();
    t.scheduler.advance(0.5);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panelFrame(), before);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 1);

    p.hide();
    t.scheduler.advance(0.2);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(t.desktop.isWindowOnScreen(panel->windowNumber()));
    EXPECT_EQ(p.panel(), panel) << "kept";
}

TEST_F(PiPTest, UnderReduceMotionThePanelAppearsAndLeavesAtOnce)
{
    t.accessibility.setReduceMotion(true);
    start();
    PiPController& p = makePip();
    p.show();
    EXPECT_DOUBLE_EQ(p.panel()->alphaValue(), 1);
    p.hide();
    EXPECT_FALSE(p.panel()->isVisible());
}

TEST_F(PiPTest, ADetectedShareOpensThePanelAndItsEndClosesItOnlyWhenTheShareOpenedIt)
{
    start();
    PiPController& p = makePip();
    const auto share = [this](bool on) {
        manager->setDetectedShare(on ? std::optional(ScreenShareDetector::Source{"us.zoom.xos", "zoom.us"})
                                     : std::nullopt);
        t.scheduler.runPending();
    };

    share(true);
    EXPECT_TRUE(p.isVisible());
    EXPECT_TRUE(p.openedBySharing());
    share(true); // the same state again is no news
    share(false);
    EXPECT_FALSE(p.isVisible());
    EXPECT_FALSE(p.openedBySharing());

    // Open before the share: its end leaves the panel open.
    p.show();
    share(true);
    EXPECT_FALSE(p.openedBySharing());
    share(false);
    EXPECT_TRUE(p.isVisible());

    // Opened by the share, then shown by the user: the end leaves it too.
    p.hide();
    share(true);
    p.setOpenedBySharing(false);
    p.show();
    share(false);
    EXPECT_TRUE(p.isVisible());

    p.hide();
    p.setAutoShowOnShare(false);
    share(true);
    EXPECT_FALSE(p.isVisible()) << "not asked to";
}

TEST_F(PiPTest, AShareAlreadyDetectedWhenTheControllerIsMadeIsNotNews)
{
    startMeetingShare();
    start();
    ASSERT_TRUE(manager->detectedShare());
    PiPController& p = makePip();
    t.scheduler.runPending();
    EXPECT_FALSE(p.isVisible());
    manager->setDetectedShare(std::nullopt);
    t.scheduler.runPending();
    EXPECT_EQ(p.panel(), nullptr);
}

TEST_F(PiPTest, TheShareDetectedByTheWindowRefreshOpensAndClosesThePanel)
{
    start();
    PiPController& p = makePip();
    const auto pid = startMeetingShare();
    t.scheduler.advance(1.0);
    EXPECT_TRUE(p.isVisible());
    t.desktop.terminateApp(pid);
    t.scheduler.advance(2.0);
    EXPECT_FALSE(manager->detectedShare());
    EXPECT_FALSE(p.isVisible());
}

TEST_F(PiPTest, ThePanelDocksOnASavedDisplayAndNeverOnTheVirtualOneWhenItChooses)
{
    // The virtual display is the main one here; the user's display comes second.
    t.desktop.removeDisplay(t.mainDisplay);
    const quint32 veilmox = t.desktop.addDisplay(display(QStringLiteral("Veilmox"), {0, 0, 1512, 982}));
    const quint32 laptop = t.desktop.addDisplay(display(QStringLiteral("Built-in"), {1512, 0, 1000, 700}));
    const quint32 other = t.desktop.addDisplay(display(QStringLiteral("Studio"), {2512, 0, 800, 600}));
    ASSERT_EQ(t.desktop.mainDisplayID(), veilmox);
    start();
    struct Case
    {
        const char* what;
        std::optional<qint64> saved;
        quint32 expected;
    };
    const Case cases[] = {
        {"the saved display", qint64{other}, other},
        {"a saved display that is gone: the first the user can see", qint64{99}, laptop},
        {"the virtual display saved: passed over", qint64{veilmox}, laptop},
        {"none saved", std::nullopt, laptop},
    };
    for (const Case& c : cases) {
        if (c.saved) {
            store(PiPController::displayKey, *c.saved);
        } else {
            t.defaults.removeObject(PiPController::displayKey);
        }
        PiPController& p = makePip();
        ASSERT_TRUE(p.targetScreen()) << c.what;
        EXPECT_EQ(p.targetScreen()->displayID(), c.expected) << c.what;
        p.show();
        EXPECT_TRUE(t.desktop.display(c.expected)->frame.contains(panelFrame())) << c.what;
    }
    // With the virtual display alone there is nowhere the user could see the panel.
    t.desktop.removeDisplay(laptop);
    t.desktop.removeDisplay(other);
    t.scheduler.runPending();
    EXPECT_FALSE(makePip().targetScreen());
}

TEST_F(PiPTest, WithoutAnyScreenThePanelWaitsForOneAndNeverGetsANonFinitePlace)
{
    start();
    t.desktop.removeDisplay(t.mainDisplay);
    PiPController& p = makePip();
    p.show();
    EXPECT_TRUE(p.isVisible());
    EXPECT_TRUE(isFinite(panelFrame()));
    t.desktop.mouseDown(panelFrame().center());
    t.desktop.mouseMoved(panelFrame().center() + QPointF(50, 50));
    t.desktop.mouseUp(panelFrame().center() + QPointF(50, 50));
    EXPECT_TRUE(isFinite(panelFrame()));

    // A screen of no size at all: nothing divides by its extent.
    const quint32 flat = t.desktop.addDisplay(display(QStringLiteral("Flat"), {0, 0, 0, 0}));
    t.scheduler.runPending();
    EXPECT_TRUE(isFinite(panelFrame()));
    const QPointF grab = panelFrame().center();
    drag(grab, {grab + QPointF(-40, -40), grab + QPointF(-400, -400)});
    t.scheduler.advance(2);
    EXPECT_TRUE(isFinite(panelFrame()));

    // A real screen arrives: the panel goes to its corner at once.
    t.desktop.removeDisplay(flat);
    const quint32 screen = t.desktop.addDisplay(display(QStringLiteral("Built-in"), {0, 0, 1000, 700}));
    t.scheduler.runPending();
    ASSERT_EQ(p.targetScreen()->displayID(), screen);
    EXPECT_EQ(panelFrame(), p.frame(p.corner(), *p.targetScreen()));
}

TEST_F(PiPTest, AFlickCarriesThePanelToTheCornerItPointsAtWhereTheSpringLandsExactly)
{
    start();
    PiPController& p = makePip();
    showSettled();
    const QRectF home = panelFrame(); // bottom right
    const QPointF grab = home.center();
    // Up and to the left, fast: 60 points every 0.01 s.
    drag(grab,
         {grab + QPointF(-10, -10),
          grab + QPointF(-70, -40),
          grab + QPointF(-130, -70),
          grab + QPointF(-190, -100)});
    EXPECT_EQ(p.corner(), PiPCorner::TopLeft);
    EXPECT_EQ(t.defaults.object(PiPController::cornerKey), QVariant(QStringLiteral("topLeft")));
    EXPECT_EQ(t.defaults.object(PiPController::displayKey), QVariant(qint64{t.mainDisplay}));
    EXPECT_EQ(p.displayID(), t.mainDisplay);
    EXPECT_TRUE(p.isFrameAnimating());
    const QRectF target = p.frame(PiPCorner::TopLeft, *p.targetScreen());
    t.scheduler.advance(0.1);
    EXPECT_NE(panelFrame(), target) << "on its way";
    t.scheduler.advance(3);
    EXPECT_FALSE(p.isFrameAnimating());
    EXPECT_EQ(panelFrame(), target) << "exactly, not merely close";

    // Held still before letting go: the quadrant of the panel's centre decides.
    const QPointF from = panelFrame().center();
    drag(from, {from + QPointF(5, 5), from + QPointF(900, 500)}, 0.01, 0.06);
    t.scheduler.advance(3);
    EXPECT_EQ(p.corner(), PiPCorner::BottomRight);
    EXPECT_EQ(panelFrame(), home);
}

TEST_F(PiPTest, ANewDragCatchesThePanelInFlight)
{
    start();
    PiPController& p = makePip();
    showSettled();
    const QPointF grab = panelFrame().center();
    drag(grab, {grab + QPointF(-10, 0), grab + QPointF(-110, 0), grab + QPointF(-210, 0)});
    ASSERT_TRUE(p.isFrameAnimating());
    t.scheduler.advance(0.05);
    const QRectF caught = panelFrame();
    const QPointF at = caught.center();
    t.desktop.mouseDown(at);
    t.desktop.mouseMoved(at + QPointF(4, 0));
    EXPECT_FALSE(p.isFrameAnimating());
    EXPECT_EQ(panelFrame(), caught) << "continues from where the panel is";
    t.desktop.mouseMoved(at + QPointF(24, 10));
    EXPECT_EQ(panelFrame().topLeft(), caught.topLeft() + QPointF(20, 10));
    t.desktop.mouseUp(at + QPointF(24, 10));
}

TEST_F(PiPTest, DraggingPastAnEdgeRubberBandsAndReduceMotionJumpsIntoTheCorner)
{
    start();
    PiPController& p = makePip();
    showSettled();
    const QRectF home = panelFrame();
    const QRectF v = visibleFrame();
    const QPointF grab = home.center();
    t.desktop.mouseDown(grab);
    t.desktop.mouseMoved(grab + QPointF(5, 0));
    // The panel's right edge is 16 points in; pull it 116 points further: 100 past the edge.
    t.desktop.mouseMoved(grab + QPointF(116 + 5, 0));
    const double expected = v.right() - home.width() + 100 * v.width() * 0.55 / (100 * 0.55 + v.width());
    EXPECT_NEAR(panelFrame().x(), expected, 1e-9);

    t.accessibility.setReduceMotion(true);
    t.scheduler.advance(0.1);
    t.desktop.mouseUp(grab + QPointF(121, 0));
    EXPECT_FALSE(p.isFrameAnimating());
    EXPECT_EQ(panelFrame(), home);
}

TEST_F(PiPTest, DroppingOnAScreenWithoutADisplayNumberKeepsTheStoredOne)
{
    t.desktop.addDisplay(display(QStringLiteral("Projector"), {1512, 0, 1000, 700}, false));
    store(PiPController::displayKey, qint64{t.mainDisplay});
    start();
    PiPController& p = makePip();
    showSettled();
    const QPointF grab = panelFrame().center();
    drag(grab, {grab + QPointF(10, 0), QPointF(2000, 300)}, 0.01, 0.1);
    EXPECT_EQ(p.displayID(), std::nullopt);
    EXPECT_EQ(t.defaults.object(PiPController::displayKey), QVariant(qint64{t.mainDisplay}));
}

TEST_F(PiPTest, ANewContentSizeSpringsThePanelBackIntoItsCornerOnlyWhenNoDragHoldsIt)
{
    start();
    PiPController& p = makePip();
    showSettled();
    const QSizeF size = p.contentSize();
    p.contentSizeChanged({0, 120});
    p.contentSizeChanged({120, -1});
    EXPECT_EQ(p.contentSize(), size) << "empty sizes are ignored";
    p.contentSizeChanged({size.width(), size.height() + 100});
    EXPECT_TRUE(p.isFrameAnimating());
    t.scheduler.advance(3);
    EXPECT_EQ(panelFrame(), p.frame(p.corner(), *p.targetScreen()));
    EXPECT_EQ(panelFrame().size(), QSizeF(size.width(), size.height() + 100));

    // Folded while the user drags it: the panel stays under the pointer, and takes its new size
    // in the corner it is dropped in.
    const QPointF grab = panelFrame().center();
    t.desktop.mouseDown(grab);
    t.desktop.mouseMoved(grab + QPointF(-5, 0));
    t.desktop.mouseMoved(grab + QPointF(-300, 0));
    const QRectF held = panelFrame();
    p.setIsExpanded(false);
    ASSERT_NE(p.contentSize().width(), size.width());
    t.scheduler.advance(0.2);
    EXPECT_FALSE(p.isFrameAnimating());
    EXPECT_EQ(panelFrame(), held);
    t.desktop.mouseMoved(grab + QPointF(-310, 0));
    EXPECT_EQ(panelFrame().topLeft(), held.topLeft() + QPointF(-10, 0));
    t.scheduler.advance(0.1);
    t.desktop.mouseUp(grab + QPointF(-310, 0));
    t.scheduler.advance(3);
    EXPECT_EQ(panelFrame(), p.frame(p.corner(), *p.targetScreen()));
    EXPECT_EQ(panelFrame().size(), p.contentSize());

    // Under Reduce Motion the new size lands in the corner at once.
    t.accessibility.setReduceMotion(true);
    p.setIsExpanded(true);
    EXPECT_FALSE(p.isFrameAnimating());
    EXPECT_EQ(panelFrame(), p.frame(p.corner(), *p.targetScreen()));
    EXPECT_EQ(panelFrame().size(), p.contentSize());
}

TEST_F(PiPTest, ThePanelComesBackToItsDisplayWhenThatIsPluggedInAgain)
{
    platform::sim::SimDesktop::DisplaySpec studio = display(QStringLiteral("Studio"), {1512, 0, 1000, 700});
    studio.id = t.desktop.addDisplay(studio);
    start();
    PiPController& p = makePip();
    showSettled();
    const QPointF grab = panelFrame().center();
    drag(grab, {grab + QPointF(10, 0), QPointF(2300, 500)}, 0.01, 0.1);
    t.scheduler.advance(3);
    ASSERT_EQ(p.displayID(), studio.id);
    const QRectF onStudio = panelFrame();
    ASSERT_TRUE(studio.frame.contains(onStudio));

    // Unplugged: the panel waits on the main display, through other changes of the screens too.
    t.desktop.removeDisplay(*studio.id);
    t.scheduler.runPending();
    EXPECT_TRUE(t.desktop.display(t.mainDisplay)->frame.contains(panelFrame()));
    const quint32 projector = t.desktop.addDisplay(display(QStringLiteral("Projector"), {-800, 0, 800, 600}));
    t.scheduler.runPending();
    EXPECT_TRUE(t.desktop.display(t.mainDisplay)->frame.contains(panelFrame()));
    t.desktop.removeDisplay(projector);
    t.scheduler.runPending();

    t.desktop.addDisplay(studio);
    t.scheduler.runPending();
    EXPECT_EQ(panelFrame(), onStudio);
    EXPECT_EQ(p.displayID(), studio.id);
}
