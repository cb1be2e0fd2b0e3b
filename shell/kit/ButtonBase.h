#pragma once

#include <QAbstractButton>
#include <QMarginsF>

namespace kit {

class AnimatedValue;
class OverflowPainting;

// The base of the kit's self-painted buttons: it follows hover and press, and paints the whole
// look through `paintControl`, which may reach `overflow()` beyond the button's rectangle (glows,
// lifts) without that taking room in the layout. Clicking emits `clicked()` as any button does.
class ButtonBase : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ButtonBase(QWidget* parent = nullptr);
    // Drops the overflow painting while the subclass's look can still be asked for safely.
    ~ButtonBase() override;
    ButtonBase(const ButtonBase&) = delete;
    ButtonBase& operator=(const ButtonBase&) = delete;

    bool isHovered() const { return m_hovered; }
    bool isPressed() const { return m_pressed; }

protected:
    virtual void paintControl(QPainter& painter) = 0;
    virtual QMarginsF overflow() const { return {}; }
    // Called after the hover or press state changed (animations start here).
    virtual void interactionChanged() {}
    // Call when `overflow()` may have changed.
    void overflowChanged();
    // Eases the two values towards the current hover and press states (1 on, 0 off) with the
    // standard curve of the given duration, or at once under Reduce Motion.
    void followInteraction(AnimatedValue& hover, AnimatedValue& press, double duration);

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void sync();

    OverflowPainting* m_painting = nullptr;
    bool m_hovered = false;
    bool m_pressed = false;
    bool m_lastHovered = false;
};

} // namespace kit
