#pragma once

#include "platform/Window.h"

// The mask editor's borderless panel. Unlike other borderless windows it can become the key
// window, so the editor receives the keyboard: made key, it gives its content view the focus.
class ShareMaskEditorPanel final : public platform::Window
{
public:
    using platform::Window::Window;

    bool canBecomeKeyWindow() const override { return true; }
};
