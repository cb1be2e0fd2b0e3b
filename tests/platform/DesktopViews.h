#pragma once

// Views that tests put in the program's windows on a simulated desktop.

#include "platform/Window.h"

#include <QImage>
#include <QPalette>
#include <QRegion>
#include <QWidget>

#include <optional>

namespace testing_support {

// A widget filled with one colour.
inline QWidget* filled(const QColor& colour)
{
    auto* widget = new QWidget;
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    return widget;
}

// A picture on black, like the mirror on "Veilmox", or on another colour: the window server
// draws the picture itself.
class PictureView final
    : public QWidget
    , public platform::LayerContentsView
{
public:
    // The picture, and what changed from an earlier one when the caller says.
    void show(const QImage& picture, qint64 changedFrom = 0, std::optional<QRegion> changed = std::nullopt)
    {
        m_picture = picture;
        m_changedFrom = changedFrom;
        m_changed = std::move(changed);
        update();
    }
    void setBackground(const QColor& colour)
    {
        m_background = colour;
        update();
    }
    Contents layerContents() const override
    {
        // Scaled to the view's width, centred.
        const double height = width() * m_picture.height() / static_cast<double>(m_picture.width());
        return {m_picture,
                QRectF(0, (this->height() - height) / 2, width(), height),
                m_background,
                m_changedFrom,
                m_changed};
    }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* /*event*/) override { ++paints; }

private:
    QImage m_picture;
    QColor m_background = Qt::black;
    qint64 m_changedFrom = 0;
    std::optional<QRegion> m_changed;
};

} // namespace testing_support
