#pragma once

#include "pip/PiPController.h"
#include "popover/MenuBarView.h"
#include "popover/PopoverNavigation.h"
#include "popover/UpdaterManagerInterface.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/state/StateFixture.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// Counts the update checks asked for.
struct RecordingUpdater final : UpdaterManagerInterface
{
    mutable int checks = 0;
    QString versionString() const override { return QStringLiteral("v1.0.0 (1)"); }
    void checkForUpdates() const override { ++checks; }
};

// A state object over the simulated desktop that the views read (accessibility options, virtual
// clock, fonts), with the shell and the account session recorded. Set up, then start().
struct PopoverTest : testing::Test
{
    KitEnvironment env;
    TestDesktop& t = env.t;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    RecordingAppDelegate shell;
    RecordingHUD hud;
    RecordingAccountSession session;
    std::unique_ptr<WindowManager> manager = std::make_unique<WindowManager>(env.t.services(), &registry);

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
};

// The popover's root over that state object, as the shell hosts it.
struct RootTest : PopoverTest
{
    PiPController pip{t.services()};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> view;

    // A new root (as at launch), signed in or out.
    MenuBarView& open(bool signedIn)
    {
        if (!manager->isStarted()) {
            start(signedIn);
        }
        manager->setIsAuthenticated(signedIn);
        view = std::make_unique<MenuBarView>(pip);
        view->setWindowManager(*manager);
        view->setUpdaterManager(updater);
        view->show();
        advance();
        return *view;
    }
    PopoverNavigation& navigation() const { return view->navigation(); }
    // Shown within the popover: not hidden, nor any view above it.
    bool showing(const QWidget* widget) const { return widget != nullptr && widget->isVisibleTo(view.get()); }
};

// A click at the middle of a control, as the pointer makes it.
inline void click(QWidget& control)
{
    const QPointF middle = QRectF(control.rect()).center();
    press(control, middle);
    release(control, middle);
}

// The child of this type with this object name; null when there is none.
template <typename T = QWidget>
T* child(const QWidget& root, const QString& name)
{
    return root.findChild<T*>(name);
}

} // namespace testing_support
