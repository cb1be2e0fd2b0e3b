// The flow's bookkeeping through its public operations, with scripted services: what it restores,
// stores, reports, suspends and hides.
#include "onboarding/OnboardingFlow.h"

#include "tests/onboarding/FakeOnboardingServices.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using testing_support::FakeOnboardingServices;

namespace {

const QString kSlack = QStringLiteral("com.tinyspeck.slackmacgap");
const QString kExcel = QStringLiteral("com.microsoft.Excel");
const QString kWhatsApp = QStringLiteral("com.whatsapp.mac");
const QString kNotes = QStringLiteral("com.apple.Notes");

struct Flow
{
    explicit Flow(std::optional<qint64> storedStep = std::nullopt)
    {
        if (storedStep) {
            OnboardingDraft draft;
            draft.persona = QStringLiteral("remote");
            draft.step = *storedStep;
            draft.save(services.store);
        }
    }

    qint64 storedStep() const { return OnboardingDraft::load(services.store).step; }

    FakeOnboardingServices services;
    int completions = 0;
    OnboardingFlow flow{services, [this] {
                            ++completions;
                        }};
};

} // namespace

TEST(OnboardingFlow, AFirstRunStartsOnTheGoalWithTheDefaultsReportsItOnceAndWritesTheDraft)
{
    for (const bool signedIn : {false, true}) {
        Flow f;
        f.services.authenticated = signedIn;
        f.flow.appear();
        f.flow.appear();
        EXPECT_EQ(f.flow.step(), 0);
        EXPECT_EQ(f.flow.persona(), QString());
        EXPECT_EQ(f.flow.selected(), (QSet<HideCategory>{HideCategory::WorkChat, HideCategory::Finance}));
        EXPECT_EQ(f.flow.transparency(), 100.0);
        ASSERT_EQ(f.services.sent(), QStringList{"step_started:0"});
        const QJsonObject expected{{"persona", QJsonValue::Null},
                                   {"selected_categories", QJsonArray{"Work Chat", "Banking & Finance"}},
                                   {"has_tried_veil", false},
                                   {"shortcut_triggers", 0},
                                   {"ms_on_step", 0},
                                   {"authenticated", signedIn}};
        EXPECT_EQ(f.services.events.front().metadata, expected);
        EXPECT_TRUE(f.services.store.hasObject(OnboardingDraft::kDefaultsKey));
        EXPECT_EQ(OnboardingDraft::load(f.services.store), OnboardingDraft());
    }
}

TEST(OnboardingFlow, ContinueActsOnlyOnceTheStepHasWhatItNeeds)
{
    // What each of the first four steps needs, given one after the other.
    const auto fulfil = [](OnboardingFlow& flow, int need) {
        switch (need) {
        case 0:
            return flow.setPersona(QStringLiteral("student"));
        case 1:
            return flow.setSelected({HideCategory::Personal});
        case 2:
            return flow.setHasTriedVeil(true);
        default:
            return flow.setShortcutTriggerCount(1);
        }
    };
    for (int step = 0; step < OnboardingFlow::kStepCount; ++step) {
        Flow f(step);
        f.flow.appear();
        f.flow.setPersona(QString());
        f.flow.setSelected({});
        EXPECT_EQ(f.flow.canContinue(), step >= 4) << step;
        for (int need = 0; need < 4; ++need) {
            fulfil(f.flow, need);
            EXPECT_EQ(f.flow.canContinue(), step >= 4 || need >= step) << step << " given " << need;
        }
    }
}

