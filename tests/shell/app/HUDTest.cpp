#include "platform/Window.h"
#include "shell/HUDOverlayController.h"
#include "shell/HUDToastView.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

platform::Screen screen(quint32 id, const QRectF& frame)
{
    platform::Screen s;
    s.deviceDescription.insert(platform::kScreenNumberKey, static_cast<qint64>(id));
    s.frame = frame;
    s.visibleFrame = frame.adjusted(0, 24, 0, 0); // below the menu bar
    return s;
}

struct HUD
{
    KitEnvironment env;
    HUDOverlayController hud{env.t.services()};

    void show(const QString& name = QStringLiteral("Slack"),
              std::optional<QString> subtitle = std::nullopt,
              bool veiled = true)
    {
        hud.show(name, QImage(), veiled, subtitle);
    }
    bool onScreen() const { return hud.window() != nullptr && hud.window()->isVisible(); }
};

} // namespace

TEST(HUDPlacement, CentresUnderThePointerOnItsScreen)
{
    const QList<platform::Screen> screens{screen(1, QRectF(0, 0, 1512, 982)),
                                          screen(2, QRectF(1512, -100, 1920, 1080))};
    const QRectF onFirst(756 - 170, 24 + 16, 340, 80);
    const QRectF onSecond(1512 + 960 - 170, -100 + 24 + 16, 340, 80);
    const std::tuple<QPointF, std::optional<quint32>, QRectF> cases[] = {
        {{700, 500}, 1, onFirst},
        {{2000, 300}, 1, onSecond},
        {{1512, 0}, 1, onSecond},              // the left edge belongs to it
        {{9000, 9000}, 2, onSecond},           // off screen: the main one
        {{9000, 9000}, std::nullopt, onFirst}, // else the first
    };
    for (const auto& [mouse, main, expected] : cases) {
        EXPECT_EQ(HUDOverlayController::panelFrame(screens, mouse, main), expected) << mouse.x();
    }
    EXPECT_FALSE(HUDOverlayController::panelFrame({}, QPointF(), 1));
}

TEST(HUDToast, ShowsAPanelThatNeverTakesFocusOrClicks)
{
    HUD h;
    h.env.t.desktop.addDisplay(platform::sim::SimDesktop::DisplaySpec{
        QStringLiteral("Studio Display"), QRectF(1512, 0, 2560, 1440), 2.0, std::nullopt, true, Qt::black});
    h.env.t.desktop.mouseMoved(QPointF(2000, 700));
    h.show();
    platform::Window* panel = h.hud.window();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->frame(), QRectF(1512 + 1280 - 170, 24 + 16, 340, 80)) << "on the pointer's screen";
    EXPECT_EQ(std::tuple(panel->level(),
                         panel->ignoresMouseEvents(),
                         panel->isKeyWindow(),
                         panel->collectionBehavior(),
                         panel->styleMask(),
                         h.hud.isVisible()),
              std::tuple(1002, true, false, 265U, 128U, true));
    EXPECT_FALSE(h.env.t.desktop.isActive()) << "the application is not activated";
    EXPECT_FALSE(h.env.t.desktop.windowAt(panel->frame().center())) << "clicks pass through";
}

TEST(HUDToast, StaysUpLongerWithASubtitleAndALaterShowEvenDuringTheFadeReplacesTheToastAndItsTimer)
{
    for (const auto& [subtitle, time] : {std::pair<std::optional<QString>, double>(std::nullopt, 1.3),
                                         {QString(), 2.5},
                                         {QStringLiteral("3 APPS HIDDEN"), 2.5}}) {
        HUD h;
        h.show(QStringLiteral("Zoom"), subtitle);
        h.env.advance(time - 0.01);
        EXPECT_TRUE(h.hud.isVisible());
        h.env.advance(0.02);
        EXPECT_FALSE(h.hud.isVisible());
        EXPECT_TRUE(h.onScreen()) << "fading";
        h.env.advance(HUDOverlayController::kFadeDuration);
        EXPECT_FALSE(h.onScreen());
    }

    HUD h;
    h.show(QStringLiteral("Slack"));
    h.env.advance(1.0);
    h.show(QStringLiteral("Messages"), std::nullopt, false);
    h.env.advance(1.29);
    EXPECT_TRUE(h.hud.isVisible());
    h.env.advance(0.11); // half way through the fade
    ASSERT_TRUE(h.onScreen() && !h.hud.isVisible());
    ASSERT_LT(h.hud.window()->alphaValue(), 1.0);

    // A show during the fade keeps the toast on screen: the old fade must not take it away.
    h.show(QStringLiteral("Discord"));
    h.env.advance(0.5);
    EXPECT_TRUE(h.hud.isVisible() && h.onScreen());
    EXPECT_EQ(h.hud.window()->alphaValue(), 1.0);
    h.env.advance(1.05);
    EXPECT_FALSE(h.onScreen()) << "dismissed 1.3 s after the last show, and faded";
}

