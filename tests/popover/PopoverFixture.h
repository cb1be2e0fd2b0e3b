#pragma once

#include "pip/PiPController.h"
#include "platform/Services.h"
#include "popover/MenuBarView.h"
#include "popover/PopoverNavigation.h"
#include "popover/UpdaterManagerInterface.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/state/StateFixture.h"

#include <QHash>
#include <QImage>
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

// A state object over the simulated desktop that the views read (accessibility options, virtual
// clock, fonts), with the shell and the account session recorded, and the popover's navigation
// for views hosted in a window of the popover's width. Fill the desktop, then start().
struct PopoverTest : testing::Test
{
    PopoverTest();
    ~PopoverTest() override;

    WindowManager& start(bool signedIn = true);
    // Runs everything due in the next seconds of the virtual clock (animations end).
    void advance(double seconds = 1) { env.advance(seconds); }
    // Launches an app with windows titled by `titles` (an empty title stays untitled) and returns
    // their numbers.
    QList<quint32> launch(const QString& bundleID, const QString& name, const QStringList& titles);
    // Launches an app with one window of a plain colour.
    quint32
    addWindow(const QString& bundleID, const QString& name, const QRectF& bounds, const QColor& colour);
    // One refresh of the running apps and their windows, as the state object runs it.
    void refresh() { manager->refreshRunningApps(); }
    // Shows the view in a 350-point-wide window and lays it out.
    QWidget& host(QWidget* view);
    // Lets the event loop lay out what changed, over this many seconds of animation.
    void settle(double seconds = 1.0);

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
    MenuBarView& open(bool signedIn = true);
    // Shown within the popover: not hidden, nor any view above it.
    bool showing(const QWidget* widget) const { return widget != nullptr && widget->isVisibleTo(root.get()); }

    PiPController pip{t.services()};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> root;
};

// A click at the middle of a control, as the pointer makes it.
inline void click(QWidget& control)
{
    const QPointF middle = QRectF(control.rect()).center();
    press(control, middle);
    release(control, middle);
}

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

// Pictures of the popover's views (see picturesFolder).

// A point of a control in the coordinates of a view above it, from the control's left edge.
QPointF at(const QWidget& view, const QWidget& control, double fromLeft);
// Renders `view` once `page` is tall enough to show all of its scrolling content, and saves it.
QImage picture(QWidget& page, QWidget& view, const QString& name);
// A card's left border, drawn over its surface.
bool cardBorder(const QImage& image, const QWidget& view, const QWidget& card, bool active);
// An app icon of one colour.
QImage tile(const QColor& color);
// The flame of a call to action or a paused control, wherever its gradient is read.
bool flameLike(const QColor& c);

} // namespace testing_support
