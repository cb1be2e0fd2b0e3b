#pragma once

#include "platform/ScreenCapture.h"
#include "platform/Window.h"
#include "platform/sim/SimDesktop.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QRegion>
#include <QSize>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform::sim {

// Draws what a capture of the simulated desktop sees: the display's wallpaper, then the
// window server's on-screen windows from back to front, then, when asked, the pointer. A
// simulated app's window is its colour with its patches and its title in the top-left corner; one
// of this application's windows is drawn from its widget. Windows whose sharing type is none are
// drawn only in what a person looking at a display sees; the parts of windows that opaque ones in
// front hide never are. Main thread only (widgets are drawn here).
class SimCompositor
{
public:
    // What a filter shows, worked out once for both a key and a picture: its region, background
    // and windows, back to front, each with the part of it that opaque windows in front leave
    // visible when that is not all of it.
    struct Scene
    {
        struct Window
        {
            quint32 number = 0;
            SimDesktop::WindowSpec setup;
            std::optional<QRegion> visible;
        };
        QRectF region;
        QColor background;
        std::vector<Window> windows;
        // The part of the region (in whole points) that no opaque window covers.
        QRegion uncovered;
    };

    explicit SimCompositor(const SimDesktop& desktop);
    ~SimCompositor();
    SimCompositor(const SimCompositor&) = delete;
    SimCompositor& operator=(const SimCompositor&) = delete;

    // The area a capture through the filter shows now, in global points: the display's frame,
    // or the window's, wherever the window is now.
    QRectF region(const SCContentFilter& filter) const;

    // With `seen`, also the windows no capture sees.
    // With `within` (global points), only what lies there: for drawing only that part again.
    Scene scene(const SCContentFilter& filter, bool seen = false, const QRect* within = nullptr) const;

    // The filter's content scaled into an image of the given pixel size, with the pointer on top
    // when `showsCursor` is set and the pointer lies in the content. The display forms of filters
    // that leave windows out draw the wallpaper; a filter that includes applications and a single
    // window have a transparent background.
    QImage render(const SCContentFilter& filter, QSize pixelSize, bool showsCursor = false) const;
    // The same into `image` at its size, every pixel of it drawn (whatever it held before).
    void render(const Scene& scene, QImage& image, bool showsCursor) const;
    // Only the given pixels of `image` drawn, each as the whole picture would have it; the rest
    // stays as it was.
    void render(const Scene& scene, QImage& image, bool showsCursor, const QRegion* pixels) const;
    // Where the pointer's arrow is drawn with its tip at a point, in points.
    static QRectF cursorRect(QPointF tip);
    // The pixels of a picture of `region` (global points) at `size` that a region of points
    // touches, with a pixel around for the smoothing of scaled content.
    static QRegion pixelsOf(const QRegion& points, const QRectF& region, QSize size);
    // The pixels to draw again so that `pixels` come out as in the whole picture: where whole
    // points are not whole pixels, every row they touch, since Qt steps along a row from where a
    // scaled drawing starts and a row drawn from its middle can come out a little different.
    static QRegion pixelsToDraw(const QRegion& pixels, const QRectF& region, QSize size);
    // The largest rectangle of whole points inside the rectangle.
    static QRect innerPoints(const QRectF& rect);
    // The other way: the whole points (global) that every pixel of `pixels` shows, with a point
    // around.
    static QRect pointsOf(const QRegion& pixels, const QRectF& region, QSize size);

    // Everything a capture of one whole display sees. A null image for an unknown display.
    QImage renderDisplay(quint32 displayID, QSize pixelSize) const;
    // One display as someone looking at it sees it: also the windows no capture sees.
    QImage renderSeen(quint32 displayID, QSize pixelSize) const;

