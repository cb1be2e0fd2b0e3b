#pragma once

#include "tests/support/TestDesktop.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <optional>

class QWidget;

namespace testing_support {

// A simulated system installed as the process's services for one test, with the application's
// fonts registered: views read its accessibility options and animate on its virtual clock.
struct KitEnvironment
{
    KitEnvironment();
    ~KitEnvironment();
    KitEnvironment(const KitEnvironment&) = delete;
    KitEnvironment& operator=(const KitEnvironment&) = delete;

    TestDesktop t;

    platform::sim::SimAccessibilitySettings& accessibility() { return t.accessibility; }
    void advance(double seconds) { t.scheduler.advance(seconds); }
};

// Sends the pointer into or out of a widget.
void hover(QWidget& widget, bool inside);
// Presses or releases the left button at a point of the widget.
void press(QWidget& widget, QPointF at);
void release(QWidget& widget, QPointF at);
void moveMouse(QWidget& widget, QPointF at);

// A click as the pointer makes it, at a point of the view (its middle when none is given): the
// press and the release go to the view's window, so Qt gives them to whatever lies under the
// pointer there. A hidden or covered view, or a point outside its hit area, is not clicked. The
// view must be shown in a window.
void click(const QWidget& view, std::optional<QPointF> at = std::nullopt);

// Gives a test's top-level window a size of its own, which what it holds never changes. Otherwise
// content that grows sets the window's minimum size, a size hint the offscreen platform cannot
// take and warns about.
void holdWindowSize(QWidget& window, QSize size);

// A plain view filled with a colour, of a fixed size when one is given.
QWidget* swatch(const QColor& color, QSize size = QSize());

// Where this run's rendered pictures go, made when asked for: a folder of the run's own under the
// test folder (removed when the run ends, so runs never collide), or the folder the environment
// variable VEILMOX_PICTURES names, kept for looking at.
QString picturesFolder();
// The path of the picture with this name (".png" added) in that folder.
QString picturePath(const QString& name);

// The colour of an image at a point in its own (device-independent) coordinates.
QColor colorAt(const QImage& image, QPointF point);

// A translucent colour as painted over `base` (the canvas colour when none is given).
QColor over(const QColor& colour, const QColor& base = QColor());

// Whether two colours differ by at most `tolerance` in each channel.
bool near(const QColor& a, const QColor& b, int tolerance = 2);

} // namespace testing_support
