#pragma once

#include "onboarding/OBTokens.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Typography.h"
#include "shell/kit/ViewEffect.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

namespace kit {
class PulseDot;
class TextView;
} // namespace kit

// The text and container pieces every onboarding step is built from. The text pieces are values
// that make their view (`view()`), so a step reads like its layout: `HeadlineText{…}.view()`.
// Main thread only.

// A text look in the onboarding's font notation.
kit::TextLook textLook(const OBFont& font, const QColor& color);

// The two-line headline: the lead in white, then from a new line on the tail in the secondary
// white, Geist SemiBold at `size`, tracked tighter as the size grows. It wraps and never
// truncates.
struct HeadlineText
{
    QString lead;
    QString tail;
    double size = 40;

    kit::TextView* view(QWidget* parent = nullptr) const;
};

// The line under a headline: Geist Regular 14 in the secondary white, 4 points between lines,
// centred or leading.
struct SubheadlineText
{
    QString text;
    bool centering = false;

    kit::TextView* view(QWidget* parent = nullptr) const;
};

// A small capitalised mono label; `spacing` is the tracking as a share of its 9.5-point size.
struct EyebrowLabel
{
    QString text;
    QColor color;
    double spacing = 0.24;

    kit::TextView* view(QWidget* parent = nullptr) const;
};

// The status dot of a kind; only the rose one pulses.
struct StatusDot
{
    StatusDotKind kind = StatusDotKind::Live;

    kit::PulseDot* view(QWidget* parent = nullptr) const;
};

// A card: `content` padded on all edges on a rounded background with a 1-point border, taking
// the full width offered.
class Panel final
    : public QWidget
    , public kit::SelfPainted
{
    Q_OBJECT

public:
    Panel(const QColor& background,
          const QColor& border,
          double corner,
          double padding,
          QWidget* content,
          QWidget* parent = nullptr);

    const QColor& border() const { return m_border; }
    void setBorder(const QColor& border);

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background;
    QColor m_border;
    double m_corner;
};

// A card that is one button: its views (a layout set on it) sit on a rounded fill with an inner
// border that show selection and hover, and a click anywhere on its rounded shape, blank space
// included, calls `onPress` once (outside the rounded corners it is no click). It shrinks a
// little while pressed; the hover shade eases in and out.
class SelectableRow final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    SelectableRow(bool isSelected, double corner, std::function<void()> onPress, QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    // Changes the look at once, or along the animation when one is given.
    void setSelected(bool selected, const std::optional<kit::Animation>& animation = std::nullopt);

    // The fill and border drawn now.
    QColor currentFill() const;
    QColor currentBorder() const;

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    void interactionChanged() override;
    bool hitButton(const QPoint& pos) const override;

private:
    bool m_selected;
    double m_corner;
    kit::AnimatedValue m_hover{0.0};
    kit::AnimatedValue m_selection; // 0 unselected … 1 selected
};
