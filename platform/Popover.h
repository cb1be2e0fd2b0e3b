#pragma once

#include "platform/NotificationCenter.h"
#include "platform/Services.h"
#include "platform/Window.h"

#include <QPointer>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <optional>

class QWidget;

namespace platform {

enum class PopoverBehavior
{
    ApplicationDefined, // closes only when told to
    Transient           // also closes when the user clicks anywhere outside it
};

enum class Appearance
{
    Aqua,
    DarkAqua
};

// An edge of a rectangle in the view's own (bottom-left origin) terms: MinY is the bottom edge.
enum class RectEdge
{
    MinX,
    MinY,
    MaxX,
    MaxY
};

// A popover: a content view shown in its own window beside a rectangle on screen (a status
// button), closed by the owner or, when transient, by a click outside it. Its window is made on
// the first show and kept. Main thread only.
class Popover
{
public:
    explicit Popover(const Services& services);
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    QSizeF contentSize() const { return m_contentSize; }
    void setContentSize(const QSizeF& size);
    PopoverBehavior behavior() const { return m_behavior; }
    void setBehavior(PopoverBehavior behavior) { m_behavior = behavior; }
    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance);
    // Takes ownership of the view, which fills the popover.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return m_contentView; }

    // Shows the popover beside `positioningRect` (global points) on the preferred edge: for
    // MinY, below it, centred on it and kept on its screen.
    void show(const QRectF& positioningRect, RectEdge preferredEdge);
    bool isShown() const { return m_shown; }
    // Closes the popover (nothing when it is not shown).
    void performClose();

    // The window of the content view; null until the first show.
    Window* contentWindow() const { return m_window.get(); }

    // The input event during which a click outside closed the popover; 0 when none did.
    quint64 closedByEventNumber() const { return m_closedByEvent; }

    // The gap between the positioning rectangle and the popover, where the arrow points.
    static constexpr double kArrowGap = 6;
    // The level of a popover's window until its owner chooses another (the pop-up menu level).
    static constexpr qint64 kDefaultLevel = 101;

    // The frame of a popover of `size` beside `positioningRect` on `edge`, kept inside
    // `visibleFrame` where it fits.
    static QRectF frameFor(const QSizeF& size,
                           const QRectF& positioningRect,
                           RectEdge edge,
                           const std::optional<QRectF>& visibleFrame);

private:
    void mouseDown(QPointF location);
    void applyAppearance();

    Services m_services;
    QSizeF m_contentSize;
    PopoverBehavior m_behavior = PopoverBehavior::ApplicationDefined;
    Appearance m_appearance = Appearance::Aqua;
    QPointer<QWidget> m_contentView;
    std::unique_ptr<QWidget> m_pendingView; // held until the window exists
    std::unique_ptr<Window> m_window;
    bool m_shown = false;
    quint64 m_closedByEvent = 0;
    Cancellable m_clickMonitor;
};

} // namespace platform
