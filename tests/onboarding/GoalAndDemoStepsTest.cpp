// The goal step (which preview each goal shows, choosing with its cross-fade and the events
// that carry it) and the demo step (which private windows it shows and how it names them, the
// drag's arithmetic, the hide button and its cue, the veil only the audience sees, the pin and the
// transparency, a drag settling in virtual time), driven through the onboarding window, with
// pictures of their states.
#include "onboarding/OBComponents.h"
#include "onboarding/OnboardingPersona.h"
#include "onboarding/OnboardingStepDemo.h"
#include "onboarding/OnboardingStepGoal.h"
#include "onboarding/mocks/PresentationSlideWindow.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/VeilSound.h"
#include "tests/onboarding/OnboardingWindow.h"
#include "tests/support/DamagedInput.h"

#include <QAbstractButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace testing_support;
using C = HideCategory;
using V = RevealVariant;

namespace {

struct Goal : OnboardingWindow
{
    explicit Goal(const QString& persona = {})
        : OnboardingWindow(OnboardingFlow::kGoalStep, 0, persona)
        , stage(find<PersonaStage>("goal.stage"))
    {
        env.advance(1);
    }

    QList<double> opacities() const
    {
        QList<double> list;
        for (int i = 0; i < 4; ++i) {
            list << stage->opacityNow(i);
        }
        return list;
    }
    QStringList selectedCards() const
    {
        QStringList ids;
        for (const OnboardingPersona& p : OnboardingPersona::all()) {
            if (find<SelectableRow>("goal.persona." + p.id)->isSelected()) {
                ids << p.id;
            }
        }
        return ids;
    }

    PersonaStage* stage;
};

} // namespace

TEST(GoalStep, EachGoalHasItsPreviewAndTheFirstShowsDimmedBeforeAnyChoice)
{
    EXPECT_EQ(PersonaStage::previewFor("professional"), PersonaPreview::Email);
    EXPECT_EQ(PersonaStage::previewFor("remote"), PersonaPreview::Notes);
    EXPECT_EQ(PersonaStage::previewFor("curious"), PersonaPreview::Finance);
    EXPECT_EQ(PersonaStage::previewFor("student"), PersonaPreview::Chat);
    EXPECT_EQ(PersonaStage::previewFor("anyone else"), PersonaPreview::Chat);

    const std::pair<QString, QList<double>> cases[] = {
        {"", {0.7, 0, 0, 0}},
        {"curious", {0, 0, 1, 0}},
        {"professional", {1, 0, 0, 0}},
        {"nobody", {0, 0, 0, 0}},
    };
    for (const auto& [persona, expected] : cases) {
        Goal g(persona);
        EXPECT_EQ(g.opacities(), expected) << persona.toStdString();
        EXPECT_EQ(g.selectedCards(),
                  persona == "curious" || persona == "professional" ? QStringList{persona} : QStringList{})
            << persona.toStdString();
        EXPECT_EQ(g.find("goal.description")->isVisible(), !persona.isEmpty());
        if (!persona.isEmpty()) {
            EXPECT_EQ(g.find<kit::TextView>("goal.description")->text(),
                      OnboardingPersona::find(persona).desc)
                << "an unknown id reads as the first goal";
        }
    }
}

