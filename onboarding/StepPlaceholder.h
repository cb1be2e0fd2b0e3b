#pragma once

#include "onboarding/OBControls.h"
#include "onboarding/OnboardingBinding.h"

#include <QWidget>

#include <functional>

class QVBoxLayout;
class SelectableRow;

// The plain column a step shows until its full design is drawn: the step's title as a headline,
// then the controls that move the flow on, centred in the step area. Main thread only.
class StepPlaceholder : public QWidget
{
    Q_OBJECT

public:
    explicit StepPlaceholder(int step, QWidget* parent = nullptr);

protected:
    // Where the step puts its controls, under the title.
    QVBoxLayout* controls() const { return m_controls; }
    // A selectable card named `name` showing `label`, kept selected while `isSelected` says so.
    SelectableRow* addChoice(const QString& name,
                             const QString& label,
                             std::function<void()> onPress,
                             std::function<bool()> isSelected,
                             const StateObserver& observe);
    // An onboarding pill named `name` that calls `action`.
    OnboardingPill* addButton(const QString& name,
                              const PillLabel& label,
                              const OnboardingPillStyle& style,
                              std::function<void()> action);
    // Runs `sync` now and after every change of the flow's state while `context` lives.
    static void follow(QObject* context, const StateObserver& observe, const std::function<void()>& sync);

private:
    QVBoxLayout* m_controls;
};
