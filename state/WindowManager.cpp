#include "state/WindowManager.h"

#include "capture/VirtualDisplayManager.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "platform/Values.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "state/GlobalHotKeyManager.h"

#include <QPointer>

#include <algorithm>

namespace {

constexpr quint32 kGlobalShortcutID = 1;
constexpr quint32 kPanicShortcutID = 2;
constexpr quint32 kGlobalShortcutKeyCode = 4;       // H
constexpr quint32 kGlobalShortcutModifiers = 0x300; // command + shift

QSet<QString> toSet(const QStringList& list)
{
    return {list.begin(), list.end()};
}

double clampTransparency(double value)
{
    return std::clamp(value, 0.0, WindowManager::maxPinnedTransparency);
}

} // namespace

QString WindowManager::rawValue(PanicMode mode)
{
    return mode == PanicMode::Cover ? QStringLiteral("cover") : QStringLiteral("freeze");
}

std::optional<WindowManager::PanicMode> WindowManager::panicModeFromRawValue(const QString& raw)
{
    if (raw == QLatin1String("freeze")) {
        return PanicMode::Freeze;
    }
    if (raw == QLatin1String("cover")) {
        return PanicMode::Cover;
    }
    return std::nullopt;
}

const QSet<QString>& WindowManager::excludedAppIDs()
{
    static const QSet<QString> kExcluded{QStringLiteral("com.apple.finder")};
    return kExcluded;
}

WindowManager::WindowManager(const platform::Services& services,
                             GlobalHotKeyManager* hotKeyManager,
                             QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_hotKeyManager(hotKeyManager)
    , m_pinnedWindowController(std::make_unique<SCOverlayController>(services))
{}

WindowManager::~WindowManager()
{
    // The managers' reports must not reach a half-destroyed state object.
    const auto silence = [](VirtualDisplayManager& manager) {
        manager.statusHandler = nullptr;
        manager.frameHandler = nullptr;
        manager.closeHandler = nullptr;
        manager.screenRecordingPermissionHandler = nullptr;
    };
    if (m_virtualDisplayManager) {
        silence(*m_virtualDisplayManager);
    }
    for (const auto& manager : m_retiredManagers) {
        silence(*manager);
    }
}

WindowManager& WindowManager::shared()
{
    // Lives until the process ends.
    static auto* instance = new WindowManager(platform::Services::current());
    return *instance;
}

GlobalHotKeyManager& WindowManager::hotKeyManager() const
{
    return m_hotKeyManager != nullptr ? *m_hotKeyManager : GlobalHotKeyManager::shared();
}

void WindowManager::start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    // Assumed until the permission probe answers.
    setHasScreenRecordingPermission(true);
    loadStoredChoices();
    refreshDisplays();
    QPointer<WindowManager> self(this);
    m_cancellables.push_back(m_services.screens->defaultCenter().addObserver(
        platform::kApplicationDidChangeScreenParameters, [self](const platform::Notification&) {
            if (self) {
                self->refreshDisplays();
            }
        }));
    loadPinnedTransparency();
    loadFocusStage();
    subscribeToWorkspace();
    m_pinnedWindowController->permissionStatusHandler = [self](bool granted) {
        if (self) {
            self->handleOverlayPermissionStatus(granted);
        }
    };
    refreshRunningApps();
    refreshWindows();
    m_windowRefreshTimer = m_services.scheduler->every(1.0, [self] {
        if (self) {
            self->timerTick();
        }
    });
    m_pinnedWindowController->setTransparency(m_pinnedTransparency);
    syncPinnedOverlays();
    refreshLaunchAtLogin();
    loadGlobalShortcutSetting();
    if (m_globalShortcutEnabled) {
        registerGlobalShortcut();
    }
    registerPanicShortcut();
    if (m_accountSession != nullptr) {
        m_accountSession->migrateLegacyDefaults();
    }
    validateSavedSession();
    refreshScreenRecordingPermission();
}

