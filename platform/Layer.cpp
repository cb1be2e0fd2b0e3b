#include "platform/Layer.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace platform {

Layer::~Layer() = default;

void Layer::setFrame(const QRectF& frame)
{
    m_frame = frame;
    changed();
}

void Layer::setCornerRadius(double radius)
{
    m_cornerRadius = radius;
    changed();
}

void Layer::setBackgroundColor(const QColor& color)
{
    m_backgroundColor = color;
    changed();
}

void Layer::setBorderColor(const QColor& color)
{
    m_borderColor = color;
    changed();
}

void Layer::setBorderWidth(double width)
{
    m_borderWidth = width;
    changed();
}

void Layer::setHidden(bool hidden)
{
    m_hidden = hidden;
    changed();
}

Layer* Layer::addSublayer(std::unique_ptr<Layer> layer)
{
    Layer* added = layer.get();
    added->m_superlayer = this;
    m_sublayers.push_back(std::move(layer));
    changed();
    return added;
}

void Layer::changed() const
{
    for (const Layer* layer = this; layer != nullptr; layer = layer->m_superlayer) {
        if (layer->m_changed) {
            layer->m_changed();
        }
    }
}

void Layer::render(QPainter& painter, double height) const
{
    if (m_hidden) {
        return;
    }
    for (const auto& sublayer : m_sublayers) {
        if (sublayer->m_hidden) {
            continue;
        }
        const QRectF f = sublayer->m_frame;
        // Flip the bottom-left origin into the painter's top-left one.
        const QRectF drawn(f.x(), height - f.y() - f.height(), f.width(), f.height());
        const double radius = std::clamp(sublayer->m_cornerRadius, 0.0, std::min(f.width(), f.height()) / 2);
        QPainterPath path;
        path.addRoundedRect(drawn, radius, radius);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, sublayer->m_backgroundColor);
        if (sublayer->m_borderWidth > 0) {
            // Core Animation draws the border inside the bounds.
            const double inset = sublayer->m_borderWidth / 2;
            const QRectF inner = drawn.adjusted(inset, inset, -inset, -inset);
            const double innerRadius = std::max(0.0, radius - inset);
            QPainterPath border;
            border.addRoundedRect(inner, innerRadius, innerRadius);
            painter.setPen(QPen(sublayer->m_borderColor, sublayer->m_borderWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(border);
        }
        painter.translate(drawn.topLeft());
        sublayer->render(painter, f.height());
        painter.restore();
    }
}

} // namespace platform
