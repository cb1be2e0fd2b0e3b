#include "capture/VirtualDisplayManager.h"
#include "platform/UserDefaults.h"
#include "state/WindowManager.h"

#include <algorithm>

// Hiding and pinning apps and windows, the pinned see-through level, the auto-hide list, and the
// helpers that save these choices and hand them on.

namespace {

WindowManager::WindowMap withoutApps(WindowManager::WindowMap map, const QSet<QString>& bundleIDs)
{
    map.removeIf([&bundleIDs](const auto& entry) { return bundleIDs.contains(entry.value()); });
    return map;
}

// One window toggled in a hidden or pinned pair of collections. An app held whole is let go and
// its other known windows are held one by one, so only this window changes; otherwise the
// window's own entry comes or goes.
struct ToggledWindow
{
    std::optional<QSet<QString>> apps;
    WindowManager::WindowMap windows;
};

ToggledWindow toggleWindow(const QSet<QString>& apps,
                           const WindowManager::WindowMap& windows,
                           const WindowManager::WindowsByApp& windowsByApp,
                           quint32 windowID,
                           const QString& bundleID)
{
    ToggledWindow result;
    result.windows = windows;
    if (apps.contains(bundleID)) {
        QSet<QString> remaining = apps;
        remaining.remove(bundleID);
        result.apps = remaining;
        for (const WindowInfo& window : windowsByApp.value(bundleID)) {
            if (window.id != windowID) {
                result.windows.insert(window.id, window.bundleID);
            }
        }
    } else if (!result.windows.remove(windowID)) {
        result.windows.insert(windowID, bundleID);
    }
    return result;
}

QSet<quint32> windowIDs(const WindowManager::WindowMap& windows)
{
    QSet<quint32> ids;
    for (auto it = windows.keyBegin(); it != windows.keyEnd(); ++it) {
        ids.insert(*it);
    }
    return ids;
}

int windowCount(const WindowManager::WindowMap& windows, const QString& bundleID)
{
    return static_cast<int>(std::count(windows.cbegin(), windows.cend(), bundleID));
}

} // namespace

void WindowManager::toggleHidden(const QString& bundleID)
{
    if (!m_isAuthenticated) {
        return;
    }
    // Shown or hidden by hand: the end of a share must leave it as the user set it.
    if (m_autoVeiledBundleIDs.remove(bundleID)) {
        saveAutoHideState();
    }
    QSet<QString> hidden = m_hiddenBundleIDs;
    if (!hidden.remove(bundleID)) {
        hidden.insert(bundleID);
    }
    setHiddenBundleIDs(hidden);
    setHiddenWindows(withoutApps(m_hiddenWindows, {bundleID}));
    saveHiddenState();
}

void WindowManager::togglePinned(const QString& bundleID)
{
    if (!m_isAuthenticated) {
        return;
    }
    QSet<QString> pinned = m_pinnedBundleIDs;
    if (!pinned.remove(bundleID)) {
        pinned.insert(bundleID);
    }
    setPinnedBundleIDs(pinned);
    setPinnedWindows(withoutApps(m_pinnedWindows, {bundleID}));
    savePinnedState();
}

void WindowManager::toggleWindowHidden(quint32 windowID, const QString& bundleID)
{
    if (!m_isAuthenticated) {
        return;
    }
    const ToggledWindow toggled =
        toggleWindow(m_hiddenBundleIDs, m_hiddenWindows, m_windowsByApp, windowID, bundleID);
    if (toggled.apps) {
        setHiddenBundleIDs(*toggled.apps);
    }
    setHiddenWindows(toggled.windows);
    saveHiddenState();
}

void WindowManager::toggleWindowPinned(quint32 windowID, const QString& bundleID)
{
    if (!m_isAuthenticated) {
        return;
    }
    const ToggledWindow toggled =
        toggleWindow(m_pinnedBundleIDs, m_pinnedWindows, m_windowsByApp, windowID, bundleID);
    if (toggled.apps) {
        setPinnedBundleIDs(*toggled.apps);
    }
    setPinnedWindows(toggled.windows);
    savePinnedState();
}

void WindowManager::hideApps(const QSet<QString>& requested)
{
    // Apps that are never offered are never hidden either (the stored list would drop them).
    const QSet<QString> bundleIDs = requested - excludedAppIDs();
    if (!m_isAuthenticated || bundleIDs.isEmpty() || m_hiddenBundleIDs.contains(bundleIDs)) {
        return;
    }
    setHiddenBundleIDs(m_hiddenBundleIDs | bundleIDs);
    setHiddenWindows(withoutApps(m_hiddenWindows, bundleIDs));
    saveHiddenState();
}

