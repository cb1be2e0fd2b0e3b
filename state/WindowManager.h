#pragma once

#include "capture/SCOverlayController.h"
#include "capture/ScreenShareDetector.h"
#include "capture/ShareMask.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/Screens.h"
#include "platform/Services.h"
#include "state/BackendCalls.h"
#include "state/HotKeyCombo.h"
#include "state/Models.h"
#include "state/ShellInterfaces.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

class GlobalHotKeyManager;

// The one observable state object: what the user has chosen (hidden and pinned apps and windows,
// masks, auto-hide, panic and hot-key settings, the shared display, pinned transparencies) and
// what the system observes (displays, apps, windows, a detected share, permission, the virtual
// display's status). Lives on the main thread for the life of the process; every published
// property emits its change signal on every assignment, also when the value is unchanged.
class WindowManager final : public QObject
{
    Q_OBJECT

public:
    enum class PanicMode
    {
        Freeze,
        Cover
    };
    static QString rawValue(PanicMode mode);
    static std::optional<PanicMode> panicModeFromRawValue(const QString& raw);

    // Window number to the bundle identifier of the app that owns the window.
    using WindowMap = QMap<quint32, QString>;
    using WindowsByApp = QMap<QString, QList<WindowInfo>>;

    // `hotKeyManager` defaults to the process-wide registry.
    explicit WindowManager(const platform::Services& services,
                           GlobalHotKeyManager* hotKeyManager = nullptr,
                           QObject* parent = nullptr);
    ~WindowManager() override;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // The process-wide instance, created on first use with the process's services. The
    // application starts it once its collaborators exist.
    static WindowManager& shared();

    // Runs the start-up sequence: loading, the display list, workspace monitoring, the first
    // enumeration of apps and windows, the one-second window refresh, the pinned overlays and
    // the hot keys. Only the first call acts.
    void start();
    bool isStarted() const { return m_started; }