void WindowManager::loadStoredChoices()
{
    // In every stored list and map an entry of the wrong kind is skipped (and left in the file);
    // the others still count.
    if (const auto hidden = platform::stringElements(defaults().object(hiddenKey))) {
        setHiddenBundleIDs(toSet(*hidden) - excludedAppIDs());
    }
    if (const auto pinned = platform::stringElements(defaults().object(pinnedKey))) {
        setPinnedBundleIDs(toSet(*pinned) - excludedAppIDs());
    }
    const auto withoutExcludedApps = [](WindowMap map) {
        map.removeIf([](const auto& entry) { return excludedAppIDs().contains(entry.value()); });
        return map;
    };
    setHiddenWindows(withoutExcludedApps(decodeWindowMap(hiddenWindowsKey)));
    setPinnedWindows(withoutExcludedApps(decodeWindowMap(pinnedWindowsKey)));

    if (const auto data = defaults().dataForKey(shareMasksKey)) {
        if (const auto masks = ShareMask::decodeList(*data)) {
            setShareMasks(*masks);
        }
    }
    if (defaults().hasObject(hideNotificationsKey)) {
        setHideNotificationsOnShare(defaults().boolForKey(hideNotificationsKey));
    }
    if (const auto raw = defaults().stringForKey(panicModeKey)) {
        if (const auto mode = panicModeFromRawValue(*raw)) {
            publishPanicMode(*mode);
        }
    }
    if (const auto data = defaults().dataForKey(panicShortcutKey)) {
        if (const auto combo = HotKeyCombo::decode(*data)) {
            publishPanicShortcut(*combo);
        }
    }
    setAutoHideEnabled(defaults().boolForKey(autoHideEnabledKey));
    defaults().removeObject(autoHideLocallyKey);

    setAutoHideBundleIDs(
        toSet(platform::stringElements(defaults().object(autoHideListKey)).value_or(QStringList{}))
        - excludedAppIDs());
    m_autoVeiledBundleIDs =
        toSet(platform::stringElements(defaults().object(autoVeiledKey)).value_or(QStringList{}));

    m_autoHiddenLocallyPIDs.clear();
    if (const auto pids = defaults().arrayForKey(autoHiddenLocallyKey)) {
        for (const QVariant& value : *pids) {
            // A number outside the process-identifier range cannot name a process: skipped.
            if (const auto pid = platform::int32Value(value)) {
                m_autoHiddenLocallyPIDs.insert(*pid);
            }
        }
    }
    setAutoHideActive(!m_autoVeiledBundleIDs.isEmpty() || !m_autoHiddenLocallyPIDs.isEmpty());

    if (const auto display = platform::uint32Value(defaults().object(sharedDisplayKey))) {
        setSharedDisplayID(display);
    }
}

void WindowManager::loadPinnedTransparency()
{
    // A stored map is the user's own: its valid entries count, and the legacy value, which is
    // older, is not looked at.
    if (const auto stored = defaults().dictionaryForKey(pinnedTransparencyKey)) {
        QMap<QString, double> values;
        for (auto it = stored->cbegin(); it != stored->cend(); ++it) {
            if (const auto number = platform::finiteNumber(it.value())) {
                values.insert(it.key(), clampTransparency(*number));
            }
        }
        setPinnedTransparency(values);
        return;
    }
    if (!defaults().hasObject(legacyPinnedTransparencyKey)) {
        return;
    }
    const double legacy = clampTransparency(defaults().doubleForKey(legacyPinnedTransparencyKey));
    if (legacy > 0) {
        QMap<QString, double> values;
        for (const QString& bundleID : m_pinnedBundleIDs) {
            values.insert(bundleID, legacy);
        }
        setPinnedTransparency(values);
    }
    QVariantMap stored;
    for (auto it = m_pinnedTransparency.cbegin(); it != m_pinnedTransparency.cend(); ++it) {
        stored.insert(it.key(), it.value());
    }
    defaults().setObject(stored, pinnedTransparencyKey);
    defaults().removeObject(legacyPinnedTransparencyKey);
}

void WindowManager::loadFocusStage()
{
    if (defaults().hasObject(focusStageKey)) {
        setFocusStageOnVirtualDisplay(defaults().boolForKey(focusStageKey));
        return;
    }
    if (defaults().hasObject(legacyHideDockKey) || defaults().hasObject(legacyHideMenuBarKey)) {
        const bool focus =
            defaults().boolForKey(legacyHideDockKey) || defaults().boolForKey(legacyHideMenuBarKey);
        setFocusStageOnVirtualDisplay(focus);
        defaults().setObject(focus, focusStageKey);
    }
}

void WindowManager::loadGlobalShortcutSetting()
{
    publishGlobalShortcutEnabled(
        defaults().hasObject(globalShortcutKey) ? defaults().boolForKey(globalShortcutKey) : true);
}

WindowManager::WindowMap WindowManager::decodeWindowMap(const QString& key) const
{
    WindowMap map;
    const auto stored = defaults().dictionaryForKey(key);
    if (!stored) {
        return map;
    }
    for (auto it = stored->cbegin(); it != stored->cend(); ++it) {
        const auto bundleID = platform::stringValue(it.value());
        const auto number = platform::parseUInt32Decimal(it.key());
        if (bundleID && number) {
            map.insert(*number, *bundleID);
        }
    }
    return map;
}

void WindowManager::encodeWindowMap(const WindowMap& map, const QString& key)
{
    QVariantMap stored;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        stored.insert(QString::number(it.key()), it.value());
    }
    defaults().setObject(stored, key);
}

