// The hot-key practice's reading of the keyboard over synthetic events, and how it writes times.
#include "onboarding/steps/HotkeyPractice.h"

#include "onboarding/steps/HotkeyPracticeChat.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// One event per word, "<kind><modifiers>@<seconds>": kind F a flags change, H a key-down of H,
// R its auto-repeat, U its key-up, P a key-down of P; modifiers s ⇧, c ⌘, o ⌥, t ⌃.
QList<std::pair<double, KeyEvent>> script(const QString& words)
{
    QList<std::pair<double, KeyEvent>> events;
    for (const QString& word : words.split(QLatin1Char(' '))) {
        const QStringList parts = word.split(QLatin1Char('@'));
        KeyEvent e;
        const QChar kind = parts.at(0).at(0);
        e.type = kind == u'F'   ? EventType::FlagsChanged
                 : kind == u'U' ? EventType::KeyUp
                                : EventType::KeyDown;
        e.keyCode = kind == u'P' ? keycode::kP : keycode::kH;
        e.isARepeat = kind == u'R';
        for (const QChar modifier : parts.at(0).mid(1)) {
            e.modifierFlags |= modifier == u's'   ? kEventModifierFlagShift
                               : modifier == u'c' ? kEventModifierFlagCommand
                               : modifier == u'o' ? kEventModifierFlagOption
                                                  : kEventModifierFlagControl;
        }
        events.append({parts.at(1).toDouble(), e});
    }
    return events;
}

} // namespace

TEST(HotkeyPractice, FiresOnTheRealComboTimedFromTheFirstModifierAndSwallowsOnlyIt)
{
    struct Case
    {
        const char* name;
        const char* events;
        int fires;
        double reactionTime; // negative: none measured
        QList<int> swallowed;
    };
    const Case cases[] = {
        {"⇧, ⌘, H: timed from ⇧", "Fs@0 Fsc@0.1 Hsc@0.43", 1, 0.43, {2}},
        {"held until it repeats", "Fc@0 Fsc@0.1 Hsc@0.3 Rsc@0.8 Rsc@0.9", 3, 0.3, {2, 3, 4}},
        {"a second H with ⇧⌘ still down", "Fs@0 Fsc@0.1 Hsc@0.2 Usc@0.3 Hsc@0.9", 2, 0.2, {2, 4}},
        {"⌥⇧⌘H", "Fsco@0 Hsco@0.25", 1, 0.25, {1}},
        {"⌃⇧⌘H", "Fsct@0 Hsct@0.25", 1, 0.25, {1}},
        {"⌘H alone", "Fc@0 Hc@0.2", 0, -1, {}},
        {"⇧H alone", "Fs@0 Hs@0.2", 0, -1, {}},
        {"both released: the start is dropped", "Fs@0 F@0.5 Fc@1.0 Fcs@1.1 Hcs@1.3", 1, 0.3, {4}},
        {"one released: the start is kept", "Fs@0 Fsc@0.1 Fc@0.2 Fcs@0.3 Hcs@0.5", 1, 0.5, {4}},
        {"another key with ⇧⌘", "Fsc@0 Psc@0.2", 0, -1, {}},
    };
    for (const Case& c : cases) {
        HotkeyPracticeState state;
        int fires = 0;
        QList<int> swallowed;
        const auto events = script(QString::fromUtf8(c.events));
        for (int i = 0; i < events.size(); ++i) {
            const HotkeyKeyOutcome outcome =
                handleHotkeyEvent(state, events.at(i).second, events.at(i).first);
            fires += outcome.fires ? 1 : 0;
            if (!outcome.passesOn) {
                swallowed << i;
            }
        }
        EXPECT_EQ(fires, c.fires) << c.name;
        EXPECT_NEAR(state.reactionTime.value_or(-1), c.reactionTime, 1e-9) << c.name;
        EXPECT_EQ(swallowed, c.swallowed) << c.name;
        EXPECT_EQ(state.isHHeld, QByteArray(c.events).contains(" H")) << c.name << ": H lights while down";
    }
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
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(1.27), QStringLiteral("VEILED IN 1.3S"));
}
