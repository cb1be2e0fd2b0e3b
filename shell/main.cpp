#include "account/BackendClient.h"
#include "platform/Bundle.h"
#include "platform/Keychain.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "platform/UserDefaults.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "state/WindowManager.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // A menu-bar utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);

    const platform::Bundle& bundle = platform::Bundle::main();
    const QString bundleID = bundle.bundleIdentifier().value_or(QStringLiteral("getveilmox.Veilmox"));
    QApplication::setApplicationName(QStringLiteral("Veilmox"));
    QApplication::setApplicationVersion(
        bundle.stringForInfoDictionaryKey(platform::kBundleShortVersionStringKey).value_or(QString()));

    platform::QtScheduler scheduler;
    platform::Scheduler::setCurrent(&scheduler);
    platform::PlistUserDefaults defaults(platform::PlistUserDefaults::standardFilePath(bundleID));
    platform::sim::SimDesktop desktop(bundleID);
    platform::sim::populateDemoDesktop(desktop);
    platform::sim::SimHotKeySystem hotKeys;
    platform::FileKeychain keychain(platform::FileKeychain::standardDirectory());
    platform::URLSession urlSession(scheduler);
    platform::sim::SimAccessibilitySettings accessibility;

    platform::Services services;
    services.defaults = &defaults;
    services.scheduler = &scheduler;
    services.workspace = &desktop;
    services.screens = &desktop;
    services.windowServer = &desktop;
    services.hotKeys = &hotKeys;
    services.bundle = &bundle;
    services.keychain = &keychain;
    services.urlSession = &urlSession;
    services.accessibility = &accessibility;
    platform::Services::setCurrent(services);

    WindowManager::shared().setBackendCalls(&BackendClient::shared());
    WindowManager::shared().start();

    return QApplication::exec();
}
