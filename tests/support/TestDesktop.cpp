#include "tests/support/TestDesktop.h"

#include "platform/Scheduler.h"

namespace testing_support {

TestDesktop::TestDesktop()
    : bundle(QVariantMap{{platform::kBundleIdentifierKey, QStringLiteral("getveilmox.Veilmox")},
                         {platform::kBundleShortVersionStringKey, QStringLiteral("1.0.0")},
                         {platform::kBundleVersionKey, QStringLiteral("1")}})
    , virtualDisplays(desktop, scheduler)
    , screenCapture(desktop, scheduler)
    , captureStreams(desktop, scheduler)
{
    mainDisplay = desktop.addDisplay();
    platform::Scheduler::setCurrent(&scheduler);
}

TestDesktop::~TestDesktop()
{
    platform::Scheduler::setCurrent(nullptr);
}

platform::Services TestDesktop::services()
{
    platform::Services s;
    s.defaults = &defaults;
    s.scheduler = &scheduler;
    s.workspace = &desktop;
    s.screens = &desktop;
    s.windowServer = &desktop;
    s.hotKeys = &hotKeys;
    s.bundle = &bundle;
    s.keychain = &keychain;
    s.urlSession = &urlSession;
    s.accessibility = &accessibility;
    s.virtualDisplays = &virtualDisplays;
    s.screenCapture = &screenCapture;
    s.appWindows = &desktop;
    s.captureStreams = &captureStreams;
    s.mainQueue = &mainQueue;
    return s;
}

std::pair<platform::pid_type, quint32>
TestDesktop::launchAppWithWindow(const QString& bundleID, const QString& name, const QRectF& bounds)
{
    const auto pid = desktop.launchApp(bundleID, name);
    return {pid, desktop.addWindow(pid, name, bounds)};
}

} // namespace testing_support