TEST(OnboardingFlow, MovesOneStepAtATimeWithinTheEndsAndReportsOnlyForwardSteps)
{
    Flow f;
    f.flow.appear();
    f.flow.goBack();
    EXPECT_EQ(f.flow.step(), 0);

    f.services.clock += 2.5009;
    f.flow.continueTapped();
    EXPECT_EQ(f.flow.step(), 1);
    EXPECT_FALSE(f.flow.isGoingBack());
    EXPECT_EQ(f.services.sent(), (QStringList{"step_started:0", "step_completed:0", "step_started:1"}));
    EXPECT_EQ(f.services.events.at(1).metadata.value("ms_on_step"), 2500) << "time on the step left";
    EXPECT_EQ(f.services.events.at(2).metadata.value("ms_on_step"), 0) << "the clock starts again";

    f.flow.advance({}, 0);
    EXPECT_EQ(f.flow.step(), 2) << "a target behind still moves one step on";
    f.flow.advance({}, 4);
    EXPECT_EQ(f.flow.step(), 4);
    f.flow.setHasTriedVeil(true);
    f.flow.setShortcutTriggerCount(3);
    f.services.events.clear();
    f.flow.goBack();
    f.flow.goBack();
    EXPECT_EQ(f.flow.step(), 2);
    EXPECT_TRUE(f.flow.isGoingBack());
    EXPECT_TRUE(f.flow.hasTriedVeil());
    EXPECT_EQ(f.flow.shortcutTriggerCount(), 3);
    EXPECT_EQ(f.services.sent(), (QStringList{"step_started:3", "step_started:2"}))
        << "no event for going back";

    f.flow.advance({}, 42);
    EXPECT_EQ(f.flow.step(), 6);
    f.services.events.clear();
    f.flow.advance();
    f.flow.continueTapped();
    EXPECT_EQ(f.flow.step(), 6);
    EXPECT_TRUE(f.services.events.isEmpty());
}

TEST(OnboardingFlow, TheStoredStepOnlyGrowsAndStopsAtPermissions)
{
    struct Case
    {
        qint64 stored;
        int restored;
        qint64 storedAfter; // after one step forward (going back for the last step)
    };
    const Case cases[] = {{-3, 0, 1}, {0, 0, 1}, {4, 4, 5}, {5, 5, 5}, {42, 6, 5}};
    for (const Case& c : cases) {
        Flow f(c.stored);
        f.flow.appear();
        EXPECT_EQ(f.flow.step(), c.restored) << c.stored;
        EXPECT_EQ(f.flow.persona(), QStringLiteral("remote"));
        EXPECT_EQ(f.services.sent(), QStringList{QStringLiteral("step_started:%1").arg(c.restored)})
            << "one start after resuming";
        if (c.restored < 6) {
            f.flow.continueTapped();
        } else {
            f.flow.goBack();
        }
        EXPECT_EQ(f.storedStep(), c.storedAfter) << c.stored;
    }

    Flow f(4);
    f.flow.appear();
    f.flow.goBack();
    f.flow.goBack();
    f.flow.setPersona(QStringLiteral("curious"));
    EXPECT_EQ(f.storedStep(), 4) << "going back leaves the furthest step";
    EXPECT_EQ(OnboardingDraft::load(f.services.store).persona, QStringLiteral("curious"));
}

TEST(OnboardingFlow, TheGlobalHotKeyIsSuspendedOnlyOnItsStepAndGivenBackWithTheWindow)
{
    for (const bool enabled : {true, false}) {
        Flow f(3);
        f.services.shortcutEnabled = enabled;
        f.flow.appear();
        EXPECT_EQ(f.services.calls, QStringList{"suspend"});
        f.flow.goBack();
        f.flow.continueTapped();
        f.flow.setShortcutTriggerCount(1);
        f.flow.continueTapped();
        f.flow.disappear();
        const QStringList expected =
            enabled ? QStringList{"suspend", "register", "suspend", "register", "register"}
                    : QStringList{"suspend", "suspend"};
        EXPECT_EQ(f.services.calls, expected) << enabled;
    }
}

