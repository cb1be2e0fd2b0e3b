#pragma once

#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/sim/SimCompositor.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QBoxLayout;
class QHBoxLayout;
class QKeyEvent;
class QPushButton;
class QWheelEvent;

namespace platform::sim {

class SimDesktop;

// For people running the application on Linux: one window showing the displays of the simulated
// desktop, drawn live: the physical ones as the user sees them (panels that no capture sees
// included), and "Veilmox" as a capture of it sees it, so one can watch what a meeting audience is
// shown. A row of buttons at its top chooses one display or all of them side by side (the main
// display until the user chooses); the choice is kept in a file of the viewer's own and holds at
// the next launch. A display joining or leaving never shrinks the one being watched. A display is
// drawn again when something on it changed, as soon as the desktop says so (every frame that
// reaches "Veilmox", say), at most once a kMinimumRefreshInterval. Pointer moves, clicks and
// scrolling on a picture go to the desktop as its pointer input (the pointer leaving a picture
// leaves the desktop), and typing in the window as its keyboard input. It opens as large as the
// screen allows without distorting a display. A tool of the simulation, not a window of the
// simulated system. Main thread only.
class DesktopViewer final : public QWidget
{
public:
    // `choiceFile` keeps which displays are shown; none: the choice lasts as long as the viewer.
    DesktopViewer(SimDesktop& desktop,
                  Scheduler& scheduler,
                  const QString& choiceFile = QString(),
                  QWidget* parent = nullptr);
    ~DesktopViewer() override;
    DesktopViewer(const DesktopViewer&) = delete;
    DesktopViewer& operator=(const DesktopViewer&) = delete;

    // Redraws every display whose picture changed, now; the viewer also does so by itself while
    // shown.
    void refresh();

    // The displays shown, in the desktop's order, the picture last drawn for one of them and the
    // widget it is painted on.
    QList<quint32> displayIDs() const;
    QImage picture(quint32 displayID) const;
    QWidget* displayView(quint32 displayID) const;
    QString title(quint32 displayID) const;
    // Where a point of the desktop (global points) is shown in this window, in its coordinates;
    // none when no picture shows it.
    std::optional<QPointF> viewPoint(QPointF location) const;

    // Where the application keeps the viewer's choice: in the user's configuration folder.
    static QString standardChoiceFile();

    // All displays side by side, or the one of this name (the first of that name); what the
    // buttons at the top do. Kept in the choice file.
    void showAllDisplays();
    void showDisplay(const QString& name);
    bool showsAllDisplays() const;
    // The displays whose pictures are shown, in the desktop's order.
    QList<quint32> shownDisplayIDs() const;

    // The row of buttons: at the top-left corner, kMargin in, one button after another, each
    // kChoiceWidth wide with kChoiceSpacing between them: "All displays" first, then one per
    // display in the desktop's order.
    static constexpr int kMargin = 6;
    static constexpr int kChoiceWidth = 200;
    static constexpr int kChoiceSpacing = 4;
    static constexpr int kChoiceHeight = 26;

    // No more often than a screen of the host shows a new picture.
    static constexpr double kMinimumRefreshInterval = 1.0 / 60;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab is typing for the desktop, not a move between the viewer's widgets.
    bool focusNextPrevChild(bool next) override;

private:
    class Pane;

    // What the user chose: all displays, one by name, or (neither) the main display.
    struct Choice
    {
        bool all = false;
        QString name;
    };

    void rebuild();
    void scroll(QPointF location, const QWheelEvent& event, double pointsPerPixel);
    void choose(const Choice& choice);
    // Shows the chosen displays; the window is fitted to them when they changed (or `refit`).
    void applyChoice(bool refit);
    void fitToDisplays();
    // A refresh on a later turn, as soon as the last one is kMinimumRefreshInterval old.
    void scheduleRefresh();

    SimDesktop& m_desktop;
    Scheduler& m_scheduler;
    SimCompositor m_compositor;
    // The desktop as last drawn; while both numbers stay, no display changed.
    std::optional<std::pair<quint64, quint64>> m_drawnGeneration;
    QString m_choiceFile;
    Choice m_choice;
    QHBoxLayout* m_choices = nullptr;
    std::vector<QPushButton*> m_choiceButtons;
    QBoxLayout* m_panes = nullptr;
    std::vector<Pane*> m_paneList;
    QList<quint32> m_shown;
    Cancellable m_screenChanges;
    // The size the viewer last chose for itself; another one is the user's.
    std::optional<QSize> m_fittedSize;
    QList<int> m_keysDown; // in the order they went down
    Cancellable m_desktopChanges;
    TimerHandle m_pendingRefresh;
    std::optional<double> m_lastRefresh;
};

} // namespace platform::sim
