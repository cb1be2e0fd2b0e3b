#include "onboarding/steps/OnboardingStepHide.h"

#include "onboarding/OnboardingFlow.h"

OnboardingStepHide::OnboardingStepHide(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kHideStep, parent)
    , m_input(std::move(input))
{
    for (const HideCategory category : HideCategory::allCases()) {
        addChoice(
            QStringLiteral("hide.category.") + category.rawValue(),
            category.rawValue(),
            [this, category] {
                QSet<HideCategory> selected = m_input.selected();
                if (!selected.remove(category)) {
                    selected.insert(category);
                }
                m_input.selected.set(selected);
            },
            [this, category] { return m_input.selected().contains(category); },
            m_input.observe);
    }
}