TEST(GoalStep, ChoosingAGoalSelectsItsCardCrossFadesItsPreviewAndLetsTheFlowGoOnWithPictures)
{
    for (const bool reduceMotion : {false, true}) {
        Goal g;
        g.env.accessibility().setReduceMotion(reduceMotion);
        const QImage none = g.picture(QStringLiteral("onboarding-goal-step"));
        const auto* card = g.find("goal.persona.curious");
        const QPointF blank = g.inWindow(*card, {card->width() - 70.0, 6});
        EXPECT_TRUE(near(colorAt(none, blank), OBTokens::surface(), 2));
        // The first goal's mail window, dimmed to 0.7 over the panel, in the middle of its title bar.
        const QSizeF mail = PersonaPreviewWindow{PersonaPreview::Email}.item().sizeThatFits(
            {PersonaStage::kMaxWidth, g.stage->height()});
        const QPointF titleBar =
            g.inWindow(*g.stage, {g.stage->width() / 2.0, (g.stage->height() - mail.height()) / 2 + 13});
        EXPECT_TRUE(near(colorAt(none, titleBar), over(kit::rgb(0x191A22, 0.7), OBTokens::surface()), 3));

        EXPECT_FALSE(g.flow().canContinue());
        g.click("goal.persona.curious");
        EXPECT_EQ(g.flow().persona(), QStringLiteral("curious"));
        EXPECT_TRUE(g.flow().canContinue());
        EXPECT_EQ(g.selectedCards(), QStringList{"curious"});
        EXPECT_EQ(g.find<kit::TextView>("goal.description")->text(), OnboardingPersona::find("curious").desc);
        // The card's fill and border ease into the chosen look over 0.2 s (0.15 s under Reduce
        // Motion): the top edge's border, inside the card, on its way.
        const kit::Animation choice =
            reduceMotion ? kit::reduceMotionAnimation() : kit::Animation::standard(0.2);
        const QPointF edge = g.inWindow(*card, {card->width() / 2.0, 0.25});
        const auto cardEdge = [](double f) {
            return over(kit::mixColors(OBTokens::hairline(), OBTokens::selectedBorder(), f),
                        kit::mixColors(OBTokens::surface(), OBTokens::selectedFill(), f));
        };
        g.env.advance(0.05);
        const QImage choosing = g.picture(QStringLiteral("onboarding-goal-step-choosing"));
        EXPECT_TRUE(near(colorAt(choosing, edge), cardEdge(choice.fraction(0.05)), 3))
            << colorAt(choosing, edge).name().toStdString();
        EXPECT_FALSE(near(colorAt(choosing, edge), cardEdge(1), 3)) << "not at once";
        const auto* indicator = card->findChildren<QWidget*>().last();
        const QColor appearing = colorAt(choosing, g.inWindow(*indicator, {4, indicator->height() / 2.0}));
        EXPECT_GT(appearing.red(), 40) << "the flame disc fading in";
        EXPECT_LT(appearing.red(), 220);
        g.env.advance(0.05);
        EXPECT_GT(g.stage->opacityNow(0), 0);
        EXPECT_LT(g.stage->opacityNow(2), 1);
        g.env.advance(0.07);
        EXPECT_EQ(g.opacities() == (QList<double>{0, 0, 1, 0}), reduceMotion) << "0.15 s under Reduce Motion";
        g.env.advance(0.83);
        EXPECT_EQ(g.opacities(), (QList<double>{0, 0, 1, 0}));
        const QImage chosen = g.picture(QStringLiteral("onboarding-goal-step-chosen"));
        EXPECT_TRUE(near(colorAt(chosen, blank), OBTokens::selectedFill(), 2));
        EXPECT_TRUE(near(colorAt(chosen, edge), cardEdge(1), 3));
        const QColor disc = colorAt(chosen, g.inWindow(*indicator, {4, indicator->height() / 2.0}));
        EXPECT_GT(disc.red(), 230) << "the flame disc";
        EXPECT_LT(disc.blue(), 80);

        // The chosen card again keeps the choice; another one moves it; Continue carries it.
        g.click("goal.persona.curious");
        EXPECT_EQ(g.flow().persona(), QStringLiteral("curious"));
        g.click("goal.persona.student");
        EXPECT_EQ(g.selectedCards(), QStringList{"student"});
        g.env.advance(1);
        g.picture(QStringLiteral("onboarding-goal-step-student"));
        g.find<QAbstractButton>("onboardingContinue")->click();
        ASSERT_EQ(g.services->sent(), (QStringList{"step_started:0", "step_completed:0", "step_started:1"}));
        EXPECT_EQ(g.services->events.at(1).metadata.value("persona").toString(), QStringLiteral("student"));
        EXPECT_EQ(OnboardingDraft::load(g.services->store).persona, QStringLiteral("student"));
    }
}

namespace {

const QColor kWindowSurface(0x13, 0x17, 0x22);
const QColor kWindowTitleBar(0x19, 0x1A, 0x22);

struct Demo : OnboardingWindow
{
    explicit Demo(const QString& persona = {},
                  const QStringList& categories = OnboardingDraft().selectedCategories)
        : OnboardingWindow(OnboardingFlow::kDemoStep, 0, persona, categories)
        , step(qobject_cast<OnboardingStepDemo*>(view->currentStepView()))
    {
        env.advance(1);
    }

