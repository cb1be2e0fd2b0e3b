#pragma once

#include "onboarding/MockLayout.h"
#include "onboarding/OnboardingBinding.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ButtonBase.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"

#include <QString>

#include <functional>
#include <optional>

namespace kit {
class FlameSlider;
} // namespace kit

// The onboarding's interactive pieces: the capsule buttons in three kinds, the keyboard key caps,
// the inline shortcut chip and the opacity slider. Main thread only.

// How one onboarding capsule looks: its kind, its height (40 or more is the large size class),
// whether it takes the full offered width, whether an outline pill shows as hovered without the
// pointer, and whether it looks enabled (whether it acts is the button's own enabled state).
struct OnboardingPillStyle
{
    enum class Kind
    {
        Primary,
        Flame,
        Outline
    };

    Kind kind = Kind::Primary;
    double height = 40;
    bool fullWidth = false;
    bool highlight = false;
    bool enabled = true;

    static constexpr double kDuration = 0.18;

    bool isLarge() const { return height >= 40; }
    double fontSize() const { return isLarge() ? 13.5 : 12.5; }
    double horizontalPadding() const { return isLarge() ? 20 : 14; }
    // The look of one state. A disabled pill keeps its fill and text, dims to 0.4, never lifts
    // and has no glow.
    kit::PillButtonStyle::Appearance appearance(bool isHovered, bool isPressed) const;
};

// The flow's Continue button: a white pill 40 high.
struct ContinueButtonStyle
{
    bool enabled = true;
    OnboardingPillStyle pill() const
    {
        return {OnboardingPillStyle::Kind::Primary, 40, false, false, enabled};
    }
};

// The flame call to action.
struct SunsetButtonStyle
{
    double height = 40;
    bool fullWidth = false;
    OnboardingPillStyle pill() const
    {
        return {OnboardingPillStyle::Kind::Flame, height, fullWidth, false, true};
    }
};

// The outlined secondary action.
struct QuietButtonStyle
{
    double height = 40;
    bool highlight = false;
    OnboardingPillStyle pill() const
    {
        return {OnboardingPillStyle::Kind::Outline, height, false, highlight, true};
    }
};

// What an onboarding pill says: its text and an optional system symbol before or after it, six
// points apart. The text takes the pill's font and colour; the symbol its own size and weight.
struct PillLabel
{
    QString text;
    QString symbol;
    double symbolSize = 12;
    kit::FontWeight symbolWeight = kit::FontWeight::semibold;
    bool symbolLeading = false;

    static constexpr double kSpacing = 6;
};

// An onboarding capsule button (found by its object name). Hover and press ease with the fast
// curve over 0.18 s (the reduced-motion ease while Reduce Motion is on); the glow and the lift
// reach beyond its rectangle.
class OnboardingPill final : public kit::ButtonBase
{
    Q_OBJECT

public:
    OnboardingPill(const PillLabel& label, const OnboardingPillStyle& style, QWidget* parent = nullptr);

    const OnboardingPillStyle& style() const { return m_style; }
    void setStyle(const OnboardingPillStyle& style);
    // The look drawn now, with the hover and press animations where they are.
    kit::PillButtonStyle::Appearance currentAppearance() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintControl(QPainter& painter) override;
    QMarginsF overflow() const override;
    kit::ContentPlacement labelPlacement() const override;
    void interactionChanged() override;
    bool hitButton(const QPoint& pos) const override;

private:
    void applyStyle();

    OnboardingPillStyle m_style;
    kit::AnimatedValue m_hover{0.0};
    kit::AnimatedValue m_press{0.0};
};

// A key of the mock keyboard, 28 points high: as wide as offered, or `width` wide. With `onPress`
// it is a button that shrinks while pressed, and an accented one is drawn lit and pushed in;
// without it, it is a picture that takes no clicks, and accenting only changes its text.
class KeyCap final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    enum class Tone
    {
        Function,
        Number,
        Letter,
        Space
    };

    static constexpr double kHeight = 28;
    static constexpr double kCorner = 6;

    KeyCap(const QString& label,
           std::optional<double> width,
           Tone tone,
           bool accented,
           std::function<void()> onPress = {},
           QWidget* parent = nullptr);

    QString label() const { return m_label; }
    bool isAccented() const { return m_accented; }
    void setAccented(bool accented);
    bool isPressable() const { return m_pressable; }

    static OBFont font(Tone tone, bool accented);
    // The cap drawn as a picture, at rest.
    mock::Item item() const;

    QSize sizeHint() const override;

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    QMarginsF overflow() const override;

private:
    QString m_label;
    Tone m_tone;
    bool m_accented;
    bool m_pressable;
};

// The inline shortcut chip ("⌘", "H"): mono text on a small rounded chip, flame-tinted when
// accented.
struct OBKbd
{
    QString label;
    bool accented = false;

    mock::Item item() const;
    // A picture of the chip.
    QWidget* view(QWidget* parent = nullptr) const;
};

// The demo's opacity slider: the kit's slider with a 14-point knob, bound to a value within a
// range. Dragging writes the binding, and the slider shows the bound value again after every
// change the observer reports.
kit::FlameSlider* makeOBOpacitySlider(const Binding<double>& value,
                                      double lower,
                                      double upper,
                                      const StateObserver& observe,
                                      QWidget* parent = nullptr);
