#pragma once

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

namespace kit {

// Renders a view offscreen into an image `scale` times its size in points (so 2 gives the
// pixels of a Retina display), on `background` (transparent when invalid). The view is laid out
// and shown without a window on screen first. For tests and for reviewing the look.
QImage renderView(QWidget& view, double scale = 2.0, const QColor& background = QColor());

// The same, written to a PNG file (its folder is created); false when that fails.
bool writeViewPng(QWidget& view,
                  const QString& path,
                  double scale = 2.0,
                  const QColor& background = QColor());

} // namespace kit
