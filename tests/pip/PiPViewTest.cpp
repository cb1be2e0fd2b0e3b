// The panel's view over the state object: placeholder, status pills, the chrome and its actions,
// the count pills, the presentation scale, and the panel kept out of the audience's picture while
// it sits over a visible window.
#include "capture/VirtualDisplayManager.h"
#include "pip/PiPControls.h"
#include "platform/sim/SimCompositor.h"
#include "popover/PauseShareButton.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Transition.h"
#include "shell/kit/ViewEffect.h"
#include "tests/pip/PiPFixture.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

struct PiPViewTest : PiPTest
{
    PiPView& shown(bool signedIn = true)
    {
        start(signedIn);
        makePip();
        showSettled();
        return *view();
    }
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view()->findChild<T*>(name);
    }
    bool present(const QString& name) const { return kit::Presence::of(find(name)).isPresent(); }
    QString text(const QString& pill) const
    {
        QStringList texts;
        for (const auto* label : find(pill)->findChildren<kit::TextLabel*>()) {
            texts << label->text();
        }
        return texts.join(QLatin1Char(' '));
    }
    // A click of the simulated pointer at the middle of a widget of the panel.
    void click(const QWidget& widget)
    {
        const QPointF at =
            pip->panel()->frame().topLeft() + widget.mapTo(view(), QRectF(widget.rect()).center());
        t.desktop.mouseMoved(at);
        t.desktop.mouseDown(at);
        t.desktop.mouseUp(at);
    }
    void runVirtualDisplay()
    {
        manager->startVirtualDisplay();
        t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    }
};

} // namespace

TEST_F(PiPViewTest, BeforeTheFirstFrameAPlaceholderSaysWhatIsMissing)
{
    for (const bool signedIn : {true, false}) {
        PiPView& v = shown(signedIn);
        EXPECT_EQ(find<kit::TextLabel>(QStringLiteral("pipPlaceholder"))->text(),
                  signedIn ? QStringLiteral("PREPARING PREVIEW") : QStringLiteral("SIGN IN TO START"));
        hover(v, true);
        EXPECT_EQ(find(QStringLiteral("pipMaskButton"))->isVisibleTo(&v), signedIn);
        EXPECT_FALSE(find(QStringLiteral("pipChromePause"))->isVisibleTo(&v)) << "no virtual display runs";
        manager->setVirtualDisplayPreviewImage(QImage(32, 20, QImage::Format_RGB32));
        EXPECT_FALSE(find(QStringLiteral("pipPlaceholder"))->isVisibleTo(&v));
        manager->setVirtualDisplayPreviewImage(std::nullopt);
    }
}

TEST_F(PiPViewTest, OnlyAnotherFrameRepaintsThePanel)
{
    shown();
    QImage frame(32, 20, QImage::Format_RGB32);
    frame.fill(Qt::green);
    manager->setVirtualDisplayPreviewImage(frame);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    const quint32 panel = pip->panel()->windowNumber();
    const quint64 version = t.desktop.windowContentVersion(panel);
    manager->setVirtualDisplayPreviewImage(frame);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_EQ(t.desktop.windowContentVersion(panel), version) << "the same frame again";
    QImage next(32, 20, QImage::Format_RGB32);
    next.fill(Qt::red);
    manager->setVirtualDisplayPreviewImage(next);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    EXPECT_GT(t.desktop.windowContentVersion(panel), version);
}