    QWidget* layers(const char* pane) const
    {
        return find(QString::fromLatin1(pane))->findChild<QWidget*>(QStringLiteral("demo.layers"));
    }
    // A point of the private window at rest, `from` its bottom-leading corner, as the window is
    // drawn now on a pane (scaled about its centre, moved by the offset).
    QPointF onWindow(const char* pane, QPointF from, bool audience = false) const
    {
        const QWidget* p = find(QString::fromLatin1(pane));
        const QList<RevealVariant> variants =
            OnboardingStepDemo::revealVariants(flow().persona(), flow().selected());
        const double height = RevealStack{variants, 9}.item().sizeThatFits({238, std::nullopt}).height();
        const QRectF rest(p->width() - (audience ? 14 : 12) - 238, p->height() - 12 - height, 238, height);
        const DemoWindowLook look = audience ? step->audienceWindowLook() : step->ownWindowLook();
        const QPointF at = rest.bottomLeft() + QPointF(from.x(), -from.y());
        const QPointF drawn = rest.center() + (at - rest.center()) * look.scale + step->displayedOffset();
        return inWindow(*p, drawn + QPointF(0, look.sink));
    }
    // A drag on the user's monitor: pressed on the window, moved through `path` (points relative to
    // the press) one frame apart, released at the last.
    void drag(const QList<QPointF>& path, double frame = 1.0 / 60)
    {
        QWidget* surface = layers("demo.yourScreen");
        const QPointF start = surface->mapFrom(view.get(), onWindow("demo.yourScreen", {120, 30}));
        press(*surface, start);
        for (const QPointF& p : path) {
            env.advance(frame);
            moveMouse(*surface, start + p);
        }
        release(*surface, start + path.last());
    }

    OnboardingStepDemo* step;
};

} // namespace

TEST(DemoStep, RevealVariantsFollowTheChoicesInTheCategoriesOwnOrder)
{
    struct Case
    {
        QString persona;
        QSet<HideCategory> selected;
        QList<RevealVariant> variants;
    };
    const Case cases[] = {
        {"", {}, {V::Workchat}},
        {"remote", {}, {V::Search}},
        {"remote", {C::Personal, C::WorkChat, C::Finance}, {V::Search}},
        {"professional", {C::Personal, C::Finance}, {V::Banking, V::Messages}},
        {"student",
         {C::Personal, C::Files, C::Finance, C::WorkChat},
         {V::Workchat, V::Banking, V::Files, V::Messages}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OnboardingStepDemo::revealVariants(c.persona, c.selected), c.variants)
            << c.persona.toStdString();
    }
}

// A set iterates in an order of its own that changes from run to run; the labels must not.
TEST(DemoStep, WindowLabelsNameTheFirstChosenCategoryInTheCategoriesOwnOrder)
{
    const DemoWindowLabels labels[] = {
        {"Work & team chat", "#leadership-confidential"},
        {"Banking & financial accounts", "Online banking •••• 4821"},
        {"Desktop & sensitive files", "Downloads · private docs"},
        {"Personal messages & private chats", "Family texts, DMs"},
    };
    EXPECT_EQ(OnboardingStepDemo::windowLabels({}), labels[0]);
    for (int mask = 1; mask < 16; ++mask) {
        QSet<HideCategory> selected;
        for (int i = 3; i >= 0; --i) {
            if ((mask & (1 << i)) != 0) {
                selected.insert(HideCategory::allCases().at(static_cast<std::size_t>(i)));
            }
        }
        const int first = std::countr_zero(static_cast<unsigned>(mask));
        EXPECT_EQ(OnboardingStepDemo::windowLabels(selected), labels[first]) << mask;
    }
}

