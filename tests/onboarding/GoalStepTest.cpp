// The goal step: which preview each goal shows and how the stage fades between them, and the
// step driven through the onboarding window (choosing, moving and keeping a choice, Continue and
// the events that carry it), with pictures of its states.
#include "onboarding/OBComponents.h"
#include "onboarding/OnboardingPersona.h"
#include "onboarding/OnboardingStepGoal.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

using namespace testing_support;

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
        g.env.advance(0.1);
        EXPECT_GT(g.stage->opacityNow(0), 0);
        EXPECT_LT(g.stage->opacityNow(2), 1);
        g.env.advance(0.07);
        EXPECT_EQ(g.opacities() == (QList<double>{0, 0, 1, 0}), reduceMotion) << "0.15 s under Reduce Motion";
        g.env.advance(0.83);
        EXPECT_EQ(g.opacities(), (QList<double>{0, 0, 1, 0}));
        const QImage chosen = g.picture(QStringLiteral("onboarding-goal-step-chosen"));
        EXPECT_TRUE(near(colorAt(chosen, blank), OBTokens::selectedFill(), 2));
        const auto* indicator = card->findChildren<QWidget*>().last();
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
