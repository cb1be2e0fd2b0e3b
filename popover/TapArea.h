#pragma once

#include "shell/kit/AnimatedValue.h"

#include <QWidget>

// The tappable part of a list row, holding a layout of views: its whole rectangle takes hits,
// pressing shrinks it to 0.97 about its leading edge (0.12 s), and a press released inside it
// emits `tapped`. Controls inside it keep their own clicks. Main thread only.
class TapArea final : public QWidget
{
    Q_OBJECT

public:
    explicit TapArea(QWidget* parent = nullptr);

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

    bool m_pressed = false;
    kit::AnimatedValue m_scale{1.0};
};
