#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingPersona.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

QString q(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList names(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* name : list) {
        result.append(q(name));
    }
    return result;
}

QSet<QString> ids(std::initializer_list<const char*> list)
{
    const QStringList l = names(list);
    return {l.begin(), l.end()};
}

OnboardingDraft loadStored(const QVariant& stored)
{
    platform::InMemoryUserDefaults defaults;
    defaults.setObject(stored, OnboardingDraft::kDefaultsKey);
    return OnboardingDraft::load(defaults);
}

} // namespace

TEST(HideCategory, RawValuesMatchOnlyExactlyAndRoundTrip)
{
    for (const HideCategory category : HideCategory::allCases()) {
        EXPECT_EQ(HideCategory::fromRawValue(category.rawValue()), category);
    }
    for (const char* name : {"work chat", "Work Chat ", "WorkChat", "", "WorkChat"}) {
        EXPECT_FALSE(HideCategory::fromRawValue(q(name))) << name;
    }
}

TEST(HideCategory, CategoriesFromNamesKeepOrderAndRepeatsAndDropUnknownNames)
{
    using C = HideCategory;
    const struct
    {
        QStringList input;
        QList<HideCategory> expected;
    } cases[] = {
        {names({"Work Chat", "Gaming", "Work Chat"}), {C::WorkChat, C::WorkChat}},
        {names({"Personal Messages", "Banking & Finance"}), {C::Personal, C::Finance}},
        {names({"work chat", "BANKING & FINANCE"}), {}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HideCategory::categories(c.input), c.expected) << c.input.join(u'|').toStdString();
    }
}

TEST(HideCategory, BundleIDsAreTheRunningSuggestedAppsOfTheNamedCategories)
{
    const struct
    {
        QStringList names;
        QSet<QString> running;
        QSet<QString> expected;
    } cases[] = {
        {names({"Personal Messages", "Work Chat"}),
         ids({"com.whatsapp.mac", "com.hnc.Discord", "com.example.notes"}),
         ids({"com.whatsapp.mac", "com.hnc.Discord"})},
        {names({"Personal Messages", "Work Chat"}), {}, {}},
        {{}, ids({"com.whatsapp.mac"}), {}},
        {names({"Desktop & Files"}),
         ids({"com.apple.finder", "com.whatsapp.mac"}),
         ids({"com.apple.finder"})},
        {names({"Work Chat", "Work Chat", "Nothing"}),
         ids({"com.tinyspeck.slackmacgap"}),
         ids({"com.tinyspeck.slackmacgap"})},
        // Bundle identifiers compare exactly too.
        {names({"Work Chat"}), ids({"com.tinyspeck.SlackMacGap"}), {}},
        {names({"Banking & Finance"}),
         ids({"com.microsoft.Excel", "com.apple.Numbers", "com.quickbooks.Desktop", "com.apple.finder"}),
         ids({"com.microsoft.Excel", "com.apple.Numbers", "com.quickbooks.Desktop"})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HideCategory::bundleIDs(c.names, c.running), c.expected)
            << c.names.join(u'|').toStdString();
    }
}

TEST(OnboardingPersona, FindMatchesExactlyAndFallsBackToTheFirstPersona)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "professional"},
        {"nobody", "professional"},
        {"Student", "professional"},
        {"remote", "remote"},
        {"curious", "curious"},
        {"student", "student"},
    };
    for (const auto& [id, expected] : cases) {
        EXPECT_EQ(OnboardingPersona::find(q(id)).id, q(expected)) << id;
    }
    EXPECT_EQ(OnboardingPersona::all().front().id, q("professional"));
    EXPECT_EQ(OnboardingPersona::find(q("student")).tag, q("You're not alone — 73% pick this when WFH"));
}

TEST(OnboardingDraft, NothingStoredLoadsTheDefaultDraft)
{
    platform::InMemoryUserDefaults defaults;
    const OnboardingDraft draft = OnboardingDraft::load(defaults);
    EXPECT_EQ(draft.persona, QString());
    EXPECT_EQ(draft.selectedCategories, names({"Work Chat", "Banking & Finance"}));
    EXPECT_EQ(draft.transparency, 100.0);
    EXPECT_EQ(draft.step, 0);
    EXPECT_EQ(draft, OnboardingDraft());
}

TEST(OnboardingDraft, SavedDraftsLoadBackEqual)
{
    OnboardingDraft chosen;
    chosen.persona = q("student");
    chosen.selectedCategories =
        names({"Work Chat", "Banking & Finance", "Desktop & Files", "Personal Messages"});
    chosen.transparency = 73.5;
    chosen.step = 5;
    OnboardingDraft odd = chosen;
    odd.persona = q("a \"quoted\" persona — ✓\n");
    odd.selectedCategories = {};
    odd.transparency = 50;
    odd.step = -3;
    OnboardingDraft farthest = chosen;
    farthest.step = std::numeric_limits<qint64>::max();

    for (const OnboardingDraft& draft : {OnboardingDraft(), chosen, odd, farthest}) {
        platform::InMemoryUserDefaults defaults;
        draft.save(defaults);
        ASSERT_TRUE(defaults.dataForKey(q("onboardingDraft")).has_value());
        EXPECT_EQ(OnboardingDraft::load(defaults), draft) << draft.persona.toStdString();
    }
}

