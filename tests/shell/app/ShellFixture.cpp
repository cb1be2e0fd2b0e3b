#include "tests/shell/app/ShellFixture.h"

#include "platform/StatusBar.h"
#include "platform/Window.h"

#include <QWidget>

namespace testing_support {

ShellFixture::ShellFixture() = default;

ShellFixture::~ShellFixture()
{
    app.reset();
    scheduler.runPending();
    hud.reset();
    pip.reset();
    analytics.reset();
    manager.reset();
}

AppDelegate::Environment ShellFixture::environment()
{
    AppDelegate::Environment environment;
    environment.services = env.t.services();
    environment.registerFonts = [this] {
        made << QStringLiteral("fonts");
    };
    environment.pipController = [this]() -> PiPController& {
        made << QStringLiteral("pip");
        return makePip();
    };
    environment.windowManager = [this]() -> WindowManager& {
        made << QStringLiteral("windowManager");
        if (whenStateObjectIsTaken) {
            whenStateObjectIsTaken();
        }
        return stateObject();
    };
    environment.onboardingAnalytics = [this]() -> OnboardingAnalytics* {
        if (!analytics && manager) {
            analytics = std::make_unique<OnboardingAnalytics>(*manager, env.t.services());
        }
        return analytics.get();
    };
    environment.hud = [this]() -> HUDPresenter& {
        made << QStringLiteral("hud");
        if (!hud) {
            hud = std::make_unique<HUDOverlayController>(env.t.services());
        }
        return *hud;
    };
    return environment;
}

WindowManager& ShellFixture::stateObject()
{
    if (!manager) {
        manager = std::make_unique<WindowManager>(env.t.services(), &registry);
        // As the application has it: the editor the state object opens keeps the masks in it.
        manager->setShareMaskEditor(&maskEditor);
        maskEditor.setStore(manager.get());
    }
    return *manager;
}

PiPController& ShellFixture::makePip()
{
    if (!pip) {
        pip = std::make_unique<PiPController>(env.t.services(), stateObject(), maskEditor);
    }
    return *pip;
}

AppDelegate& ShellFixture::make()
{
    app = std::make_unique<AppDelegate>(environment());
    return *app;
}

AppDelegate& ShellFixture::launch()
{
    if (!app) {
        make();
    }
    app->applicationDidFinishLaunching();
    return *app;
}

void ShellFixture::useBundleWithAccountService()
{
    QVariantMap info = env.t.bundle.infoDictionary();
    info.insert(QStringLiteral("ACCOUNT_SERVICE_URL"), QStringLiteral("http://127.0.0.1:54322"));
    env.t.bundle = platform::Bundle(info);
}

QPointF ShellFixture::statusButtonCenter() const
{
    return app->statusItem()->button()->screenFrame()->center();
}

void ShellFixture::click(QPointF point)
{
    desktop.mouseDown(point);
    desktop.mouseUp(point);
}

QPointF ShellFixture::centerOf(const QWidget& widget, const platform::Window& window)
{
    const QPointF inWindow = widget.mapTo(widget.window(), QPointF(widget.rect().center()));
    return window.frame().topLeft() + inWindow;
}

} // namespace testing_support
