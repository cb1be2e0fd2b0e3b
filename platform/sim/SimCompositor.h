#pragma once

#include "platform/ScreenCapture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>
#include <vector>

namespace platform::sim {

class SimDesktop;

// Draws what a capture of the simulated desktop sees: the display's wallpaper, then the
// window server's on-screen windows from back to front, then, when asked, the pointer. A
// simulated app's window is its colour with its patches and its title in the top-left corner; one
// of this application's windows is drawn from its widget. Windows whose sharing type is none are
// never drawn. Main thread only (widgets are drawn here).
class SimCompositor
{
public:
    explicit SimCompositor(const SimDesktop& desktop);

    // The filter's content scaled into an image of the given pixel size, with the pointer on top
    // when `showsCursor` is set and the pointer lies in the content. The display forms of filters
    // that leave windows out draw the wallpaper; a filter that includes applications and a single
    // window have a transparent background.
    QImage render(const SCContentFilter& filter, QSize pixelSize, bool showsCursor = false) const;

    // Everything on one display, as someone looking at it sees it. A null image for an unknown
    // display.
    QImage renderDisplay(quint32 displayID, QSize pixelSize) const;

    // A key of what render() would draw: equal keys mean equal pictures. None when a window drawn
    // from a widget is involved, whose content can change without the window server knowing.
    std::optional<QByteArray> contentKey(const SCContentFilter& filter, QSize pixelSize) const;

    // The margin and height, in points, of the title drawn at a simulated window's top-left
    // corner; the rest of the window is its plain colour.
    static constexpr double kTitleInset = 6;
    static constexpr double kTitleHeight = 16;

private:
    struct Drawn;
    // The windows the filter shows over its region, back to front.
    std::vector<Drawn> drawnWindows(const SCContentFilter& filter) const;
    QColor background(const SCContentFilter& filter) const;

    const SimDesktop& m_desktop;
};

// The shareable content of a desktop: its displays, its windows front to back (only those on
// screen when asked), and its running applications.
SCShareableContent
shareableContent(const SimDesktop& desktop, bool excludingDesktopWindows, bool onScreenWindowsOnly);

} // namespace platform::sim
