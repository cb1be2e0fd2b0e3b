#include "shell/VeilmoxApp.h"

#include "platform/Scheduler.h"

#include <QApplication>

VeilmoxApp::VeilmoxApp(AppDelegate::Environment environment, QObject* parent)
    : QObject(parent)
    , m_appDelegate(std::make_unique<AppDelegate>(std::move(environment)))
{
    // A menu-bar utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
}

VeilmoxApp::~VeilmoxApp() = default;

void VeilmoxApp::scheduleLaunch()
{
    if (m_launchScheduled || m_launched) {
        return;
    }
    m_launchScheduled = true;
    platform::Scheduler::current().post(this, [this] { finishLaunching(); });
}

void VeilmoxApp::finishLaunching()
{
    if (m_launched) {
        return;
    }
    m_launched = true;
    m_appDelegate->applicationDidFinishLaunching();
    const QList<QUrl> waiting = std::exchange(m_pendingURLs, {});
    if (!waiting.isEmpty()) {
        m_appDelegate->application(waiting);
    }
}

void VeilmoxApp::openURLs(const QList<QUrl>& urls)
{
    if (urls.isEmpty()) {
        return;
    }
    if (!m_launched) {
        m_pendingURLs.append(urls);
        return;
    }
    m_appDelegate->application(urls);
}

int VeilmoxApp::main()
{
    scheduleLaunch();
    return QApplication::exec();
}
