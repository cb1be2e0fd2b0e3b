#include "onboarding/steps/OnboardingStepHotkey.h"

#include "onboarding/OnboardingFlow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

OnboardingStepHotkey::OnboardingStepHotkey(Input input, QWidget* parent)
    : StepPlaceholder(OnboardingFlow::kHotkeyStep, parent)
    , m_input(std::move(input))
{
    auto* keys = new QHBoxLayout;
    keys->setSpacing(6);
    const std::pair<QString, Binding<bool>*> caps[] = {{QStringLiteral("⇧"), &m_input.isShiftHeld},
                                                       {QStringLiteral("⌘"), &m_input.isCommandHeld},
                                                       {QStringLiteral("H"), &m_input.isHHeld}};
    for (const auto& [label, held] : caps) {
        auto* cap = new KeyCap(label, 44, KeyCap::Tone::Letter, false, [held = *held] { held.set(true); });
        keys->addWidget(cap);
        follow(cap, m_input.observe, [this, cap, held = *held] {
            cap->setAccented(held() || m_input.isArmed());
        });
    }
    keys->addStretch(1);
    controls()->addLayout(keys);
    addButton(
        QStringLiteral("hotkey.test"),
        {QStringLiteral("Test it now"), QStringLiteral("bolt.fill"), 12, kit::FontWeight::regular, true},
        SunsetButtonStyle{40, true}.pill(),
        [this] {
            if (m_input.onFire) {
                m_input.onFire();
            }
            m_input.isHiddenByShortcut.set(!m_input.isHiddenByShortcut());
            m_input.triggerCount.set(m_input.triggerCount() + 1);
        });
}
