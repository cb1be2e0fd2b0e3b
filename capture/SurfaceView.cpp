#include "capture/SurfaceView.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void SurfaceView::MaskLayer::setContents(const platform::IOSurfaceRef& contents)
{
    m_contents = contents;
    m_view.update();
}

void SurfaceView::MaskLayer::setFrame(const QRectF& frame)
{
    m_frame = frame;
    m_view.update();
}

SurfaceView::SurfaceView(const QRectF& frame, bool masked, QWidget* parent)
    : QWidget(parent)
{
    if (masked) {
        m_maskLayer = std::make_unique<MaskLayer>(*this);
    }
    setGeometry(frame.toRect());
    // Drawn over whatever lies behind: the view fills nothing of its own.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    if (m_maskLayer) {
        m_maskLayer->setFrame(QRectF(rect()));
    }
}

SurfaceView::~SurfaceView() = default;

void SurfaceView::setSurface(const platform::IOSurfaceRef& surface)
{
    m_surface = surface;
    update();
}

void SurfaceView::setAlphaValue(double alpha)
{
    const double value = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
    if (value == m_alphaValue) {
        return; // the same look: nothing to draw again
    }
    m_alphaValue = value;
    update();
}

void SurfaceView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_maskLayer) {
        m_maskLayer->setFrame(QRectF(rect()));
    }
}

void SurfaceView::paintEvent(QPaintEvent* /*event*/)
{
    if (!m_surface || m_surface->image().isNull() || m_alphaValue <= 0 || rect().isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_alphaValue);
    const QRectF bounds(rect());
    if (!m_maskLayer) {
        painter.drawImage(bounds, m_surface->image());
        return;
    }
    const platform::IOSurfaceRef& mask = m_maskLayer->contents();
    if (!mask || mask->image().isNull()) {
        return;
    }
    // Masked: the surface where the mask has coverage, composed at the size it lands on.
    const QRectF device = painter.deviceTransform().mapRect(bounds);
    const QSize size(std::max(1, static_cast<int>(std::ceil(device.width()))),
                     std::max(1, static_cast<int>(std::ceil(device.height()))));
    const auto draw = [&size, &bounds](const QImage& image, const QRectF& frame) {
        QImage layer(size, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter p(&layer);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.scale(size.width() / bounds.width(), size.height() / bounds.height());
        p.drawImage(frame, image);
        return layer;
    };
    QImage composed = draw(m_surface->image(), bounds);
    {
        // Outside the mask's frame the mask has no coverage either.
        QPainter p(&composed);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, draw(mask->image(), m_maskLayer->frame()));
    }
    painter.drawImage(bounds, composed);
}