std::optional<WindowManager::WindowMap>
WindowManager::currentWindowOwners(const QSet<quint32>& windowIDs) const
{
    QList<std::uint32_t> numbers(windowIDs.begin(), windowIDs.end());
    std::sort(numbers.begin(), numbers.end());
    const auto descriptions = m_services.windowServer->createDescriptionFromArray(numbers);
    if (!descriptions) {
        return std::nullopt;
    }
    WindowMap owners;
    for (const auto& description : *descriptions) {
        const auto number = platform::uint32Value(description.value(platform::kCGWindowNumber));
        const auto pid = platform::int32Value(description.value(platform::kCGWindowOwnerPID));
        if (!number || !pid) {
            continue;
        }
        const auto app = m_services.workspace->runningApplication(*pid);
        const auto bundleID = app ? app->bundleIdentifier() : std::nullopt;
        if (bundleID) {
            owners.insert(*number, *bundleID);
        }
    }
    return owners;
}

void WindowManager::saveStringSet(const QSet<QString>& set, const QString& key)
{
    defaults().setObject(QStringList(set.begin(), set.end()), key);
}

void WindowManager::registerGlobalShortcut()
{
    QPointer<WindowManager> self(this);
    platform::Scheduler* scheduler = m_services.scheduler;
    hotKeyManager().registerHotKey(
        kGlobalShortcutID, kGlobalShortcutKeyCode, kGlobalShortcutModifiers, [self, scheduler] {
            if (self) {
                scheduler->post(self, [self] { self->toggleFrontmostAppHidden(); });
            }
        });
}

bool WindowManager::registerPanicShortcut()
{
    QPointer<WindowManager> self(this);
    platform::Scheduler* scheduler = m_services.scheduler;
    const bool registered = hotKeyManager().registerHotKey(
        kPanicShortcutID, m_panicShortcut.keyCode, m_panicShortcut.carbonModifiers, [self, scheduler] {
            if (self) {
                scheduler->post(self, [self] { self->togglePanic(); });
            }
        });
    setPanicShortcutAvailable(registered);
    return registered;
}

void WindowManager::setGlobalShortcutEnabled(bool on)
{
    publishGlobalShortcutEnabled(on);
    defaults().setObject(on, globalShortcutKey);
    if (on) {
        registerGlobalShortcut();
    } else {
        hotKeyManager().unregister(kGlobalShortcutID);
    }
}

bool WindowManager::setPanicShortcut(const HotKeyCombo& combo)
{
    // ⇧⌘H belongs to the global shortcut, whatever its display text. A combination without ⌃, ⌥
    // or ⌘ would take a plain key from every application, and could not be read back at launch.
    const bool isGlobalShortcut =
        combo.keyCode == kGlobalShortcutKeyCode && combo.carbonModifiers == kGlobalShortcutModifiers;
    if (isGlobalShortcut || !combo.isRegistrable()) {
        return false;
    }
    const HotKeyCombo old = m_panicShortcut;
    publishPanicShortcut(combo);
    if (registerPanicShortcut()) {
        if (const auto data = combo.encoded()) {
            defaults().setObject(*data, panicShortcutKey);
        }
        return true;
    }
    // Refused by the system: the previous combination goes back into service.
    publishPanicShortcut(old);
    registerPanicShortcut();
    return false;
}

void WindowManager::suspendGlobalShortcut()
{
    if (m_globalShortcutEnabled) {
        hotKeyManager().unregister(kGlobalShortcutID);
    }
}

void WindowManager::setHiddenBundleIDs(const QSet<QString>& value)
{
    m_hiddenBundleIDs = value;
    emit hiddenBundleIDsChanged(m_hiddenBundleIDs);
}

void WindowManager::setPinnedBundleIDs(const QSet<QString>& value)
{
    m_pinnedBundleIDs = value;
    emit pinnedBundleIDsChanged(m_pinnedBundleIDs);
}

void WindowManager::setRunningApps(const QList<AppInfo>& value)
{
    m_runningApps = value;
    emit runningAppsChanged(m_runningApps);
}

void WindowManager::setWindowsByApp(const WindowsByApp& value)
{
    m_windowsByApp = value;
    emit windowsByAppChanged(m_windowsByApp);
}

void WindowManager::setHiddenWindows(const WindowMap& value)
{
    m_hiddenWindows = value;
    emit hiddenWindowsChanged(m_hiddenWindows);
}

void WindowManager::setPinnedWindows(const WindowMap& value)
{
    m_pinnedWindows = value;
    emit pinnedWindowsChanged(m_pinnedWindows);
}

void WindowManager::setShareMasks(const QList<ShareMask>& value)
{
    m_shareMasks = value;
    emit shareMasksChanged(m_shareMasks);
}

