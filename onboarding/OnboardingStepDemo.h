#pragma once

#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <QSet>
#include <QString>

#include <functional>

// Step 2, "See it work": the user hides a private window from a mock audience, pins it and
// makes it see-through. Every flag is the flow's, read and written through bindings; trying the
// veil once lets the flow continue. Main thread only.
class OnboardingStepDemo final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QSet<HideCategory>> selected;
        std::function<QString()> persona; // the chosen persona's id, read live
        Binding<bool> isVeiled;
        Binding<bool> isPinned;
        Binding<double> transparency; // percent, 50 to 100
        Binding<bool> hasTriedVeil;
        StateObserver observe;
        double windowWidth = 238;
    };

    explicit OnboardingStepDemo(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