TEST(HUDToast, ContentSpringsInAndLeavesWithTheCurveOrUnderReduceMotionOnlyFades)
{
    HUD h;
    EXPECT_EQ(HUDOverlayController::entranceAnimation(), kit::Animation::spring(0.3, 1.0));
    EXPECT_EQ(HUDOverlayController::exitAnimation(), kit::Animation::timingCurve(0.16, 1, 0.3, 1, 0.2));
    h.show();
    auto* view = qobject_cast<HUDToastView*>(h.hud.window()->contentView());
    ASSERT_NE(view, nullptr);
    EXPECT_LT(view->presence(), 0.5);
    h.env.advance(0.1);
    EXPECT_GT(view->presence(), 0.0);
    EXPECT_LT(view->presence(), 1.0);
    h.env.advance(0.6);
    EXPECT_NEAR(view->presence(), 1.0, 0.01);
    h.env.advance(1.3);
    EXPECT_NEAR(view->presence(), 0.0, 0.01);

    h.env.accessibility().setReduceMotion(true);
    EXPECT_EQ(HUDOverlayController::entranceAnimation(), kit::Animation::easeInOut(0.15));
    EXPECT_EQ(HUDOverlayController::exitAnimation(), kit::Animation::easeInOut(0.15));
    h.show();
    h.env.advance(1.3);
    EXPECT_FALSE(h.hud.isVisible());
    EXPECT_FALSE(h.onScreen()) << "leaves at once";
    EXPECT_EQ(h.hud.window()->alphaValue(), 0.0);
}

TEST(HUDToast, TheStatusLineWrapsInTheCapsuleAndTheTextsKeepTheRowsSpacingFromTheTag)
{
    KitEnvironment env;
    const QRectF capsule(QPointF(25, 15), HUDToastView::kCapsuleSize);
    const QString status = QStringLiteral("SHARING DETECTED · MICROSOFT TEAMS");
    const QString longName = QStringLiteral("3 apps hidden from your share automatically");
    const HUDToastView::Layout l = HUDToastView::layout(capsule, longName, status, true);
    EXPECT_GE(l.statusText.lineCount(), 2);
    EXPECT_FALSE(l.statusText.isTruncated());
    EXPECT_EQ(l.statusText.lineTexts().join(QLatin1Char(' ')), status) << "the meeting app's name is kept";
    EXPECT_LE(l.status.bottom(), capsule.bottom());
    EXPECT_GE(l.title.top(), capsule.top());
    // Spacing 10, a spacer of at least 8, spacing 10.
    EXPECT_DOUBLE_EQ(l.tag.left() - l.title.right(), 28);
    EXPECT_DOUBLE_EQ(l.status.width(), l.title.width());
    EXPECT_TRUE(l.titleText.endsWith(QStringLiteral("…"))) << "the title stays on one line";

    // A status line too long for the capsule keeps what fits and ends with "…".
    const HUDToastView::Layout crowded = HUDToastView::layout(capsule, longName, status.repeated(4), true);
    EXPECT_TRUE(crowded.statusText.isTruncated());
    EXPECT_LE(crowded.status.bottom(), capsule.bottom() + 1);
}

TEST(HUDToast, TextsFollowTheValues)
{
    EXPECT_EQ(QStringList({HUDToastView::title(QString()), HUDToastView::title(QStringLiteral("Slack"))}),
              QStringList({"Application", "Slack"}));
    EXPECT_EQ(QStringList({HUDToastView::statusLine(std::nullopt, true),
                           HUDToastView::statusLine(std::nullopt, false),
                           HUDToastView::statusLine(QString(), true),
                           HUDToastView::statusLine(QStringLiteral("SHARE PAUSED"), false)}),
              QStringList({"HIDDEN FROM YOUR SHARE", "VISIBLE IN YOUR SHARE", "", "SHARE PAUSED"}));
}

// The toast is drawn while it comes and while it goes; shown, it rests; gone, nothing of it runs.
TEST(HUDToast, RepaintsOnlyWhileItComesAndGoesAndLeavesNothingRunning)
{
    HUD h;
    const std::size_t idle = h.env.t.scheduler.pendingCount();
    h.show();
    const quint32 number = h.hud.window()->windowNumber();
    // Content versions of the panel over a stretch, its repaints going to the window server.
    const auto repaintsOver = [&h, number](double seconds) {
        const quint64 before = h.env.t.desktop.windowContentVersion(number);
        for (double waited = 0; waited < seconds; waited += 1.0 / 120) {
            h.env.advance(1.0 / 120);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        }
        return h.env.t.desktop.windowContentVersion(number) - before;
    };
    EXPECT_GE(repaintsOver(0.3), 10u) << "it springs in";
    repaintsOver(0.45);
    EXPECT_EQ(repaintsOver(0.5), 0u) << "shown, it rests";
    EXPECT_GE(repaintsOver(0.2), 5u) << "it leaves";
    repaintsOver(HUDOverlayController::kFadeDuration);
    EXPECT_FALSE(h.onScreen());
    EXPECT_EQ(repaintsOver(2.0), 0u);
    EXPECT_EQ(h.env.t.scheduler.pendingCount(), idle) << "no timer left behind";
}
