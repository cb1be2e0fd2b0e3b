#pragma once

#include "platform/Popover.h"
#include "platform/Window.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimCompositor.h"
#include "tests/shell/app/ShellFixture.h"

#include <QCoreApplication>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// The application as a person uses it on Linux: launched over a simulated desktop, with the
// desktop viewer's window open on it; input goes to that window as Qt's own events.
struct ViewerApp
{
    ShellFixture f;
    std::unique_ptr<platform::sim::DesktopViewer> viewer;

    // Launches the application (signed in, with the "Veilmox" display running, when asked) and
    // opens the viewer over its desktop.
    void start(bool signedIn)
    {
        f.launch();
        if (signedIn) {
            f.manager->setIsAuthenticated(true);
            f.manager->applySessionState();
            f.scheduler.advance(2.0);
        }
        viewer = std::make_unique<platform::sim::DesktopViewer>(f.desktop, f.scheduler);
        viewer->showAllDisplays();
        viewer->resize(1600, 560);
        viewer->show();
        settle();
    }

    // Lets posted work, captures and the viewer's redraw run; windows lay out and flush what they
    // painted between the steps, as the event loop would have them do.
    void settle(double seconds = 0.2)
    {
        constexpr double kStep = 0.01;
        for (double waited = 0; waited < seconds; waited += kStep) {
            flush();
            f.scheduler.advance(kStep);
        }
        flush();
        f.scheduler.advance(0);
    }
    // What the windows asked of the event loop so far: layouts (a size change climbs one level of
    // views per round), then repaints.
    static void flush()
    {
        for (int level = 0; level < 12; ++level) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }

    QWindow* window() const { return viewer->windowHandle(); }

    void click(QPointF location)
    {
        const auto point = viewer->viewPoint(location);
        ASSERT_TRUE(point) << location.x() << ", " << location.y();
        QTest::mouseClick(window(), Qt::LeftButton, {}, point->toPoint());
        settle();
    }
    void click(const QWidget& widget, const platform::Window& in)
    {
        click(ShellFixture::centerOf(widget, in));
    }

    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(window(), key, modifiers);
        settle();
    }

    // One notch of the wheel, towards the user, with the pointer at a point of the desktop.
    void scrollDown(QPointF location)
    {
        const QPointF point = viewer->viewPoint(location).value_or(QPointF(-1, -1));
        QWheelEvent wheel(point,
                          viewer->mapToGlobal(point),
                          QPoint(),
                          QPoint(0, -120),
                          Qt::NoButton,
                          Qt::NoModifier,
                          Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(window(), &wheel);
        settle();
    }

    quint32 veilmoxDisplay() const
    {
        for (const quint32 id : f.desktop.displayIDs()) {
            if (f.desktop.isVirtualDisplay(id)) {
                return id;
            }
        }
        return 0;
    }

    // The colour the viewer shows for a display at a point relative to its top-left corner.
    QColor shown(quint32 display, QPointF point) const
    {
        const QImage picture = viewer->picture(display);
        const QSizeF size = f.desktop.displayBounds(display).size();
        return picture.pixelColor(
            QPointF(point.x() / size.width() * picture.width(), point.y() / size.height() * picture.height())
                .toPoint());
    }
    QColor userSees(QPointF point) const { return shown(f.desktop.mainDisplayID(), point); }
    QColor audienceSees(QPointF point) const { return shown(veilmoxDisplay(), point); }

    // Whether the built-in display as the viewer shows it, after only its changed parts were
    // drawn again, equals a drawing of all of it now.
    bool viewerShowsTheDesktopAsItIs() const
    {
        const quint32 display = f.desktop.mainDisplayID();
        QImage partly = viewer->picture(display);
        partly.setDevicePixelRatio(1);
        platform::sim::SimCompositor whole(f.desktop);
        whole.setKeepsWindowSurfaces(true);
        QImage fully(partly.size(), QImage::Format_ARGB32_Premultiplied);
        whole.render(*whole.displayScene(display, true), fully, false);
        return partly == fully;
    }

    platform::Window& popoverWindow() const { return *f.app->popover()->contentWindow(); }
    template <typename T = QWidget>
    T* inPopover(const char* name) const
    {
        return popoverWindow().contentView()->findChild<T*>(QString::fromLatin1(name));
    }
    // Opens the popover's settings page with clicks on the status item and the gear.
    void openSettings()
    {
        click(f.statusButtonCenter());
        ASSERT_TRUE(f.app->isPopoverShown());
        ASSERT_TRUE(inPopover("settingsButton"));
        click(*inPopover("settingsButton"), popoverWindow());
    }
};

} // namespace testing_support
