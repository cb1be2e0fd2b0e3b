#pragma once

#include "platform/CaptureStream.h"

#include <QRectF>
#include <QWidget>

#include <memory>

// Shows a captured surface stretched to its bounds, without copying it, at its alpha value. A
// masked view shows its surface only where the mask layer's surface is not transparent, and
// nothing while the mask has none. Main thread only.
class SurfaceView final : public QWidget
{
public:
    // The mask of a masked view; its frame follows the view's bounds.
    class MaskLayer
    {
    public:
        explicit MaskLayer(SurfaceView& view)
            : m_view(view)
        {}

        const platform::IOSurfaceRef& contents() const { return m_contents; }
        void setContents(const platform::IOSurfaceRef& contents);
        QRectF frame() const { return m_frame; }
        void setFrame(const QRectF& frame);

    private:
        SurfaceView& m_view;
        platform::IOSurfaceRef m_contents;
        QRectF m_frame;
    };

    SurfaceView(const QRectF& frame, bool masked, QWidget* parent = nullptr);
    ~SurfaceView() override;
    SurfaceView(const SurfaceView&) = delete;
    SurfaceView& operator=(const SurfaceView&) = delete;

    // Present when the view was made masked.
    MaskLayer* maskLayer() const { return m_maskLayer.get(); }

    const platform::IOSurfaceRef& surface() const { return m_surface; }
    void setSurface(const platform::IOSurfaceRef& surface);

    // Opacity of the whole view, 0 to 1.
    double alphaValue() const { return m_alphaValue; }
    void setAlphaValue(double alpha);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<MaskLayer> m_maskLayer;
    platform::IOSurfaceRef m_surface;
    double m_alphaValue = 1.0;
};
