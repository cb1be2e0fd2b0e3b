#include "capture/FullScreenMirrorWindow.h"

QRectF FullScreenMirrorWindow::constrainFrameRect(const QRectF& frame,
                                                  const std::optional<platform::Screen>& /*screen*/) const
{
    return frame;
}
