// The hide step: the beat that holds a pick before it joins the selection, in virtual time;
// leaving the step; in the window, pictures of its states, Continue and teardown.
#include "onboarding/steps/OnboardingStepHide.h"

#include "onboarding/OBControls.h"
#include "shell/kit/Palette.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

using Set = QSet<HideCategory>;

// The step on its own, bound to a selection the test holds.
struct HideStep
{
    explicit HideStep(Set initial = {})
        : selected(std::move(initial))
        , step(std::make_unique<OnboardingStepHide>(
              OnboardingStepHide::Input{state.bind(selected), state.observer()}))
    {
        step->setAttribute(Qt::WA_DontShowOnScreen);
        step->resize(1000, 600);
        step->show();
    }

    void tap(HideCategory category) const
    {
        clickNamed(*step, QStringLiteral("hide.category.") + category.rawValue());
    }
    // What the audience panel says it shows.
    QString audience() const
    {
        return step->findChild<QWidget*>(QStringLiteral("hide.audience"))->accessibleDescription();
    }

    KitEnvironment env;
    StepState state;
    Set selected;
    std::unique_ptr<OnboardingStepHide> step;
};

} // namespace

TEST(OnboardingStepHide, APickWaitsOutTheBeatAndEveryPickDuringItStartsItAgain)
{
    HideStep h({HideCategory::WorkChat, HideCategory::Personal});
    h.tap(HideCategory::Finance);
    EXPECT_EQ(h.selected.size(), 2);
    EXPECT_TRUE(h.step->isChosen(HideCategory::Finance)) << "the card already shows the pick";
    EXPECT_EQ(h.audience(), QStringLiteral("Share started\n2 hidden on every share"));

    h.env.advance(0.4);
    h.tap(HideCategory::Files);
    h.env.advance(0.6);
    EXPECT_EQ(h.selected.size(), 2) << "the second pick restarted the beat";
    h.env.advance(0.06);
    EXPECT_EQ(h.selected.size(), 4);
    EXPECT_EQ(h.state.writes, 1) << "both picks join in one write";
    EXPECT_FALSE(h.step->isThreatVisible());
    EXPECT_EQ(h.audience(), QStringLiteral("Your screen is clean\n4 hidden on every share"));
}

TEST(OnboardingStepHide, TakingBackEndsTheBeatOrLeavesTheSelectionAtOnce)
{
    struct Case
    {
        const char* name;
        Set initial;
        QList<HideCategory> taps;
        Set pending; // the selection is empty meanwhile
    };
    const Case cases[] = {
        {"a pick taken back", {}, {HideCategory::Finance, HideCategory::Finance}, {}},
        {"a selected one taken back", {HideCategory::Files}, {HideCategory::Files}, {}},
        {"one of two picks taken back",
         {},
         {HideCategory::Finance, HideCategory::Files, HideCategory::Finance},
         {HideCategory::Files}},
    };
    for (const Case& c : cases) {
        HideStep h(c.initial);
        for (const HideCategory category : c.taps) {
            h.tap(category);
        }
        EXPECT_TRUE(h.selected.isEmpty()) << c.name;
        EXPECT_EQ(h.step->pending(), c.pending) << c.name;
        EXPECT_EQ(h.step->isThreatVisible(), !c.pending.isEmpty()) << c.name;
        h.env.advance(1);
        EXPECT_EQ(h.selected, c.pending) << c.name << ": only what was still pending joins";
    }
}

TEST(OnboardingStepHide, LeavingDuringABeatKeepsThePicksAndTheBeatNeverEndsLater)
{
    for (const bool destroyed : {false, true}) {
        HideStep h;
        h.tap(HideCategory::Personal);
        if (destroyed) {
            h.step.reset();
        } else {
            h.step->hide();
        }
        EXPECT_EQ(h.selected, Set{HideCategory::Personal}) << destroyed;
        h.env.advance(1);
        EXPECT_EQ(h.state.writes, 1) << destroyed << ": the cancelled beat never ran";
    }
}

