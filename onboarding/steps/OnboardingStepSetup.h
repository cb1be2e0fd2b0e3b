#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/StepPlaceholder.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// Step 4, "Your setup": a receipt of what the user chose, with the button that keeps it: signed
// out it starts the browser sign-in, signed in it applies the choice; either way the flow moves
// on. The values are read live from the flow. Main thread only.
class OnboardingStepSetup final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<QString()> persona;
        std::function<qint64()> selectedCount;
        std::function<double()> transparency; // percent
        std::function<bool()> isAuthenticated;
        std::function<void()> onContinue;
        StateObserver observe;
    };

    explicit OnboardingStepSetup(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
