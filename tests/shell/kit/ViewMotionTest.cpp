// Page switches, expansions, appearances and staged beats on the virtual clock.
#include "shell/kit/Collapsible.h"
#include "shell/kit/PageStack.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Sequence.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QApplication>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace kit;
using namespace testing_support;

namespace {

// One frame past the animation's end: its last tick has run.
double pastTheEnd(const Animation& animation)
{
    return animation.duration() + 1.5 / AnimatedValue::kFrameRate;
}

} // namespace

TEST(PageStack, ASwitchSlidesThePagesWithTheSpringOrFadesUnderReduceMotionAndEndsExactly)
{
    KitEnvironment env;
    QWidget window;
    window.resize(200, 100);
    auto* stack = new PageStack(&window);
    stack->setGeometry(window.rect());
    QWidget* main = swatch(Qt::red);
    QWidget* settings = swatch(Qt::blue);
    stack->addPage(main, Transition::move(Edge::Leading).fadingUnderReduceMotion());
    stack->addPage(settings, Transition::move(Edge::Trailing).fadingUnderReduceMotion());
    renderView(window);
    EXPECT_EQ(stack->currentPage(), main);
    EXPECT_FALSE(settings->isVisible());

    animateRespectingReduceMotion([&] { stack->setCurrentPage(settings); });
    env.advance(0.1);
    const ViewPose in = ViewEffect::of(settings)->pose();
    const ViewPose out = ViewEffect::of(main)->pose();
    EXPECT_GT(in.offset.x(), 0) << "the new page comes from the trailing edge";
    EXPECT_LT(in.offset.x(), 200);
    EXPECT_DOUBLE_EQ(out.offset.x(), in.offset.x() - 200) << "the old one leaves by the leading edge";
    EXPECT_DOUBLE_EQ(in.opacity, 1) << "a plain move";
    QImage mid = renderView(window, 1.0);
    EXPECT_EQ(colorAt(mid, QPointF(2, 50)), QColor(Qt::red));
    EXPECT_EQ(colorAt(mid, QPointF(198, 50)), QColor(Qt::blue));

    env.advance(pastTheEnd(layoutSpring()) - 0.1);
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(ViewEffect::of(settings), nullptr) << "at rest a page is drawn plainly";
    EXPECT_EQ(colorAt(renderView(window, 1.0), QPointF(2, 50)), QColor(Qt::blue));

    env.accessibility().setReduceMotion(true);
    animateRespectingReduceMotion([&] { stack->setCurrentPage(main); });
    env.advance(0.075);
    const ViewPose fading = ViewEffect::of(main)->pose();
    EXPECT_EQ(fading.offset, QPointF()) << "no move under Reduce Motion";
    EXPECT_NEAR(Presence::of(main).presence(), 0.5, 1e-9) << "half-way through the 0.15 s ease-in-out";
    EXPECT_GT(fading.opacity, 0.3) << "as of the last frame";
    EXPECT_LT(fading.opacity, 0.7);
    env.advance(pastTheEnd(reduceMotionAnimation()) - 0.075);
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(ViewEffect::of(main), nullptr);

    // Outside a transaction a switch is at once; a replaced page is deleted once gone.
    QPointer<QWidget> old = main;
    stack->replaceCurrentPage(swatch(Qt::green), Transition::opacity());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(colorAt(renderView(window, 1.0), QPointF(100, 50)), QColor(Qt::green));
}

