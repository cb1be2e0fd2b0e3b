#pragma once

#include "platform/Window.h"

// The borderless window that fills the virtual screen with the mirrored picture. It takes any
// frame as proposed, so it keeps the whole screen, menu-bar area included.
class FullScreenMirrorWindow final : public platform::Window
{
public:
    using platform::Window::Window;

    QRectF constrainFrameRect(const QRectF& frame,
                              const std::optional<platform::Screen>& screen) const override;
};
