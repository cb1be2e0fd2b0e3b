#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ButtonBase.h"
#include "shell/kit/Typography.h"

#include <QColor>
#include <QString>

namespace kit {

// Round 28-point glyph buttons with an active state, as pure data per state. Enabled or not
// looks the same.
struct IconButtonStyle
{
    struct Appearance
    {
        QColor glyphColor;
        QColor disc;   // circle behind the glyph; transparent for none
        QColor border; // the circle's inner border; transparent for none
        double scale = 1;
    };

    static constexpr double kSide = 28;
    static constexpr double kGlyphPointSize = 12.5;
    static constexpr double kPressedScale = 0.94;
    static constexpr double kDuration = 0.18;
    // The glyph is drawn in the system font's medium weight, not a Geist face.
    static constexpr FontWeight kGlyphWeight = FontWeight::medium;

    static Appearance appearance(bool isActive, bool isHovered, bool isPressed, bool increaseContrast);
    static Appearance blend(const Appearance& a, const Appearance& b, double t);
};

// A round glyph button showing a system symbol (one per control, found by its object name).
class IconButton final : public ButtonBase
{
    Q_OBJECT

public:
    explicit IconButton(QString symbolName, bool isActive = false, QWidget* parent = nullptr);

    QString symbolName() const { return m_symbol; }
    void setSymbolName(const QString& name);
    bool isActive() const { return m_active; }
    void setActive(bool active);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    IconButtonStyle::Appearance currentAppearance() const;

protected:
    void paintControl(QPainter& painter) override;
    ContentPlacement labelPlacement() const override;
    void interactionChanged() override;
    bool hitButton(const QPoint& pos) const override;

private:
    QString m_symbol;
    bool m_active = false;
    AnimatedValue m_hover{0.0};
    AnimatedValue m_press{0.0};
};

} // namespace kit
