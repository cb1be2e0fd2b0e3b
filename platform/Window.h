#pragma once

#include "platform/Screens.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

struct Services;

// Who may capture a window's contents.
enum class WindowSharingType
{
    None = 0,     // never captured (still listed in the window list)
    ReadOnly = 1, // captured
    ReadWrite = 2
};

// Window levels used by this application.
inline constexpr qint64 kNormalWindowLevel = 0;
inline constexpr qint64 kFloatingWindowLevel = 3;
inline constexpr qint64 kMainMenuWindowLevel = 24;
inline constexpr qint64 kStatusWindowLevel = 25;

// Collection-behaviour flags (combined with |).
inline constexpr std::uint64_t kWindowCollectionBehaviorCanJoinAllSpaces = 1U << 0U;
inline constexpr std::uint64_t kWindowCollectionBehaviorMoveToActiveSpace = 1U << 1U;
inline constexpr std::uint64_t kWindowCollectionBehaviorManaged = 1U << 2U;
inline constexpr std::uint64_t kWindowCollectionBehaviorTransient = 1U << 3U;
inline constexpr std::uint64_t kWindowCollectionBehaviorStationary = 1U << 4U;
inline constexpr std::uint64_t kWindowCollectionBehaviorParticipatesInCycle = 1U << 5U;
inline constexpr std::uint64_t kWindowCollectionBehaviorIgnoresCycle = 1U << 6U;
inline constexpr std::uint64_t kWindowCollectionBehaviorFullScreenPrimary = 1U << 7U;
inline constexpr std::uint64_t kWindowCollectionBehaviorFullScreenAuxiliary = 1U << 8U;

inline constexpr std::uint64_t kWindowStyleMaskBorderless = 0;
inline constexpr std::uint64_t kWindowStyleMaskTitled = 1U << 0U;
inline constexpr std::uint64_t kWindowStyleMaskClosable = 1U << 1U;
inline constexpr std::uint64_t kWindowStyleMaskMiniaturizable = 1U << 2U;
inline constexpr std::uint64_t kWindowStyleMaskResizable = 1U << 3U;
inline constexpr std::uint64_t kWindowStyleMaskNonactivatingPanel = 1U << 7U;
inline constexpr std::uint64_t kWindowStyleMaskFullSizeContentView = 1U << 15U;

enum class WindowTitleVisibility
{
    Visible,
    Hidden
};

enum class BackingStoreType
{
    Retained = 0,
    Nonretained = 1,
    Buffered = 2
};

// This application's own windows as the window server knows them. A registered window is listed
// in the window list with this process as its owner and its content widget is drawn into the
// captures of the displays it lies on.
class AppWindowServer
{
public:
    virtual ~AppWindowServer() = default;

    // A new window, ordered out, drawn from `content` (which must outlive the registration).
    virtual quint32 registerWindow(QWidget* content, const QRectF& frame) = 0;
    virtual void unregisterWindow(quint32 number) = 0;
    virtual void setWindowFrame(quint32 number, const QRectF& frame) = 0;
    virtual void setWindowLevel(quint32 number, qint64 level) = 0;
    virtual void setWindowSharingType(quint32 number, WindowSharingType type) = 0;
    virtual void setWindowIgnoresMouseEvents(quint32 number, bool ignores) = 0;
    // 0 (invisible) to 1 (opaque).
    virtual void setWindowAlpha(quint32 number, double alpha) = 0;
    // On screen, in front of the other windows of its level.
    virtual void orderWindowFront(quint32 number) = 0;
    virtual void orderWindowOut(quint32 number) = 0;
    // The window's widgets were drawn again where they asked to be: `dirty`, in the window's
    // points from its top-left corner.
    virtual void windowContentChanged(quint32 /*number*/, const QRegion& /*dirty*/) {}
    // The window became this application's key window, the one typing goes to.
    virtual void setKeyWindow(quint32 /*number*/) {}
    // How the window becomes the key window when the user clicks it, or when the key window
    // leaves the screen and it is the frontmost of this application's: false when it cannot.
    virtual void setWindowKeyHandler(quint32 /*number*/, std::function<bool()> /*becomeKey*/) {}
};

// A view that shows one picture over a plain colour and nothing else (an image view). The window
// server composites that picture itself, scaled to whatever size it shows the window at, as it
// does a layer's contents, instead of having the view draw it first. The view still paints the
// same itself when asked to.
class LayerContentsView
{
public:
    struct Contents
    {
        QImage image;      // none: only the colour
        QRectF rect;       // where the picture lies, in the view's coordinates
        QColor background; // every pixel of the view that the picture leaves uncovered
        // When the view knows it: an earlier picture it showed (its cache key) and the pixels of
        // this one that differ from it, all others being the same. The window server then redraws
        // only those, as it does the damage a client reports with a new buffer.
        qint64 changedFrom = 0;
        std::optional<QRegion> changed;
    };

    virtual ~LayerContentsView() = default;
    virtual Contents layerContents() const = 0;
};

// Told when a window is about to close.
class WindowDelegate
{
public:
    virtual ~WindowDelegate() = default;
    virtual void windowWillClose() = 0;
};

