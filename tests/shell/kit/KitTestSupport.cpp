#include "tests/shell/kit/KitTestSupport.h"

#include "platform/Services.h"
#include "shell/kit/Fonts.h"
#include "shell/kit/Palette.h"
#include "tests/support/BundledFonts.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace testing_support {

KitEnvironment::KitEnvironment()
{
    platform::Services::setCurrent(t.services());
    registerBundledFonts();
}

KitEnvironment::~KitEnvironment()
{
    platform::Services::setCurrent(platform::Services());
}

void hover(QWidget& widget, bool inside)
{
    if (inside) {
        QEnterEvent enter(
            QPointF(1, 1), widget.mapToGlobal(QPointF(1, 1)), widget.mapToGlobal(QPointF(1, 1)));
        QApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&widget, &leave);
    }
}

namespace {
void sendMouse(
    QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}
} // namespace

void press(QWidget& widget, QPointF at)
{
    sendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}

void release(QWidget& widget, QPointF at)
{
    sendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void moveMouse(QWidget& widget, QPointF at)
{
    sendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}

void click(const QWidget& view, std::optional<QPointF> at)
{
    const QWidget* window = view.window();
    QWindow* handle = window->windowHandle();
    if (handle == nullptr || !window->isVisible()) {
        ADD_FAILURE() << "a click on a view that is not shown in a window";
        return;
    }
    const QPointF inView = at.value_or(QRectF(view.rect()).center());
    const QPoint inWindow = view.mapTo(window, inView).toPoint();
    if (!window->rect().contains(inWindow) || inWindow.isNull()) {
        // (QTest takes the window's corner for its middle.)
        ADD_FAILURE() << "a click outside the window's inside";
        return;
    }
    QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, inWindow);
}

void holdWindowSize(QWidget& window, QSize size)
{
    window.setMinimumSize(size);
    window.resize(size);
}

QWidget* swatch(const QColor& color, QSize size)
{
    auto* w = new QWidget;
    if (size.isValid()) {
        w->setFixedSize(size);
    }
    w->setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, color);
    w->setPalette(palette);
    return w;
}

QString picturesFolder()
{
    QString folder = qEnvironmentVariable("VEILMOX_PICTURES");
    if (folder.isEmpty()) {
        static const QString run = [] {
            const QString base = qEnvironmentVariable("VEILMOX_TEST_TMP", QDir::tempPath());
            QDir().mkpath(base);
            static const QTemporaryDir dir(base + QStringLiteral("/pictures-XXXXXX"));
            return dir.isValid() ? dir.path()
                                 : base + QStringLiteral("/pictures-")
                                       + QString::number(QCoreApplication::applicationPid());
        }();
        folder = run;
    }
    QDir().mkpath(folder);
    return folder;
}

QString picturePath(const QString& name)
{
    return picturesFolder() + QLatin1Char('/') + name + QStringLiteral(".png");
}

QColor colorAt(const QImage& image, QPointF point)
{
    const double dpr = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(std::floor(point.x() * dpr)),
                            static_cast<int>(std::floor(point.y() * dpr)));
}

QColor over(const QColor& colour, const QColor& base)
{
    const QColor under = base.isValid() ? base : kit::Palette::canvas();
    const double a = colour.alphaF();
    return QColor::fromRgbF(static_cast<float>(colour.redF() * a + under.redF() * (1 - a)),
                            static_cast<float>(colour.greenF() * a + under.greenF() * (1 - a)),
                            static_cast<float>(colour.blueF() * a + under.blueF() * (1 - a)));
}

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

} // namespace testing_support
