#pragma once

// What the window system shows of a window, read from the screen.

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

namespace testing_support {

// The window the widget lies in as the window system shows it now. A window server shows a window
// some time after it is asked to, later still on a busy machine: it is read only once it is
// exposed, with what it was asked to paint so far painted. A window never exposed fails the test
// and gives no picture.
inline QImage grabOnScreen(QWidget& widget)
{
    QWidget* window = widget.window();
    constexpr int kPatienceMs = 30000;
    if (window->windowHandle() == nullptr
        || !QTest::qWaitForWindowExposed(window->windowHandle(), kPatienceMs)) {
        ADD_FAILURE() << "the window was never exposed";
        return {};
    }
    QApplication::processEvents();
    return window->screen()->grabWindow(window->winId()).toImage();
}

} // namespace testing_support