void WindowManager::setPinnedTransparency(double transparency, const QString& bundleID)
{
    // Not-a-number reads as opaque.
    const double clamped = transparency > 0 ? std::min(transparency, maxPinnedTransparency) : 0.0;
    QMap<QString, double> levels = m_pinnedTransparency;
    if (clamped > 0) {
        levels.insert(bundleID, clamped);
    } else {
        levels.remove(bundleID);
    }
    setPinnedTransparency(levels);
    QVariantMap stored;
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        stored.insert(it.key(), it.value());
    }
    defaults().setObject(stored, pinnedTransparencyKey);
    m_pinnedWindowController->setTransparency(m_pinnedTransparency);
}

void WindowManager::toggleAutoHide(bool listed, const QString& bundleID)
{
    QSet<QString> list = m_autoHideBundleIDs;
    if (listed) {
        list.insert(bundleID);
    } else {
        list.remove(bundleID);
    }
    setAutoHideBundleIDs(list);
    saveStringSet(m_autoHideBundleIDs, autoHideListKey);
    if (!m_autoHideActive) {
        return;
    }
    // During an automatic hiding the list applies at once; an app the user hid by hand is left
    // alone both ways.
    if (listed) {
        if (!m_hiddenBundleIDs.contains(bundleID)) {
            setHiddenBundleIDs(m_hiddenBundleIDs | QSet<QString>{bundleID});
            m_autoVeiledBundleIDs.insert(bundleID);
            saveHiddenState();
        }
    } else if (m_autoVeiledBundleIDs.remove(bundleID)) {
        setHiddenBundleIDs(m_hiddenBundleIDs - QSet<QString>{bundleID});
        saveHiddenState();
    }
    saveAutoHideState();
}

int WindowManager::veiledCount() const
{
    int count = static_cast<int>(m_hiddenBundleIDs.size());
    for (const QString& bundleID : m_hiddenWindows) {
        if (!m_hiddenBundleIDs.contains(bundleID)) {
            ++count;
        }
    }
    return count;
}

int WindowManager::hiddenWindowCount(const QString& bundleID) const
{
    return windowCount(m_hiddenWindows, bundleID);
}

int WindowManager::pinnedWindowCount(const QString& bundleID) const
{
    return windowCount(m_pinnedWindows, bundleID);
}

bool WindowManager::hasPinnedContent(const QString& bundleID) const
{
    return m_pinnedBundleIDs.contains(bundleID) || pinnedWindowCount(bundleID) > 0;
}

bool WindowManager::isHidden(quint32 windowID, const QString& bundleID) const
{
    return m_hiddenBundleIDs.contains(bundleID) || m_hiddenWindows.contains(windowID);
}

bool WindowManager::isPinned(quint32 windowID, const QString& bundleID) const
{
    return m_pinnedBundleIDs.contains(bundleID) || m_pinnedWindows.contains(windowID);
}

void WindowManager::saveHiddenState()
{
    saveStringSet(m_hiddenBundleIDs, hiddenKey);
    encodeWindowMap(m_hiddenWindows, hiddenWindowsKey);
    if (m_virtualDisplayManager) {
        // The next capture tick leaves out the new sets.
        m_virtualDisplayManager->excludedBundleIDs = m_hiddenBundleIDs;
        m_virtualDisplayManager->excludedWindowIDs = windowIDs(m_hiddenWindows);
    }
    if (m_appDelegate != nullptr) {
        m_appDelegate->updateStatusIcon(m_isAuthenticated ? veiledCount() : 0);
    }
}

void WindowManager::savePinnedState()
{
    saveStringSet(m_pinnedBundleIDs, pinnedKey);
    encodeWindowMap(m_pinnedWindows, pinnedWindowsKey);
    syncPinnedOverlays();
}

void WindowManager::saveAutoHideState()
{
    saveStringSet(m_autoVeiledBundleIDs, autoVeiledKey);
    QVariantList pids;
    for (const qint32 pid : m_autoHiddenLocallyPIDs) {
        pids.append(static_cast<qint64>(pid));
    }
    defaults().setObject(pids, autoHiddenLocallyKey);
}

void WindowManager::saveShareMasks()
{
    if (const auto data = ShareMask::encodeList(m_shareMasks)) {
        defaults().setObject(*data, shareMasksKey);
    }
    // Painted from the next capture on, whether or not the list could be stored.
    if (m_virtualDisplayManager) {
        m_virtualDisplayManager->masks = m_shareMasks;
    }
}
