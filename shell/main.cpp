// The composition root: the process's platform (the simulated desktop and the host's own
// services), then the application on top of it.
#include "account/BackendClient.h"
#include "account/SessionLifecycle.h"
#include "capture/ShareMaskEditor.h"
#include "platform/ApplicationBus.h"
#include "platform/Audio.h"
#include "platform/Bundle.h"
#include "platform/DesktopEntry.h"
#include "platform/DesktopServices.h"
#include "platform/DispatchQueue.h"
#include "platform/HomeFolder.h"
#include "platform/Scheduler.h"
#include "platform/SecretServiceKeychain.h"
#include "platform/Services.h"
#include "platform/URLHandoff.h"
#include "platform/URLSession.h"
#include "platform/Updates.h"
#include "platform/UserDefaults.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimProcessRunner.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimStatusBar.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "shell/VeilmoxApp.h"
#include "state/WindowManager.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    // Every folder of the user's is built on HOME, which a service or a stripped environment may
    // lack: then it is the account's own, never "/".
    platform::takeHomeFromAccountWhenUnset();

    // The services' stand-ins of development and the tests listen where they like (README).
    platform::Bundle::setMain(
        platform::Bundle::main()
            .overriddenFromEnvironment(WindowManager::supabaseURLPlistKey, "VEILMOX_SUPABASE_URL")
            .overriddenFromEnvironment(BackendClient::accountServiceURLPlistKey,
                                       "VEILMOX_ACCOUNT_SERVICE_URL"));
    const platform::Bundle& bundle = platform::Bundle::main();
    const QString bundleID = bundle.bundleIdentifier().value_or(QStringLiteral("getveilmox.Veilmox"));
    const QStringList schemes{WindowManager::callbackScheme};

    // A launcher that does not start the application through the session bus puts the link,
    // with its one-time sign-in code, in the command line, where every local user can read it.
    // It leaves there first, and goes to a running instance before anything else is built.
    const QList<QUrl> launchURLs = platform::takeURLArguments(argc, argv, schemes);
    if (!launchURLs.isEmpty()) {
        const QString runtime = platform::URLHandoff::defaultRuntimeDirectory();
        if (!runtime.isEmpty()
            && platform::URLHandoff::handOver(
                platform::URLHandoff::socketPath(runtime, bundleID), launchURLs.first(), 3000)) {
            return 0;
        }
    }

    // Before the application object, which makes Qt's runtime folder when there is none; and
    // before that folder is made, a signal is taken through the normal end, which removes it.
    platform::URLHandoff::catchTerminationSignals();
    const QString qtRuntimeFolder = platform::URLHandoff::makeQtRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veilmox"));
    QApplication::setApplicationVersion(
        bundle.stringForInfoDictionaryKey(platform::kBundleShortVersionStringKey).value_or(QString()));

    platform::QtScheduler scheduler;
    platform::Scheduler::setCurrent(&scheduler);

    // One instance per user: the lock beside the hand-off socket, and the bus name of the
    // desktop entry where a session bus runs. A later launch hands its link over and ends here.
    platform::URLHandoff handoff(bundleID, schemes, scheduler);
    handoff.setQtRuntimeFolderMadeHere(qtRuntimeFolder);
    platform::URLHandoff::Role role = handoff.start(launchURLs);
    std::unique_ptr<platform::ApplicationBus> bus;
    if (role == platform::URLHandoff::Role::Primary) {
        bus = std::make_unique<platform::ApplicationBus>(bundleID, schemes);
        switch (bus->start(launchURLs)) {
        case platform::ApplicationBus::Role::HandedOff:
            return 0;
        case platform::ApplicationBus::Role::Failed:
            role = platform::URLHandoff::Role::Failed;
            break;
        case platform::ApplicationBus::Role::Primary:
        case platform::ApplicationBus::Role::Unavailable:
            break;
        }
    }
    switch (role) {
    case platform::URLHandoff::Role::HandedOff:
        return 0;
    case platform::URLHandoff::Role::Failed:
        std::fputs("Veilmox is already running but did not answer.\n", stderr);
        return 1;
    case platform::URLHandoff::Role::Primary:
        break;
    }
    const QString executable = QApplication::applicationFilePath();
    if (platform::registerURLSchemeHandler(bundleID, QStringLiteral("Veilmox"), executable, schemes)
        == platform::Registration::Written) {
        platform::makeDefaultURLSchemeHandler(bundleID, schemes);
    }

    // The platform: a simulated desktop for the system services, the host for the rest.
    platform::PlistUserDefaults defaults(platform::PlistUserDefaults::standardFilePath(bundleID), &scheduler);
    // What the user's own desktop does for the simulated one; outlives it.
    platform::DesktopServices hostDesktop;
    platform::sim::SimDesktop desktop(bundleID);
    platform::sim::populateDesktop(desktop);
    // Web pages (the account service's sign-in page) open in the real default browser, when
    // the desktop's launcher finds one.
    desktop.setURLOpener([&hostDesktop](const QUrl& url, std::function<void(bool)> done) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
            hostDesktop.openURL(url, std::move(done));
            return;
        }
        done(true);
    });
    // The quit buttons end this process.
    desktop.setTerminateHandler([] { QApplication::quit(); });
    platform::sim::SimHotKeySystem hotKeys;
    // The keyboard reaches the hot keys first, then the frontmost app.
    desktop.setHotKeySystem(&hotKeys);
    // The desktop's Secret Service when one answers, else a private file; the log says which.
    const std::unique_ptr<platform::Keychain> keychain = platform::openUserKeychain();
    platform::URLSession urlSession(scheduler);
    platform::sim::SimAccessibilitySettings accessibility;
    platform::sim::SimVirtualDisplays virtualDisplays(desktop, scheduler);
    platform::sim::SimScreenCapture screenCapture(desktop, scheduler);
    platform::sim::SimLoginItems loginItems;
    platform::sim::SimProcessRunner processes;
    platform::sim::SimStatusBar statusBar(desktop, /*mirrorToHostTray=*/true);
    platform::UpdateFrameworkStandIn updates;
    platform::QtAudioOutput audio;
    platform::sim::SimCaptureStreams captureStreams(desktop, scheduler);
    platform::QtMainQueue mainQueue;

    platform::Services services;
    services.defaults = &defaults;
    services.scheduler = &scheduler;
    services.workspace = &desktop;
    services.screens = &desktop;
    services.windowServer = &desktop;
    services.hotKeys = &hotKeys;
    services.bundle = &bundle;
    services.keychain = keychain.get();
    services.urlSession = &urlSession;
    services.accessibility = &accessibility;
    services.virtualDisplays = &virtualDisplays;
    services.screenCapture = &screenCapture;
    services.appWindows = &desktop;
    services.mainAppService = &loginItems;
    services.processes = &processes;
    services.application = &desktop;
    services.events = &desktop;
    services.statusBar = &statusBar;
    services.updates = &updates;
    services.audio = &audio;
    services.captureStreams = &captureStreams;
    services.mainQueue = &mainQueue;
    services.fileManager = &desktop;
    services.beep = &desktop;
    platform::Services::setCurrent(services);

    // Collaborators of the state object that live below the shell.
    WindowManager::shared().setBackendCalls(&BackendClient::shared());
    WindowManager::shared().setAccountSession(&SessionLifecycle::shared());

    // The mask editor reads and writes the masks through the state object.
    ShareMaskEditor::shared().setStore(&WindowManager::shared());

    // The application: the delegate's launch sequence runs on the first turn of the main loop;
    // URLs opened meanwhile wait for it.
    VeilmoxApp veilmox(AppDelegate::Environment::process());
    QObject::connect(&handoff, &platform::URLHandoff::urlsReceived, &veilmox, &VeilmoxApp::openURLs);
    QObject::connect(bus.get(), &platform::ApplicationBus::urlsReceived, &veilmox, &VeilmoxApp::openURLs);
    // One link per launch, as per hand-off.
    veilmox.openURLs(launchURLs.mid(0, 1));

    // The displays are simulated on Linux: this window shows each of them live, "Veilmox" too,
    // and passes clicks, scrolling and typing on to the desktop. Which displays it shows is kept for
    // the next launch.
    platform::sim::DesktopViewer viewer(
        desktop, scheduler, platform::sim::DesktopViewer::standardChoiceFile());
    viewer.show();

    return veilmox.main();
}