    // A key of what render() would draw: equal keys mean equal pictures. None when a window drawn
    // from a widget is involved, whose content can change without the window server knowing.
    std::optional<QByteArray> contentKey(const SCContentFilter& filter, QSize pixelSize) const;
    std::optional<QByteArray> contentKey(const Scene& scene, QSize pixelSize) const;
    // One whole display as a capture of it sees it (or, `seen`, as someone looking at it sees it);
    // none for an unknown display.
    std::optional<Scene>
    displayScene(quint32 displayID, bool seen = false, const QRect* within = nullptr) const;
    // The changes of the desktop that a capture through the filter can show: none of a window
    // it leaves out, nor of one no capture sees.
    static SimDesktop::DamageScope damageScope(const SCContentFilter& filter);
    // Lets go of the pictures kept of windows no longer on screen.
    void dropUnusedSurfaces() const;

    // Keeps a picture of each of this application's windows, drawn at the scale of the display
    // it lies on and drawn again only after the window asked to be: for a viewer that shows the
    // displays over and over. Off by default, so every picture draws the widgets as they are.
    void setKeepsWindowSurfaces(bool keeps) { m_keepsSurfaces = keeps; }

    // The picture view that alone fills a window of this application, if one does.
    static const LayerContentsView* layerContentsView(QWidget* root);

    // The margin and height, in points, of the title drawn at a simulated window's top-left
    // corner; the rest of the window is its plain colour.
    static constexpr double kTitleInset = 6;
    static constexpr double kTitleHeight = 16;

    // What a filter shows where no window is: the display's wallpaper, or nothing.
    QColor background(const SCContentFilter& filter) const;

    // How many device rows a picture is drawn at a time where only parts change: Qt hands a draw
    // of about a hundred rows or more to its thread pool, whose wake-ups cost more than a small
    // part's draw.
    static constexpr int kRowsPerDraw = 32;

private:
    struct Surface;
    std::optional<SCContentFilter> displayFilter(quint32 displayID) const;
    struct SolidRect
    {
        QRect rect; // pixels
        QRgb pixel;
    };
    // The wallpaper and the colour of each opaque window on whole points, straight into the
    // pixels (which must be whole points scaled by whole numbers); true for the windows done.
    static std::vector<bool> fillOpaque(const Scene& scene, QImage& image, const QRegion& drawn);
    // Rectangles that do not overlap, each of one opaque colour.
    static void fillRects(QImage& image, std::vector<SolidRect>& rects);
    void drawSyntheticWindow(QPainter& painter, const Scene::Window& window, bool withColour) const;
    void drawTitle(QPainter& painter, const SimDesktop::WindowSpec& setup) const;
    void drawWidgetWindow(QPainter& painter, const Scene::Window& window) const;
    // A window that shows only a picture view is drawn from its picture, scaled once to the size
    // it is drawn at, never from its widgets. False for other windows.
    bool drawLayerContents(QPainter& painter, quint32 number, QWidget* root, const QRectF& bounds) const;
    // A window's picture scaled to a size, as kept by a compositor that keeps window surfaces:
    // scaled again only where the picture changed since.
    const QImage& scaledPicture(quint32 number, const QImage& picture, QSize size) const;
    // The window's widgets as last drawn, drawn again first when they asked to be since.
    const QImage& surface(const Scene::Window& window, QSize widgetSize, double density) const;
    double displayScaleAt(QPointF point) const;

    const SimDesktop& m_desktop;
    bool m_keepsSurfaces = false;
    // Titles drawn once per text, colour, scale and shown width; drawing text lays it out each
    // time. At most so many pictures and bytes are kept.
    static constexpr qsizetype kMaxTitles = 4096;
    static constexpr qsizetype kMaxTitleBytes = qsizetype(32) * 1024 * 1024;
    mutable QHash<QString, QImage> m_titles;
    // The width each title's text takes, laid out once.
    mutable QHash<QString, double> m_titleWidths;
    mutable qsizetype m_titleBytes = 0;
    mutable std::unordered_map<quint32, std::unique_ptr<Surface>> m_surfaces;
    struct Scaled
    {
        qint64 key = 0; // the picture scaled
        QImage picture;
    };
    mutable std::unordered_map<quint32, Scaled> m_scaled;
};

// The shareable content of a desktop: its displays, its windows front to back (only those on
// screen when asked), and its running applications.
SCShareableContent
shareableContent(const SimDesktop& desktop, bool excludingDesktopWindows, bool onScreenWindowsOnly);

} // namespace platform::sim
