#pragma once

#include "onboarding/StepPlaceholder.h"

#include <functional>

// Step 6, "Share right": how to share the "Veilmox" screen, and the button that finishes the
// flow. Main thread only.
class OnboardingStepShare final : public StepPlaceholder
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<void()> onComplete; // once per press of "Finish setup"
    };

    explicit OnboardingStepShare(Input input, QWidget* parent = nullptr);

private:
    Input m_input;
};