TEST(DemoDrag, RubberBandIsFreeInsideItsRangeAndResistsBeyondIt)
{
    // Beyond the range an excess x shows as x · d · 0.55 / (0.55 x + d), worked out by hand.
    const std::array<double, 4> cases[] = {
        // value, lower end, pane dimension, shown
        {-60, -100, 400, -60},
        {-300, -100, 400, -186.27}, // 200 past the left end
        {100, -128, 268, 45.63},    // 100 down from rest
        {40, 0, 493, 21.06},        // no horizontal travel at all
        {-40, 0, 493, -21.06},
    };
    for (const auto& [value, lower, dimension, shown] : cases) {
        EXPECT_NEAR(DemoDrag::rubberBand(value, lower, dimension), shown, 0.01) << value;
    }
    EXPECT_EQ(DemoDrag::limitX(493, 238), 225);
    EXPECT_EQ(DemoDrag::limitX(260, 238), 0) << "a pane narrower than the window and its margin";
}

// A row squeezed below the panes' spacing leaves them no width; the resistance must not divide
// by zero or turn the pull around.
TEST(DemoDrag, APaneWithoutExtentGivesNoMovementBeyondTheRange)
{
    for (const double dimension : {0.0, -10.0, -55.0}) {
        EXPECT_EQ(DemoDrag::rubberBand(100, -50, dimension), 0) << dimension;
        EXPECT_EQ(DemoDrag::rubberBand(-200, -50, dimension), -50) << dimension;
        EXPECT_EQ(DemoDrag::rubberBand(-20, -50, dimension), -20) << dimension;
    }
    const QPointF shown = DemoDrag::rubberBanded({80, -10}, 0, DemoDrag::paneWidth(4));
    EXPECT_TRUE(std::isfinite(shown.x()) && std::isfinite(shown.y()));
    EXPECT_EQ(shown.x(), 0);
}

TEST(DemoDrag, AReleaseCoastsToAClampedTargetAndAFlickSettlesBouncier)
{
    struct Case
    {
        QPointF offset, velocity, target;
    };
    const Case cases[] = {
        {{-50, -20}, {-100, 50}, {-59.9, -15.05}}, // coasts 0.099 s worth of the velocity
        {{-50, -20}, {1000, -2000}, {0, -128}},    // clamped to the resting corner and the top
        {{-300, 40}, {0, 0}, {-225, 0}},           // a release past the ends comes back
    };
    for (const Case& c : cases) {
        const QPointF target = DemoDrag::releaseTarget(c.offset, c.velocity, 225);
        EXPECT_NEAR(target.x(), c.target.x(), 1e-9);
        EXPECT_NEAR(target.y(), c.target.y(), 1e-9);
    }
    EXPECT_EQ(DemoDrag::releaseVelocity({130, 80}, {100, 100}), QPointF(120, -80));

    KitEnvironment env;
    EXPECT_EQ(DemoDrag::settleAnimation(200), kit::Animation::spring(0.35, 1.0));
    EXPECT_EQ(DemoDrag::settleAnimation(200.5), kit::Animation::spring(0.35, 0.8));
    env.accessibility().setReduceMotion(true);
    EXPECT_EQ(DemoDrag::settleAnimation(900), kit::reduceMotionAnimation());
}

TEST(DemoStep, EveryHidePressPlaysTheVeilCueAndTheFirstLetsTheFlowContinueAndEndsTheHint)
{
    Demo d;
    EXPECT_FALSE(d.flow().canContinue());
    // Until the first press the button is ringed in flame, with a glow about it.
    const QWidget* veil = d.find("demo.veil");
    const QPointF edge = d.inWindow(*veil, {veil->width() / 2.0, 0.25});
    const QPointF glow = d.inWindow(*veil, {-1.5, veil->height() / 2.0});
    const QColor rest = over(OBTokens::hairlineStrong(), OBTokens::surfaceRaised());
    const QImage hinted = d.picture(QStringLiteral("onboarding-demo-step-hint"));
    EXPECT_TRUE(near(colorAt(hinted, edge), over(kit::rgb(0xFF7A17, 0.6), rest), 3));
    EXPECT_GT(colorAt(hinted, glow).red(), OBTokens::surface().red() + 3) << "the faint glow beside it";
    d.click("demo.veil");
    EXPECT_TRUE(d.flow().isDemoVeiled());
    EXPECT_EQ(d.find<QAbstractButton>("demo.veil")->accessibleName(),
              QStringLiteral("Hidden from the share. Click to show it again."));
    d.click("demo.veil");
    EXPECT_FALSE(d.flow().isDemoVeiled());
    EXPECT_TRUE(d.flow().hasTriedVeil());
    EXPECT_TRUE(d.flow().canContinue());
    ASSERT_EQ(d.env.t.audio.players.size(), 1U);
    EXPECT_EQ(d.env.t.audio.players[0]->data, kit::VeilSound::makeWAV(kit::VeilSound::Cue::Veil));
    EXPECT_EQ(d.env.t.audio.players[0]->plays, 2);
    d.env.advance(1);
    const QImage tried = d.picture(QStringLiteral("onboarding-demo-step-tried"));
    EXPECT_TRUE(near(colorAt(tried, edge), rest, 3)) << "the ring is gone";
    EXPECT_TRUE(near(colorAt(tried, glow), OBTokens::surface())) << "and its glow";
}

