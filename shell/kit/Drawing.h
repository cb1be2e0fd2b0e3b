#pragma once

#include <QColor>
#include <QImage>
#include <QMarginsF>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <vector>

class QPainter;

namespace kit {

// A rounded rectangle with continuous corners: each corner's curve starts further along the
// edge than a circular arc would and bends in gradually. When the rectangle is too short for
// that, the corners become circular with the radius capped at half the shorter side (so a
// radius of half the height gives a capsule).
QPainterPath continuousRoundedRect(const QRectF& rect, double radius);
// The capsule (stadium) filling the rectangle.
QPainterPath capsule(const QRectF& rect);
// The radius that makes a capsule of this rectangle.
inline double capsuleRadius(const QRectF& rect)
{
    return std::min(rect.width(), rect.height()) / 2;
}

// Scales by `scale` about `centre`, then moves by `offset` (all in the same coordinates).
QTransform scaleAbout(const QPointF& centre, double scale, const QPointF& offset = QPointF());

// Strokes the border of the continuous rounded rectangle inside its edge (the stroke's outer side
// lies on the shape's outline).
void strokeInnerBorder(
    QPainter& painter, const QRectF& rect, double radius, const QColor& color, double lineWidth = 1);

// A blurred, offset copy of a shape's silhouette drawn behind it (a glow when not offset).
struct Shadow
{
    QColor color;
    double radius = 0; // blur radius, in points
    QPointF offset;

    // The Gaussian's standard deviation for the blur radius: half of it.
    double sigma() const { return radius / 2; }
    // How far beyond the shape the shadow can reach on each side.
    QMarginsF reach() const;
};

// Draws the shadow of `shape` (in the painter's coordinates) with the painter's transform.
void drawShadow(QPainter& painter, const QPainterPath& shape, const Shadow& shadow);

// A normalised one-dimensional Gaussian kernel reaching 3 σ either side (one tap when σ is 0).
std::vector<float> gaussianKernel(double sigma);
// Blurs the alpha of an 8-bit alpha image in place with that kernel, horizontally then
// vertically; the edges count as transparent.
void blurAlpha(QImage& alphaImage, double sigma);
// Blurs an 8-bit alpha or premultiplied ARGB image in place with a Gaussian of this standard
// deviation in pixels; wide blurs are done on a smaller copy, which a soft blur does not show.
void blurImage(QImage& image, double sigma);

} // namespace kit
