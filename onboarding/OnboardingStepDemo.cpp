#include "onboarding/OnboardingStepDemo.h"

#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "shell/kit/FlameSlider.h"

#include <QVBoxLayout>

OnboardingStepDemo::OnboardingStepDemo(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kDemoStep, parent)
    , m_input(std::move(input))
{
    auto* veil =
        addButton(QStringLiteral("demo.veil"),
                  {QStringLiteral("Hide"), QStringLiteral("shield"), 12, kit::FontWeight::regular, true},
                  QuietButtonStyle{40, false}.pill(),
                  [this] {
                      m_input.isVeiled.set(!m_input.isVeiled());
                      m_input.hasTriedVeil.set(true);
                  });
    follow(veil, m_input.observe, [this, veil] {
        veil->setStyle(QuietButtonStyle{40, m_input.isVeiled()}.pill());
    });
    controls()->addWidget(makeOBOpacitySlider(m_input.transparency,
                                              OnboardingDraft::kMinTransparency,
                                              OnboardingDraft::kMaxTransparency,
                                              m_input.observe));
}
