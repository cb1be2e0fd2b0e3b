#include "capture/ImageView.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>

ImageView::ImageView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::setImage(const std::optional<QImage>& image)
{
    m_image = image;
    m_changedFrom = 0;
    m_changed.reset();
    update();
}

void ImageView::setImage(QImage image, qint64 changedFrom, std::optional<QRegion> changed)
{
    m_image = std::move(image);
    m_changedFrom = changed ? changedFrom : 0;
    m_changed = std::move(changed);
    update();
}

void ImageView::setImageScaling(ImageScaling scaling)
{
    m_imageScaling = scaling;
    update();
}

QRectF ImageView::imageRect(QSizeF imageSize, QSizeF bounds, ImageScaling scaling)
{
    if (imageSize.isEmpty() || bounds.isEmpty()) {
        return {};
    }
    QSizeF size = imageSize;
    switch (scaling) {
    case ImageScaling::AxesIndependently:
        size = bounds;
        break;
    case ImageScaling::ProportionallyUpOrDown:
        size = imageSize.scaled(bounds, Qt::KeepAspectRatio);
        break;
    case ImageScaling::ProportionallyDown:
        if (imageSize.width() > bounds.width() || imageSize.height() > bounds.height()) {
            size = imageSize.scaled(bounds, Qt::KeepAspectRatio);
        }
        break;
    case ImageScaling::None:
        break;
    }
    return {(bounds.width() - size.width()) / 2,
            (bounds.height() - size.height()) / 2,
            size.width(),
            size.height()};
}

ImageView::Contents ImageView::layerContents() const
{
    if (!m_image || m_image->isNull()) {
        return {QImage(), QRectF(), Qt::black, 0, std::nullopt};
    }
    return {
        *m_image, imageRect(m_image->size(), size(), m_imageScaling), Qt::black, m_changedFrom, m_changed};
}

void ImageView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRectF target =
        m_image && !m_image->isNull() ? imageRect(m_image->size(), size(), m_imageScaling) : QRectF();
    // An opaque picture on whole pixels covers what lies under it: black goes only where it leaves
    // room, so a full-screen picture costs one copy of its pixels, not a fill and a copy.
    const bool covers = !target.isEmpty() && !m_image->hasAlphaChannel() && target == QRectF(target.toRect());
    const QRegion black = covers ? QRegion(rect()) - QRegion(target.toRect()) : QRegion(rect());
    for (const QRect& part : black) {
        painter.fillRect(part, Qt::black);
    }
    if (target.isEmpty()) {
        return;
    }
    // Filtering only where the picture is resampled; a one-to-one draw stays exact.
    const QRectF device = painter.deviceTransform().mapRect(target);
    const bool oneToOne = device.size() == QSizeF(m_image->size());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !oneToOne);
    painter.drawImage(target, *m_image);
}