    // Published properties.
    const QSet<QString>& hiddenBundleIDs() const { return m_hiddenBundleIDs; }
    const QSet<QString>& pinnedBundleIDs() const { return m_pinnedBundleIDs; }
    const QList<AppInfo>& runningApps() const { return m_runningApps; }
    const WindowsByApp& windowsByApp() const { return m_windowsByApp; }
    const WindowMap& hiddenWindows() const { return m_hiddenWindows; }
    const WindowMap& pinnedWindows() const { return m_pinnedWindows; }
    const QList<ShareMask>& shareMasks() const { return m_shareMasks; }
    bool canUndoShareMaskRemoval() const { return m_canUndoShareMaskRemoval; }
    const QList<DisplayInfo>& availableDisplays() const { return m_availableDisplays; }
    const std::optional<quint32>& sharedDisplayID() const { return m_sharedDisplayID; }
    bool autoHideEnabled() const { return m_autoHideEnabled; }
    const QSet<QString>& autoHideBundleIDs() const { return m_autoHideBundleIDs; }
    bool autoHideLocally() const { return m_autoHideLocally; }
    const std::optional<ScreenShareDetector::Source>& detectedShare() const { return m_detectedShare; }
    bool autoHideActive() const { return m_autoHideActive; }
    bool hideNotificationsOnShare() const { return m_hideNotificationsOnShare; }
    PanicMode panicMode() const { return m_panicMode; }
    const HotKeyCombo& panicShortcut() const { return m_panicShortcut; }
    bool panicShortcutAvailable() const { return m_panicShortcutAvailable; }
    bool sharePaused() const { return m_sharePaused; }
    bool hasScreenRecordingPermission() const { return m_hasScreenRecordingPermission; }
    bool isAuthenticated() const { return m_isAuthenticated; }
    bool authInProgress() const { return m_authInProgress; }
    const QString& authStatusMessage() const { return m_authStatusMessage; }
    bool isVirtualDisplayRunning() const { return m_isVirtualDisplayRunning; }
    const QString& virtualDisplayStatus() const { return m_virtualDisplayStatus; }
    bool virtualDisplayStatusIsError() const { return m_virtualDisplayStatusIsError; }
    const std::optional<QImage>& virtualDisplayPreviewImage() const { return m_virtualDisplayPreviewImage; }
    bool focusStageOnVirtualDisplay() const { return m_focusStageOnVirtualDisplay; }
    const QMap<QString, double>& pinnedTransparency() const { return m_pinnedTransparency; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool globalShortcutEnabled() const { return m_globalShortcutEnabled; }

    void setHiddenBundleIDs(const QSet<QString>& value);
    void setPinnedBundleIDs(const QSet<QString>& value);
    void setRunningApps(const QList<AppInfo>& value);
    void setWindowsByApp(const WindowsByApp& value);
    void setHiddenWindows(const WindowMap& value);
    void setPinnedWindows(const WindowMap& value);
    void setShareMasks(const QList<ShareMask>& value);
    void setCanUndoShareMaskRemoval(bool value);
    void setAvailableDisplays(const QList<DisplayInfo>& value);
    void setSharedDisplayID(const std::optional<quint32>& value);
    void setAutoHideEnabled(bool value);
    void setAutoHideBundleIDs(const QSet<QString>& value);
    void setAutoHideLocally(bool value);
    void setDetectedShare(const std::optional<ScreenShareDetector::Source>& value);
    void setAutoHideActive(bool value);
    void setHideNotificationsOnShare(bool value);
    void setPanicMode(PanicMode value);
    void setPanicShortcut(const HotKeyCombo& value);
    void setPanicShortcutAvailable(bool value);
    void setSharePaused(bool value);
    void setHasScreenRecordingPermission(bool value);
    void setIsAuthenticated(bool value);
    void setAuthInProgress(bool value);
    void setAuthStatusMessage(const QString& value);
    void setIsVirtualDisplayRunning(bool value);
    void setVirtualDisplayStatus(const QString& value);
    void setVirtualDisplayStatusIsError(bool value);
    void setVirtualDisplayPreviewImage(const std::optional<QImage>& value);
    void setFocusStageOnVirtualDisplay(bool value);
    void setPinnedTransparency(const QMap<QString, double>& value);
    void setLaunchAtLogin(bool value);
    void setGlobalShortcutEnabled(bool value);

    // Plain stored state.
    const QSet<QString>& autoVeiledBundleIDs() const { return m_autoVeiledBundleIDs; }
    const QSet<qint32>& autoHiddenLocallyPIDs() const { return m_autoHiddenLocallyPIDs; }
    int shareMissCount() const { return m_shareMissCount; }
    bool wasSharing() const { return m_wasSharing; }
    const QList<ShareMask>& removedShareMasks() const { return m_removedShareMasks; }
    const std::optional<QString>& browserReturnHost() const { return m_browserReturnHost; }
    const std::optional<QDateTime>& handoffRequestedAt() const { return m_handoffRequestedAt; }
    double offlineRetryDelay() const { return m_offlineRetryDelay; }

    // User-defaults keys.
    static inline const QString hiddenKey = QStringLiteral("hiddenBundleIDs");
    static inline const QString pinnedKey = QStringLiteral("pinnedBundleIDs");
    static inline const QString hiddenWindowsKey = QStringLiteral("hiddenWindowIDs");
    static inline const QString sharedDisplayKey = QStringLiteral("sharedDisplayID");
    static inline const QString autoHideEnabledKey = QStringLiteral("autoHideEnabled");
    static inline const QString autoHideListKey = QStringLiteral("autoHideBundleIDs");
    static inline const QString autoHideLocallyKey = QStringLiteral("autoHideLocally");
    static inline const QString autoVeiledKey = QStringLiteral("autoVeiledBundleIDs");
    static inline const QString autoHiddenLocallyKey = QStringLiteral("autoHiddenLocallyPIDs");
    static inline const QString hideNotificationsKey = QStringLiteral("hideNotificationsOnShare");
    static inline const QString panicModeKey = QStringLiteral("panicMode");
    static inline const QString panicShortcutKey = QStringLiteral("panicShortcut");
    static inline const QString pinnedWindowsKey = QStringLiteral("pinnedWindowIDs");
    static inline const QString shareMasksKey = QStringLiteral("shareMasks");
    static inline const QString pinnedTransparencyKey = QStringLiteral("pinnedTransparencyByApp");
    static inline const QString legacyPinnedTransparencyKey = QStringLiteral("pinnedWindowTransparency");
    static inline const QString focusStageKey = QStringLiteral("focusStageOnVirtualDisplay");
    static inline const QString globalShortcutKey = QStringLiteral("globalShortcutEnabled");
    static inline const QString legacyHideDockKey = QStringLiteral("hideDockOnVirtualDisplay");
    static inline const QString legacyHideMenuBarKey = QStringLiteral("hideMenuBarOnVirtualDisplay");

    // Account session constants.
    static inline const QString callbackScheme = QStringLiteral("veilmox");
    static inline const QString supabaseURLPlistKey = QStringLiteral("SUPABASE_URL");
    static inline const QString supabaseAnonKeyPlistKey = QStringLiteral("SUPABASE_ANON_KEY");
    static constexpr double jwtExpiryLeewaySeconds = 30.0;

    // The authenticated backend call and the access token it uses. The account code provides
    // them (installed by the application); until then both answer notConfigured.
    using SupabaseRPCError = ::SupabaseRPCError;
    void setBackendCalls(BackendCalls* calls);
    void validAccessToken(QObject* context, std::function<void(const AccessTokenResult&)> done);
    void callRPC(const QString& path,
                 const QString& method,
                 const std::optional<QJsonObject>& body,
                 QObject* context,
                 std::function<void(const RPCResult&)> done);

    // Apps never offered and dropped from every stored list of apps.
    static const QSet<QString>& excludedAppIDs();
    // Highest see-through level of a pinned app.
    static constexpr double maxPinnedTransparency = 0.85;

    // Window maps in the user defaults: decimal window number to bundle identifier.
    WindowMap decodeWindowMap(const QString& key) const;
    void encodeWindowMap(const WindowMap& map, const QString& key);
    // The current owner of each of these windows that still exists; none when the window server
    // could not answer at all.
    std::optional<WindowMap> currentWindowOwners(const QSet<quint32>& windowIDs) const;
    // A set of strings stored as an array of strings.
    void saveStringSet(const QSet<QString>& set, const QString& key);

    // System-wide hot keys: id 1 is ⇧⌘H, id 2 the panic shortcut.
    void registerGlobalShortcut();
    bool registerPanicShortcut();
    void suspendGlobalShortcut();

    // The hot-key actions.
    void toggleFrontmostAppHidden();
    void togglePanic();

    // Entry point of the application's callback URLs (scheme "veilmox").
    void handleCallbackURL(const QUrl& url);
    // One probe of the Screen Recording permission into `hasScreenRecordingPermission`.
    void refreshScreenRecordingPermission();
    // Reads the system's login-item state into `launchAtLogin`.
    void refreshLaunchAtLogin();

    const platform::Services& services() const { return m_services; }

    // Shell collaborators, installed by the application before start(); while one is absent
    // the calls meant for it are skipped. Not owned; they must outlive this object or be reset.
    void setAppDelegate(AppDelegateInterface* delegate) { m_appDelegate = delegate; }
    AppDelegateInterface* appDelegate() const { return m_appDelegate; }
    void setHUDPresenter(HUDPresenter* hud) { m_hud = hud; }
    HUDPresenter* hudPresenter() const { return m_hud; }

    // The pinned overlays, created with this object and kept for its whole life.
    SCOverlayController& pinnedWindowController() const { return *m_pinnedWindowController; }

    // Observed state. Lists are published only when they change, except runningApps, which is
    // published on every rebuild.
    void refreshDisplays();
    // The display a screen offers for mirroring; none for a screen without a display
    // identifier, for the running virtual display and for any screen named "Veilmox".
    static std::optional<DisplayInfo> displayInfo(const platform::Screen& screen,
                                                  std::optional<quint32> virtualDisplayID,
                                                  quint32 mainDisplayID);
    // Rebuilds runningApps, then refreshes the windows.
    void refreshRunningApps();
    // One window refresh: share detection, windowsByApp, then pruning of vanished windows.
    void refreshWindows();
    // Drops hidden and pinned windows and masks whose window is gone or now belongs to another
    // app, and saves what changed.
    void pruneVanishedWindows();
    // Hands the pinned sets to the overlays (empty sets while signed out).
    void syncPinnedOverlays();

    // Takes each refresh's share-detection result.
    void updateShareDetection(const std::optional<ScreenShareDetector::Source>& source);

    // Hiding and pinning. While signed out the toggles and hideApps change nothing.
    void toggleHidden(const QString& bundleID);
    void togglePinned(const QString& bundleID);
    void toggleWindowHidden(quint32 windowID, const QString& bundleID);
    void toggleWindowPinned(quint32 windowID, const QString& bundleID);
    void hideApps(const QSet<QString>& bundleIDs);
    // The see-through level of a pinned app, clamped to 0...0.85; 0 removes the app's entry.
    void setPinnedTransparency(double transparency, const QString& bundleID);
    // Puts an app on the auto-hide list or takes it off.
    void toggleAutoHide(bool listed, const QString& bundleID);

    // Hidden apps plus single hidden windows of apps not hidden whole.
    int veiledCount() const;
    int hiddenWindowCount(const QString& bundleID) const;
    int pinnedWindowCount(const QString& bundleID) const;
    bool hasPinnedContent(const QString& bundleID) const;
    bool isHidden(quint32 windowID, const QString& bundleID) const;
    bool isPinned(quint32 windowID, const QString& bundleID) const;

    // Saves both hidden sets and hands them on (status icon; counts 0 while signed out).
    void saveHiddenState();
    // Saves the automatic-hiding bookkeeping.
    void saveAutoHideState();
    // Saves the masks; a list that cannot be encoded is not written.
    void saveShareMasks();

signals:
    void hiddenBundleIDsChanged(const QSet<QString>& value);
    void pinnedBundleIDsChanged(const QSet<QString>& value);
    void runningAppsChanged(const QList<AppInfo>& value);
    void windowsByAppChanged(const WindowsByApp& value);
    void hiddenWindowsChanged(const WindowMap& value);
    void pinnedWindowsChanged(const WindowMap& value);
    void shareMasksChanged(const QList<ShareMask>& value);
    void canUndoShareMaskRemovalChanged(bool value);
    void availableDisplaysChanged(const QList<DisplayInfo>& value);
    void sharedDisplayIDChanged(const std::optional<quint32>& value);
    void autoHideEnabledChanged(bool value);
    void autoHideBundleIDsChanged(const QSet<QString>& value);
    void autoHideLocallyChanged(bool value);
    void detectedShareChanged(const std::optional<ScreenShareDetector::Source>& value);
    void autoHideActiveChanged(bool value);
    void hideNotificationsOnShareChanged(bool value);
    void panicModeChanged(PanicMode value);
    void panicShortcutChanged(const HotKeyCombo& value);
    void panicShortcutAvailableChanged(bool value);
    void sharePausedChanged(bool value);
    void hasScreenRecordingPermissionChanged(bool value);
    void isAuthenticatedChanged(bool value);
    void authInProgressChanged(bool value);
    void authStatusMessageChanged(const QString& value);
    void isVirtualDisplayRunningChanged(bool value);
    void virtualDisplayStatusChanged(const QString& value);
    void virtualDisplayStatusIsErrorChanged(bool value);
    void virtualDisplayPreviewImageChanged(const std::optional<QImage>& value);
    void focusStageOnVirtualDisplayChanged(bool value);
    void pinnedTransparencyChanged(const QMap<QString, double>& value);
    void launchAtLoginChanged(bool value);
    void globalShortcutEnabledChanged(bool value);

private:
    void loadStoredChoices();
    void loadPinnedTransparency();
    void loadFocusStage();
    void loadGlobalShortcutSetting();

    void subscribeToWorkspace();
    void handleAppLaunched(const platform::Notification& notification);
    void handleAppActivated(const platform::Notification& notification);
    void handleOverlayPermissionStatus(bool granted);
    void timerTick();
    // The identifier of the running virtual display, which is never offered as a source.
    std::optional<quint32> runningVirtualDisplayID() const;
    // Running regular apps that have a bundle identifier, by process identifier.
    QHash<platform::pid_type, QString> regularAppBundleIDsByPID() const;
    void savePinnedState();

    platform::UserDefaults& defaults() const { return *m_services.defaults; }
    GlobalHotKeyManager& hotKeyManager() const;

    platform::Services m_services;
    GlobalHotKeyManager* m_hotKeyManager = nullptr;
    bool m_started = false;

    QSet<QString> m_hiddenBundleIDs;
    QSet<QString> m_pinnedBundleIDs;
    QList<AppInfo> m_runningApps;
    WindowsByApp m_windowsByApp;
    WindowMap m_hiddenWindows;
    WindowMap m_pinnedWindows;
    QList<ShareMask> m_shareMasks;
    bool m_canUndoShareMaskRemoval = false;
    QList<DisplayInfo> m_availableDisplays;
    std::optional<quint32> m_sharedDisplayID;
    bool m_autoHideEnabled = false;
    QSet<QString> m_autoHideBundleIDs;
    bool m_autoHideLocally = false;
    std::optional<ScreenShareDetector::Source> m_detectedShare;
    bool m_autoHideActive = false;
    bool m_hideNotificationsOnShare = true;
    PanicMode m_panicMode = PanicMode::Freeze;
    HotKeyCombo m_panicShortcut = HotKeyCombo::defaultPanicShortcut();
    bool m_panicShortcutAvailable = true;
    bool m_sharePaused = false;
    bool m_hasScreenRecordingPermission = false;
    bool m_isAuthenticated = false;
    bool m_authInProgress = false;
    QString m_authStatusMessage;
    bool m_isVirtualDisplayRunning = false;
    QString m_virtualDisplayStatus;
    bool m_virtualDisplayStatusIsError = false;
    std::optional<QImage> m_virtualDisplayPreviewImage;
    bool m_focusStageOnVirtualDisplay = true;
    QMap<QString, double> m_pinnedTransparency;
    bool m_launchAtLogin = false;
    bool m_globalShortcutEnabled = true;

    QSet<QString> m_autoVeiledBundleIDs;
    QSet<qint32> m_autoHiddenLocallyPIDs;
    int m_shareMissCount = 0;
    bool m_wasSharing = false;
    std::vector<platform::Cancellable> m_cancellables;
    std::unique_ptr<SCOverlayController> m_pinnedWindowController;
    AppDelegateInterface* m_appDelegate = nullptr;
    HUDPresenter* m_hud = nullptr;
    QList<ShareMask> m_removedShareMasks;
    platform::TimerHandle m_windowRefreshTimer;
    std::optional<QDateTime> m_handoffRequestedAt;
    std::optional<QString> m_browserReturnHost;
    platform::TimerHandle m_sessionRetryTask;
    double m_offlineRetryDelay = 15.0;
    BackendCalls* m_backendCalls = nullptr;
};
