#pragma once

#include "shell/kit/Typography.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

namespace kit {

// The system symbols (by their system names, "chevron.right", "eye.slash.fill" …) and the
// image assets ("MenuBarIcon", "veilmoxOfficialLogo") the interface draws, from our own
// drawings in the application's resources. A name without a drawing draws nothing.

// Whether a drawing exists for the symbol name.
bool hasSymbol(const QString& name);
// The side of the square a symbol takes beside text of this point size.
double symbolSide(double pointSize);
// Paints the symbol in `color`, filling the largest centred square of `rect`; its strokes are
// as heavy as the weight says. Returns false (and paints nothing) when there is no drawing.
bool paintSymbol(QPainter& painter,
                 const QString& name,
                 const QRectF& rect,
                 const QColor& color,
                 FontWeight weight = FontWeight::regular);
// The same, centred on `center` at the size for `pointSize`.
bool paintSymbol(QPainter& painter,
                 const QString& name,
                 QPointF center,
                 double pointSize,
                 const QColor& color,
                 FontWeight weight = FontWeight::regular);

// Whether the image asset exists.
bool hasImageAsset(const QString& name);
// Paints the asset stretched over `target`; false (nothing painted) when it does not exist.
bool paintImageAsset(QPainter& painter, const QString& name, const QRectF& target);
// The asset rendered at a pixel size; a null image when it does not exist or the size is empty.
QImage imageAsset(const QString& name, QSize pixels);

} // namespace kit
