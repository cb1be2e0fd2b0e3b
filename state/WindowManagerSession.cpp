#include "state/WindowManager.h"

#include <algorithm>
#include <cmath>

// The state object's side of the account session: the session itself lives in the account code,
// installed as an AccountSession; every change of the signed-in state ends in applySessionState().

void WindowManager::validateSavedSession()
{
    if (m_accountSession != nullptr) {
        m_accountSession->validateSavedSession();
        return;
    }
    // Nobody can check a saved session: signed out until a session is installed.
    setIsAuthenticated(false);
    setAuthStatusMessage(QStringLiteral("Sign in required"));
}

void WindowManager::handleAuthCallback(const QUrl& url)
{
    if (m_accountSession != nullptr) {
        m_accountSession->handleAuthCallback(url);
    }
}

void WindowManager::startBrowserSignIn()
{
    if (m_accountSession != nullptr) {
        m_accountSession->startBrowserSignIn();
    }
}

void WindowManager::signOut()
{
    if (m_accountSession != nullptr) {
        m_accountSession->signOut();
    }
}

void WindowManager::setOfflineRetryDelay(double seconds)
{
    m_offlineRetryDelay = std::isfinite(seconds)
                              ? std::clamp(seconds, shortestOfflineRetryDelay, longestOfflineRetryDelay)
                              : shortestOfflineRetryDelay;
}

void WindowManager::applySessionState()
{
    syncPinnedOverlays();
    if (m_isAuthenticated) {
        if (!m_isVirtualDisplayRunning) {
            startVirtualDisplay();
        }
        if (m_appDelegate != nullptr) {
            m_appDelegate->updateStatusIcon(veiledCount());
        }
        return;
    }
    if (m_sharePaused) {
        // Lifted before the display stops, so a later sign-in does not start paused.
        setSharePaused(false);
        applyPanicOutput();
    }
    if (m_isVirtualDisplayRunning) {
        stopVirtualDisplay();
    }
    if (m_appDelegate != nullptr) {
        m_appDelegate->updateStatusIcon(0);
    }
}
