#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"

#include <QString>

// The round pin control of the app rows (26 points) and window rows (22 points). It only draws a
// state and emits `clicked()`; its owner sets the state back from the model. Pinned: a filled,
// upright pin in the light flame on a dark disc; unpinned: an outline pin leaning by 35°, in the
// light flame while some of the app's windows are pinned ("partial"), else faint white (white on
// the disc while hovered). Changes animate over 0.18 s. Main thread only.
class PinButton final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    explicit PinButton(double side, QWidget* parent = nullptr);

    bool isPinned() const { return m_pinned; }
    bool isPartial() const { return m_partial; }
    void setState(bool isPinned, bool isPartial);
    // The tooltip.
    QString help() const { return m_help; }
    void setHelp(const QString& help);

    // What is drawn now.
    QString symbolName() const;
    double rotationDegrees() const;
    QColor symbolColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr double kLeanDegrees = 35;
    static constexpr double kDuration = 0.18;

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    void interactionChanged() override;
    bool hitButton(const QPoint& pos) const override;

private:
    double m_side;
    bool m_pinned = false;
    bool m_partial = false;
    QString m_help;
    kit::AnimatedValue m_hover{0.0};
    kit::AnimatedValue m_pinnedness{0.0};
    kit::AnimatedValue m_accent{0.0};
};