TEST(OnboardingDraft, AnythingButAWholeValidDraftLoadsAsTheWholeDefault)
{
    const auto json = [](const char* step,
                         const char* transparency = "80",
                         const char* persona = "\"remote\"",
                         const char* categories = "[\"Work Chat\"]") {
        return QString::fromUtf8(R"({"persona":%1,"selectedCategories":%2,"transparency":%3,"step":%4})")
            .arg(q(persona), q(categories), q(transparency), q(step))
            .toUtf8();
    };
    const std::pair<const char*, QVariant> cases[] = {
        {"a string instead of data", QString::fromUtf8(json("2"))},
        {"not JSON", QByteArray("{persona")},
        {"an array", QByteArray("[]")},
        {"a missing step", QByteArray(R"({"persona":"remote","selectedCategories":[],"transparency":80})")},
        {"a missing persona", QByteArray(R"({"selectedCategories":[],"transparency":80,"step":1})")},
        {"a string transparency", json("2", "\"75\"")},
        {"a boolean transparency", json("2", "true")},
        {"a null persona", json("2", "80", "null")},
        {"a numeric persona", json("2", "80", "3")},
        {"categories as one string", json("2", "80", "\"remote\"", "\"Work Chat\"")},
        {"a number among the categories", json("2", "80", "\"remote\"", "[\"Work Chat\",1]")},
        {"a fractional step", json("2.5")},
        {"a huge step", json("1e300")},
        {"a step just past 64 bits", json("9223372036854775808")},
        {"a string step", json("\"3\"")},
        {"a boolean step", json("true")},
        {"a number too large for a double", json("2", "1e999")},
    };
    for (const auto& [what, stored] : cases) {
        EXPECT_EQ(loadStored(stored), OnboardingDraft()) << what;
    }
}

TEST(OnboardingDraft, ExtraMembersAndIntegralStepsOfAnyFormLoad)
{
    const std::pair<const char*, qint64> cases[] = {
        {R"({"persona":"remote","selectedCategories":["Work Chat"],"transparency":80,"step":42,"extra":{"a":1}})",
         42},
        {R"({"step":3.0,"persona":"remote","selectedCategories":["Work Chat"],"transparency":80})", 3},
        {R"({"persona":"remote","selectedCategories":["Work Chat"],"transparency":80,"step":-3})", -3},
        {R"({"persona":"remote","selectedCategories":["Work Chat"],"transparency":80,"step":9223372036854775807})",
         std::numeric_limits<qint64>::max()},
    };
    for (const auto& [stored, step] : cases) {
        const OnboardingDraft draft = loadStored(QByteArray(stored));
        EXPECT_EQ(draft.persona, q("remote")) << stored;
        EXPECT_EQ(draft.selectedCategories, names({"Work Chat"}));
        EXPECT_EQ(draft.transparency, 80.0);
        EXPECT_EQ(draft.step, step);
    }
}

TEST(OnboardingDraft, ARestoredTransparencyIsClampedIntoTheSliderRange)
{
    const std::pair<const char*, double> cases[] = {
        {"1e308", 100},
        {"-1e308", 50},
        {"30", 50},
        {"73.5", 73.5},
        {"100", 100},
        {"50", 50},
        {"150", 100},
    };
    for (const auto& [stored, expected] : cases) {
        const QByteArray json =
            QByteArray(R"({"persona":"","selectedCategories":[],"step":1,"transparency":)") + stored + "}";
        const OnboardingDraft draft = loadStored(json);
        EXPECT_EQ(draft.transparency, expected) << stored;
        EXPECT_EQ(draft.step, 1) << stored;
    }
}

TEST(OnboardingDraft, TheShownPercentRoundsTheClampedValueHalfAwayFromZero)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int> cases[] = {
        {std::nan(""), 100},
        {inf, 100},
        {-inf, 100},
        {1e300, 100},
        {-1e300, 50},
        {72.5, 73},
        {72.4, 72},
        {73.5, 74},
        {49.5, 50},
        {0, 50},
        {100.4, 100},
    };
    for (const auto& [transparency, percent] : cases) {
        EXPECT_EQ(OnboardingDraft::transparencyPercent(transparency), percent) << transparency;
    }
}

TEST(OnboardingDraft, ADraftThatCannotBeEncodedLeavesTheStoredOneInPlace)
{
    platform::InMemoryUserDefaults defaults;
    OnboardingDraft kept;
    kept.step = 3;
    kept.save(defaults);
    OnboardingDraft broken;
    broken.transparency = std::nan("");
    broken.save(defaults);
    EXPECT_EQ(OnboardingDraft::load(defaults), kept);
}
