#pragma once

#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/sim/SimCompositor.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QHBoxLayout;
class QKeyEvent;
class QWheelEvent;

namespace platform::sim {

class SimDesktop;

// For people running the application on Linux: one window showing every display of the
// simulated desktop side by side, drawn live: the physical ones as the user sees them (panels that
// no capture sees included), and "Veilmox" as a capture of it sees it, so one can watch what a
// meeting audience is shown. A display is drawn again only when something on it changed, at most
// every kRefreshInterval. Pointer moves, clicks and scrolling on a picture go to the desktop as its
// pointer input, and typing in the window as its keyboard input. It opens as large as the screen
// allows without distorting a display. A tool of the simulation, not a window of the simulated
// system. Main thread only.
class DesktopViewer final : public QWidget
{
public:
    DesktopViewer(SimDesktop& desktop, Scheduler& scheduler, QWidget* parent = nullptr);
    ~DesktopViewer() override;
    DesktopViewer(const DesktopViewer&) = delete;
    DesktopViewer& operator=(const DesktopViewer&) = delete;

    // Redraws every display whose picture changed, now; the viewer also does so every
    // kRefreshInterval while shown.
    void refresh();

    // The displays shown, in the desktop's order, and the picture last drawn for one of them.
    QList<quint32> displayIDs() const;
    QImage picture(quint32 displayID) const;
    QString title(quint32 displayID) const;
    // Where a point of the desktop (global points) is shown in this window, in its coordinates;
    // none when no picture shows it.
    std::optional<QPointF> viewPoint(QPointF location) const;

    static constexpr double kRefreshInterval = 0.1;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab is typing for the desktop, not a move between the viewer's widgets.
    bool focusNextPrevChild(bool next) override;

private:
    class Pane;

    void rebuild();
    void scroll(QPointF location, const QWheelEvent& event, double pointsPerPixel);
    void fitToDisplays();

    SimDesktop& m_desktop;
    Scheduler& m_scheduler;
    SimCompositor m_compositor;
    // The desktop as last drawn; while both numbers stay, no display changed.
    std::optional<std::pair<quint64, quint64>> m_drawnGeneration;
    QHBoxLayout* m_panes = nullptr;
    std::vector<Pane*> m_paneList;
    Cancellable m_screenChanges;
    TimerHandle m_refreshTimer;
    // The size the viewer last chose for itself; another one is the user's.
    std::optional<QSize> m_fittedSize;
    QList<int> m_keysDown; // in the order they went down
};

} // namespace platform::sim