void WindowManager::setCanUndoShareMaskRemoval(bool value)
{
    m_canUndoShareMaskRemoval = value;
    emit canUndoShareMaskRemovalChanged(m_canUndoShareMaskRemoval);
}

void WindowManager::setAvailableDisplays(const QList<DisplayInfo>& value)
{
    m_availableDisplays = value;
    emit availableDisplaysChanged(m_availableDisplays);
}

void WindowManager::setSharedDisplayID(const std::optional<quint32>& value)
{
    m_sharedDisplayID = value;
    emit sharedDisplayIDChanged(m_sharedDisplayID);
}

void WindowManager::setAutoHideEnabled(bool value)
{
    m_autoHideEnabled = value;
    emit autoHideEnabledChanged(m_autoHideEnabled);
}

void WindowManager::setAutoHideBundleIDs(const QSet<QString>& value)
{
    m_autoHideBundleIDs = value;
    emit autoHideBundleIDsChanged(m_autoHideBundleIDs);
}

void WindowManager::setAutoHideLocally(bool value)
{
    m_autoHideLocally = value;
    emit autoHideLocallyChanged(m_autoHideLocally);
}

void WindowManager::setDetectedShare(const std::optional<ScreenShareDetector::Source>& value)
{
    m_detectedShare = value;
    emit detectedShareChanged(m_detectedShare);
}

void WindowManager::setAutoHideActive(bool value)
{
    m_autoHideActive = value;
    emit autoHideActiveChanged(m_autoHideActive);
}

void WindowManager::setHideNotificationsOnShare(bool value)
{
    m_hideNotificationsOnShare = value;
    emit hideNotificationsOnShareChanged(m_hideNotificationsOnShare);
}

void WindowManager::publishPanicMode(PanicMode value)
{
    m_panicMode = value;
    emit panicModeChanged(m_panicMode);
}

void WindowManager::publishPanicShortcut(const HotKeyCombo& value)
{
    m_panicShortcut = value;
    emit panicShortcutChanged(m_panicShortcut);
}

void WindowManager::setPanicShortcutAvailable(bool value)
{
    m_panicShortcutAvailable = value;
    emit panicShortcutAvailableChanged(m_panicShortcutAvailable);
}

void WindowManager::setSharePaused(bool value)
{
    m_sharePaused = value;
    emit sharePausedChanged(m_sharePaused);
}

void WindowManager::setHasScreenRecordingPermission(bool value)
{
    m_hasScreenRecordingPermission = value;
    emit hasScreenRecordingPermissionChanged(m_hasScreenRecordingPermission);
}

void WindowManager::setIsAuthenticated(bool value)
{
    m_isAuthenticated = value;
    emit isAuthenticatedChanged(m_isAuthenticated);
}

void WindowManager::setAuthInProgress(bool value)
{
    m_authInProgress = value;
    emit authInProgressChanged(m_authInProgress);
}

void WindowManager::setAuthStatusMessage(const QString& value)
{
    m_authStatusMessage = value;
    emit authStatusMessageChanged(m_authStatusMessage);
}

void WindowManager::setIsVirtualDisplayRunning(bool value)
{
    m_isVirtualDisplayRunning = value;
    emit isVirtualDisplayRunningChanged(m_isVirtualDisplayRunning);
}

void WindowManager::setVirtualDisplayStatus(const QString& value)
{
    m_virtualDisplayStatus = value;
    emit virtualDisplayStatusChanged(m_virtualDisplayStatus);
}

void WindowManager::setVirtualDisplayStatusIsError(bool value)
{
    m_virtualDisplayStatusIsError = value;
    emit virtualDisplayStatusIsErrorChanged(m_virtualDisplayStatusIsError);
}

void WindowManager::setVirtualDisplayPreviewImage(const std::optional<QImage>& value)
{
    m_virtualDisplayPreviewImage = value;
    emit virtualDisplayPreviewImageChanged(m_virtualDisplayPreviewImage);
}

void WindowManager::setFocusStageOnVirtualDisplay(bool value)
{
    m_focusStageOnVirtualDisplay = value;
    emit focusStageOnVirtualDisplayChanged(m_focusStageOnVirtualDisplay);
}

void WindowManager::setPinnedTransparency(const QMap<QString, double>& value)
{
    m_pinnedTransparency = value;
    emit pinnedTransparencyChanged(m_pinnedTransparency);
}

void WindowManager::publishLaunchAtLogin(bool value)
{
    m_launchAtLogin = value;
    emit launchAtLoginChanged(m_launchAtLogin);
}

void WindowManager::publishGlobalShortcutEnabled(bool value)
{
    m_globalShortcutEnabled = value;
    emit globalShortcutEnabledChanged(m_globalShortcutEnabled);
}
