#pragma once

#include "shell/kit/Drawing.h"
#include "shell/kit/ViewEffect.h"

#include <QColor>
#include <QWidget>

class QVBoxLayout;

namespace kit {

// The card look: a continuous rounded rectangle of radius 12 filled with the surface colour, with
// a one-point inner border, the flame border when active and the hairline otherwise.
struct CardBackgroundStyle
{
    static constexpr double kCornerRadius = 12;
    static QColor border(bool isActive);
    static void paint(QPainter& painter, const QRectF& rect, bool isActive);
};

// The floating-panel look: a continuous rounded rectangle filled with the surface colour, a
// hairline inner border, and a shadow of black at 0.7, radius 30, 18 points down.
struct FloatingBackgroundStyle
{
    static Shadow shadow();
    static void paint(QPainter& painter, const QRectF& rect, double cornerRadius);
};

// The capsule that chips lie on: the system's ultra-thin material, or the surface colour when
// Reduce Transparency is on. No border and no size of its own.
struct ChipBackgroundStyle
{
    // There is no backdrop blur here, so the material is its dark-appearance tint alone.
    static QColor material();
    static QColor fill(bool reduceTransparency);
    static void paint(QPainter& painter, const QRectF& rect, bool reduceTransparency);
};

// A container with the card look: its content (added to `contentLayout()`) is padded by
// `padding` on every edge and the card fills the available width, content aligned leading.
// Switching `isActive` changes only the border colour.
class CardBackground final : public QWidget
{
    Q_OBJECT

public:
    explicit CardBackground(double padding, bool isActive = false, QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_layout; }
    bool isActive() const { return m_active; }
    void setActive(bool active);
    double padding() const { return m_padding; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QVBoxLayout* m_layout;
    double m_padding;
    bool m_active;
};

// A container with the floating-panel look. It adds no padding and no frame: the content
// decides the size, and the shadow falls outside it.
class FloatingBackground final
    : public QWidget
    , public SelfPainted
{
    Q_OBJECT

public:
    explicit FloatingBackground(double cornerRadius, QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_layout; }
    double cornerRadius() const { return m_cornerRadius; }

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override { return FloatingBackgroundStyle::shadow().reach(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QVBoxLayout* m_layout;
    double m_cornerRadius;
};

// A container with the chip capsule behind its content; Reduce Transparency is read at each
// paint.
class ChipBackground final : public QWidget
{
    Q_OBJECT

public:
    explicit ChipBackground(QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QVBoxLayout* m_layout;
};

} // namespace kit