TEST(DemoStep, ADraggedWindowResistsPastItsCornerAndSettlesOnItsTargetInVirtualTime)
{
    Demo d;
    EXPECT_EQ(d.step->paneWidth(), 493);
    EXPECT_EQ(d.step->limitX(), 225);

    // Slowly 100 points down from the resting corner: it shows the rubber band's 45.6, then
    // springs back without overshoot.
    QList<QPointF> down;
    for (int i = 1; i <= 100; ++i) {
        down << QPointF(0, i);
    }
    QWidget* surface = d.layers("demo.yourScreen");
    const QPointF start = surface->mapFrom(d.view.get(), d.onWindow("demo.yourScreen", {120, 30}));
    press(*surface, start);
    moveMouse(*surface, start + QPointF(0, 9));
    EXPECT_FALSE(d.step->isDragging()) << "not yet 10 points";
    for (const QPointF& p : down) {
        d.env.advance(0.05);
        moveMouse(*surface, start + p);
    }
    EXPECT_TRUE(d.step->isDragging());
    EXPECT_NEAR(d.step->displayedOffset().y(), 45.63, 0.01);
    release(*surface, start + down.last());
    EXPECT_FALSE(d.step->isDragging());
    EXPECT_EQ(d.step->windowOffset(), QPointF(0, 0));
    d.env.advance(kit::Animation::spring(0.35, 1.0).duration() + 0.05);
    EXPECT_EQ(d.step->displayedOffset(), QPointF(0, 0));

    // A quick flick up and left coasts past the travel and settles, bouncing, on its clamped end.
    d.drag({{-20, -10}, {-60, -30}, {-100, -50}, {-140, -70}});
    const QPointF target = d.step->windowOffset();
    EXPECT_EQ(target, QPointF(-225, -128)) << "2,400 points a second coast far past both ends";
    double furthest = 0;
    for (int frame = 0; frame < 120; ++frame) {
        d.env.advance(1.0 / 60);
        furthest = std::min(furthest, d.step->displayedOffset().y());
    }
    EXPECT_LT(furthest, -128) << "a flick's spring overshoots a little";
    EXPECT_EQ(d.step->displayedOffset(), target);

    // The audience sees the window where the user put it.
    const QPointF own = d.onWindow("demo.yourScreen", {8, 4});
    const QPointF theirs = d.onWindow("demo.audience", {8, 4}, true);
    EXPECT_NEAR(
        theirs.x() - own.x(), d.find("demo.audience")->x() - d.find("demo.yourScreen")->x() - 2, 0.01);
}

