#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <functional>

// Step 5, "Permissions": why the Screen Recording permission is needed, a button that opens the
// system's pane, one that checks again, and one that moves on whether or not it was granted.
// The permission is read live. Main thread only.
class OnboardingStepPermissions final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<bool()> hasPermission;
        std::function<void()> onGrant;
        std::function<void()> onRecheck;
        std::function<void()> onContinue;
        StateObserver observe;
    };

    explicit OnboardingStepPermissions(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
