#include "shell/kit/OverflowPainting.h"

#include <QPainter>
#include <QWidget>

namespace kit {

OverflowPainting::OverflowPainting(QWidget* control,
                                   std::function<QMarginsF()> overflow,
                                   std::function<void(QPainter&)> paint,
                                   bool drawsContents)
    : QGraphicsEffect(control)
    , m_overflow(std::move(overflow))
    , m_paint(std::move(paint))
    , m_drawsContents(drawsContents)
{
    control->setGraphicsEffect(this);
}

QRectF OverflowPainting::boundingRectFor(const QRectF& rect) const
{
    return rect.marginsAdded(m_overflow ? m_overflow() : QMarginsF());
}

void OverflowPainting::draw(QPainter* painter)
{
    if (m_paint) {
        painter->save();
        m_paint(*painter);
        painter->restore();
    }
    if (m_drawsContents) {
        drawSource(painter);
    }
}

} // namespace kit
