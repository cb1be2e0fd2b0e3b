#pragma once

#include "platform/Application.h"
#include "platform/Events.h"
#include "platform/FileManager.h"
#include "platform/KeyEvent.h"
#include "platform/Screens.h"
#include "platform/SystemBeep.h"
#include "platform/Window.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QKeyEvent;

namespace platform::sim {

class SimHotKeySystem;

// A desktop held in memory: displays, running applications and the window server's windows in
// front-to-back order. The application runs against one; a test builds one in a few lines. The
// application's own windows register here too, drawn from their widgets.
class SimDesktop final
    : public Workspace
    , public ScreenList
    , public WindowServer
    , public AppWindowServer
    , public Events
    , public Application
    , public FileManager
    , public SystemBeep
{
public:
    struct DisplaySpec
    {
        QString name = QStringLiteral("Built-in Display");
        QRectF frame{0, 0, 1512, 982};
        double backingScale = 2.0;
        std::optional<quint32> id;   // assigned when absent
        bool hasScreenNumber = true; // false: the screen's description lacks "NSScreenNumber"
        QColor desktopColor = QColor(0x1f, 0x3b, 0x5c); // the wallpaper
    };

    struct AppSpec
    {
        std::optional<QString> bundleID;
        std::optional<QString> name;
        ActivationPolicy policy = ActivationPolicy::Regular;
        QImage icon;
        std::optional<pid_type> pid; // assigned when absent
    };

    struct WindowSpec
    {
        // A part of a synthetic window's content in another colour, relative to its top-left
        // corner, so that a test can tell exactly which pixels of a picture came from it.
        struct Patch
        {
            QRectF rect;
            QColor color;
        };

        pid_type owner = 0;
        std::optional<QString> title;
        QRectF bounds{100, 100, 800, 600};
        qint64 layer = 0;
        std::optional<double> alpha = 1.0; // none: the description has no alpha entry
        bool onScreen = true;
        qint64 sharingState = 1;
        QColor color = QColor(0x80, 0x80, 0x80); // synthetic content: this colour and the title
        QList<Patch> patches;                    // drawn over the colour, under the title
        std::optional<quint32> number;           // assigned when absent; may reuse a freed number
        QPointer<QWidget> content;               // this application's windows: drawn from the widget
        bool ignoresMouseEvents = false;
        // How one of this application's windows becomes the key window; none: it never does.
        std::function<bool()> becomeKey;
    };

    // Scrolling, in the terms of a wheel event: the wheel's turn in eighths of a degree, the
    // distance a touchpad moved in points, the gesture's phase and the modifiers held.
    struct ScrollEvent
    {
        QPoint angleDelta;
        QPointF pixelDelta;
        Qt::ScrollPhase phase = Qt::NoScrollPhase;
        bool inverted = false;
        Qt::KeyboardModifiers modifiers;
    };

    // An application installed on disk, whether or not it runs: where its bundle lies, the name
    // the file browser shows for that path and the icon of the file.
    struct InstalledAppSpec
    {
        QString bundleID;
        QString path;
        QString displayName;
        QImage icon;
    };

    // `ownBundleID` names this program's own process, which runs as an accessory application.
    explicit SimDesktop(const QString& ownBundleID = QStringLiteral("getveilmox.Veilmox"));
    ~SimDesktop() override;
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // Displays. The first added display is the main one until another is chosen.
    quint32 addDisplay();
    quint32 addDisplay(const DisplaySpec& setup);
    // A display published by an application (a virtual one), listed like the others; what it
    // shows is what a capture of it sends on.
    quint32 addVirtualDisplay(const DisplaySpec& setup);
    bool isVirtualDisplay(quint32 displayID) const;
    void removeDisplay(quint32 displayID);
    void setMainDisplay(quint32 displayID);
    void setMenuBarHeight(double height);
    // A fresh identifier for a display that will be added later.
    quint32 allocateDisplayID();
    QList<quint32> displayIDs() const;
    std::optional<DisplaySpec> display(quint32 displayID) const;

    // The Screen Recording permission of this process; granted unless a test denies it.
    void setScreenRecordingPermission(bool granted) { m_screenRecordingPermission = granted; }
    bool screenRecordingPermission() const { return m_screenRecordingPermission; }

    // Applications. Launching, terminating and activating post the workspace notifications;
    // activating another app first posts the deactivation of the one that was frontmost.
    // Activating an app that was not frontmost shows it and brings its front window (or all of
    // its windows, in their order) in front of other apps' windows on their levels. A
    // background-only (prohibited) app is never activated. Returns whether the app was activated.
    pid_type launchApp(const AppSpec& setup);
    pid_type launchApp(const QString& bundleID, const QString& name);
    void terminateApp(pid_type pid);
    bool activateApp(pid_type pid, RunningApplication::ActivationOptions options = {});

    // Installed applications; installing one under a known bundle identifier replaces it.
    void installApp(const InstalledAppSpec& setup);
    void uninstallApp(const QString& bundleID);
    // Lookups of installed applications, their icons and display names so far.
    int applicationLookupCount() const { return m_applicationLookups; }
    int iconLookupCount() const { return m_iconLookups; }
    int displayNameLookupCount() const { return m_displayNameLookups; }

    // Alert sounds played so far.
    int beepCount() const { return m_beeps; }

    // Windows. A new window is placed in front of all others.
    quint32 addWindow(const WindowSpec& setup);
    quint32
    addWindow(pid_type owner, const QString& title, const QRectF& bounds = QRectF(100, 100, 800, 600));
    void removeWindow(quint32 number);
    void setWindowBounds(quint32 number, const QRectF& bounds);
    void setWindowOnScreen(quint32 number, bool onScreen);
    void setWindowTitle(quint32 number, const std::optional<QString>& title);
    void orderFront(quint32 number);
    // Entries merged into a window's description (an invalid value removes the entry), for
    // descriptions with missing or mistyped entries.
    void overrideDescription(quint32 number, const QVariantMap& entries);
    std::optional<WindowSpec> window(quint32 number) const;
    // Front to back: higher levels first, then the order within a level.
    QList<quint32> windowOrder() const;
    // On screen: not ordered out, minimised or hidden with its app.
    bool isWindowOnScreen(quint32 number) const;
    // The windows in windowOrder() with their setups and whether each is on screen, worked out
    // once per generation() and valid until the desktop next changes: for drawing, where a lookup
    // per window adds up.
    struct OrderedWindow
    {
        quint32 number = 0;
        const WindowSpec* setup = nullptr;
        bool onScreen = false;
    };
    const std::vector<OrderedWindow>& orderedWindows() const;

    // A number that changes with everything the window server lists or draws (windows, apps,
    // displays), except what this application's windows show: equal numbers, the same desktop.
    // Pictures of the desktop are kept by it.
    quint64 generation() const;
    // Changes whenever one of this application's windows asks to be drawn again, and the
    // window's own count with it (0 for other windows).
    quint64 contentGeneration() const;
    quint64 windowContentVersion(quint32 number) const;
    // Where one of this application's windows was repainted (in its own points) since it was at
    // content version `version`; none when the desktop no longer knows.
    std::optional<QRegion> windowRepaintSince(quint32 number, quint64 version) const;
    // What each change of what the window server draws touched, in global points: a window
    // moved, resized, ordered, shown, hidden or retitled, or its content drawn again. Counted by
    // a serial number. A window's content is one region unless it shows a picture that a
    // screenshot of this desktop handed out, whose changed pixels the screenshot told. Changes of
    // the stacking count as they stand when a picture is drawn, which takes damageSerial() then:
    // where a window now lies on the other side of another than in the last picture, so that
    // windows ordered in front by turns, ending as they began, draw nothing.
    quint64 damageSerial() const;
    // Which windows' own changes a picture can show. A capture leaves out the windows its filter
    // leaves out and, unlike a person looking at a display, those whose sharing type is none.
    struct DamageScope
    {
        std::function<bool(quint32 number, pid_type owner)> shows; // none: every window
        bool captured = false;
    };
    // The region touched by the changes after `serial` that the scope shows; none when that
    // reaches back further than the desktop remembers, or when the displays themselves changed:
    // then everything was.
    std::optional<QRegion> damageSince(quint64 serial, const DamageScope& scope) const;
    std::optional<QRegion> damageSince(quint64 serial) const;
    // A screenshot's picture, known by its cache key, differs from the one handed out before it
    // (`previousKey`) only in these pixels (none: anywhere). Kept for the last few pictures.
    void notePictureDamage(qint64 key, qint64 previousKey, std::optional<QRegion> pixels);
    // The pixels in which picture `to` differs from the earlier picture `from`; none when they
    // are not known to be two pictures of one series.
    std::optional<QRegion> pictureDamage(qint64 from, qint64 to) const;

    // The repaints this application's windows asked for so far, taken now, as a window server
    // takes what its clients drew when it composes: from here on they count as changes.
    void passOnRepaints();

    // Calls `observer` at once after every change of either number.
    [[nodiscard]] Cancellable addChangeObserver(std::function<void()> observer);

    // Failures of the window server, told apart from empty answers.
    void setWindowListFails(bool fails) { m_windowListFails = fails; }
    void setDescriptionQueryFails(bool fails) { m_descriptionQueryFails = fails; }
    int windowListQueryCount() const { return m_windowListQueries; }
    int descriptionQueryCount() const { return m_descriptionQueries; }

    pid_type ownProcessIdentifier() const;

    // Pointer input, as the desktop viewer (or a test) gives it, in global points. A mouse-down
    // first reaches the mouse-down monitors, then the frontmost on-screen window under the
    // pointer that takes mouse events: one of this application's windows gets it in its widget
    // under the pointer (which then also gets the moves and the mouse-up, even when the
    // activation the press made put another window in front of it), another app's window brings
    // that app to the front. Without a button held, moves enter and leave the widgets of
    // this application's windows under the pointer.
    void mouseMoved(QPointF location);
    void mouseDown(QPointF location);
    void mouseUp(QPointF location);
    // The pointer went off every display (out of the viewer's picture): what was under it is
    // left, innermost first, until a move brings it back. A drag under way goes on.
    void mouseExited();
    // An input event from outside the displays (a click on the host's tray icon): numbered like
    // the others and handled by `handle`.
    void dispatchEvent(const std::function<void()>& handle);
    // The frontmost on-screen window at the location that takes mouse events.
    std::optional<quint32> windowAt(QPointF location) const;

    // Keyboard input, as the desktop viewer (or a test) gives it. A key-down of a combination
    // held as a system-wide hot key goes to the hot-key system, which then also takes that key's
    // repeats and its release. Every other key-down, key-up and modifier change goes to the
    // frontmost application; to this one as a Qt key event for the focused widget of its key
    // window (for the window itself when nothing in it has the focus, and for its key monitors
    // alone when no window is key).
    void keyEvent(const QKeyEvent& event);
    // The hot keys that take their combinations from the keyboard first.
    void setHotKeySystem(SimHotKeySystem* hotKeys) { m_hotKeys = hotKeys; }
    // This application's key window; 0 when none is on screen.
    quint32 keyWindow() const;
    // The application the last key event went to; 0 when none took it.
    pid_type lastKeyRecipient() const { return m_lastKeyRecipient; }
    // Scrolling with the pointer at a location in global points goes to the window under it; in
    // one of this application's windows to the widget under the pointer, then up its parents
    // until one takes it.
    void scrollWheel(QPointF location, const ScrollEvent& scroll);

    // Workspace
    QList<RunningApplicationRef> runningApplications() const override;
    RunningApplicationRef frontmostApplication() const override;
    RunningApplicationRef runningApplication(pid_type processIdentifier) const override;
    pid_type currentProcessIdentifier() const override { return ownProcessIdentifier(); }
    NotificationCenter& notificationCenter() override { return m_workspaceCenter; }
    bool openURL(const QUrl& url) override;
    void openURLWithCompletion(const QUrl& url, std::function<void(bool opened)> done) override;
    std::optional<QString> bundleIdentifierOfApplicationToOpen(const QUrl& url) const override;
    std::optional<QUrl> urlForApplicationWithBundleIdentifier(const QString& bundleIdentifier) const override;
    QImage iconForFile(const QString& path) const override;

    // URLs handed to the workspace, in order.
    QList<QUrl> openedURLs() const { return m_openedURLs; }
    // Which application opens URLs of a scheme ("https", "x-apple.systempreferences", …).
    void setDefaultApplication(const QString& scheme, const QString& bundleID);
    // Called with every opened URL, for a desktop that forwards some of them to the real system;
    // false when it could not open the URL (no browser), which openURL() then answers.
    void setURLOpenedHandler(std::function<bool(const QUrl&)> handler);
    // The same for a system that tells later whether it opened the URL (it calls the function it
    // is given exactly once); openURL() answers true once the URL is handed on.
    using URLOpener = std::function<void(const QUrl&, std::function<void(bool opened)>)>;
    void setURLOpener(URLOpener opener) { m_urlOpened = std::move(opener); }

    // ScreenList
    QList<Screen> screens() const override;
    double menuBarHeight() const override { return m_menuBarHeight; }
    NotificationCenter& defaultCenter() override { return m_defaultCenter; }

    // WindowServer
    std::optional<QList<WindowDescription>> copyWindowInfo(std::uint32_t options,
                                                           std::uint32_t relativeToWindow) const override;
    std::optional<QList<WindowDescription>>
    createDescriptionFromArray(const QList<std::uint32_t>& windowIDs) const override;
    std::uint32_t mainDisplayID() const override { return m_mainDisplay; }
    QRectF displayBounds(std::uint32_t displayID) const override;

    // Events
    QPointF mouseLocation() const override { return m_mouseLocation; }
    quint64 currentEventNumber() const override { return m_eventNumber; }
    Cancellable addMouseDownMonitor(std::function<void(QPointF)> monitor) override;

    // Application: this program's own process.
    ActivationPolicy activationPolicy() const override;
    bool setActivationPolicy(ActivationPolicy policy) override;
    void activate(bool ignoringOtherApps) override;
    bool isActive() const override;
    // Counts the request and passes it to the handler, which ends the real process when the
    // desktop runs inside the application.
    void terminate() override;
    int terminateRequests() const { return m_terminateRequests; }
    void setTerminateHandler(std::function<void()> handler) { m_terminate = std::move(handler); }

    // FileManager: an installed application's display name, else the file's own name.
    QString displayNameAtPath(const QString& path) const override;

    // SystemBeep: counted, and sounded on the host.
    void beep() override;

    // AppWindowServer
    quint32 registerWindow(QWidget* content, const QRectF& frame) override;
    void unregisterWindow(quint32 number) override { removeWindow(number); }
    void setWindowFrame(quint32 number, const QRectF& frame) override { setWindowBounds(number, frame); }
    void setWindowLevel(quint32 number, qint64 level) override;
    void setWindowSharingType(quint32 number, WindowSharingType type) override;
    void setWindowIgnoresMouseEvents(quint32 number, bool ignores) override;
    void orderWindowFront(quint32 number) override;
    void orderWindowOut(quint32 number) override { setWindowOnScreen(number, false); }
    void setWindowAlpha(quint32 number, double alpha) override;
    void windowContentChanged(quint32 number, const QRegion& dirty) override;
    void setKeyWindow(quint32 number) override { m_keyWindow = number; }
    void setWindowKeyHandler(quint32 number, std::function<bool()> becomeKey) override;

    struct State;

private:
    // Descriptions are kept until something in them changes: the window list is read at every
    // capture.
    WindowDescription describe(quint32 number) const;
    WindowDescription makeDescription(quint32 number) const;
    void postScreenChange();
    // The region (global points) a repaint of one of this application's windows touched.
    QRegion contentDamage(quint32 number, const QRegion& dirty);
    void postWorkspace(const QString& name, pid_type pid);
    void bringWindowsForward(pid_type pid, bool allWindows);
    void sendMouse(QWidget* target, QEvent::Type type, QPointF location);
    // The widget of one of this application's windows under the pointer, with where the location
    // lies in its window's root.
    QWidget* ownWidgetAt(QPointF location, QPointF* inRoot = nullptr) const;
    // The same within one of this application's windows, whatever lies in front of it.
    QWidget* widgetIn(quint32 number, QPointF location, QPointF* inRoot = nullptr) const;
    void updateHover(QPointF location);
    // Leaves what is hovered and not in `now`, then enters what is new there (outermost first);
    // `inRoot` is where the pointer lies in their window's root.
    void setHovered(const QList<QPointer<QWidget>>& now, QPointF inRoot, QPointF location);
    // The key window left the screen: the frontmost of this application's windows that can be
    // key becomes key, as a window server does.
    void passKeyOn();
    bool takenByHotKey(const KeyEvent& key);
    void sendKeyToThisApplication(const QKeyEvent& event);

    std::shared_ptr<State> m_state;
    NotificationCenter m_workspaceCenter;
    NotificationCenter m_defaultCenter;
    QList<QUrl> m_openedURLs;
    QMap<QString, QString> m_defaultApplications;
    URLOpener m_urlOpened;
    QList<InstalledAppSpec> m_installedApps;
    mutable int m_applicationLookups = 0;
    mutable int m_iconLookups = 0;
    mutable int m_displayNameLookups = 0;
    int m_beeps = 0;
    std::function<void()> m_terminate;
    int m_terminateRequests = 0;
    double m_menuBarHeight = 24;
    quint32 m_mainDisplay = 0;
    bool m_windowListFails = false;
    bool m_descriptionQueryFails = false;
    bool m_screenRecordingPermission = true;
    mutable int m_windowListQueries = 0;
    mutable int m_descriptionQueries = 0;
    QPointF m_mouseLocation;
    quint64 m_eventNumber = 0;
    NotificationCenter m_mouseDownMonitors;
    QPointer<QWidget> m_mouseGrabber;   // the widget that took the last mouse-down
    QList<QPointer<QWidget>> m_hovered; // under the pointer, outermost first
    QRectF m_grabberWindowBounds;
    QSizeF m_grabberRootSize;
    SimHotKeySystem* m_hotKeys = nullptr;
    QSet<std::uint16_t> m_keysTakenByHotKeys; // down now
    quint32 m_keyWindow = 0;
    pid_type m_lastKeyRecipient = 0;
    quint64 m_lastKeyTimestamp = 0;
    // Takes this application's key events while none of its windows is key, so that its key
    // monitors still see them.
    QObject m_windowlessKeyReceiver;
};

} // namespace platform::sim
