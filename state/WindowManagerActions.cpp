#include "platform/Bundle.h"
#include "platform/Workspace.h"
#include "state/WindowManager.h"

// The action of the hide hot key (⇧⌘H); the panic key's is togglePanic().

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
