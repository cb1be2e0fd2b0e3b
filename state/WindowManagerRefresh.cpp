#include "capture/VirtualDisplayManager.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "platform/Values.h"
#include "platform/VirtualDisplay.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "state/WindowManager.h"

#include <QCollator>
#include <QPointer>

#include <algorithm>

// Start-up monitoring and the one-second refresh of displays, running apps and windows.

namespace {

// Smaller windows (palettes, badges, helper strips) are not offered for hiding or pinning.
constexpr double kMinimumWindowSide = 60.0;
// The name of our own virtual display, never offered as a source even when it is not ours.
const QString kVirtualDisplayName = QStringLiteral("Veilmox");

// The entries of a window description that decide whether the window is listed, read in one
// pass over the description: the refresh reads every window every second, and a lookup per key
// would walk the entries again for each.
struct WindowEntries
{
    const QVariant* ownerPID = nullptr;
    const QVariant* layer = nullptr;
    const QVariant* alpha = nullptr;
    const QVariant* number = nullptr;
    const QVariant* bounds = nullptr;
    const QVariant* name = nullptr;
};

WindowEntries windowEntries(const platform::WindowDescription& window)
{
    WindowEntries entries;
    for (auto it = window.cbegin(); it != window.cend(); ++it) {
        const QString& key = it.key();
        const QVariant* value = &it.value();
        if (key == platform::kCGWindowOwnerPID) {
            entries.ownerPID = value;
        } else if (key == platform::kCGWindowLayer) {
            entries.layer = value;
        } else if (key == platform::kCGWindowAlpha) {
            entries.alpha = value;
        } else if (key == platform::kCGWindowNumber) {
            entries.number = value;
        } else if (key == platform::kCGWindowBounds) {
            entries.bounds = value;
        } else if (key == platform::kCGWindowName) {
            entries.name = value;
        }
    }
    return entries;
}

const QVariant& orNone(const QVariant* value)
{
    static const QVariant kNone;
    return value != nullptr ? *value : kNone;
}

// The window as listed for its app, when it qualifies: a regular app's (not our own) window on
// the normal layer, not fully transparent, at least 60 x 60 points.
std::optional<WindowInfo> qualifyingWindow(const platform::WindowDescription& window,
                                           const QHash<platform::pid_type, QString>& bundleIDsByPID,
                                           platform::pid_type ownPID)
{
    const WindowEntries entries = windowEntries(window);
    const auto pid = platform::int32Value(orNone(entries.ownerPID));
    if (!pid || *pid == ownPID) {
        return std::nullopt;
    }
    const auto owner = bundleIDsByPID.constFind(*pid);
    if (owner == bundleIDsByPID.cend()) {
        return std::nullopt;
    }
    const auto layer = platform::integerValue(orNone(entries.layer));
    if (!layer || *layer != 0) {
        return std::nullopt;
    }
    const QVariant& alpha = orNone(entries.alpha);
    if (platform::isNumber(alpha) && !(alpha.toDouble() > 0)) {
        return std::nullopt;
    }
    const auto number = platform::uint32Value(orNone(entries.number));
    if (!number) {
        return std::nullopt;
    }
    const auto bounds = platform::rectFromDictionary(orNone(entries.bounds));
    if (!bounds || !(bounds->width() >= kMinimumWindowSide) || !(bounds->height() >= kMinimumWindowSide)) {
        return std::nullopt;
    }
    const QString title = platform::stringValue(orNone(entries.name)).value_or(QString()).trimmed();
    return WindowInfo{*number, owner.value(), title};
}

} // namespace

