#pragma once

#include <QColor>
#include <QRectF>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace platform {

// A drawn rectangle in a view's layer tree, as Core Animation's plain layer: frame, corner radius,
// fill, border and hidden flag, with sublayers drawn over it in order. Geometry is in the
// superlayer's coordinates with the origin at the bottom-left and y upward, as an unflipped
// layer's. Changes are never animated here. Main thread only.
class Layer
{
public:
    Layer() = default;
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    QRectF frame() const { return m_frame; }
    void setFrame(const QRectF& frame);
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& color);
    double borderWidth() const { return m_borderWidth; }
    void setBorderWidth(double width);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);

    // Takes ownership; the sublayer is drawn above the earlier ones.
    Layer* addSublayer(std::unique_ptr<Layer> layer);
    const std::vector<std::unique_ptr<Layer>>& sublayers() const { return m_sublayers; }
    Layer* superlayer() const { return m_superlayer; }

    // Called after any change of this layer or one below it (set on the root by its view).
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    // Draws the sublayers (and theirs) into `painter`, whose coordinates are this layer's
    // bounds flipped to y downward; this layer's own look belongs to its view.
    void render(QPainter& painter, double height) const;

private:
    void changed() const;

    QRectF m_frame;
    double m_cornerRadius = 0;
    QColor m_backgroundColor = Qt::transparent;
    QColor m_borderColor = Qt::black;
    double m_borderWidth = 0;
    bool m_hidden = false;
    std::vector<std::unique_ptr<Layer>> m_sublayers;
    Layer* m_superlayer = nullptr;
    std::function<void()> m_changed;
};

} // namespace platform
