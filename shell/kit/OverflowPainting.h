#pragma once

#include <QGraphicsEffect>
#include <QMarginsF>

#include <functional>

class QWidget;

namespace kit {

// Lets a self-painted control draw beyond its own rectangle (glows, shadows, a one-point lift)
// without those effects taking room in the layout: the control's whole look is drawn by
// `paint` with an unclipped painter in the control's coordinates, over its rectangle grown by
// `overflow`. The control's own paint event is then never used, unless `drawsContents` is set:
// then the control (and its children) are drawn after `paint`, over it. Owned by the control.
class OverflowPainting final : public QGraphicsEffect
{
    Q_OBJECT

public:
    OverflowPainting(QWidget* control,
                     std::function<QMarginsF()> overflow,
                     std::function<void(QPainter&)> paint,
                     bool drawsContents = false);

    // Call when the overflow may have changed.
    void overflowChanged() { updateBoundingRect(); }

protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

private:
    std::function<QMarginsF()> m_overflow;
    std::function<void(QPainter&)> m_paint;
    bool m_drawsContents;
};

} // namespace kit
