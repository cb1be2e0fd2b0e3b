#include "shell/kit/Snapshot.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QPainter>
#include <QWidget>

#include <cmath>

namespace kit {

QImage renderView(QWidget& view, double scale, const QColor& background)
{
    if (!view.isVisible()) {
        // Sized before it has a window: a window's size hints are not for every platform to take.
        if (view.layout() != nullptr) {
            view.layout()->activate();
        }
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (view.layout() != nullptr) {
        view.layout()->activate();
    }
    const QSize size = view.size();
    if (size.isEmpty() || !(scale > 0) || !std::isfinite(scale)) {
        return {};
    }
    QImage image(static_cast<int>(std::ceil(size.width() * scale)),
                 static_cast<int>(std::ceil(size.height() * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.setDevicePixelRatio(scale);
    image.fill(background.isValid() ? background : QColor(Qt::transparent));
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool writeViewPng(QWidget& view, const QString& path, double scale, const QColor& background)
{
    const QImage image = renderView(view, scale, background);
    if (image.isNull()) {
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path, "PNG");
}

} // namespace kit
