#pragma once

#include "pip/PiPPlacement.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/Screens.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "shell/kit/AnimatedValue.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ShareMaskEditor;
class WindowManager;

// The floating panel of the picture-in-picture preview. It never becomes the key or the main
// window, so using it leaves the user's app in front.
class PiPPanel final : public platform::Window
{
public:
    using platform::Window::Window;

    bool canBecomeKeyWindow() const override { return false; }
    bool canBecomeMainWindow() const { return false; }
};

// The picture-in-picture controller: owns the floating preview panel, which is never captured and
// floats above all windows on every space. It docks the panel to a corner of a screen (never the
// "Veilmox" one when it chooses), moves it when dragged and flicked, keeps its settings in the user
// defaults and opens it while a detected share lasts when asked to. One shared instance lives from
// its first use to the end of the process; main thread only. Every published property emits its
// change signal on every assignment.
class PiPController final : public QObject
{
    Q_OBJECT

public:
    using Corner = PiPCorner;

    // Where a drag began: the mouse and the panel's origin at its first change.
    struct DragStart
    {
        QPointF mouse;
        QPointF origin;
    };

    // Reads the stored settings and follows the state object's detected share and the screens.
    // Nothing is shown.
    PiPController(const platform::Services& services,
                  WindowManager& windowManager,
                  ShareMaskEditor& maskEditor,
                  QObject* parent = nullptr);
    ~PiPController() override;
    PiPController(const PiPController&) = delete;
    PiPController& operator=(const PiPController&) = delete;

    // The process-wide instance, made on first use over the shared state object and mask editor.
    static PiPController& shared();

    // User-defaults keys.
    static inline const QString visibleKey = QStringLiteral("pipVisible");
    static inline const QString expandedKey = QStringLiteral("pipExpanded");
    static inline const QString cornerKey = QStringLiteral("pipCorner");
    static inline const QString displayKey = QStringLiteral("pipDisplayID");
    static inline const QString autoShowKey = QStringLiteral("pipAutoShowOnShare");

    // Published properties.
    bool isVisible() const { return m_isVisible; }
    bool isExpanded() const { return m_isExpanded; }
    bool isPresented() const { return m_isPresented; }
    Corner corner() const { return m_corner; }
    bool autoShowOnShare() const { return m_autoShowOnShare; }
    void setIsVisible(bool value);
    void setIsExpanded(bool value);
    void setIsPresented(bool value);
    void setCorner(Corner value);
    void setAutoShowOnShare(bool value);

    // The panel; null until the first show, then kept.
    PiPPanel* panel() const { return m_panel.get(); }
    // The display the user last docked the panel on.
    std::optional<quint32> displayID() const { return m_displayID; }
    QSizeF contentSize() const { return m_contentSize; }
    const std::optional<DragStart>& dragStart() const { return m_dragStart; }
    const QList<PiPPlacement::DragSample>& dragSamples() const { return m_dragSamples; }
    bool isFrameAnimating() const { return m_frameAnimation != nullptr; }
    // True while the panel is open because a detected share opened it; every show or hide the
    // user asks for clears it first.
    bool openedBySharing() const { return m_openedBySharing; }
    void setOpenedBySharing(bool value) { m_openedBySharing = value; }

    WindowManager& windowManager() const { return m_windowManager; }
    ShareMaskEditor& maskEditor() const { return m_maskEditor; }
    const platform::Services& services() const { return m_services; }

    // Makes the panel on first use, records it as shown, places it at its corner unless it is
    // still on screen, and fades it in. Without any screen it is placed at the next screen change.
    void show();
    // Records the panel as hidden and fades it out; nothing without a panel.
    void hide();

    // The view's measured size; empty and unchanged sizes are ignored. A shown panel springs back
    // into its corner with the new size.
    void contentSizeChanged(const QSizeF& size);
    // The view's drag: each change follows the mouse, the end flicks the panel to a corner.
    void dragChanged();
    void dragEnded();

    // The screen to dock on, passing over the "Veilmox" display: the saved display when it is
    // connected, else the main screen, else the first other screen. None without such a screen.
    std::optional<platform::Screen> targetScreen() const;
    // The panel's frame at a corner of a screen's visible frame.
    QRectF frame(Corner corner, const platform::Screen& screen) const;

    // Motion (the arithmetic is in PiPPlacement).
    QPointF releaseVelocity() const;
    void snapToCorner(bool animated, QPointF velocity);
    void animateFrame(const QRectF& target, QPointF velocity, double dampingRatio);
    void stopFrameAnimation();
    void stepFrameAnimation();
    QPointF clampOrigin(QPointF origin, const QRectF& visibleFrame) const;

    // Reactions to the state object and to the screens (delivered on a later turn).
    void shareStateChanged(bool isDetected);
    void screensChanged();

    static constexpr QSizeF kContentSize{320, 300};
    static constexpr qint64 kPanelLevel = 1001;
    // The fade in; the fade out is shorter.
    static constexpr double kFadeDuration = 0.22;
    static constexpr double kHideFadeDuration = 0.16;
    // The spring is stepped at the display's refresh rate.
    static constexpr double kFrameInterval = 1.0 / 60;

signals:
    void isVisibleChanged(bool value);
    void isExpandedChanged(bool value);
    void isPresentedChanged(bool value);
    void cornerChanged(PiPCorner value);
    void autoShowOnShareChanged(bool value);

private:
    struct FrameAnimation;

    void makePanel();
    platform::Scheduler& scheduler() const;
    QList<platform::Screen> screens() const;
    // The first screen whose frame holds the point, else the target screen.
    std::optional<platform::Screen> screenContaining(QPointF point) const;
    void setPanelOrigin(QPointF origin);
    void hideFinished();

    platform::Services m_services;
    WindowManager& m_windowManager;
    ShareMaskEditor& m_maskEditor;
    bool m_isVisible = false;
    bool m_isExpanded = true;
    bool m_isPresented = false;
    Corner m_corner = Corner::BottomRight;
    bool m_autoShowOnShare = true;
    std::unique_ptr<PiPPanel> m_panel;
    std::optional<quint32> m_displayID;
    QSizeF m_contentSize = kContentSize;
    std::optional<DragStart> m_dragStart;
    QList<PiPPlacement::DragSample> m_dragSamples;
    std::unique_ptr<FrameAnimation> m_frameAnimation;
    bool m_openedBySharing = false;
    bool m_shareDetected = false;
    std::vector<platform::Cancellable> m_cancellables;
    kit::AnimatedValue m_alpha;
    platform::TimerHandle m_hideCompletion;
};
