#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

// Small pictures of the virtual display's frames for the previews (the popover's card and the
// picture-in-picture panel): each pixel takes the frame's pixel under its centre, from only some
// of the frame's rows. The work follows the rows read, never the frame's size: a smooth scale of
// the whole frame reads every one of its pixels. Pure functions over images; any thread.
namespace FrameSampling {

// A 32-bit format whose pixels can be read as they are (the frame is opaque).
bool isOpaque32(QImage::Format format);

// How many rows of the frame are read for a picture this many pixels high at this device pixel
// ratio: one for every `pointsPerRow` points. Each row read costs a whole row of the frame from
// memory (its samples lie closer than a cache line), while more columns cost nothing more, so a
// picture keeps its device pixels across and spends its reads on height.
int sourceRowsFor(int pixelRows, double devicePixelRatio, double pointsPerRow);

// The pixels of `part` of a picture `size` pixels large, sampled from a 32-bit frame reading
// `sourceRows` rows spread evenly over its height (each output row takes its nearest read row),
// written opaque to `to` (`stride` bytes a line).
void samplePart(
    const QImage& frame, QSize size, int sourceRows, const QRect& part, uchar* to, qsizetype stride);

// The frame resampled into `into` (its size and Format_RGB32 given) the same way; a frame of
// another format is scaled by Qt instead.
void scaleInto(const QImage& frame, QImage& into, int sourceRows);

// Samples the frame straight into the painter's device where Qt repaints, at `pixels` (device
// pixels of the painted view): the samples are written once, where they are shown. Only when
// the device is a plain 32-bit image painted one to one at `devicePixelRatio` (less a whole-pixel
// offset) and only Qt's own clip applies; otherwise nothing is done and the result is false.
bool paintInPlace(
    QPainter& painter, const QImage& frame, const QRect& pixels, int sourceRows, double devicePixelRatio);

} // namespace FrameSampling