TEST(OnboardingStepHide, InTheWindowPicturesThenContinueWaitsForTheBeatAndAClosedWindowKeepsThePick)
{
    OnboardingWindow w(OnboardingFlow::kHideStep);
    const auto render = [&w](const QString& name, double after = 1) {
        w.env.advance(after);
        return w.picture(name);
    };
    // The plain right-hand part of each miniature window (144 x 52, 8 apart) in the audience
    // mock, which starts under the panel's header line.
    const QWidget* panel = w.find(QStringLiteral("hide.audience"));
    const double header = mock::text(QStringLiteral("What your audience sees"),
                                     OBFont::geist(kit::FontWeight::semibold, 10),
                                     Qt::white)
                              .sizeThatFits({})
                              .height();
    const QPointF mock = w.inWindow(*panel, QPointF(12, 12 + header + 8));
    const auto window = [&mock](HideCategory category) {
        const int i = static_cast<int>(category);
        return mock + QPointF((i % 2) * 152 + 124, (i / 2) * 60 + 26);
    };
    const QColor shown = kit::rgb(0x141824);

    const QImage chosen = render(QStringLiteral("onboarding-hide-step"));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Finance)), OBTokens::canvas()));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Files)), shown));

    w.click(QStringLiteral("hide.category.Desktop & Files"));
    const QImage beat = render(QStringLiteral("onboarding-hide-step-beat"), 0.3);
    EXPECT_TRUE(near(colorAt(beat, mock + QPointF(256, 56)), over(kit::rgb(0x17110A, 0.92)), 3)) << "banner";
    EXPECT_TRUE(near(colorAt(beat, window(HideCategory::Files)), shown)) << "still there during the beat";
    const QWidget* files = w.find(QStringLiteral("hide.category.Desktop & Files"));
    EXPECT_TRUE(near(colorAt(beat, w.inWindow(*files, QPointF(files->width() / 2.0, 112))),
                     OBTokens::selectedFill()));

    w.click(QStringLiteral("hide.category.Personal Messages"));
    const QImage clean = render(QStringLiteral("onboarding-hide-step-clean"));
    EXPECT_TRUE(near(colorAt(clean, window(HideCategory::Files)), over(kit::rgb(0x07080A, 0.9))));
    EXPECT_TRUE(near(colorAt(clean, mock + QPointF(139, 46)), OBTokens::flame(), 40)) << "the check disc";

    w.flow().setSelected({});
    const QImage nothing = render(QStringLiteral("onboarding-hide-step-nothing"));
    EXPECT_TRUE(near(colorAt(nothing, window(HideCategory::WorkChat)), shown));
    EXPECT_TRUE(near(colorAt(nothing, w.inWindow(*panel, QPointF(160, 0.25))),
                     over(OBTokens::hairline(), OBTokens::surface()),
                     3))
        << "the panel's border is the plain hairline again";

    // Nothing chosen: Continue waits for the beat of the first pick.
    auto* next = w.find<OnboardingPill>(QStringLiteral("onboardingContinue"));
    w.click(QStringLiteral("hide.category.Desktop & Files"));
    EXPECT_FALSE(next->isEnabled());
    w.env.advance(OnboardingStepHide::kBeat);
    EXPECT_TRUE(next->isEnabled());

    // Closed in the middle of a beat: the step goes before the flow it writes to, so the pick
    // reaches the draft that the next launch resumes from.
    w.click(QStringLiteral("hide.category.Personal Messages"));
    QStringList storedAsTheFlowGoes;
    QObject::connect(&w.flow(), &QObject::destroyed, [&] {
        storedAsTheFlowGoes = OnboardingDraft::load(w.services->store).selectedCategories;
    });
    w.view.reset();
    EXPECT_EQ(storedAsTheFlowGoes, (QStringList{"Desktop & Files", "Personal Messages"}));
}
