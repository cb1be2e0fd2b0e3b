#include "shell/kit/Tooltips.h"

#include "shell/kit/IconButton.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

using namespace kit;
using namespace testing_support;

TEST(TooltipPlacement, BelowAndCentredWhenThereIsRoomAndKeptInsideTheContainersEdges)
{
    const std::tuple<const char*, QRectF, QSizeF, QSizeF, QPointF> cases[] = {
        // target, container, bubble size: origin
        {"below, centred", {100, 20, 28, 28}, {400, 300}, {80, 26}, {114 - 40, 48 + 6}},
        {"near the bottom: above", {100, 260, 28, 28}, {400, 300}, {80, 26}, {74, 260 - 6 - 26}},
        {"exactly fits below", {100, 100, 28, 20}, {400, 160}, {80, 26}, {74, 126}},
        {"one point short: above", {100, 101, 28, 20}, {400, 160}, {80, 26}, {74, 101 - 32}},
        {"near the right edge", {380, 20, 16, 16}, {400, 300}, {80, 26}, {400 - 80 - 8, 42}},
        {"near the left edge", {0, 20, 16, 16}, {400, 300}, {80, 26}, {8, 42}},
        {"narrower than the bubble", {30, 20, 16, 16}, {60, 300}, {238, 26}, {8, 42}},
        {"no room above either", {10, 4, 16, 16}, {200, 30}, {80, 26}, {8, 8}},
    };
    for (const auto& [what, target, container, size, origin] : cases) {
        EXPECT_EQ(TooltipStyle::bubbleOrigin(target, container, size), origin) << what;
    }
}

TEST(TooltipBubble, WrapsLongTextAt220PointsAndGrowsDownward)
{
    KitEnvironment env;
    const QSizeF shortSize = TooltipStyle::bubbleSize(QStringLiteral("Settings"));
    const QFontMetricsF metrics(TooltipStyle::textLook().font());
    EXPECT_NEAR(
        shortSize.width(), std::ceil(metrics.horizontalAdvance(QStringLiteral("Settings"))) + 18, 1.0);
    EXPECT_NEAR(shortSize.height(), std::ceil(metrics.height()) + 12, 1.0);

    const QString text =
        QStringLiteral("Hidden apps stay on your screen but leave the picture the audience sees, "
                       "even while you keep working with them.");
    const QSizeF longSize = TooltipStyle::bubbleSize(text);
    EXPECT_LE(longSize.width(), 238);
    EXPECT_GE(longSize.width(), 200);
    EXPECT_GT(longSize.height(), 2 * metrics.height() + 12) << "several lines, none cut off";
    const QSizeF unbroken = TooltipStyle::bubbleSize(QString(80, QLatin1Char('W')));
    EXPECT_LE(unbroken.width(), 238) << "an over-long word breaks too";
    EXPECT_EQ(std::tuple(TooltipStyle::textLook().face, TooltipStyle::textLook().size),
              std::tuple(QStringLiteral("Geist-Medium"), 11.0));

    EXPECT_EQ(TooltipStyle::transition(), Animation::timingCurve(0.16, 1.0, 0.3, 1.0, 0.14));
    env.accessibility().setReduceMotion(true);
    EXPECT_EQ(TooltipStyle::transition(), Animation::easeInOut(0.15));
}

namespace {
// A container with a host and two glyph buttons carrying tooltips.
struct Scene
{
    Scene()
    {
        container.resize(320, 200);
        first = new IconButton(QStringLiteral("gearshape"), false, &container);
        first->move(40, 30);
        second = new IconButton(QStringLiteral("xmark"), false, &container);
        second->move(200, 30);
        TooltipSource::attach(first, QStringLiteral("Preferences & Settings"));
        TooltipSource::attach(second, QStringLiteral("Close"));
        host = TooltipHost::attach(&container);
        renderView(container);
    }

    QWidget container;
    IconButton* first = nullptr;
    IconButton* second = nullptr;
    TooltipHost* host = nullptr;
};
} // namespace

