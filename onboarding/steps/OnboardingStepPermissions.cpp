#include "onboarding/steps/OnboardingStepPermissions.h"

#include "onboarding/OnboardingFlow.h"

OnboardingStepPermissions::OnboardingStepPermissions(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kPermissionsStep, parent)
    , m_input(std::move(input))
{
    auto* grant = addButton(
        QStringLiteral("permissions.grant"),
        {QStringLiteral("Grant permission"), QStringLiteral("lock.open"), 11, kit::FontWeight::regular, true},
        SunsetButtonStyle{36, false}.pill(),
        [this] { m_input.onGrant(); });
    auto* recheck = addButton(QStringLiteral("permissions.recheck"),
                              {QStringLiteral("Recheck"), QString()},
                              QuietButtonStyle{36, true}.pill(),
                              [this] { m_input.onRecheck(); });
    const auto onContinue = [this] {
        m_input.onContinue();
    };
    auto* next = addButton(QStringLiteral("permissions.continue"),
                           {QStringLiteral("Continue"), QStringLiteral("chevron.right"), 11},
                           ContinueButtonStyle{}.pill(),
                           onContinue);
    auto* skip = addButton(QStringLiteral("permissions.skip"),
                           {QStringLiteral("Continue without granting"), QStringLiteral("chevron.right"), 11},
                           QuietButtonStyle{40, false}.pill(),
                           onContinue);
    follow(this, m_input.observe, [this, grant, recheck, next, skip] {
        const bool granted = m_input.hasPermission();
        grant->setVisible(!granted);
        recheck->setVisible(!granted);
        next->setVisible(granted);
        skip->setVisible(!granted);
    });
}
