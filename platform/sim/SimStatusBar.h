#pragma once

#include "platform/NotificationCenter.h"
#include "platform/StatusBar.h"

#include <QColor>

#include <memory>
#include <vector>

namespace platform::sim {

class SimDesktop;

// The status bar of the simulated desktop: each item is a window at the status level in the
// menu bar of the main display, right-aligned, items made later to the left of earlier ones; a
// click on it (through the desktop's pointer input) sends the button's action. When asked, and
// when the host desktop has a system tray, each item is also shown there as a tray icon whose
// click sends the same action. Outlives its items; main thread only.
class SimStatusBar final : public StatusBar
{
public:
    explicit SimStatusBar(SimDesktop& desktop, bool mirrorToHostTray = false);
    ~SimStatusBar() override;
    SimStatusBar(const SimStatusBar&) = delete;
    SimStatusBar& operator=(const SimStatusBar&) = delete;

    std::unique_ptr<StatusItem> statusItem(double length) override;

    // The simulated menu bar is light, so template images are drawn in black.
    static QColor templateColor() { return QColor(Qt::black); }
    // Room beside the image of a variable-length item, on each side.
    static constexpr double kImagePadding = 4;
    // Width of a variable-length item without an image.
    static constexpr double kEmptyWidth = 22;
    // Room between the last item and the right edge of the screen.
    static constexpr double kRightMargin = 8;

    class Item;

private:
    friend class Item;
    void layout();
    void remove(Item* item);

    SimDesktop& m_desktop;
    bool m_mirrorToHostTray;
    std::vector<Item*> m_items; // right to left
    Cancellable m_screenChanges;
};

} // namespace platform::sim
