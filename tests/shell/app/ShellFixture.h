#pragma once

#include "account/OnboardingAnalytics.h"
#include "capture/ShareMaskEditor.h"
#include "pip/PiPController.h"
#include "platform/Bundle.h"
#include "shell/AppDelegate.h"
#include "shell/HUDOverlayController.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QStringList>

#include <memory>

namespace testing_support {

// A simulated system installed as the process's services, with an application delegate over
// its own state object, picture-in-picture controller and HUD. The delegate notes in `made`
// when the launch sequence asks for each of them. Store settings first, then launch().
struct ShellFixture
{
    ShellFixture();
    ~ShellFixture();
    ShellFixture(const ShellFixture&) = delete;
    ShellFixture& operator=(const ShellFixture&) = delete;

    // The objects the delegate is made with; what they make is kept here.
    AppDelegate::Environment environment();
    AppDelegate& make();
    // The picture-in-picture controller over the fixture's state object (made first when needed,
    // without noting it).
    PiPController& makePip();
    AppDelegate& launch();
    void store(const QString& key, const QVariant& value) { env.t.defaults.setObject(value, key); }
    // Bundle settings with the account service's address, for finding the browser.
    void useBundleWithAccountService();

    // The status button's centre in global points.
    QPointF statusButtonCenter() const;
    // A mouse-down and -up at a point, as a click in the desktop viewer.
    void click(QPointF point);
    // The global point at the centre of a widget inside one of the application's windows.
    static QPointF centerOf(const QWidget& widget, const platform::Window& window);

    KitEnvironment env;
    platform::sim::SimDesktop& desktop = env.t.desktop;
    platform::sim::VirtualScheduler& scheduler = env.t.scheduler;
    GlobalHotKeyManager registry{env.t.hotKeys, env.t.scheduler};
    std::unique_ptr<WindowManager> manager;
    ShareMaskEditor maskEditor{env.t.services()};
    std::unique_ptr<PiPController> pip;
    std::unique_ptr<HUDOverlayController> hud;
    std::unique_ptr<OnboardingAnalytics> analytics;
    QStringList made;
    std::function<void()> whenStateObjectIsTaken;
    std::unique_ptr<AppDelegate> app;

private:
    WindowManager& stateObject();
};

} // namespace testing_support
