#pragma once

#include "platform/Window.h"

#include <QImage>
#include <QWidget>

#include <optional>

// Shows one image on a black background, scaled into the view's bounds. The image is drawn
// straight into its target rectangle, so a large picture shown small costs only the pixels it
// covers; a window server that composites the view's picture itself gets it as the layer's
// contents. Main thread only.
class ImageView final
    : public QWidget
    , public platform::LayerContentsView
{
public:
    enum class ImageScaling
    {
        ProportionallyDown = 0,
        AxesIndependently = 1,
        None = 2,
        ProportionallyUpOrDown = 3
    };

    explicit ImageView(QWidget* parent = nullptr);

    const std::optional<QImage>& image() const { return m_image; }
    void setImage(const std::optional<QImage>& image);
    // The next picture of a series, which differs from the earlier one with the cache key
    // `changedFrom` only in the pixels `changed` (when known): the window server redraws only
    // those where that picture is what it shows.
    void setImage(QImage image, qint64 changedFrom, std::optional<QRegion> changed);
    ImageScaling imageScaling() const { return m_imageScaling; }
    void setImageScaling(ImageScaling scaling);

    // Where an image of the given size lands in bounds of the given size (centred).
    static QRectF imageRect(QSizeF imageSize, QSizeF bounds, ImageScaling scaling);

    Contents layerContents() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QImage> m_image;
    qint64 m_changedFrom = 0;
    std::optional<QRegion> m_changed;
    ImageScaling m_imageScaling = ImageScaling::ProportionallyDown;
};
