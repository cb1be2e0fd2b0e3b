#pragma once

#include "platform/Window.h"

// The mask editor's borderless panel. Unlike other borderless windows it can become the key
// window, so the editor receives the keyboard: made key, it gives its content view the focus.
class ShareMaskEditorPanel final : public platform::Window
{
public:
    using platform::Window::Window;

    bool canBecomeKeyWindow() const { return true; }
    // Key from makeKeyAndOrderFront() until the panel leaves the screen.
    bool isKeyWindow() const { return m_madeKey && isVisible(); }
    // Brings the panel to the front of its level and makes it the key window.
    void makeKeyAndOrderFront();

private:
    bool m_madeKey = false;
};
