#include "onboarding/steps/HotkeyPractice.h"

namespace {

bool hasFlag(const platform::KeyEvent& event, std::uint64_t flag)
{
    return (event.modifierFlags & flag) != 0;
}

} // namespace

HotkeyKeyOutcome handleHotkeyEvent(HotkeyPracticeState& state, const platform::KeyEvent& event, double now)
{
    using platform::EventType;
    const bool isH = event.keyCode == platform::keycode::kH;
    switch (event.type) {
    case EventType::KeyDown: {
        if (!isH) {
            return {};
        }
        state.isHHeld = true;
        if (!hasFlag(event, platform::kEventModifierFlagCommand)
            || !hasFlag(event, platform::kEventModifierFlagShift)) {
            return {};
        }
        // A repeat fires again without a time; the start is used once.
        if (!event.isARepeat && state.comboStart) {
            state.reactionTime = now - *state.comboStart;
        }
        state.comboStart.reset();
        return {true, false};
    }
    case EventType::KeyUp:
        if (isH) {
            state.isHHeld = false;
            state.isArmed = false;
        }
        return {};
    case EventType::FlagsChanged: {
        const bool wasHeld = state.isCommandHeld || state.isShiftHeld;
        state.isCommandHeld = hasFlag(event, platform::kEventModifierFlagCommand);
        state.isShiftHeld = hasFlag(event, platform::kEventModifierFlagShift);
        if (!state.isCommandHeld && !state.isShiftHeld) {
            state.comboStart.reset();
        } else if (!wasHeld) {
            state.comboStart = now;
        }
        return {};
    }
    }
    return {};
}

QString formatReactionTime(double seconds)
{
    return QString::number(seconds, 'f', seconds < 1.0 ? 2 : 1);
}

QString hotkeyHeadlineLead(std::optional<double> reactionTime)
{
    if (!reactionTime) {
        return QStringLiteral("The 0.2-second");
    }
    return QStringLiteral("Your %1-second").arg(formatReactionTime(*reactionTime));
}