void WindowManager::subscribeToWorkspace()
{
    QPointer<WindowManager> self(this);
    platform::NotificationCenter& center = m_services.workspace->notificationCenter();
    m_cancellables.push_back(center.addObserver(platform::kWorkspaceDidLaunchApplication,
                                                [self](const platform::Notification& notification) {
                                                    if (self) {
                                                        self->handleAppLaunched(notification);
                                                    }
                                                }));
    m_cancellables.push_back(center.addObserver(platform::kWorkspaceDidTerminateApplication,
                                                [self](const platform::Notification&) {
                                                    if (self) {
                                                        self->refreshRunningApps();
                                                    }
                                                }));
    m_cancellables.push_back(center.addObserver(platform::kWorkspaceDidActivateApplication,
                                                [self](const platform::Notification& notification) {
                                                    if (self) {
                                                        self->handleAppActivated(notification);
                                                    }
                                                }));
}

void WindowManager::handleAppLaunched(const platform::Notification& /*notification*/)
{
    refreshRunningApps();
}

void WindowManager::handleAppActivated(const platform::Notification& /*notification*/)
{
    // Nothing to do at once: the next timer tick picks up what the activation changed.
}

void WindowManager::handleOverlayPermissionStatus(bool granted)
{
    // Discovery reports twice a second; only a change is worth publishing.
    if (granted != m_hasScreenRecordingPermission) {
        setHasScreenRecordingPermission(granted);
    }
}

void WindowManager::timerTick()
{
    m_services.scheduler->post(this, [this] { refreshWindows(); });
}

std::optional<quint32> WindowManager::runningVirtualDisplayID() const
{
    if (m_virtualDisplayManager && m_virtualDisplayManager->virtualDisplay() != nullptr) {
        return m_virtualDisplayManager->virtualDisplay()->displayID();
    }
    return std::nullopt;
}

std::optional<DisplayInfo> WindowManager::displayInfo(const platform::Screen& screen,
                                                      std::optional<quint32> virtualDisplayID,
                                                      quint32 mainDisplayID)
{
    const auto id = screen.displayID();
    if (!id || id == virtualDisplayID || screen.localizedName == kVirtualDisplayName) {
        return std::nullopt;
    }
    DisplayInfo info;
    info.id = *id;
    info.name = screen.localizedName;
    info.isMain = *id == mainDisplayID;
    return info;
}

void WindowManager::refreshDisplays()
{
    const auto virtualDisplayID = runningVirtualDisplayID();
    const quint32 mainDisplayID = m_services.windowServer->mainDisplayID();
    QList<DisplayInfo> displays;
    for (const platform::Screen& screen : m_services.screens->screens()) {
        if (const auto info = displayInfo(screen, virtualDisplayID, mainDisplayID)) {
            displays.append(*info);
        }
    }
    std::stable_sort(displays.begin(), displays.end(), [](const DisplayInfo& a, const DisplayInfo& b) {
        return a.isMain && !b.isMain;
    });
    if (displays != m_availableDisplays) {
        setAvailableDisplays(displays);
    }
}

QHash<platform::pid_type, QString> WindowManager::regularAppBundleIDsByPID() const
{
    QHash<platform::pid_type, QString> bundleIDs;
    for (const auto& app : m_services.workspace->runningApplications()) {
        if (app->activationPolicy() != platform::ActivationPolicy::Regular) {
            continue;
        }
        if (const auto bundleID = app->bundleIdentifier()) {
            bundleIDs.insert(app->processIdentifier(), *bundleID);
        }
    }
    return bundleIDs;
}