// The veil on the audience's monitor only, the pin and the transparency at once, with pictures
// (the run without Reduce Motion goes last and leaves its pictures).
TEST(DemoStep, TheVeilAnimatesOnTheAudiencesMonitorOnlyAndThePinAndTransparencyChangeAtOnce)
{
    for (const bool reduceMotion : {true, false}) {
        Demo d;
        d.env.accessibility().setReduceMotion(reduceMotion);
        EXPECT_EQ(d.step->ownWindowLook().scale, 1.02);
        const QImage image = d.picture(QStringLiteral("onboarding-demo-step"));
        EXPECT_TRUE(near(colorAt(image, d.onWindow("demo.audience", {8, 4}, true)), kWindowSurface, 3))
            << "the audience sees the private window";
        // The audience monitor's rose outline is centred on its edge: half a point out, half in.
        const QWidget* audience = d.find("demo.audience");
        const QColor rose = kit::rgb(0xFF5F56, 0.45);
        EXPECT_TRUE(
            near(colorAt(image, d.inWindow(*audience, {audience->width() / 2.0, -0.25})), over(rose), 3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*audience, {audience->width() / 2.0, 0.25})),
                         over(rose, OBTokens::surface()),
                         3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*audience, {audience->width() / 2.0, 0.75})),
                         OBTokens::surface()));
        // So are the outer edges at the row's two ends: the user's monitor's left edge and the
        // audience monitor's right edge.
        const QWidget* own = d.find("demo.yourScreen");
        const double middle = own->height() / 2.0;
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*own, {-0.25, middle})), over(OBTokens::hairline()), 3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*own, {0.25, middle})),
                         over(OBTokens::hairline(), OBTokens::surface()),
                         3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*own, {-0.75, middle})), OBTokens::canvas(), 2));
        EXPECT_TRUE(
            near(colorAt(image, d.inWindow(*audience, {audience->width() + 0.25, middle})), over(rose), 3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*audience, {audience->width() - 0.25, middle})),
                         over(rose, OBTokens::surface()),
                         3));
        EXPECT_TRUE(near(colorAt(image, d.inWindow(*audience, {audience->width() + 0.75, middle})),
                         OBTokens::canvas(),
                         2));
        d.click("demo.veil");
        d.env.advance(0.08);
        d.picture(QStringLiteral("onboarding-demo-step-veiling"));
        d.env.advance(0.02);
        const DemoWindowLook midway = d.step->audienceWindowLook();
        EXPECT_GT(midway.opacity, 0);
        EXPECT_LT(midway.opacity, 1);
        EXPECT_EQ(d.step->ownWindowLook().opacity, 1);
        d.env.advance(reduceMotion ? 0.07 : 0.22);
        const DemoWindowLook hidden = d.step->audienceWindowLook();
        EXPECT_EQ(std::tuple(hidden.opacity, hidden.blur, hidden.scale, hidden.sink),
                  std::tuple(0, 12, 0.75, 16))
            << reduceMotion;
        EXPECT_EQ(d.find("demo.audience")->findChild<kit::TextView*>()->text(),
                  QStringLiteral("Audience sees the presentation only"));
        EXPECT_FALSE(d.find("demo.audience")->findChild<kit::PulseDot*>()->pulses());
        d.env.advance(1);
        const QImage veiled = d.picture(QStringLiteral("onboarding-demo-step-veiled"));
        EXPECT_TRUE(near(colorAt(veiled, d.onWindow("demo.audience", {8, 4}, true)), OBTokens::surface(), 3))
            << "hidden from the audience";
        EXPECT_TRUE(near(colorAt(veiled, d.onWindow("demo.yourScreen", {8, 4})), kWindowSurface, 3))
            << "still on the user's own monitor";
        EXPECT_TRUE(near(colorAt(veiled, d.inWindow(*audience, {audience->width() / 2.0, -0.25})),
                         over(OBTokens::selectedBorder()),
                         3))
            << "the outline turned flame all round";

        // Unpinned, the slide lies over the window where they overlap.
        const QWidget* pane = d.find("demo.yourScreen");
        const double slideBottom =
            30 + PresentationSlideWindow().item().sizeThatFits({pane->width() - 28.0, std::nullopt}).height();
        const QPointF overlap = d.inWindow(*pane, {pane->width() - 12 - 119.0, slideBottom - 6});
        EXPECT_TRUE(near(colorAt(veiled, overlap), kWindowTitleBar, 3)) << "pinned over the slide";
        d.click("demo.pin");
        EXPECT_FALSE(d.flow().isDemoPinned());
        EXPECT_EQ(d.step->ownWindowLook().scale, 1.0) << "unpinned, no lift";
        auto* value = d.find<kit::TextView>("demo.transparency");
        auto* reset = d.find<QAbstractButton>("demo.reset");
        EXPECT_EQ(value->text(), QStringLiteral("100%"));
        EXPECT_FALSE(reset->isEnabled());
        d.flow().setTransparency(60);
        EXPECT_EQ(value->text(), QStringLiteral("60%"));
        EXPECT_TRUE(reset->isEnabled());
        const QImage unpinned = d.picture(QStringLiteral("onboarding-demo-step-unpinned"));
        EXPECT_TRUE(near(colorAt(unpinned, overlap), OBTokens::surfaceHigh(), 3)) << "behind the slide";
        d.click("demo.veil"); // shown again, at the chosen transparency
        d.env.advance(1);
        EXPECT_EQ(d.step->audienceWindowLook().scale, 1.0);
        EXPECT_DOUBLE_EQ(d.step->audienceWindowLook().opacity, 0.6);
        d.click("demo.reset");
        EXPECT_EQ(d.flow().transparency(), 100);
        EXPECT_FALSE(reset->isEnabled());
    }
}

