#pragma once

#include "shell/kit/ViewEffect.h"

#include <QAbstractButton>
#include <QMarginsF>

namespace kit {

class AnimatedValue;

// The base of the kit's self-painted buttons: it follows hover and press, and paints the whole
// look through `paintControl`, which may reach `overflow()` beyond the button's rectangle (glows,
// lifts) without that taking room in the layout. Clicking emits `clicked()` as any button does.
//
// A button may hold a layout of views (a row, a tile, a key cap): set a layout on it as on any
// widget. Its children are drawn over the look with the same press transform and opacity, never
// take clicks or keyboard focus themselves (hits and focus stay with the button), and speak
// through the button: its accessible name is its own, else its text, else its labels' texts.
class ButtonBase
    : public QAbstractButton
    , public SelfPainted
{
    Q_OBJECT

public:
    explicit ButtonBase(QWidget* parent = nullptr);
    // Drops the effect while the subclass's look can still be asked for safely.
    ~ButtonBase() override;
    ButtonBase(const ButtonBase&) = delete;
    ButtonBase& operator=(const ButtonBase&) = delete;

    bool isHovered() const { return m_hovered; }
    bool isPressed() const { return m_pressed; }

    // The accessible name: the one set, else the text, else the texts of the labels inside.
    QString spokenName() const;

    void paintLook(QPainter& painter) final { paintControl(painter); }
    QMarginsF lookOverflow() const final { return overflow(); }
    std::optional<ContentPlacement> contentPlacement() const final;

protected:
    virtual void paintControl(QPainter& painter) = 0;
    virtual QMarginsF overflow() const { return {}; }
    // Where the children go now: the transform and opacity the look is drawn with.
    virtual ContentPlacement labelPlacement() const { return {}; }
    // Called after the hover or press state changed (animations start here).
    virtual void interactionChanged() {}
    // Call when `overflow()` may have changed.
    void overflowChanged() { lookChanged(); }
    // Eases the two values towards the current hover and press states (1 on, 0 off) with the
    // standard curve of the given duration, or at once under Reduce Motion.
    void followInteraction(AnimatedValue& hover, AnimatedValue& press, double duration);

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void sync();

    bool m_hovered = false;
    bool m_pressed = false;
    bool m_lastHovered = false;
};

} // namespace kit
