#pragma once

#include "capture/ShareMaskEditor.h"
#include "pip/PiPController.h"
#include "platform/Services.h"
#include "popover/MenuBarView.h"
#include "popover/PopoverNavigation.h"
#include "popover/UpdaterManagerInterface.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/state/StateFixture.h"

#include <QApplication>
#include <QCursor>
#include <QHash>
#include <QImage>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace testing_support {

// Counts the update checks asked for.
struct RecordingUpdater final : UpdaterManagerInterface
{
    mutable int checks = 0;
    QString versionString() const override { return QStringLiteral("v1.0.0 (1)"); }
    void checkForUpdates() const override { ++checks; }
};

// Lays out what changed: a size change climbs one level of views per round.
inline void layOut()
{
    for (int level = 0; level < 12; ++level) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    QApplication::processEvents();
}

// A state object over the simulated desktop that the views read (accessibility options, virtual
// clock, fonts), with the shell and the account session recorded, and the popover's navigation
// for views hosted in a window of the popover's width. Fill the desktop, then start().
struct PopoverTest : testing::Test
{
    // The pointer rests outside every window until a test moves it.
    PopoverTest() { QCursor::setPos(-1000, -1000); }
    ~PopoverTest() override { window.reset(); }

    WindowManager& start(bool signedIn = true)
    {
        manager->setAppDelegate(&shell);
        manager->setHUDPresenter(&hud);
        manager->setAccountSession(&session);
        manager->start();
        manager->setIsAuthenticated(signedIn);
        return *manager;
    }
    // Runs everything due in the next seconds of the virtual clock (animations end).
    void advance(double seconds = 1) { env.advance(seconds); }
    // Lets the event loop lay out what changed, over this many seconds of animation.
    void settle(double seconds = 1.0)
    {
        layOut();
        if (seconds > 0) {
            advance(seconds);
        }
        layOut();
    }
    // Launches an app with windows titled by `titles` (an empty title stays untitled) and returns
    // their numbers.
    QList<quint32> launch(const QString& bundleID, const QString& name, const QStringList& titles)
    {
        const auto pid = t.desktop.launchApp(bundleID, name);
        pids.insert(bundleID, pid);
        QList<quint32> windows;
        for (const QString& title : titles) {
            windows.append(t.desktop.addWindow(pid, title, QRectF(40 + 60 * windows.size(), 80, 500, 400)));
        }
        return windows;
    }
    // Launches an app with one window of a plain colour.
    quint32
    addWindow(const QString& bundleID, const QString& name, const QRectF& bounds, const QColor& colour)
    {
        platform::sim::SimDesktop::WindowSpec setup;
        setup.owner = t.desktop.launchApp(bundleID, name);
        setup.title = name;
        setup.bounds = bounds;
        setup.color = colour;
        return t.desktop.addWindow(setup);
    }
    // One refresh of the running apps and their windows, as the state object runs it.
    void refresh() { manager->refreshRunningApps(); }
    // Shows the view in a 350-point-wide window and lays it out.
    QWidget& host(QWidget* view)
    {
        window = std::make_unique<QWidget>();
        window->setFixedWidth(350);
        holdWindowSize(*window, QSize(350, 680));
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        layout->addStretch(1);
        window->show();
        settle(0);
        return *view;
    }

    KitEnvironment env;
    TestDesktop& t = env.t;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    RecordingAppDelegate shell;
    RecordingHUD hud;
    RecordingAccountSession session;
    std::unique_ptr<WindowManager> manager = std::make_unique<WindowManager>(env.t.services(), &registry);
    PopoverNavigation navigation;
    QHash<QString, platform::pid_type> pids; // of the apps launched
    std::unique_ptr<QWidget> window;
};

// The popover's root over that state object, as the shell hosts it.
struct RootTest : PopoverTest
{
    ~RootTest() override { root.reset(); }

    // A new root (as at launch), signed in or out.
    MenuBarView& open(bool signedIn = true)
    {
        if (!manager->isStarted()) {
            start(signedIn);
        }
        manager->setIsAuthenticated(signedIn);
        root = std::make_unique<MenuBarView>(pip);
        root->setWindowManager(*manager);
        root->setUpdaterManager(updater);
        root->show();
        settle();
        return *root;
    }
    // Shown within the popover: not hidden, nor any view above it.
    bool showing(const QWidget* widget) const { return widget != nullptr && widget->isVisibleTo(root.get()); }

    ShareMaskEditor maskEditor{t.services(), manager.get()};
    PiPController pip{t.services(), *manager, maskEditor};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> root;
};

// The descendant with this object name (and type); the test fails when there is none.
template <class View = QWidget>
View& named(const QWidget& root, const QString& name)
{
    auto* found = root.findChild<View*>(name);
    if (found == nullptr) {
        ADD_FAILURE() << "no view named " << name.toStdString();
        throw std::runtime_error("no view named " + name.toStdString());
    }
    return *found;
}

// Scrolls whatever scrolls the control until it is in sight, as a person would before clicking it.
inline QWidget& scrolledTo(QWidget& control)
{
    for (QWidget* up = control.parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(up)) {
            scroll->ensureWidgetVisible(&control, 0, 0);
        }
    }
    layOut();
    return control;
}

// A point of a control in the coordinates of a view above it, from the control's left edge.
inline QPointF at(const QWidget& view, const QWidget& control, double fromLeft)
{
    return QPointF(control.mapTo(&view, QPoint(0, 0))) + QPointF(fromLeft, control.height() / 2.0);
}

// Renders `view` once `page` is tall enough to show all of its scrolling content, and saves it
// among the run's pictures.
inline QImage picture(QWidget& page, QWidget& view, const QString& name)
{
    layOut();
    const auto* scroll = page.findChild<QScrollArea*>();
    page.resize(page.width(),
                page.height() - scroll->height() + scroll->widget()->heightForWidth(page.width()));
    const QImage image = kit::renderView(view, 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

// A card's left border, drawn over its surface.
inline bool cardBorder(const QImage& image, const QWidget& view, const QWidget& card, bool active)
{
    return near(colorAt(image, at(view, card, 0.25)),
                over(kit::CardBackgroundStyle::border(active), kit::Palette::surface()));
}

// An app icon of one colour.
inline QImage tile(const QColor& color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// The flame of a call to action or a paused control, wherever its gradient is read.
inline bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 170 && c.blue() < 80;
}

} // namespace testing_support