namespace {

// One launch of the application as far as the onboarding goes: the real state object and the
// onboarding window over the settings in their property-list file, read afresh.
struct Launch
{
    explicit Launch(const QString& settingsFile)
        : settings(settingsFile)
    {
        platform::Services services = env.t.services();
        services.defaults = &settings;
        manager = std::make_unique<WindowManager>(services, &registry);
        view = std::make_unique<OnboardingView>(
            std::make_unique<SystemOnboardingServices>(*manager, nullptr, env.t.scheduler, settings), [] {});
        view->show();
        env.advance(4);
    }

    OnboardingFlow& flow() const { return view->flow(); }
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->findChild<T*>(name);
    }
    // A click of the pointer through the window, `at` in the control's coordinates.
    void click(const QString& name, QPointF at) const
    {
        const QPoint point = find(name)->mapTo(view.get(), at).toPoint();
        QTest::mouseClick(view->windowHandle(), Qt::LeftButton, Qt::NoModifier, point);
    }
    void pressReturn()
    {
        QTest::simulateEvent(view->windowHandle(), true, Qt::Key_Return, Qt::NoModifier, QString(), false);
        QTest::simulateEvent(view->windowHandle(), false, Qt::Key_Return, Qt::NoModifier, QString(), false);
        env.t.scheduler.advance(1);
    }

    KitEnvironment env;
    platform::PlistUserDefaults settings;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    std::unique_ptr<WindowManager> manager;
    std::unique_ptr<OnboardingView> view;
};

} // namespace

// A draft written by another version (a transparency the slider cannot show, a category this
// one does not know) is kept as stored and shown within the slider's range; the transparency the
// user picks comes back on the next launch.
TEST(DemoStep, TheTransparencyComesBackFromTheSettingsFileAsStored)
{
    const QTemporaryDir dir(temporaryFolderTemplate(QStringLiteral("onboarding")));
    const QString path = dir.filePath(QStringLiteral("getveilmox.Veilmox.plist"));
    const auto storedDraft = [&path] {
        return platform::PlistUserDefaults(path).dataForKey(OnboardingDraft::kDefaultsKey);
    };
    {
        platform::PlistUserDefaults settings(path);
        OnboardingDraft left;
        left.persona = QStringLiteral("remote");
        left.selectedCategories = QStringList{"Work Chat", "Cloud Drives"};
        left.transparency = 30;
        left.step = OnboardingFlow::kDemoStep;
        left.save(settings);
    }
    const auto before = storedDraft();
    ASSERT_TRUE(before.has_value());
    {
        Launch app(path);
        ASSERT_EQ(app.flow().step(), OnboardingFlow::kDemoStep);
        EXPECT_EQ(app.flow().transparency(), 30);
        EXPECT_EQ(app.flow().selected(), QSet<HideCategory>{C::WorkChat});
        auto* step = qobject_cast<OnboardingStepDemo*>(app.view->currentStepView());
        EXPECT_EQ(app.find<kit::TextView>(QStringLiteral("demo.transparency"))->text(),
                  QStringLiteral("50%"));
        EXPECT_EQ(app.find<kit::FlameSlider>(QStringLiteral("OBOpacitySlider"))->value(), 30)
            << "drawn at its lower end";
        EXPECT_DOUBLE_EQ(step->ownWindowLook().opacity, 0.5);
        EXPECT_TRUE(app.find(QStringLiteral("demo.reset"))->isEnabled());
    }
    EXPECT_EQ(storedDraft(), before) << "opening the window changes nothing stored";

    double chosen = 0;
    {
        Launch app(path);
        EXPECT_EQ(app.flow().transparency(), 30);
        // About three quarters along the slider.
        const QWidget* slider = app.find(QStringLiteral("OBOpacitySlider"));
        app.click(QStringLiteral("OBOpacitySlider"), {slider->width() * 0.46, slider->height() / 2.0});
        chosen = app.flow().transparency();
        EXPECT_GT(chosen, 70);
        EXPECT_LT(chosen, 78);
        EXPECT_EQ(OnboardingDraft::load(platform::PlistUserDefaults(path)).transparency, chosen);
        app.flow().setHasTriedVeil(true);
        app.pressReturn();
        app.flow().setShortcutTriggerCount(1);
        app.pressReturn();
        ASSERT_EQ(app.flow().step(), OnboardingFlow::kSetupStep);
    }
    Launch app(path);
    EXPECT_EQ(app.flow().step(), OnboardingFlow::kSetupStep);
    EXPECT_EQ(app.flow().persona(), QStringLiteral("remote"));
    EXPECT_EQ(app.flow().transparency(), chosen);
    EXPECT_EQ(app.find<kit::TextView>(QStringLiteral("receipt.transparency"))->text(),
              QStringLiteral("%1%").arg(std::lround(chosen)));
}

