// The onboarding models: the hide categories and their apps, the personas, and the stored draft
// with everything its reading refuses.
#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingPersona.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using C = HideCategory;
using Ids = QSet<QString>;

OnboardingDraft draft(const QString& persona, const QStringList& categories, double transparency, qint64 step)
{
    OnboardingDraft d;
    d.persona = persona;
    d.selectedCategories = categories;
    d.transparency = transparency;
    d.step = step;
    return d;
}

// The draft read back from what is stored under its key (nothing at all for an invalid value).
OnboardingDraft loadStored(const QVariant& stored)
{
    platform::InMemoryUserDefaults defaults;
    if (stored.isValid()) {
        defaults.setObject(stored, OnboardingDraft::kDefaultsKey);
    }
    return OnboardingDraft::load(defaults);
}

// A stored draft's JSON, each member written as given, `more` added at the end.
QByteArray json(const char* step,
                const char* transparency = "80",
                const char* persona = "\"remote\"",
                const char* categories = "[\"Work Chat\"]",
                const char* more = "")
{
    return QString::asprintf(R"({"persona":%s,"selectedCategories":%s,"transparency":%s,"step":%s%s})",
                             persona,
                             categories,
                             transparency,
                             step,
                             more)
        .toUtf8();
}

} // namespace

TEST(HideCategory, RawValuesNamesAndBundleIdentifiersMatchOnlyExactly)
{
    for (const HideCategory category : HideCategory::allCases()) {
        EXPECT_EQ(HideCategory::fromRawValue(category.rawValue()), category);
    }
    for (const char* name : {"work chat", "Work Chat ", "WorkChat", ""}) {
        EXPECT_FALSE(HideCategory::fromRawValue(QString::fromUtf8(name))) << name;
    }

    // Names keep their order and repeats; unknown ones are dropped.
    const std::pair<QStringList, QList<HideCategory>> names[] = {
        {{"Work Chat", "Gaming", "Work Chat"}, {C::WorkChat, C::WorkChat}},
        {{"Personal Messages", "Banking & Finance"}, {C::Personal, C::Finance}},
        {{"work chat", "BANKING & FINANCE"}, {}},
        {{}, {}},
    };
    for (const auto& [input, expected] : names) {
        EXPECT_EQ(HideCategory::categories(input), expected) << input.join(u'|').toStdString();
    }

    // The running apps among the suggestions of the named categories.
    const std::tuple<QStringList, Ids, Ids> apps[] = {
        {{"Personal Messages", "Work Chat"},
         {"com.whatsapp.mac", "com.hnc.Discord", "com.example.notes"},
         {"com.whatsapp.mac", "com.hnc.Discord"}},
        {{"Personal Messages", "Work Chat"}, {}, {}},
        {{}, {"com.whatsapp.mac"}, {}},
        {{"Desktop & Files"}, {"com.apple.finder", "com.whatsapp.mac"}, {"com.apple.finder"}},
        {{"Work Chat", "Work Chat", "Nothing"}, {"com.tinyspeck.slackmacgap"}, {"com.tinyspeck.slackmacgap"}},
        {{"Work Chat"}, {"com.tinyspeck.SlackMacGap"}, {}},
        {{"Banking & Finance"},
         {"com.microsoft.Excel", "com.apple.Numbers", "com.quickbooks.Desktop", "com.apple.finder"},
         {"com.microsoft.Excel", "com.apple.Numbers", "com.quickbooks.Desktop"}},
    };
    for (const auto& [input, running, expected] : apps) {
        EXPECT_EQ(HideCategory::bundleIDs(input, running), expected) << input.join(u'|').toStdString();
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
        EXPECT_EQ(OnboardingPersona::find(QString::fromUtf8(id)).id, QString::fromUtf8(expected)) << id;
    }
    EXPECT_EQ(OnboardingPersona::all().front().id, QStringLiteral("professional"));
    EXPECT_EQ(OnboardingPersona::find(QStringLiteral("student")).tag,
              QStringLiteral("You're not alone — 73% pick this when WFH"));
}

TEST(OnboardingDraft, SavedDraftsLoadBackEqual)
{
    for (const OnboardingDraft& saved :
         {OnboardingDraft(),
          draft(
              "student", {"Work Chat", "Banking & Finance", "Desktop & Files", "Personal Messages"}, 73.5, 5),
          draft("a \"quoted\" persona — ✓\n", {}, 50, -3),
          draft("student", {"Work Chat"}, 73.5, std::numeric_limits<qint64>::max())}) {
        platform::InMemoryUserDefaults defaults;
        saved.save(defaults);
        ASSERT_TRUE(defaults.dataForKey(QStringLiteral("onboardingDraft")).has_value());
        EXPECT_EQ(OnboardingDraft::load(defaults), saved) << saved.persona.toStdString();
    }
}

TEST(OnboardingDraft, AnythingButAWholeValidDraftLoadsAsTheWholeDefault)
{
    const std::pair<const char*, QVariant> cases[] = {
        {"nothing stored", QVariant()},
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

TEST(OnboardingDraft, ExtraMembersIntegralStepsOfAnyFormAndAnyTransparencyLoadAsStored)
{
    const std::pair<QByteArray, qint64> steps[] = {
        {json("42", "80", "\"remote\"", "[\"Work Chat\"]", R"(,"extra":{"a":1})"), 42},
        {json("3.0"), 3},
        {json("-3"), -3},
        {json("9223372036854775807"), std::numeric_limits<qint64>::max()},
    };
    for (const auto& [stored, step] : steps) {
        EXPECT_EQ(loadStored(stored), draft("remote", {"Work Chat"}, 80, step)) << stored.data();
    }
    // Out of the slider's range too: only what shows it clamps it.
    const std::pair<const char*, double> transparencies[] = {
        {"1e308", 1e308}, {"-1e308", -1e308}, {"30", 30}, {"73.5", 73.5}, {"150", 150}};
    for (const auto& [stored, expected] : transparencies) {
        EXPECT_EQ(loadStored(json("1", stored)), draft("remote", {"Work Chat"}, expected, 1)) << stored;
    }
}

TEST(OnboardingDraft, TheShownPercentRoundsTheClampedValueHalfAwayFromZero)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int> cases[] = {{std::nan(""), 100},
                                            {inf, 100},
                                            {-inf, 100},
                                            {1e300, 100},
                                            {-1e300, 50},
                                            {72.5, 73},
                                            {72.4, 72},
                                            {73.5, 74},
                                            {49.5, 50},
                                            {0, 50},
                                            {100.4, 100}};
    for (const auto& [transparency, percent] : cases) {
        EXPECT_EQ(OnboardingDraft::transparencyPercent(transparency), percent) << transparency;
    }
}

TEST(OnboardingDraft, ADraftThatCannotBeEncodedLeavesTheStoredOneInPlace)
{
    platform::InMemoryUserDefaults defaults;
    const OnboardingDraft kept = draft("", {}, 100, 3);
    kept.save(defaults);
    draft("", {}, std::nan(""), 0).save(defaults);
    EXPECT_EQ(OnboardingDraft::load(defaults), kept);
}
