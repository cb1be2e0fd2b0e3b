#include "shell/kit/OverflowPainting.h"

#include <QPainter>
#include <QPixmap>
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
        // The control and its children, rendered as Qt renders any widget with an effect (their
        // own overflow paintings included), placed in device space.
        QPoint offset;
        const QPixmap contents = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
        if (!contents.isNull()) {
            const QTransform transform = painter->worldTransform();
            painter->setWorldTransform(QTransform());
            painter->drawPixmap(offset, contents);
            painter->setWorldTransform(transform);
        }
    }
}

} // namespace kit
