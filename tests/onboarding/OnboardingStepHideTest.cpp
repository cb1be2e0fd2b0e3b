// The hide step: the beat that holds a pick before it joins the selection, in virtual time; what
// the audience panel and the cards show; leaving the step; pictures of its states.
#include "onboarding/steps/OnboardingStepHide.h"

#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/steps/HideStepPictures.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/onboarding/StepTestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

using Set = QSet<HideCategory>;

// The step on its own, bound to a selection the test holds.
struct HideStep
{
    explicit HideStep(Set initial = {})
        : selected(std::move(initial))
    {
        step = std::make_unique<OnboardingStepHide>(
            OnboardingStepHide::Input{state.bind(selected), state.observer()});
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
    HideStep h;
    EXPECT_EQ(h.audience(), QStringLiteral("Nothing hidden yet"));

    h.tap(HideCategory::Finance);
    EXPECT_TRUE(h.selected.isEmpty()) << "Continue stays off during the first beat";
    EXPECT_TRUE(h.step->isChosen(HideCategory::Finance)) << "the card already shows the pick";
    EXPECT_EQ(h.audience(), QStringLiteral("Share started\nNothing hidden yet"));

    h.env.advance(0.4);
    h.tap(HideCategory::Files);
    h.env.advance(0.6);
    EXPECT_TRUE(h.selected.isEmpty()) << "the second pick restarted the beat";
    EXPECT_EQ(h.step->pending(), (Set{HideCategory::Finance, HideCategory::Files}));

    h.env.advance(0.06);
    EXPECT_EQ(h.selected, (Set{HideCategory::Finance, HideCategory::Files}));
    EXPECT_EQ(h.state.writes, 1) << "both picks join in one write";
    EXPECT_TRUE(h.step->pending().isEmpty());
    EXPECT_FALSE(h.step->isThreatVisible());
    EXPECT_EQ(h.audience(), QStringLiteral("2 hidden on every share"));
}

TEST(OnboardingStepHide, TakingBackEndsTheBeatOrTheSelectionAtOnce)
{
    struct Case
    {
        const char* name;
        Set initial;
        QList<HideCategory> taps;
        Set selected; // at once, and still after the beat would have ended
        Set pending;
        bool banner;
    };
    const QList<Case> cases{
        {"a pick taken back", {}, {HideCategory::Finance, HideCategory::Finance}, {}, {}, false},
        {"a selected one taken back", {HideCategory::WorkChat}, {HideCategory::WorkChat}, {}, {}, false},
        {"one of two picks taken back",
         {},
         {HideCategory::Finance, HideCategory::Files, HideCategory::Finance},
         {},
         {HideCategory::Files},
         true},
    };
    for (const Case& c : cases) {
        HideStep h(c.initial);
        for (const HideCategory category : c.taps) {
            h.tap(category);
        }
        EXPECT_EQ(h.selected, c.selected) << c.name;
        EXPECT_EQ(h.step->pending(), c.pending) << c.name;
        EXPECT_EQ(h.step->isThreatVisible(), c.banner) << c.name;
        if (c.pending.isEmpty()) {
            const int writes = h.state.writes;
            h.env.advance(1);
            EXPECT_EQ(h.selected, c.selected) << c.name;
            EXPECT_EQ(h.state.writes, writes) << c.name << ": no beat was left to end";
        }
    }
}

TEST(OnboardingStepHide, TheCleanScreenCoversTheMockOnlyOnceAllFourHaveJoined)
{
    HideStep h({HideCategory::WorkChat, HideCategory::Finance, HideCategory::Files});
    h.tap(HideCategory::Personal);
    EXPECT_EQ(h.audience(), QStringLiteral("Share started\n3 hidden on every share"));
    h.env.advance(OnboardingStepHide::kBeat);
    EXPECT_EQ(h.audience(), QStringLiteral("Your screen is clean\n4 hidden on every share"));
    h.tap(HideCategory::Files);
    EXPECT_EQ(h.audience(), QStringLiteral("3 hidden on every share"));
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

TEST(OnboardingStepHide, InTheWindowContinueWaitsForTheBeatAndAClosedWindowKeepsThePick)
{
    StepWindow w(OnboardingFlow::kHideStep, {});
    auto* next = w.find<OnboardingPill>(QStringLiteral("onboardingContinue"));
    w.click(QStringLiteral("hide.category.Desktop & Files"));
    EXPECT_FALSE(next->isEnabled());
    w.env.advance(OnboardingStepHide::kBeat);
    EXPECT_TRUE(next->isEnabled());
    EXPECT_EQ(w.storedCategories(), QStringList{"Desktop & Files"});

    // Closed in the middle of a beat: the step goes before the flow it writes to, so the pick
    // reaches the draft that the next launch resumes from.
    w.click(QStringLiteral("hide.category.Personal Messages"));
    QStringList storedAsTheFlowGoes;
    QObject::connect(&w.flow(), &QObject::destroyed, [&] { storedAsTheFlowGoes = w.storedCategories(); });
    w.view.reset();
    EXPECT_EQ(storedAsTheFlowGoes, (QStringList{"Desktop & Files", "Personal Messages"}));
}

TEST(OnboardingStepHide, Pictures)
{
    StepWindow w(OnboardingFlow::kHideStep);
    w.env.advance(1);
    const auto render = [&w](const QString& name) {
        w.env.advance(1);
        const QImage image = kit::renderView(*w.view, 2.0);
        EXPECT_TRUE(image.save(picturePath(name)));
        return image;
    };
    // Where things are in the audience panel: the mock starts under the header line.
    const QWidget* panel = w.find(QStringLiteral("hide.audience"));
    const double header = mock::text(QStringLiteral("What your audience sees"),
                                     OBFont::geist(kit::FontWeight::semibold, 10),
                                     Qt::white)
                              .sizeThatFits({})
                              .height();
    const QPointF mock = panel->mapTo(w.view.get(), QPointF(12, 12 + header + 8));
    // The plain right-hand part of each miniature window (144 x 52, 8 apart).
    const auto window = [&mock](HideCategory category) {
        const int i = static_cast<int>(category);
        return mock + QPointF((i % 2) * 152 + 124, (i / 2) * 60 + 26);
    };
    const QColor windowFill = kit::rgb(0x141824);

    const QImage chosen = render(QStringLiteral("onboarding-hide-step"));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::WorkChat)), OBTokens::canvas()));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Finance)), OBTokens::canvas()));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Files)), windowFill));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Personal)), windowFill));
    const QWidget* files = w.find(QStringLiteral("hide.category.Desktop & Files"));
    const QPointF filesTitleRow = files->mapTo(w.view.get(), QPointF(files->width() / 2.0, 92 + 20));
    EXPECT_TRUE(near(colorAt(chosen, filesTitleRow), OBTokens::surface()));

    w.click(QStringLiteral("hide.category.Desktop & Files"));
    w.env.advance(0.3);
    const QImage beat = kit::renderView(*w.view, 2.0);
    EXPECT_TRUE(beat.save(picturePath(QStringLiteral("onboarding-hide-step-beat"))));
    const QPointF bannerMiddle = mock + QPointF(296 - 40, 56);
    EXPECT_TRUE(near(colorAt(beat, bannerMiddle), over(kit::rgb(0x17110A, 0.92)), 3));
    EXPECT_TRUE(near(colorAt(beat, window(HideCategory::Files)), windowFill))
        << "still there during the beat";
    EXPECT_TRUE(near(colorAt(beat, filesTitleRow), OBTokens::selectedFill())) << "the card shows the pick";

    w.click(QStringLiteral("hide.category.Personal Messages"));
    const QImage clean = render(QStringLiteral("onboarding-hide-step-clean"));
    EXPECT_TRUE(near(colorAt(clean, window(HideCategory::Files)), over(kit::rgb(0x07080A, 0.9))));
    EXPECT_TRUE(near(colorAt(clean, mock + QPointF(139, 46)), OBTokens::flame(), 40))
        << "the flame check disc";

    w.flow().setSelected({});
    const QImage nothing = render(QStringLiteral("onboarding-hide-step-nothing"));
    for (const HideCategory category : HideCategory::allCases()) {
        EXPECT_TRUE(near(colorAt(nothing, window(category)), windowFill))
            << category.rawValue().toStdString();
    }
    EXPECT_TRUE(near(colorAt(nothing, panel->mapTo(w.view.get(), QPointF(160, 0.25))),
                     over(OBTokens::hairline(), OBTokens::surface()),
                     3))
        << "the panel's border is the plain hairline again";
}