TEST_F(PiPViewTest, TheSecondPillSaysLiveFrozenOrCoveredAndThePausedPreviewIsOutlined)
{
    shown();
    EXPECT_TRUE(present(QStringLiteral("pipAudiencePill")));
    EXPECT_FALSE(present(QStringLiteral("pipLivePill")));
    manager->setDetectedShare(ScreenShareDetector::Source{"us.zoom.xos", "zoom.us"});
    EXPECT_TRUE(present(QStringLiteral("pipLivePill")));
    EXPECT_TRUE(find(QStringLiteral("pipLivePill"))->findChild<kit::PulseDot*>()->pulses());
    EXPECT_FALSE(find(QStringLiteral("pipAudiencePill"))->findChild<kit::PulseDot*>()->pulses());

    for (const auto mode : {WindowManager::PanicMode::Freeze, WindowManager::PanicMode::Cover}) {
        manager->setPanicMode(mode);
        manager->setSharePaused(true);
        t.scheduler.advance(0.3);
        EXPECT_FALSE(present(QStringLiteral("pipLivePill")));
        EXPECT_TRUE(present(QStringLiteral("pipPausedPill")));
        EXPECT_EQ(text(QStringLiteral("pipPausedPill")),
                  mode == WindowManager::PanicMode::Freeze ? QStringLiteral("FROZEN")
                                                           : QStringLiteral("COVERED"));
        const QImage image = kit::renderView(*view());
        const QColor edge = colorAt(image, {view()->width() / 2.0, 6.5});
        EXPECT_TRUE(near(edge, over(kit::Palette::flameBorder(), Qt::black), 12))
            << edge.name().toStdString();
        manager->setSharePaused(false);
    }
    t.scheduler.advance(0.3);
    EXPECT_TRUE(present(QStringLiteral("pipLivePill")));
    EXPECT_FALSE(present(QStringLiteral("pipPausedPill")));
}

TEST_F(PiPViewTest, HoveringShowsTheChromeAndMovesThePauseButtonIntoIt)
{
    PiPView& v = shown();
    runVirtualDisplay();
    manager->togglePanic();
    t.scheduler.advance(0.3);
    EXPECT_FALSE(present(QStringLiteral("pipChrome")));
    EXPECT_TRUE(present(QStringLiteral("pipCornerPause")));
    // The simulated pointer comes over the panel.
    t.desktop.mouseMoved(pip->panel()->frame().center());
    EXPECT_TRUE(v.isHovered());
    t.scheduler.advance(0.3);
    EXPECT_TRUE(present(QStringLiteral("pipChrome")));
    EXPECT_FALSE(present(QStringLiteral("pipCornerPause")));
    EXPECT_TRUE(find(QStringLiteral("pipChromePause"))->isVisibleTo(&v));
    // The chrome's pause button resumes.
    click(*find(QStringLiteral("pipChromePause")));
    EXPECT_FALSE(manager->sharePaused());
    t.desktop.mouseMoved({5, 500});
    EXPECT_FALSE(v.isHovered());
}

TEST_F(PiPViewTest, ThePanelsBorderBrightensAlongTheQuickCurveWhileThePointerIsOver)
{
    for (const bool reduced : {false, true}) {
        t.accessibility.setReduceMotion(reduced);
        PiPView& v = shown();
        // The middle of the top edge, inside the 1-point border.
        const auto border = [&v] {
            return colorAt(kit::renderView(v, 2.0), {v.width() / 2.0, 0.25});
        };
        const auto look = [](double opacity) {
            return over(kit::white(opacity), kit::Palette::surface());
        };
        EXPECT_TRUE(near(border(), look(0.08))) << reduced;
        const kit::Animation animation =
            reduced ? kit::reduceMotionAnimation() : kit::Animation::standard(PiPView::kHoverDuration);
        t.desktop.mouseMoved(pip->panel()->frame().center());
        ASSERT_TRUE(v.isHovered());
        t.scheduler.advance(0.03);
        const QColor between = border();
        EXPECT_TRUE(near(between, look(0.08 + 0.06 * animation.fraction(0.03)))) << reduced;
        EXPECT_FALSE(near(between, look(0.14))) << reduced << ": not at once";
        t.scheduler.advance(0.3);
        EXPECT_TRUE(near(border(), look(0.14))) << reduced;
        t.desktop.mouseMoved({5, 500});
        t.scheduler.advance(0.03);
        EXPECT_FALSE(near(border(), look(0.08))) << reduced << ": fading back";
        t.scheduler.advance(0.3);
        EXPECT_TRUE(near(border(), look(0.08))) << reduced;
    }
}

