#include "account/BackendClient.h"
#include "account/SessionLifecycle.h"
#include "platform/Bundle.h"
#include "platform/Keychain.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "platform/UserDefaults.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimProcessRunner.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "state/WindowManager.h"

#include <QApplication>
#include <QDesktopServices>

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
    platform::sim::populateDesktop(desktop);
    // Web pages (the account service's sign-in page) open in the real default browser.
    desktop.setURLOpenedHandler([](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
            QDesktopServices::openUrl(url);
        }
    });
    platform::sim::SimHotKeySystem hotKeys;
    platform::FileKeychain keychain(platform::FileKeychain::standardDirectory());
    platform::URLSession urlSession(scheduler);
    platform::sim::SimAccessibilitySettings accessibility;
    platform::sim::SimVirtualDisplays virtualDisplays(desktop, scheduler);
    platform::sim::SimScreenCapture screenCapture(desktop, scheduler);
    platform::sim::SimLoginItems loginItems;
    platform::sim::SimProcessRunner processes;

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
    services.virtualDisplays = &virtualDisplays;
    services.screenCapture = &screenCapture;
    services.appWindows = &desktop;
    services.mainAppService = &loginItems;
    services.processes = &processes;
    platform::Services::setCurrent(services);

    WindowManager::shared().setBackendCalls(&BackendClient::shared());
    WindowManager::shared().setAccountSession(&SessionLifecycle::shared());
    WindowManager::shared().start();

    // The displays are simulated on Linux: this window shows each of them live, "Veilmox" too.
    platform::sim::DesktopViewer viewer(desktop, scheduler);
    viewer.show();

    return QApplication::exec();
}
