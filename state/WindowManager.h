#pragma once

#include "capture/SCOverlayController.h"
#include "capture/ScreenShareDetector.h"
#include "capture/ShareMask.h"
#include "capture/ShareMaskStore.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/Screens.h"
#include "platform/Services.h"
#include "state/AccountSession.h"
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
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class GlobalHotKeyManager;
class ShareMaskEditor;
class VirtualDisplayManager;

// The one observable state object: what the user has chosen (hidden and pinned apps and windows,
// masks, auto-hide, panic and hot-key settings, the shared display, pinned transparencies) and
// what the system observes (displays, apps, windows, a detected share, permission, the virtual
// display's status). Lives on the main thread for the life of the process; every published
// property emits its change signal on every assignment, also when the value is unchanged. It is
// the mask editor's store of masks.
class WindowManager final
    : public QObject
    , public ShareMaskStore
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
    // enumeration of apps and windows, the one-second window refresh, the pinned overlays, the
    // login-item state, the hot keys, the saved session and the permission probe. Only the first
    // call acts.
    void start();
    bool isStarted() const { return m_started; }

    // Published properties.
    const QSet<QString>& hiddenBundleIDs() const { return m_hiddenBundleIDs; }
    const QSet<QString>& pinnedBundleIDs() const { return m_pinnedBundleIDs; }
    const QList<AppInfo>& runningApps() const { return m_runningApps; }
    const WindowsByApp& windowsByApp() const { return m_windowsByApp; }
    const WindowMap& hiddenWindows() const { return m_hiddenWindows; }
    const WindowMap& pinnedWindows() const { return m_pinnedWindows; }
    const QList<ShareMask>& shareMasks() const override { return m_shareMasks; }
    bool canUndoShareMaskRemoval() const override { return m_canUndoShareMaskRemoval; }
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

    // Plain stored state.
    const QSet<QString>& autoVeiledBundleIDs() const { return m_autoVeiledBundleIDs; }
    const QSet<qint32>& autoHiddenLocallyPIDs() const { return m_autoHiddenLocallyPIDs; }
    int shareMissCount() const { return m_shareMissCount; }
    bool wasSharing() const { return m_wasSharing; }
    const QList<ShareMask>& removedShareMasks() const { return m_removedShareMasks; }
    const std::optional<QString>& browserReturnHost() const { return m_browserReturnHost; }
    const std::optional<QDateTime>& handoffRequestedAt() const { return m_handoffRequestedAt; }
    // The wait before the next offline retry of the saved session, 15 to 300 seconds.
    double offlineRetryDelay() const { return m_offlineRetryDelay; }
    // Set by the start of the browser sign-in (the host "auth" and when it was asked for).
    void setBrowserReturnHost(const std::optional<QString>& host) { m_browserReturnHost = host; }
    void setHandoffRequestedAt(const std::optional<QDateTime>& date) { m_handoffRequestedAt = date; }
    // Kept within 15...300 seconds.
    void setOfflineRetryDelay(double seconds);
    static constexpr double shortestOfflineRetryDelay = 15.0;
    static constexpr double longestOfflineRetryDelay = 300.0;

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

    // Entry point of the application's callback URLs (scheme "veilmox", compared without regard
    // to case): raises the onboarding window when the awaited browser hand-off returns, gives
    // the focus back to the browser for any other callback while one is awaited, and passes
    // "auth" callbacks to the account session.
    void handleCallbackURL(const QUrl& url);
    // Reads the system's login-item state into `launchAtLogin`.
    void refreshLaunchAtLogin();

    // The account session, installed by the application before start(). Without one the saved
    // session is never validated (signed out, "Sign in required") and sign-in callbacks are
    // dropped. Not owned.
    void setAccountSession(AccountSession* session) { m_accountSession = session; }
    AccountSession* accountSession() const { return m_accountSession; }
    void validateSavedSession();
    void handleAuthCallback(const QUrl& url);
    // The popover's and the onboarding's sign-in and sign-out buttons; nothing without a session.
    void startBrowserSignIn();
    void signOut();
    // Aligns the system with the signed-in state: the pinned overlays, the virtual display (started
    // while signed in, stopped with the pause lifted while signed out) and the status icon.
    void applySessionState();

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

    // Takes each refresh's share-detection result: a share starts at once and ends at the second
    // refresh in a row without an indicator.
    void updateShareDetection(const std::optional<ScreenShareDetector::Source>& source);
    // Brings the automatic hiding in line with detectedShare and autoHideEnabled; the popover's
    // auto-hide switches call it after changing autoHideEnabled.
    void reconcileAutoHide();
    // Unhides the processes an automatic hiding hid on this Mac, then forgets them.
    void unhideLocallyHiddenApps();

    // The virtual display's manager, present from a start to the stop or the display's own end.
    VirtualDisplayManager* virtualDisplayManager() const { return m_virtualDisplayManager.get(); }
    // Signed out: only a status line. Otherwise creates the manager with the current choices and
    // starts it; a start that fails at once leaves no manager and keeps its error line.
    void startVirtualDisplay();
    // Stops the display and clears its published state; works signed in or not.
    void stopVirtualDisplay();
    // Writes the manager's output from sharePaused and panicMode: live, frozen, or the cover
    // (frozen when the cover cannot be rendered).
    void applyPanicOutput();
    // Sets the pause, applies it, and shows its toast when asked. (The one-argument form only
    // publishes the property.)
    void setSharePaused(bool paused, bool showHUD);
    // The size the cover is rendered at when the mirrored display's size is unknown.
    static constexpr QSizeF coverFallbackSize() { return {1512, 982}; }

    // Settings. Each writes its user-defaults value at once and hands the value to a running
    // virtual display.
    // The saved display when it is connected, else the first available one.
    std::optional<quint32> effectiveSharedDisplayID() const;
    void selectSharedDisplay(quint32 displayID);
    void toggleFocusStage();
    // Masks, with a one-step undo of the last removal or clearing.
    void addShareMask(const ShareMask& mask) override;
    // Replaces the mask with the same id in place; nothing when there is none.
    void updateShareMask(const ShareMask& mask) override;
    void removeShareMask(const QUuid& id) override;
    void clearShareMasks() override;
    void undoShareMaskRemoval() override;
    // Follows shareMasksChanged and canUndoShareMaskRemovalChanged.
    void observeShareMasks(QObject* context, std::function<void()> handler) override;
    // Signed in, with a display to share: closes the popover and opens the mask editor over it.
    void openShareMaskEditor();
    // The editor openShareMaskEditor() opens; the process-wide one unless another is set. Not
    // owned.
    void setShareMaskEditor(ShareMaskEditor* editor) { m_shareMaskEditor = editor; }
    // Registers or unregisters the login item as needed, then shows the system's real state.
    void setLaunchAtLogin(bool on);
    void setGlobalShortcutEnabled(bool on);
    // False (and nothing changes) for ⇧⌘H and for a combination without ⌃, ⌥ or ⌘; also false
    // when the system refuses the combination, in which case the previous one is registered
    // again.
    bool setPanicShortcut(const HotKeyCombo& combo);
    // While paused, switches the shown picture at once.
    void setPanicMode(PanicMode mode);

    // The Screen Recording permission: one shareable-content request per call, answered later
    // on the main thread (never after this object is gone).
    void checkScreenCapturePermission(std::function<void(bool granted)> done);
    // One probe into hasScreenRecordingPermission.
    void refreshScreenRecordingPermission();
    // Opens the System Settings pane, then probes once 0.5 s later.
    void openScreenRecordingSettings();
    void openScreenRecordingPane();
    // Resets the permission with the system tool (waited for at most
    // permissionResetTimeoutSeconds), then opens the pane.
    void resetScreenRecordingPermission();
    // On a later turn, has the shell forget the completed onboarding and show it again.
    void replayOnboarding();

    static inline const QString screenRecordingPaneURL =
        QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture");
    static constexpr double permissionResetTimeoutSeconds = 10.0;

    // Hiding and pinning. While signed out the toggles and hideApps change nothing; hideApps
    // leaves out the apps that are never offered (excludedAppIDs).
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

    // Publishing only, for loading and for the setting operations of the same names.
    void publishPanicMode(PanicMode value);
    void publishPanicShortcut(const HotKeyCombo& value);
    void publishLaunchAtLogin(bool value);
    void publishGlobalShortcutEnabled(bool value);

    void handleShareStarted();
    void handleShareEnded();
    void showToast(const QString& title, bool isVeiled, const std::optional<QString>& subtitle);

    // Whether a report comes from the manager that is current now; a late one from a manager
    // already stopped or replaced must not touch the newer one's state.
    bool isCurrentManager(const VirtualDisplayManager* manager) const;
    void installVirtualDisplayHandlers(VirtualDisplayManager& manager);
    void handleVirtualDisplayClosed();
    // Drops the manager on a later turn: it may be calling us right now.
    void retireVirtualDisplayManager(std::unique_ptr<VirtualDisplayManager> manager);
    void handleScreenRecordingPermission(bool granted);

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
    double m_offlineRetryDelay = shortestOfflineRetryDelay;
    BackendCalls* m_backendCalls = nullptr;
    AccountSession* m_accountSession = nullptr;
    ShareMaskEditor* m_shareMaskEditor = nullptr;
    std::unique_ptr<VirtualDisplayManager> m_virtualDisplayManager;
    std::vector<std::unique_ptr<VirtualDisplayManager>> m_retiredManagers;
};