TEST_F(PiPViewTest, AnActiveChromeButtonShowsItsFlameThroughTheGlass)
{
    for (const bool solid : {false, true}) {
        t.accessibility.setReduceTransparency(solid);
        PiPView& v = shown();
        hover(v, true);
        auto* mask = find<ChromeButton>(QStringLiteral("pipMaskButton"));
        click(*mask);
        ASSERT_TRUE(mask->isActive());
        t.scheduler.advance(0.3);
        const QImage image = kit::renderView(v, 2.0);
        // Left of the glyph, inside the outline.
        const QColor active = colorAt(image, mask->mapTo(&v, QPointF(4, 11)));
        const QColor flame = kit::Palette::flame();
        EXPECT_TRUE(near(active, solid ? flame : over(kit::ChipBackgroundStyle::material(), flame)))
            << solid << " " << active.name().toStdString();
        QWidget* close = find(QStringLiteral("pipCloseButton"));
        const QColor idle = colorAt(image, close->mapTo(&v, QPointF(4, 11)));
        EXPECT_TRUE(near(idle, over(kit::ChipBackgroundStyle::fill(solid), Qt::black)))
            << solid << " " << idle.name().toStdString();
        maskEditor.close();
    }
}

TEST_F(PiPViewTest, CountPillsShowWhileCollapsedAndTheExpandControlsFlipAndSave)
{
    PiPView& v = shown();
    const auto a = t.desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto b = t.launchAppWithWindow(QStringLiteral("com.example.B"), QStringLiteral("B"));
    static_cast<void>(a);
    t.scheduler.advance(1);
    manager->toggleHidden(QStringLiteral("com.example.A"));
    manager->toggleWindowHidden(b.second, QStringLiteral("com.example.B"));
    EXPECT_FALSE(present(QStringLiteral("pipCountPills"))) << "expanded: the grid counts";

    hover(v, true);
    click(*find(QStringLiteral("pipExpandButton")));
    EXPECT_FALSE(pip->isExpanded());
    EXPECT_EQ(t.defaults.object(PiPController::expandedKey), QVariant(false));
    EXPECT_EQ(v.idealSize().width(), 256);
    EXPECT_EQ(pip->contentSize(), QSizeF(v.idealSize()));
    EXPECT_TRUE(present(QStringLiteral("pipCountPills")));
    EXPECT_EQ(text(QStringLiteral("pipHiddenPill")), QStringLiteral("2 HIDDEN"));
    EXPECT_FALSE(find(QStringLiteral("pipMaskedPill"))->isVisibleTo(&v));

    manager->toggleHidden(QStringLiteral("com.example.A"));
    manager->toggleWindowHidden(b.second, QStringLiteral("com.example.B"));
    EXPECT_FALSE(present(QStringLiteral("pipCountPills")));

    // Two presses on the preview make a double click.
    QWidget* preview = find(QStringLiteral("pipPreview"));
    click(*preview);
    t.scheduler.advance(0.1);
    click(*preview);
    EXPECT_TRUE(pip->isExpanded());
    EXPECT_EQ(t.defaults.object(PiPController::expandedKey), QVariant(true));
    t.scheduler.advance(1);
    click(*preview);
    EXPECT_TRUE(pip->isExpanded()) << "one press alone";
}

TEST_F(PiPViewTest, TheChromeOpensTheMaskEditorAndThePopoverAndClosesThePanel)
{
    PiPView& v = shown();
    hover(v, true);
    auto* mask = find<ChromeButton>(QStringLiteral("pipMaskButton"));
    click(*mask);
    EXPECT_TRUE(maskEditor.isEditing());
    EXPECT_EQ(mask->icon(), QStringLiteral("checkmark"));
    EXPECT_EQ(mask->help(), QStringLiteral("Done masking"));
    EXPECT_TRUE(mask->isActive());
    mask->click();
    EXPECT_FALSE(maskEditor.isEditing());
    EXPECT_EQ(mask->icon(), QStringLiteral("rectangle.dashed"));

    find<QAbstractButton>(QStringLiteral("pipOpenButton"))->click();
    EXPECT_EQ(shell.popoverShows, 1);

    // Opened by a share, closed by the user: the share's end leaves it closed, and so does the next.
    manager->setDetectedShare(std::nullopt);
    pip->hide();
    t.scheduler.advance(1);
    manager->setDetectedShare(ScreenShareDetector::Source{"us.zoom.xos", "zoom.us"});
    t.scheduler.advance(0.3);
    ASSERT_TRUE(pip->openedBySharing());
    hover(v, true);
    click(*find(QStringLiteral("pipCloseButton")));
    EXPECT_FALSE(pip->openedBySharing());
    EXPECT_FALSE(pip->isVisible());
}

