#pragma once

#include <QImage>
#include <QSize>

// The picture-in-picture preview's copy of a frame at the size it is drawn, made anew for every
// frame from samples of one row in two of the preview, so the work follows the preview's size and
// never the frame's (a 5K frame costs what a small one does).
namespace PiPPreviewImage {

// The frame scaled to `pixels` (which it fills, whatever its aspect) and laid on black, opaque; a
// null image for a null frame or an empty size.
// `reuse` may hand over the previous copy, whose memory is then written again.
QImage scaled(const QImage& frame, QSize pixels, QImage reuse = {});

} // namespace PiPPreviewImage
