#pragma once

// Views that tests put in the program's windows on a simulated desktop.

#include "platform/Window.h"

#include <QImage>
#include <QPalette>
#include <QWidget>

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

// A picture on black, like the mirror on "Veilmox": the window server draws the picture itself.
class PictureView final
    : public QWidget
    , public platform::LayerContentsView
{
public:
    void show(const QImage& picture)
    {
        m_picture = picture;
        update();
    }
    Contents layerContents() const override
    {
        // Scaled to the view's width, centred.
        const double height = width() * m_picture.height() / static_cast<double>(m_picture.width());
        return {m_picture, QRectF(0, (this->height() - height) / 2, width(), height), Qt::black};
    }
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* /*event*/) override { ++paints; }

private:
    QImage m_picture;
};

} // namespace testing_support
