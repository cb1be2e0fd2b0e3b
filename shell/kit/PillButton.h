#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ButtonBase.h"

#include <QColor>
#include <QString>
#include <QTransform>

class QPainter;

namespace kit {

// The control sizes a user of a style can pick.
enum class ControlSize
{
    Mini,
    Small,
    Regular,
    Large
};

// Capsule buttons in four kinds. Everything they look like, per state, as pure data: the widget
// only blends these for its animations and paints them.
struct PillButtonStyle
{
    enum class Kind
    {
        Primary,
        Flame,
        Outline,
        Quiet
    };

    struct Appearance
    {
        QString fontFace;
        double fontSize = 0;
        double horizontalPadding = 0;
        double verticalPadding = 0;
        QColor textColor;
        bool gradientFill = false; // filled with the flame gradient instead of `fill`
        QColor fill;
        QColor border; // inner border, line width 1; transparent for none
        QColor glowColor;
        double glowRadius = 0;
        double glowOffsetY = 0;
        double offsetY = 0; // −1 when lifted
        double scale = 1;
        double opacity = 1;
    };

    static constexpr double kDuration = 0.18;
    static constexpr double kBorderWidth = 1;

    // The look of one state. Text colour, fill and border follow hover whether or not the pill is
    // enabled; disabling only dims it to 0.4 and drops the lift and the flame glow.
    static Appearance appearance(
        Kind kind, ControlSize size, bool isHovered, bool isPressed, bool isEnabled, bool increaseContrast);
    // The look a fraction `t` of the way from `a` to `b`.
    static Appearance blend(const Appearance& a, const Appearance& b, double t);
};

// A pill button (one per control, found by its object name). It follows the pointer's hover and
// the press with the standard curve over 0.18 s (the reduced-motion ease while Reduce Motion is
// on); its glow and lift may reach beyond its rectangle. With a layout of views set on it, its
// size is the layout's and the views lift, shrink and dim with the capsule.
class PillButton final : public ButtonBase
{
    Q_OBJECT

public:
    explicit PillButton(const QString& text,
                        PillButtonStyle::Kind kind = PillButtonStyle::Kind::Primary,
                        ControlSize size = ControlSize::Regular,
                        QWidget* parent = nullptr);

    PillButtonStyle::Kind kind() const { return m_kind; }
    void setKind(PillButtonStyle::Kind kind);
    ControlSize controlSize() const { return m_size; }
    void setControlSize(ControlSize size);
    // A system symbol before the text, at its own point size, `spacing` points from the text.
    void setLeadingSymbol(const QString& name, double pointSize, double spacing = 6);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The look drawn now, with the hover and press animations where they are.
    PillButtonStyle::Appearance currentAppearance() const;

protected:
    void paintControl(QPainter& painter) override;
    QMarginsF overflow() const override;
    ContentPlacement labelPlacement() const override;
    void interactionChanged() override;
    bool hitButton(const QPoint& pos) const override;
    void changeEvent(QEvent* e) override;

private:
    PillButtonStyle::Kind m_kind;
    ControlSize m_size;
    QString m_symbol;
    double m_symbolSize = 0;
    double m_symbolSpacing = 0;
    AnimatedValue m_hover{0.0};
    AnimatedValue m_press{0.0};
};

// Paints a pill's capsule for an appearance: its glow, its fill and its inner border, with the
// lift, press shrink and opacity of the appearance (the label is the caller's).
void paintPillBody(QPainter& painter, const QRectF& rect, const PillButtonStyle::Appearance& appearance);
// The lift and the press shrink of an appearance, for a pill of this rectangle.
QTransform pillPlacement(const QRectF& rect, const PillButtonStyle::Appearance& appearance);

// Mixes two colours in premultiplied form, so a fade to transparent does not darken.
QColor mixColors(const QColor& a, const QColor& b, double t);

} // namespace kit
