// The hot-key practice's reading of the keyboard over synthetic events, and how it writes times.
#include "onboarding/steps/HotkeyPractice.h"

#include "onboarding/steps/HotkeyPracticeChat.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr std::uint64_t kCmd = kEventModifierFlagCommand;
constexpr std::uint64_t kShift = kEventModifierFlagShift;
constexpr std::uint64_t kOpt = kEventModifierFlagOption;
constexpr std::uint64_t kCtrl = kEventModifierFlagControl;

KeyEvent flags(std::uint64_t modifiers)
{
    KeyEvent e;
    e.type = EventType::FlagsChanged;
    e.keyCode = keycode::kShift;
    e.modifierFlags = modifiers;
    return e;
}

KeyEvent down(std::uint64_t modifiers, bool repeat = false, std::uint16_t key = keycode::kH)
{
    KeyEvent e;
    e.keyCode = key;
    e.modifierFlags = modifiers;
    e.isARepeat = repeat;
    return e;
}

KeyEvent up(std::uint64_t modifiers = kCmd | kShift)
{
    KeyEvent e = down(modifiers);
    e.type = EventType::KeyUp;
    return e;
}

struct Timed
{
    double at;
    KeyEvent event;
};

} // namespace

TEST(HotkeyPractice, FiresOnTheRealComboTimedFromTheFirstModifierAndSwallowsOnlyIt)
{
    struct Case
    {
        const char* name;
        QList<Timed> events;
        int fires;
        std::optional<double> reactionTime;
        QList<int> swallowed; // indexes of the events kept from the window
    };
    const QList<Case> cases{
        {"⇧, ⌘, H: timed from ⇧",
         {{0, flags(kShift)}, {0.1, flags(kShift | kCmd)}, {0.43, down(kShift | kCmd)}},
         1,
         0.43,
         {2}},
        {"held until it repeats: fires on each repeat, time kept",
         {{0, flags(kCmd)},
          {0.1, flags(kShift | kCmd)},
          {0.3, down(kShift | kCmd)},
          {0.8, down(kShift | kCmd, true)},
          {0.9, down(kShift | kCmd, true)}},
         3,
         0.3,
         {2, 3, 4}},
        {"a second H with ⇧⌘ still down fires without a new time",
         {{0, flags(kShift)},
          {0.1, flags(kShift | kCmd)},
          {0.2, down(kShift | kCmd)},
          {0.3, up()},
          {0.9, down(kShift | kCmd)}},
         2,
         0.2,
         {2, 4}},
        {"⌥⇧⌘H fires", {{0, flags(kShift | kCmd | kOpt)}, {0.25, down(kShift | kCmd | kOpt)}}, 1, 0.25, {1}},
        {"⌃⇧⌘H fires",
         {{0, flags(kShift | kCmd | kCtrl)}, {0.25, down(kShift | kCmd | kCtrl)}},
         1,
         0.25,
         {1}},
        {"⌘H alone passes on", {{0, flags(kCmd)}, {0.2, down(kCmd)}}, 0, std::nullopt, {}},
        {"⇧H alone passes on", {{0, flags(kShift)}, {0.2, down(kShift)}}, 0, std::nullopt, {}},
        {"releasing both discards the start",
         {{0, flags(kShift)},
          {0.5, flags(0)},
          {1.0, flags(kCmd)},
          {1.1, flags(kCmd | kShift)},
          {1.3, down(kCmd | kShift)}},
         1,
         0.3,
         {4}},
        {"releasing one keeps the start",
         {{0, flags(kShift)},
          {0.1, flags(kShift | kCmd)},
          {0.2, flags(kCmd)},
          {0.3, flags(kCmd | kShift)},
          {0.5, down(kCmd | kShift)}},
         1,
         0.5,
         {4}},
        {"other keys pass on, whatever is held",
         {{0, flags(kShift | kCmd)}, {0.2, down(kShift | kCmd, false, keycode::kP)}},
         0,
         std::nullopt,
         {}},
    };
    for (const Case& c : cases) {
        HotkeyPracticeState state;
        int fires = 0;
        QList<int> swallowed;
        for (int i = 0; i < c.events.size(); ++i) {
            const HotkeyKeyOutcome outcome =
                handleHotkeyEvent(state, c.events.at(i).event, c.events.at(i).at);
            fires += outcome.fires ? 1 : 0;
            if (!outcome.passesOn) {
                swallowed << i;
            }
        }
        EXPECT_EQ(fires, c.fires) << c.name;
        ASSERT_EQ(state.reactionTime.has_value(), c.reactionTime.has_value()) << c.name;
        if (c.reactionTime) {
            EXPECT_NEAR(*state.reactionTime, *c.reactionTime, 1e-9) << c.name;
        }
        EXPECT_EQ(swallowed, c.swallowed) << c.name;
    }
}

TEST(HotkeyPractice, TheShownKeysFollowTheEventsAndTheHKeyUpDisarms)
{
    HotkeyPracticeState state;
    handleHotkeyEvent(state, flags(kShift), 0);
    EXPECT_TRUE(state.isShiftHeld);
    EXPECT_FALSE(state.isCommandHeld);
    handleHotkeyEvent(state, down(kShift), 0.1);
    EXPECT_TRUE(state.isHHeld) << "H lights even when the combo is not complete";
    state.isArmed = true;
    handleHotkeyEvent(state, up(kShift), 0.2);
    EXPECT_FALSE(state.isHHeld);
    EXPECT_FALSE(state.isArmed);
}

TEST(HotkeyPractice, TimesAreWrittenWithTwoDecimalsBelowASecondAndOneFromASecondOn)
{
    for (const auto& [seconds, written] :
         {std::pair{0.43, "0.43"}, {0.999, "1.00"}, {1.0, "1.0"}, {1.27, "1.3"}, {0.05, "0.05"}}) {
        EXPECT_EQ(formatReactionTime(seconds), QString::fromUtf8(written)) << seconds;
    }
    EXPECT_EQ(hotkeyHeadlineLead(std::nullopt), QStringLiteral("The 0.2-second"));
    EXPECT_EQ(hotkeyHeadlineLead(0.43), QStringLiteral("Your 0.43-second"));
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(std::nullopt), QStringLiteral("VEILED"));
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(0.43), QStringLiteral("VEILED IN 0.43S"));
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(1.27), QStringLiteral("VEILED IN 1.3S"));
}
