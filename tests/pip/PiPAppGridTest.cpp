// The expanded panel's app grid: its rows and scrolling, its header count, and tiles that hide
// and show whole apps when clicked through the simulated pointer.
#include "pip/PiPAppGrid.h"

#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "tests/pip/PiPFixture.h"

#include <QAccessible>
#include <QScrollArea>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

struct PiPAppGridTest : PiPTest
{
    void launch(int count)
    {
        for (int i = 0; i < count; ++i) {
            t.desktop.launchApp(QStringLiteral("com.example.app%1").arg(i, 2, 10, QLatin1Char('0')),
                                QStringLiteral("App %1").arg(i, 2, 10, QLatin1Char('0')));
        }
    }
    PiPAppGrid& grid(bool signedIn = true)
    {
        start(signedIn);
        makePip();
        showSettled();
        return *view()->findChild<PiPAppGrid*>();
    }
    QString status() const
    {
        return view()->findChild<kit::TextLabel*>(QStringLiteral("pipGridStatus"))->text();
    }
};

} // namespace

TEST_F(PiPAppGridTest, ThreeRowsShowAndMoreScroll)
{
    struct Case
    {
        int apps;
        int rows;
        double height;
        bool indicators;
    };
    const Case cases[] = {
        {0, 1, 44, false}, {6, 1, 44, false}, {7, 2, 92, false}, {18, 3, 140, false}, {19, 4, 140, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(PiPAppGrid::rows(c.apps), c.rows) << c.apps;
        EXPECT_EQ(PiPAppGrid::scrollHeight(c.rows), c.height) << c.apps;
    }
    launch(19);
    PiPAppGrid& g = grid();
    EXPECT_EQ(g.tiles().size(), 19);
    EXPECT_EQ(g.scrollArea()->height(), 140);
    EXPECT_TRUE(g.showsIndicators());
    EXPECT_EQ(g.tiles()[6]->geometry().topLeft(), QPoint(0, 48)) << "the seventh starts the second row";
    EXPECT_EQ(g.tiles()[1]->geometry().topLeft(), QPoint(48, 0));
}

TEST_F(PiPAppGridTest, TheHeaderCountsHiddenAppsAndTheHiddenWindowsOfVisibleOnes)
{
    launch(3);
    const auto [pid, window] =
        t.launchAppWithWindow(QStringLiteral("com.example.Notes"), QStringLiteral("Notes"));
    static_cast<void>(pid);
    grid();
    EXPECT_EQ(status(), QStringLiteral("TAP TO HIDE"));
    manager->toggleHidden(QStringLiteral("com.example.app00"));
    EXPECT_EQ(status(), QStringLiteral("1 HIDDEN"));
    manager->toggleHidden(QStringLiteral("com.example.app01"));
    EXPECT_EQ(status(), QStringLiteral("2 HIDDEN"));
    manager->toggleWindowHidden(window, QStringLiteral("com.example.Notes"));
    EXPECT_EQ(status(), QStringLiteral("3 HIDDEN"));
}

TEST_F(PiPAppGridTest, ClickingATileHidesItsAppAndClickingAgainShowsIt)
{
    launch(2);
    PiPAppGrid& g = grid();
    PiPAppTile* tile = g.tiles()[1];
    const QString bundleID = QStringLiteral("com.example.app01");
    const auto clickTile = [&] {
        const QPointF at = panelFrame().topLeft() + tile->mapTo(view(), QRectF(tile->rect()).center());
        t.desktop.mouseDown(at);
        t.desktop.mouseUp(at);
    };
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(tile);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("App 01"));

    clickTile();
    EXPECT_TRUE(manager->hiddenBundleIDs().contains(bundleID));
    EXPECT_TRUE(tile->isAppHidden());
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("Hidden"));
    EXPECT_EQ(kit::TooltipSource::of(tile)->text(), QStringLiteral("App 01 \u2014 hidden. Tap to show."));
    EXPECT_LT(tile->currentHiddenness(), 1) << "the look springs in";
    t.scheduler.advance(1);
    EXPECT_DOUBLE_EQ(tile->currentHiddenness(), 1);

    clickTile();
    EXPECT_FALSE(manager->hiddenBundleIDs().contains(bundleID));
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("Visible"));
    EXPECT_EQ(kit::TooltipSource::of(tile)->text(),
              QStringLiteral("App 01 \u2014 tap to hide from your share"));

    // Hidden elsewhere (the popover, a hot key), the tile follows at once.
    manager->toggleHidden(bundleID);
    EXPECT_DOUBLE_EQ(tile->currentHiddenness(), 1);
}

TEST_F(PiPAppGridTest, SignedOutTheGridGivesWayToASignInLine)
{
    launch(4);
    PiPAppGrid& g = grid(false);
    EXPECT_FALSE(g.scrollArea()->isVisibleTo(&g));
    auto* line = g.findChild<kit::TextView*>(QStringLiteral("pipGridSignedOut"));
    EXPECT_TRUE(line->isVisibleTo(&g));
    EXPECT_EQ(line->text(), QStringLiteral("Sign in to Veilmox to hide apps from here."));
    EXPECT_EQ(status(), QStringLiteral("TAP TO HIDE")) << "the header stays";
    manager->setIsAuthenticated(true);
    EXPECT_TRUE(g.scrollArea()->isVisibleTo(&g));
    EXPECT_EQ(pip->contentSize().height(), view()->idealSize().height())
        << "the panel follows the new height";
}