// One window of this application. Its contents are a Qt widget tree (the content view fills the
// window); the window server places it by its frame in global points and its level. The widgets
// are never mapped on the host's own desktop: the window exists on the system's displays only,
// where the window server draws it when a picture of it is wanted, so Qt never paints it into a
// backing store of its own; a repaint the widgets ask for tells the window server instead.
// Main thread only.
class Window
{
public:
    Window(const Services& services,
           const QRectF& contentRect,
           std::uint64_t styleMask,
           BackingStoreType backing,
           bool defer,
           std::optional<Screen> screen = std::nullopt);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Takes ownership of the view, which then fills the window.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return m_contentView; }

    QRectF frame() const { return m_frame; }
    // The frame passes through constrainFrameRect() first.
    void setFrame(const QRectF& frame, bool display);
    // The frame the window accepts for a proposed one. By default a window is kept below the
    // menu bar of its screen.
    virtual QRectF constrainFrameRect(const QRectF& frame, const std::optional<Screen>& screen) const;

    void setOpaque(bool opaque);
    bool isOpaque() const { return m_opaque; }
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setHasShadow(bool hasShadow) { m_hasShadow = hasShadow; }
    bool hasShadow() const { return m_hasShadow; }
    void setSharingType(WindowSharingType type);
    WindowSharingType sharingType() const { return m_sharingType; }
    void setIgnoresMouseEvents(bool ignores);
    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }
    void setLevel(qint64 level);
    qint64 level() const { return m_level; }
    void setCollectionBehavior(std::uint64_t behavior) { m_collectionBehavior = behavior; }
    std::uint64_t collectionBehavior() const { return m_collectionBehavior; }
    void setDelegate(WindowDelegate* delegate) { m_delegate = delegate; }
    std::uint64_t styleMask() const { return m_styleMask; }
    const std::optional<Screen>& screen() const { return m_screen; }

    // The whole window's opacity, 0 to 1 (clamped; a non-finite value counts as 1).
    void setAlphaValue(double alpha);
    double alphaValue() const { return m_alpha; }

    // The title bar. A titled window with a close button shows it at the top-left corner over
    // its content (which fills the whole window when the title bar is transparent).
    void setTitle(const QString& title) { m_title = title; }
    QString title() const { return m_title; }
    void setTitleVisibility(WindowTitleVisibility visibility) { m_titleVisibility = visibility; }
    WindowTitleVisibility titleVisibility() const { return m_titleVisibility; }
    void setTitlebarAppearsTransparent(bool transparent) { m_titlebarTransparent = transparent; }
    bool titlebarAppearsTransparent() const { return m_titlebarTransparent; }
    void setMovableByWindowBackground(bool movable) { m_movableByBackground = movable; }
    bool isMovableByWindowBackground() const { return m_movableByBackground; }
    // Kept for the owner, which decides the window's lifetime here: a window is never freed by
    // closing it.
    void setReleasedWhenClosed(bool released) { m_releasedWhenClosed = released; }
    bool isReleasedWhenClosed() const { return m_releasedWhenClosed; }
    // Whether the window leaves the screen while its application is inactive. This system's
    // windows stay whatever the activation, so the flag is only kept.
    void setHidesOnDeactivate(bool hides) { m_hidesOnDeactivate = hides; }
    bool hidesOnDeactivate() const { return m_hidesOnDeactivate; }

    // Places the window centred horizontally and a little above the middle of its screen's
    // visible frame (the first screen when it has none).
    void center();

    void orderFrontRegardless();
    // Whether the window can be the key window (the one that takes typing): by default a window
    // with a title bar or a resize edge can, a borderless one cannot.
    virtual bool canBecomeKeyWindow() const;
    // Makes the window the key window when it can be one. A key window without a focused widget
    // gives the focus to its content view, when that takes focus.
    void makeKeyWindow();
    // Orders the window front and makes it the key window.
    void makeKeyAndOrderFront();
    bool isKeyWindow() const;
    // Takes the window off screen; a key window stops being key.
    void orderOut();
    // Tells the delegate, then takes the window off screen; a closed window stays closed until
    // it is ordered front again.
    void close();
    bool isVisible() const { return m_visible; }

    // The window server's number for this window; 0 when there is no window server.
    quint32 windowNumber() const { return m_number; }

    // The close button of a titled, closable window; null otherwise.
    QWidget* closeButton() const { return m_closeButton; }

private:
    void applyBackground();
    void addTitlebarButtons();

    class Root;

    AppWindowServer* m_server = nullptr;
    ScreenList* m_screens = nullptr;
    std::unique_ptr<Root> m_root;
    QPointer<QWidget> m_contentView;
    QRectF m_frame;
    std::uint64_t m_styleMask = 0;
    std::optional<Screen> m_screen;
    bool m_opaque = true;
    QColor m_backgroundColor = Qt::white;
    bool m_hasShadow = true;
    WindowSharingType m_sharingType = WindowSharingType::ReadOnly;
    bool m_ignoresMouseEvents = false;
    qint64 m_level = kNormalWindowLevel;
    std::uint64_t m_collectionBehavior = 0;
    WindowDelegate* m_delegate = nullptr;
    double m_alpha = 1.0;
    QString m_title;
    WindowTitleVisibility m_titleVisibility = WindowTitleVisibility::Visible;
    bool m_titlebarTransparent = false;
    bool m_movableByBackground = false;
    bool m_releasedWhenClosed = true;
    bool m_hidesOnDeactivate = false;
    QWidget* m_closeButton = nullptr;
    bool m_visible = false;
    bool m_closed = false;
    quint32 m_number = 0;
};

} // namespace platform
