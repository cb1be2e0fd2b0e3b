#include "onboarding/steps/OnboardingStepSetup.h"

#include "onboarding/OnboardingFlow.h"

OnboardingStepSetup::OnboardingStepSetup(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kSetupStep, parent)
    , m_input(std::move(input))
{
    const auto onContinue = [this] {
        m_input.onContinue();
    };
    auto* save = addButton(QStringLiteral("setup.save"),
                           {QStringLiteral("Save my setup"), QStringLiteral("arrow.right")},
                           SunsetButtonStyle{44, true}.pill(),
                           onContinue);
    auto* next = addButton(QStringLiteral("setup.continue"),
                           {QStringLiteral("Continue"), QStringLiteral("arrow.right"), 11},
                           ContinueButtonStyle{}.pill(),
                           onContinue);
    follow(this, m_input.observe, [this, save, next] {
        const bool signedIn = m_input.isAuthenticated();
        save->setVisible(!signedIn);
        next->setVisible(signedIn);
    });
}
