#include "onboarding/steps/OnboardingStepShare.h"

#include "onboarding/OnboardingFlow.h"

OnboardingStepShare::OnboardingStepShare(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kShareStep, parent)
    , m_input(std::move(input))
{
    addButton(QStringLiteral("share.finish"),
              {QStringLiteral("Finish setup"), QStringLiteral("chevron.right"), 11},
              ContinueButtonStyle{}.pill(),
              [this] { m_input.onComplete(); });
}