TEST(Collapsible, ExpandsWithItsLayoutTurnsBackFromWhereItIsAndHidesItsContentWhenClosed)
{
    KitEnvironment env;
    QWidget column;
    column.resize(200, 300);
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget* list = swatch(Qt::red);
    list->setFixedHeight(80);
    auto* collapsible = new Collapsible(list);
    collapsible->setTransition(
        Transition::move(Edge::Top).combined(Transition::opacity()).fadingUnderReduceMotion());
    layout->addWidget(collapsible);
    QWidget* below = swatch(Qt::blue);
    below->setFixedHeight(20);
    layout->addWidget(below);
    layout->addStretch();
    renderView(column);
    EXPECT_EQ(collapsible->height(), 0);
    EXPECT_FALSE(list->isVisible());

    animateRespectingReduceMotion([&] { collapsible->setExpanded(true); });
    EXPECT_TRUE(list->isVisible());
    env.advance(0.08);
    const int opening = collapsible->heightForWidth(200);
    EXPECT_GT(opening, 0);
    EXPECT_LT(opening, 80);
    renderView(column);
    EXPECT_EQ(below->y(), opening) << "what lies below follows";
    EXPECT_LT(ViewEffect::of(list)->pose().offset.y(), 0) << "the list comes down from the top";

    animateRespectingReduceMotion([&] { collapsible->setExpanded(false); });
    EXPECT_NEAR(collapsible->heightForWidth(200), opening, 1) << "turned back from where it was";
    env.advance(pastTheEnd(layoutSpring()));
    EXPECT_EQ(collapsible->heightForWidth(200), 0);
    EXPECT_FALSE(list->isVisible());

    collapsible->setExpanded(true);
    EXPECT_EQ(collapsible->heightForWidth(200), 80) << "outside a transaction, at once";

    env.accessibility().setReduceMotion(true);
    animateRespectingReduceMotion([&] { collapsible->setExpanded(false); });
    env.advance(0.05);
    EXPECT_EQ(ViewEffect::of(list)->pose().offset, QPointF()) << "only a fade under Reduce Motion";
    env.advance(pastTheEnd(reduceMotionAnimation()) - 0.05);
    EXPECT_EQ(collapsible->heightForWidth(200), 0);
}

TEST(Sequence, BeatsRunAtTheirTimesAndARestartCancelsWhatIsPending)
{
    KitEnvironment env;
    QStringList ran;
    auto beats = [&] {
        return std::vector<Sequence::Beat>{{0.48,
                                            [&] {
                                                ran << "row 1";
                                            }},
                                           {0.96,
                                            [&] {
                                                ran << "row 2";
                                            }},
                                           {1.94, [&] {
                                                ran << "success";
                                            }}};
    };
    Sequence sequence;
    sequence.start(beats());
    env.advance(0.5);
    EXPECT_EQ(ran, QStringList({"row 1"}));
    sequence.start(beats()); // a new trigger replaces the running sequence
    env.advance(1.0);
    EXPECT_EQ(ran, QStringList({"row 1", "row 1", "row 2"})) << "measured from the new start";
    sequence.finish();
    EXPECT_EQ(ran, QStringList({"row 1", "row 1", "row 2", "success"})) << "completed at once";
    env.advance(5);
    EXPECT_EQ(ran.size(), 4);

    ran.clear();
    sequence.start(beats());
    sequence.cancel();
    EXPECT_FALSE(sequence.isPending());
    {
        Sequence gone;
        gone.start(beats());
    }
    env.advance(5);
    EXPECT_TRUE(ran.isEmpty()) << "cancelled and destroyed sequences run nothing";

    env.accessibility().setReduceMotion(true);
    sequence.startRespectingReduceMotion(beats(), [&] { ran << "ready"; });
    EXPECT_EQ(ran, QStringList({"ready"})) << "the final state at once";
    env.advance(5);
    EXPECT_EQ(ran, QStringList({"ready"}));
}

TEST(Collapsible, OpenInANarrowColumnItTakesTheFullHeightOfItsWrappedContent)
{
    KitEnvironment env;
    QWidget column;
    column.resize(120, 400);
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new TextView(QStringLiteral("A long line of words that wraps onto several lines here"),
                              monoMutedLabel(11));
    auto* collapsible = new Collapsible(text, true);
    layout->addWidget(collapsible);
    layout->addStretch();
    renderView(column);
    EXPECT_GT(text->heightForWidth(120), text->sizeHint().height());
    EXPECT_EQ(collapsible->height(), text->heightForWidth(120));
}
