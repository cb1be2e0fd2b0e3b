#include "platform/StatusBar.h"

#include <QPainter>

namespace platform {

StatusBarButton::StatusBarButton(const QSizeF& size)
    : m_size(size)
{}

StatusBarButton::~StatusBarButton() = default;

void StatusBarButton::setImage(const StatusImage& image)
{
    m_image = image;
    changed();
}

void StatusBarButton::setToolTip(const QString& toolTip)
{
    m_toolTip = toolTip;
    changed();
}

void StatusBarButton::setWantsLayer(bool wantsLayer)
{
    if (wantsLayer == this->wantsLayer()) {
        return;
    }
    if (!wantsLayer) {
        m_layer.reset();
        changed();
        return;
    }
    m_layer = std::make_unique<Layer>();
    m_layer->setFrame(bounds());
    m_layer->setChangeHandler([this] { changed(); });
    changed();
}

void StatusBarButton::performClick()
{
    if (m_action) {
        m_action();
    }
}

void StatusBarButton::setSize(const QSizeF& size)
{
    m_size = size;
    if (m_layer) {
        m_layer->setFrame(bounds());
    }
    changed();
}

void StatusBarButton::changed() const
{
    if (m_changed) {
        m_changed();
    }
}

void StatusBarButton::paint(QPainter& painter, const QColor& templateColor) const
{
    if (!m_image.image.isNull() && !m_image.size.isEmpty()) {
        const QRectF target(QPointF((m_size.width() - m_image.size.width()) / 2,
                                    (m_size.height() - m_image.size.height()) / 2),
                            m_image.size);
        QImage drawn = m_image.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (m_image.isTemplate) {
            // Only the shape counts: keep the alpha, paint the colour through it.
            QPainter tint(&drawn);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(drawn.rect(), templateColor);
        }
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, drawn);
        painter.restore();
    }
    if (m_layer) {
        m_layer->render(painter, m_size.height());
    }
}

} // namespace platform