TEST(Tooltips, ShowAfterTheDelayOnlyForAsLongAsTheSourceIsThere)
{
    KitEnvironment env;
    Scene scene;
    hover(*scene.first, true);
    env.advance(0.5);
    EXPECT_TRUE(TooltipSource::of(scene.first)->isWaiting());
    hover(*scene.first, false);
    env.advance(2);
    EXPECT_EQ(scene.host->bubble(), nullptr);
    EXPECT_TRUE(scene.host->items().isEmpty());

    hover(*scene.first, true);
    env.advance(0.6);
    ASSERT_NE(scene.host->bubble(), nullptr);
    EXPECT_EQ(scene.host->bubble()->text(), QStringLiteral("Preferences & Settings"));
    env.advance(0.2);
    EXPECT_DOUBLE_EQ(scene.host->bubble()->opacity(), 1);
    // Below the button; too wide to centre on it this near the edge, so 8 points in.
    EXPECT_EQ(scene.host->bubble()->geometry().topLeft(), QPoint(8, 30 + 28 + 6));

    // Leaving hides it with the fade.
    hover(*scene.first, false);
    env.advance(0.05);
    ASSERT_NE(scene.host->bubble(), nullptr);
    EXPECT_LT(scene.host->bubble()->opacity(), 1);
    EXPECT_GT(scene.host->bubble()->opacity(), 0);
    env.advance(0.2);
    EXPECT_EQ(scene.host->bubble(), nullptr);

    // Each entry restarts the wait; hiding, destroying or emptying the source takes its bubble away.
    hover(*scene.first, true);
    env.advance(0.3);
    hover(*scene.first, false);
    hover(*scene.first, true);
    env.advance(0.3);
    EXPECT_EQ(scene.host->bubble(), nullptr) << "the wait started again";
    env.advance(0.3);
    EXPECT_NE(scene.host->bubble(), nullptr);

    hover(*scene.first, false);
    hover(*scene.second, true);
    env.advance(0.2);
    scene.second->hide();
    env.advance(1);
    EXPECT_TRUE(scene.host->items().isEmpty());

    scene.second->show();
    hover(*scene.second, true);
    env.advance(0.6);
    ASSERT_NE(scene.host->bubble(), nullptr);
    delete scene.second;
    env.advance(0.5);
    EXPECT_EQ(scene.host->bubble(), nullptr);

    TooltipSource::attach(scene.first, QString());
    hover(*scene.first, true);
    env.advance(1);
    EXPECT_TRUE(TooltipSource::of(scene.first)->isShowing());
    EXPECT_TRUE(TooltipSource::of(scene.first)->items().isEmpty()) << "an empty text never publishes";
    EXPECT_EQ(scene.host->bubble(), nullptr);
}

TEST(Tooltips, TheLaterSourceInTreeOrderWinsAndWithoutAHostNothingShows)
{
    KitEnvironment env;
    QWidget container;
    container.resize(300, 200);
    auto* row = new QWidget(&container);
    row->setGeometry(10, 10, 200, 60);
    auto* button = new IconButton(QStringLiteral("pin"), false, row);
    button->move(150, 16);
    TooltipSource::attach(row, QStringLiteral("The row"));
    TooltipSource::attach(button, QStringLiteral("Pin this app"));
    EXPECT_EQ(button->accessibleDescription(), QStringLiteral("Pin this app"));
    hover(*row, true);
    hover(*button, true);
    env.advance(1);
    EXPECT_EQ(TooltipHost::hostFor(button), nullptr);
    EXPECT_TRUE(TooltipSource::of(button)->isShowing()) << "nothing to show it on, and no failure";
    hover(*button, false);
    hover(*row, false);

    TooltipHost* host = TooltipHost::attach(&container);
    renderView(container);
    hover(*row, true);
    hover(*button, true);
    env.advance(0.6);
    ASSERT_EQ(host->items().size(), 2);
    EXPECT_EQ(host->items()[0].text, QStringLiteral("The row"));
    ASSERT_NE(host->bubble(), nullptr);
    EXPECT_EQ(host->bubble()->text(), QStringLiteral("Pin this app"));
    EXPECT_EQ(TooltipHost::hostFor(button), host);
}
