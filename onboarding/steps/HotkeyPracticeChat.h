#pragma once

#include "onboarding/MockLayout.h"
#include "shell/kit/AnimatedValue.h"

#include <QString>
#include <QWidget>

#include <optional>

class MockPicture;

// The mock meeting chat of the hot-key practice: a small team-chat window showing a confidential
// message, standing for what the audience must not see. Veiled, its content fades, blurs and
// shrinks a little, it gains a flame border and glow, and an overlay names the result with the
// last measured reaction time. It keeps no state of its own beyond the animation: the step tells
// it whether it is veiled and the time. Paint-only; main thread.
class HotkeyPracticeChat final : public QWidget
{
    Q_OBJECT

public:
    explicit HotkeyPracticeChat(QWidget* parent = nullptr);

    // Veils or brings back the window over 0.2 s (the reduced-motion ease under Reduce Motion);
    // the first call after construction shows the state at once.
    void setVeiled(bool veiled);
    void setReactionTime(std::optional<double> seconds);
    // How far veiled it is drawn now: 0 clear … 1 veiled.
    double veil() const { return m_veil.value(); }

    // The window at a veil of 0 … 1; the overlay enters and leaves with the veil.
    static mock::Item item(double veil, std::optional<double> reactionTime);
    // "VEILED", or "VEILED IN 0.43S" once a press was timed.
    static QString veiledTitle(std::optional<double> reactionTime);
    static QString veiledHint(std::optional<double> reactionTime);

    static constexpr double kDuration = 0.2;

private:
    void redraw();

    MockPicture* m_picture;
    kit::AnimatedValue m_veil{0.0};
    bool m_shown = false;
    std::optional<double> m_reactionTime;
};
