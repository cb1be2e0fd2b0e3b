#include "onboarding/OnboardingStepGoal.h"

#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingPersona.h"

OnboardingStepGoal::OnboardingStepGoal(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kGoalStep, parent)
    , m_input(std::move(input))
{
    for (const OnboardingPersona& persona : OnboardingPersona::all()) {
        addChoice(
            QStringLiteral("goal.persona.") + persona.id,
            persona.label,
            [this, id = persona.id] { m_input.persona.set(id); },
            [this, id = persona.id] { return m_input.persona() == id; },
            m_input.observe);
    }
}