TEST(OnboardingFlow, TheFlowEndsOnceWhetherFinishedOrClosedFirst)
{
    for (const bool finishFirst : {true, false}) {
        Flow f(6);
        f.services.authenticated = true;
        f.services.running = {kSlack, kNotes};
        f.flow.appear();
        f.services.events.clear();
        for (int i = 0; i < 2; ++i) {
            if (finishFirst) {
                f.flow.finish();
            }
            f.flow.disappear();
            f.flow.finish();
        }
        f.flow.advance();
        const QStringList ended =
            finishFirst ? QStringList{"step_completed:6", "flow_completed:6"} : QStringList{"app_closed:6"};
        EXPECT_EQ(f.services.sent(), ended) << finishFirst;
        EXPECT_EQ(f.completions, finishFirst ? 1 : 0);
        EXPECT_EQ(f.services.hidden.size(), finishFirst ? 1 : 0);
        EXPECT_EQ(f.services.store.hasObject(OnboardingDraft::kDefaultsKey), !finishFirst)
            << "kept for resuming";
    }
}

TEST(OnboardingFlow, TheChosenCategoriesRunningAppsAreHiddenOnlyWhileSignedIn)
{
    struct Case
    {
        const char* name;
        int step; // 4: the setup step's continue, 6: the finish
        bool signedIn;
        QSet<HideCategory> selected;
        QList<QSet<QString>> hidden;
    };
    const QSet<HideCategory> chatAndMoney{HideCategory::WorkChat, HideCategory::Finance};
    const Case cases[] = {
        {"setup, signed in", 4, true, chatAndMoney, {{kSlack, kExcel}}},
        {"setup, signed out: sign in first", 4, false, chatAndMoney, {}},
        {"finish, signed in",
         6,
         true,
         {HideCategory::WorkChat, HideCategory::Personal},
         {{kSlack, kWhatsApp}}},
        {"finish, nothing of it runs", 6, true, {HideCategory::Files}, {{}}},
        {"finish, signed out", 6, false, chatAndMoney, {}},
        {"finish, nothing chosen", 6, true, {}, {}},
    };
    for (const Case& c : cases) {
        Flow f(c.step);
        f.services.authenticated = c.signedIn;
        f.services.running = {kSlack, kExcel, kWhatsApp, kNotes};
        f.flow.appear();
        f.flow.setSelected(c.selected);
        if (c.step == 4) {
            f.flow.continueFromSignIn();
            EXPECT_EQ(f.flow.step(), 5) << c.name;
            const auto completed = f.services.events.last(2).front();
            EXPECT_EQ(f.services.sent().last(2), (QStringList{"step_completed:4", "step_started:5"}));
            EXPECT_EQ(completed.metadata.value("account_handoff"),
                      c.signedIn ? QJsonValue(QJsonValue::Undefined) : QJsonValue(true));
            EXPECT_EQ(f.services.calls.contains("signIn"), !c.signedIn) << c.name;
        } else {
            f.flow.finish();
        }
        EXPECT_EQ(f.services.hidden, c.hidden) << c.name;
    }
}

TEST(OnboardingFlow, PermissionGrantedIsSentOnlyWhenItTurnsGrantedOnItsStep)
{
    struct Case
    {
        const char* name;
        int step;
        bool initially;
        QList<bool> reports;
        int granted;
    };
    const Case cases[] = {
        {"turns granted, reported twice", 5, false, {true, true}, 1},
        {"granted, lost, granted", 5, false, {true, false, true}, 2},
        {"already granted when shown", 5, true, {true}, 0},
        {"on the setup step", 4, false, {true}, 0},
        {"on the share step", 6, false, {true}, 0},
    };
    for (const Case& c : cases) {
        Flow f(c.step);
        f.services.permission = c.initially;
        f.flow.appear();
        for (const bool report : c.reports) {
            f.services.reportPermission(report);
        }
        EXPECT_EQ(f.services.sent().filter("permission_granted"),
                  QStringList(c.granted, QStringLiteral("permission_granted:5")))
            << c.name;
    }
}
