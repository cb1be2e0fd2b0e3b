#include "platform/Bundle.h"
#include "platform/Workspace.h"
#include "state/WindowManager.h"

// The actions of the two hot keys.

void WindowManager::toggleFrontmostAppHidden()
{
    if (!m_isAuthenticated) {
        // Signed out nothing can be hidden: the popover offers the sign-in instead.
        if (m_appDelegate != nullptr) {
            m_appDelegate->showPopover();
        }
        return;
    }
    const auto app = m_services.workspace->frontmostApplication();
    if (!app) {
        return;
    }
    const auto bundleID = app->bundleIdentifier();
    if (!bundleID) {
        return;
    }
    const platform::Bundle& mainBundle =
        m_services.bundle != nullptr ? *m_services.bundle : platform::Bundle::main();
    if (bundleID == mainBundle.bundleIdentifier() || excludedAppIDs().contains(*bundleID)) {
        return;
    }
    const QString name = app->localizedName().value_or(*bundleID);
    const QImage icon = app->icon();
    toggleHidden(*bundleID);
    if (m_hud != nullptr) {
        m_hud->show(name, icon, m_hiddenBundleIDs.contains(*bundleID), std::nullopt);
    }
}

// The panic pause arrives with the virtual-display operations; until then a press changes nothing.
void WindowManager::togglePanic()
{}

// Callback routing, the permission probe and the login-item state arrive with the virtual-display
// and settings operations; until then these change nothing.
void WindowManager::handleCallbackURL(const QUrl& /*url*/) {}

void WindowManager::refreshScreenRecordingPermission() {}

void WindowManager::refreshLaunchAtLogin() {}
