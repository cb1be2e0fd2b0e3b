#pragma once

#include "platform/KeyEvent.h"

#include <QString>

#include <optional>

// How the hot-key practice reads the keyboard: which keys it shows as held and how it times a
// real press of ⇧⌘H, from the first modifier going down to the H key. Pure values; the step
// applies them. Whether the combo fires is decided by the event's own modifier flags (⌥ or ⌃
// besides do not matter), never by the shown flags.
struct HotkeyPracticeState
{
    bool isCommandHeld = false;
    bool isShiftHeld = false;
    bool isHHeld = false;
    bool isArmed = false;
    std::optional<double> comboStart;   // seconds on the scheduler's clock
    std::optional<double> reactionTime; // seconds, the last one measured
};

struct HotkeyKeyOutcome
{
    bool fires = false;   // the caller fires the combo
    bool passesOn = true; // false: the event is swallowed
};

// Applies one key event received at `now` (seconds on the same clock as `comboStart`).
HotkeyKeyOutcome handleHotkeyEvent(HotkeyPracticeState& state, const platform::KeyEvent& event, double now);

// A reaction time as the headline and the veiled chat write it: two decimals below one second
// (0.999 is "1.00"), one from a second on (1.27 is "1.3").
QString formatReactionTime(double seconds);

// The headline's first line: "The 0.2-second" until a press was timed, then "Your 0.43-second".
QString hotkeyHeadlineLead(std::optional<double> reactionTime);
