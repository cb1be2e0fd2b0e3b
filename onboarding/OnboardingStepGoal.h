#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <QString>

// Step 0, "Your goal": the user picks the persona the rest of the flow is built around. The
// choice is the flow's, read and written through the binding. Main thread only.
class OnboardingStepGoal final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QString> persona; // the chosen persona's id; empty while none is chosen
        StateObserver observe;
    };

    explicit OnboardingStepGoal(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
