#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ButtonBase.h"

#include <functional>

namespace kit {

// The press feedback on its own: the label shrinks to 0.97 about its centre while pressed,
// animated with the standard curve over 0.12 s. No font, colour, background or hit-area change;
// enabled or not looks the same.
struct PressFeedbackButtonStyle
{
    static constexpr double kPressedScale = 0.97;
    static constexpr double kDuration = 0.12;

    static double scale(bool isPressed) { return isPressed ? kPressedScale : 1.0; }
};

// A button whose label draws itself (rows, tiles, key caps, the switch): subclasses paint the
// label in `paintLabel`, a label painter is given, or a layout of views is set on the button (its
// size is then the layout's, or the painter's when that is larger); the button adds only the
// press shrink, to all of them.
class PressFeedbackButton : public ButtonBase
{
    Q_OBJECT

public:
    using LabelPainter = std::function<void(QPainter&, const QRectF&)>;

    explicit PressFeedbackButton(QWidget* parent = nullptr);
    PressFeedbackButton(LabelPainter label, QSize labelSize, QWidget* parent = nullptr);

    void setLabel(LabelPainter label, QSize labelSize);
    QSize sizeHint() const override;

    // The scale drawn now.
    double currentScale() const { return m_scale.value(); }

protected:
    virtual void paintLabel(QPainter& painter, const QRectF& rect);
    void paintControl(QPainter& painter) final;
    ContentPlacement labelPlacement() const override;
    void interactionChanged() override;

private:
    LabelPainter m_label;
    QSize m_labelSize;
    AnimatedValue m_scale{1.0};
};

} // namespace kit
