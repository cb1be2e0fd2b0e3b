#pragma once

#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <QSet>

// Step 1, "What to hide": the user picks the kinds of content kept out of every share. The
// selection is the flow's, read and written through the binding. Main thread only.
class OnboardingStepHide final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QSet<HideCategory>> selected;
        StateObserver observe;
    };

    explicit OnboardingStepHide(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
