#pragma once

#include <QWidget>

#include <functional>

// Step 6, "Share right": the one habit the product depends on (share the entire "Veilmox"
// screen, not the real one or a window) in three numbered lines, the full-screen warning, a
// picture of a meeting app's share picker with the right tab and screen marked, and "Finish
// setup", which ends the flow. Holds no state. Main thread only.
class OnboardingStepShare final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<void()> onComplete; // once per press of "Finish setup"
    };

    explicit OnboardingStepShare(Input input, QWidget* parent = nullptr);

    // The instruction lines: their text and whether they are dimmed.
    struct Instruction
    {
        QString text;
        bool dimmed = false;
    };
    static const QList<Instruction>& instructions();

private:
    QWidget* makeInstructions() const;
    QWidget* makeWarning() const;
    QWidget* makePicker() const;

    Input m_input;
};