TEST_F(PiPViewTest, ThePanelGrowsOutOfItsCornerUnlessMotionIsReduced)
{
    for (const bool reduced : {false, true}) {
        t.accessibility.setReduceMotion(reduced);
        PiPView& v = shown();
        EXPECT_DOUBLE_EQ(v.currentScale(), 1.0);
        pip->hide();
        t.scheduler.advance(0.5);
        EXPECT_DOUBLE_EQ(v.currentScale(), reduced ? 1.0 : PiPView::kDismissedScale);
        if (!reduced) {
            EXPECT_EQ(kit::ViewEffect::of(&v)->pose().anchor, QPointF(1, 1)) << "the bottom-right corner";
        }
    }
}

TEST_F(PiPViewTest, ADragThatStartsOnAButtonMovesThePanelWithoutClickingIt)
{
    PiPView& v = shown();
    hover(v, true);
    QWidget* close = find(QStringLiteral("pipCloseButton"));
    const QRectF before = panelFrame();
    const QPointF at = before.topLeft() + close->mapTo(&v, QRectF(close->rect()).center());
    drag(at, {at + QPointF(-5, 0), at + QPointF(-300, -200)}, 0.01, 0.1);
    EXPECT_TRUE(pip->isVisible()) << "not closed";
    EXPECT_NE(panelFrame(), before);
}

TEST_F(PiPViewTest, TheAudienceNeverSeesThePanelOverAWindowWhileTheUserDoes)
{
    const QColor grey(0x80, 0x80, 0x80);
    t.launchAppWithWindow(
        QStringLiteral("com.example.Notes"), QStringLiteral("Notes"), {100, 100, 1300, 860});
    start();
    runVirtualDisplay();
    const quint32 veilmox = *manager->virtualDisplayManager()->virtualScreen()->displayID();
    makePip();
    showSettled();
    const platform::sim::SimCompositor compositor(t.desktop);
    const auto check = [&](const char* when) {
        t.scheduler.advance(0.2); // a few capture ticks
        const QRectF panel = panelFrame();
        // A point in the panel's own padding, over the window.
        const QPointF probe = panel.topLeft() + QPointF(3, panel.height() / 2);
        ASSERT_TRUE(QRectF(100, 100, 1300, 860).contains(probe)) << when;
        const QImage audience = compositor.renderDisplay(veilmox, {3024, 1964});
        // Any other capture of the display (a meeting app sharing it directly) misses it too.
        const QImage captured = compositor.renderDisplay(t.mainDisplay, {3024, 1964});
        const QImage seen = compositor.renderSeen(t.mainDisplay, {3024, 1964});
        const QPoint pixel = (probe * 2).toPoint();
        EXPECT_EQ(audience.pixelColor(pixel), grey) << when;
        EXPECT_EQ(captured.pixelColor(pixel), grey) << when;
        EXPECT_TRUE(near(seen.pixelColor(pixel), kit::Palette::surface())) << when;
    };
    check("docked");
    // Dragged over the middle of the window and let go there: still seen, still not sent.
    const QPointF grab = panelFrame().center();
    t.desktop.mouseDown(grab);
    t.desktop.mouseMoved(grab + QPointF(-5, -5));
    t.desktop.mouseMoved(grab + QPointF(-500, -300));
    check("while dragged");
    t.desktop.mouseUp(grab + QPointF(-500, -300));
    t.scheduler.advance(1);
    check("flicked into a corner");
}
