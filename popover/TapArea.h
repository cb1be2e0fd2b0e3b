#pragma once

#include "shell/kit/AnimatedValue.h"

#include <QWidget>

// The tappable part of a row, holding a layout of views: its whole rectangle takes hits, pressing
// shrinks it to 0.97 (0.12 s) about its anchor (the leading edge unless told otherwise), and a
// press released inside it emits `tapped`. Controls inside it keep their own clicks, which a
// button around them would take. Main thread only.
class TapArea final : public QWidget
{
    Q_OBJECT

public:
    // `anchor` in unit coordinates of the area.
    explicit TapArea(QPointF anchor = QPointF(0, 0.5), QWidget* parent = nullptr);

    bool isPressed() const { return m_pressed; }
    // The scale drawn now.
    double currentScale() const { return m_scale.value(); }

    static constexpr double kPressedScale = 0.97;
    static constexpr double kDuration = 0.12;

signals:
    void tapped();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void setPressed(bool pressed);

    QPointF m_anchor;
    bool m_pressed = false;
    kit::AnimatedValue m_scale{1.0};
};
