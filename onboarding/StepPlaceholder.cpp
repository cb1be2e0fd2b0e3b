#include "onboarding/StepPlaceholder.h"

#include "onboarding/OBComponents.h"
#include "onboarding/OnboardingFlow.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

StepPlaceholder::StepPlaceholder(int step, QWidget* parent)
    : QWidget(parent)
    , m_controls(new QVBoxLayout)
{
    auto* column = new QVBoxLayout(this);
    // A column of readable width, centred in the step area.
    column->setContentsMargins(260, 0, 260, 0);
    column->setSpacing(24);
    column->addStretch(1);
    auto* title = new kit::TextView(OnboardingFlow::stepTitles().value(step),
                                    textLook(HeadlineLook::font(40), HeadlineLook::leadColor()));
    title->setObjectName(QStringLiteral("stepTitle"));
    column->addWidget(title);
    m_controls->setSpacing(10);
    column->addLayout(m_controls);
    column->addStretch(1);
}

SelectableRow* StepPlaceholder::addChoice(const QString& name,
                                          const QString& label,
                                          std::function<void()> onPress,
                                          std::function<bool()> isSelected,
                                          const StateObserver& observe)
{
    auto* card = new SelectableRow(false, 16, std::move(onPress));
    card->setObjectName(name);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(15, 15, 15, 15);
    row->addWidget(new kit::TextView(
        label, textLook(OBFont::geist(kit::FontWeight::semibold, 15), OBTokens::textPrimary())));
    m_controls->addWidget(card);
    follow(card, observe, [card, isSelected = std::move(isSelected)] { card->setSelected(isSelected()); });
    return card;
}

OnboardingPill* StepPlaceholder::addButton(const QString& name,
                                           const PillLabel& label,
                                           const OnboardingPillStyle& style,
                                           std::function<void()> action)
{
    auto* button = new OnboardingPill(label, style);
    button->setObjectName(name);
    connect(button, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    m_controls->addWidget(button, 0, style.fullWidth ? Qt::Alignment() : Qt::AlignLeft);
    return button;
}

void StepPlaceholder::follow(QObject* context,
                             const StateObserver& observe,
                             const std::function<void()>& sync)
{
    sync();
    if (observe) {
        observe(context, sync);
    }
}
