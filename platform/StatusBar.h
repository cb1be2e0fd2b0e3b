#pragma once

#include "platform/Layer.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace platform {

// The image of a status button: drawn centred at `size` points. A template image is used for its
// shape only and tinted by the menu bar.
struct StatusImage
{
    QImage image;
    QSizeF size;
    bool isTemplate = false;
    QString accessibilityDescription;
};

// The button of a status item: image, tooltip, an optional layer tree drawn over the image, and
// the action sent when it is clicked. Owned by its status item; main thread only.
class StatusBarButton
{
public:
    explicit StatusBarButton(const QSizeF& size);
    ~StatusBarButton();
    StatusBarButton(const StatusBarButton&) = delete;
    StatusBarButton& operator=(const StatusBarButton&) = delete;

    const StatusImage& image() const { return m_image; }
    void setImage(const StatusImage& image);
    QString toolTip() const { return m_toolTip; }
    void setToolTip(const QString& toolTip);

    // Gives the button a layer (its bounds) on which sublayers can be drawn.
    void setWantsLayer(bool wantsLayer);
    bool wantsLayer() const { return m_layer != nullptr; }
    // Null until the button wants a layer.
    Layer* layer() const { return m_layer.get(); }

    // The button's own rectangle, origin (0, 0), in points.
    QRectF bounds() const { return {QPointF(0, 0), m_size}; }

    // The action is sent on a click (mouse down).
    void setAction(std::function<void()> action) { m_action = std::move(action); }
    void performClick();

    // Where the button lies in global points; none while it is on no screen.
    std::optional<QRectF> screenFrame() const { return m_screenFrame; }

    // For the status bar that shows the button.
    void setSize(const QSizeF& size);
    void setScreenFrame(const std::optional<QRectF>& frame) { m_screenFrame = frame; }
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }
    // Draws the image (a template one in `templateColor`) centred in `bounds()`, then the layers.
    void paint(QPainter& painter, const QColor& templateColor) const;

private:
    void changed() const;

    QSizeF m_size;
    StatusImage m_image;
    QString m_toolTip;
    std::unique_ptr<Layer> m_layer;
    std::function<void()> m_action;
    std::function<void()> m_changed;
    std::optional<QRectF> m_screenFrame;
};

// One item in the system's status bar; removed from the bar when destroyed.
class StatusItem
{
public:
    virtual ~StatusItem() = default;
    // Null when the item has no button.
    virtual StatusBarButton* button() = 0;
};

// The system's status bar (the right end of the menu bar).
class StatusBar
{
public:
    virtual ~StatusBar() = default;

    // An item as wide as its button's image needs.
    static constexpr double kVariableLength = -1;

    // A new item, left of the items already there.
    virtual std::unique_ptr<StatusItem> statusItem(double length) = 0;
};

} // namespace platform
