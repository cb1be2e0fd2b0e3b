#include "onboarding/OnboardingServices.h"

#include "account/OnboardingAnalytics.h"
#include "platform/Scheduler.h"
#include "state/WindowManager.h"

SystemOnboardingServices::SystemOnboardingServices(WindowManager& windowManager,
                                                   OnboardingAnalytics* analytics,
                                                   platform::Scheduler& scheduler,
                                                   platform::UserDefaults& defaults,
                                                   QObject* parent)
    : OnboardingServices(parent)
    , m_windowManager(&windowManager)
    , m_analytics(analytics)
    , m_scheduler(scheduler)
    , m_defaults(defaults)
{
    connect(&windowManager,
            &WindowManager::isAuthenticatedChanged,
            this,
            &OnboardingServices::authenticationChanged);
    connect(&windowManager,
            &WindowManager::hasScreenRecordingPermissionChanged,
            this,
            &OnboardingServices::screenRecordingPermissionChanged);
}

bool SystemOnboardingServices::isAuthenticated() const
{
    return m_windowManager && m_windowManager->isAuthenticated();
}

bool SystemOnboardingServices::hasScreenRecordingPermission() const
{
    return m_windowManager && m_windowManager->hasScreenRecordingPermission();
}

bool SystemOnboardingServices::globalShortcutEnabled() const
{
    return m_windowManager && m_windowManager->globalShortcutEnabled();
}

QSet<QString> SystemOnboardingServices::runningBundleIDs() const
{
    QSet<QString> ids;
    if (m_windowManager) {
        for (const AppInfo& app : m_windowManager->runningApps()) {
            ids.insert(app.bundleID);
        }
    }
    return ids;
}

void SystemOnboardingServices::hideApps(const QSet<QString>& bundleIDs)
{
    if (m_windowManager) {
        m_windowManager->hideApps(bundleIDs);
    }
}

void SystemOnboardingServices::suspendGlobalShortcut()
{
    if (m_windowManager) {
        m_windowManager->suspendGlobalShortcut();
    }
}

void SystemOnboardingServices::registerGlobalShortcut()
{
    if (m_windowManager) {
        m_windowManager->registerGlobalShortcut();
    }
}

void SystemOnboardingServices::startBrowserSignIn()
{
    if (m_windowManager) {
        m_windowManager->startBrowserSignIn();
    }
}

void SystemOnboardingServices::signOut()
{
    if (m_windowManager) {
        m_windowManager->signOut();
    }
}

void SystemOnboardingServices::openScreenRecordingSettings()
{
    if (m_windowManager) {
        m_windowManager->openScreenRecordingSettings();
    }
}

void SystemOnboardingServices::refreshScreenRecordingPermission()
{
    if (m_windowManager) {
        m_windowManager->refreshScreenRecordingPermission();
    }
}

void SystemOnboardingServices::track(const QString& eventType, int step, const QJsonObject& metadata)
{
    if (m_analytics) {
        m_analytics->track(eventType, step, metadata);
    }
}

double SystemOnboardingServices::now() const
{
    return m_scheduler.now();
}