TEST(DemoStep, PicturesOfOtherChoices)
{
    Demo remote("remote", {"Work Chat", "Personal Messages"});
    remote.drag({{-40, -20}, {-80, -40}, {-120, -60}}, 0.2);
    remote.env.advance(1);
    remote.picture(QStringLiteral("onboarding-demo-step-remote-moved"));
    EXPECT_EQ(remote.find<kit::TextView>("demo.windowTitle")->text(), QStringLiteral("Work & team chat"));
    Demo personal("professional", {"Banking & Finance", "Desktop & Files", "Personal Messages"});
    personal.picture(QStringLiteral("onboarding-demo-step-three-windows"));
}

namespace {

// The window drawn once every change of layout has gone through: a change of size goes up one
// layout a turn, so as many turns as the window has levels.
QImage drawnSettled(const Demo& d)
{
    for (int turn = 0; turn < 8; ++turn) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    return kit::renderView(*d.view, 2.0);
}

// The demo's changes, one a stage, each with the time it takes.
constexpr std::size_t kDemoStages = 9;
void changeDemo(Demo& d, std::size_t stage)
{
    switch (stage) {
    case 1: // dragged, still settling
        d.drag({{-30, -10}, {-70, -30}, {-110, -50}}, 0.2);
        d.env.advance(0.1);
        break;
    case 3:
        d.click("demo.pin");
        break;
    case 4:
        d.flow().setTransparency(73.5);
        break;
    case 5: // being hidden
    case 7: // coming back, its dot pulsing anew
        d.click("demo.veil");
        d.env.advance(stage == 5 ? 0.15 : 0.1);
        break;
    default: // at rest, settled, hidden, back
        d.env.advance(stage == 0 ? 0 : 0.6);
        break;
    }
}

} // namespace

// What each monitor keeps drawn (the clipped screen, the window's shadow, the faded window) is
// drawn again whenever what it shows changed: a window drawn after every change has, at each, the
// very pixels of a window brought there without being drawn on the way and drawn for the first
// time.
TEST(DemoStep, KeptPicturesGiveThePixelsOfAFreshDrawingAfterEveryChange)
{
    Demo kept;
    std::array<QImage, kDemoStages> drawnAllAlong;
    for (std::size_t stage = 0; stage < kDemoStages; ++stage) {
        changeDemo(kept, stage);
        drawnAllAlong.at(stage) = drawnSettled(kept);
    }
    for (std::size_t stage = 0; stage < kDemoStages; ++stage) {
        Demo fresh;
        for (std::size_t i = 0; i <= stage; ++i) {
            changeDemo(fresh, i);
        }
        const QImage first = drawnSettled(fresh);
        ASSERT_FALSE(first.isNull());
        EXPECT_TRUE(first == drawnAllAlong.at(stage)) << "stage " << stage;
    }
    EXPECT_FALSE(drawnAllAlong.at(0) == drawnAllAlong.at(2)) << "the drag shows";
}