void WindowManager::refreshRunningApps()
{
    QList<AppInfo> apps;
    // Only regular apps: this also leaves out the system itself, an accessory application.
    for (const auto& app : m_services.workspace->runningApplications()) {
        if (app->activationPolicy() != platform::ActivationPolicy::Regular) {
            continue;
        }
        const auto bundleID = app->bundleIdentifier();
        const auto name = app->localizedName();
        if (!bundleID || excludedAppIDs().contains(*bundleID) || !name) {
            continue;
        }
        apps.append(AppInfo{*bundleID, *bundleID, *name, app->icon()});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&collator](const AppInfo& a, const AppInfo& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    setRunningApps(apps);
    refreshWindows();
}

void WindowManager::refreshWindows()
{
    const auto bundleIDsByPID = regularAppBundleIDsByPID();
    const platform::pid_type ownPID = m_services.workspace->currentProcessIdentifier();
    const auto windowList = m_services.windowServer->copyWindowInfo(
        platform::kCGWindowListOptionOnScreenOnly | platform::kCGWindowListExcludeDesktopElements,
        platform::kCGNullWindowID);

    // A failed query says nothing about the windows: reading it as "no windows" would empty the
    // popover's lists and count as a second without a share, ending automatic hiding mid-share.
    if (windowList) {
        updateShareDetection(ScreenShareDetector::detect(*windowList, bundleIDsByPID, m_services.workspace));
        QHash<QString, QList<WindowInfo>> grouped;
        for (const platform::WindowDescription& window : *windowList) {
            if (auto info = qualifyingWindow(window, bundleIDsByPID, ownPID)) {
                grouped[info->bundleID].append(std::move(*info));
            }
        }

        WindowsByApp windowsByApp;
        for (auto it = grouped.begin(); it != grouped.end(); ++it) {
            QList<WindowInfo>& windows = it.value();
            std::stable_sort(windows.begin(), windows.end(), [](const WindowInfo& a, const WindowInfo& b) {
                return a.id < b.id;
            });
            windowsByApp.insert(it.key(), windows);
        }
        if (windowsByApp != m_windowsByApp) {
            setWindowsByApp(windowsByApp);
        }
    }
    pruneVanishedWindows();
}

void WindowManager::pruneVanishedWindows()
{
    QSet<quint32> referenced;
    for (auto it = m_hiddenWindows.keyBegin(); it != m_hiddenWindows.keyEnd(); ++it) {
        referenced.insert(*it);
    }
    for (auto it = m_pinnedWindows.keyBegin(); it != m_pinnedWindows.keyEnd(); ++it) {
        referenced.insert(*it);
    }
    for (const ShareMask& mask : m_shareMasks) {
        referenced.insert(mask.windowID);
    }
    if (referenced.isEmpty()) {
        return;
    }
    const auto owners = currentWindowOwners(referenced);
    // Without an answer nothing is known to be gone; dropping now would lose the user's choices.
    if (!owners) {
        return;
    }
    // A number the window server has given to another app's window is gone for us: the entry
    // must not follow the number to its new owner.
    const auto stillOwned = [&owners](quint32 windowID, const QString& bundleID) {
        const auto owner = owners->constFind(windowID);
        return owner != owners->cend() && owner.value() == bundleID;
    };
    const auto prunedMap = [&stillOwned](WindowMap map) {
        map.removeIf([&stillOwned](const auto& entry) { return !stillOwned(entry.key(), entry.value()); });
        return map;
    };

    const WindowMap hidden = prunedMap(m_hiddenWindows);
    if (hidden.size() != m_hiddenWindows.size()) {
        setHiddenWindows(hidden);
        saveHiddenState();
    }
    const WindowMap pinned = prunedMap(m_pinnedWindows);
    if (pinned.size() != m_pinnedWindows.size()) {
        setPinnedWindows(pinned);
        savePinnedState();
    }
    QList<ShareMask> masks;
    for (const ShareMask& mask : m_shareMasks) {
        if (stillOwned(mask.windowID, mask.bundleID)) {
            masks.append(mask);
        }
    }
    if (masks.size() != m_shareMasks.size()) {
        setShareMasks(masks);
        saveShareMasks();
    }
}

void WindowManager::syncPinnedOverlays()
{
    SCOverlayController& overlays = *m_pinnedWindowController;
    QSet<quint32> windowIDs;
    if (m_isAuthenticated) {
        for (auto it = m_pinnedWindows.keyBegin(); it != m_pinnedWindows.keyEnd(); ++it) {
            windowIDs.insert(*it);
        }
    }
    overlays.setPinnedWindowIDs(windowIDs);
    overlays.update();
    overlays.setPinnedBundleIDs(m_isAuthenticated ? m_pinnedBundleIDs : QSet<QString>());
    overlays.update();
}
