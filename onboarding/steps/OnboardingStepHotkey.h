#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <QtGlobal>

#include <functional>

// Step 3, "Panic hotkey": the user practises ⇧⌘H on a mock meeting chat. The held keys, the
// veil and the count of firings are the flow's, read and written through bindings; one firing
// lets the flow continue. While this step shows, the flow suspends the system-wide hot key.
// Main thread only.
class OnboardingStepHotkey final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<bool> isCommandHeld;
        Binding<bool> isShiftHeld;
        Binding<bool> isHHeld;
        Binding<bool> isArmed;
        Binding<bool> isHiddenByShortcut;
        Binding<qint64> triggerCount;
        std::function<void()> onFire; // called first on every firing
        StateObserver observe;
    };

    explicit OnboardingStepHotkey(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
