#include "platform/sim/SimCompositor.h"

#include "platform/sim/SimDesktop.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFontMetricsF>
#include <QIODevice>
#include <QPainter>
#include <QPolygonF>
#include <QRegion>
#include <QSet>
#include <QWidget>

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::sim {

namespace {

int points(double length)
{
    return std::isfinite(length) ? static_cast<int>(std::clamp(length, 0.0, 1.0e6)) : 0;
}

SCDisplay scDisplay(quint32 id, const QRectF& frame)
{
    SCDisplay display;
    display.displayID = id;
    display.width = points(frame.width());
    display.height = points(frame.height());
    display.frame = frame;
    return display;
}

// Which windows a filter lets through: by its kind, its applications and its windows.
struct FilterMembers
{
    explicit FilterMembers(const SCContentFilter& filter)
        : kind(filter.kind())
    {
        for (const auto& app : filter.applications()) {
            appPIDs.insert(app.processID);
        }
        for (const auto& window : filter.windows()) {
            windowIDs.insert(window.windowID);
        }
    }

    bool passes(quint32 number, pid_type owner) const
    {
        switch (kind) {
        case SCContentFilter::Kind::DisplayExcludingApplications:
            return !appPIDs.contains(owner) || windowIDs.contains(number);
        case SCContentFilter::Kind::DisplayExcludingWindows:
            return !windowIDs.contains(number);
        case SCContentFilter::Kind::DisplayIncludingApplications:
            return appPIDs.contains(owner) && !windowIDs.contains(number);
        case SCContentFilter::Kind::DesktopIndependentWindow:
            return windowIDs.contains(number);
        }
        return false;
    }

    SCContentFilter::Kind kind;
    QSet<pid_type> appPIDs;
    QSet<quint32> windowIDs;
};

// Two premultiplied pixels mixed, the second weighing w of 256.
quint32 mix(quint32 a, quint32 b, quint32 w)
{
    const quint32 v = 256 - w;
    const quint32 redBlue = (((a & 0xff00ffU) * v + (b & 0xff00ffU) * w) >> 8) & 0xff00ffU;
    const quint32 alphaGreen = (((a >> 8) & 0xff00ffU) * v + ((b >> 8) & 0xff00ffU) * w) & 0xff00ff00U;
    return redBlue | alphaGreen;
}

// Where a scaled pixel samples its source along one axis: the source pixel before its centre
// and how far past it (of 256), from the pixel's own position alone, so that a pixel comes out
// the same whichever part is scaled.
std::pair<int, quint32> sample(int at, double ratio, int length)
{
    const double centre = (at + 0.5) * ratio - 0.5;
    if (centre <= 0) {
        return {0, 0};
    }
    if (centre >= length - 1) {
        return {length - 1, 0};
    }
    const double first = std::floor(centre);
    return {static_cast<int>(first), static_cast<quint32>((centre - first) * 256)};
}

// The part of `to` that shows all of `from` scaled, sampled between the four nearest pixels.
void scaleBilinear(const QImage& from, QImage& to, const QRect& part)
{
    if (part.isEmpty() || from.isNull()) {
        return;
    }
    const double rx = double(from.width()) / to.width();
    const double ry = double(from.height()) / to.height();
    std::vector<std::pair<int, quint32>> columns(static_cast<std::size_t>(part.width()));
    for (int x = part.left(); x <= part.right(); ++x) {
        columns[static_cast<std::size_t>(x - part.left())] = sample(x, rx, from.width());
    }
    const int last = from.width() - 1;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        const auto [row, down] = sample(y, ry, from.height());
        const auto* upper = reinterpret_cast<const quint32*>(from.constScanLine(row));
        const auto* lower =
            reinterpret_cast<const quint32*>(from.constScanLine(std::min(row + 1, from.height() - 1)));
        auto* out = reinterpret_cast<quint32*>(to.scanLine(y)) + part.left();
        for (const auto& [column, across] : columns) {
            const int next = std::min(column + 1, last);
            *out++ =
                mix(mix(upper[column], upper[next], across), mix(lower[column], lower[next], across), down);
        }
    }
}

bool isWhole(double value)
{
    return std::isfinite(value) && std::abs(value - std::round(value)) < 1e-9;
}

// Where a simulated window's title goes: its top-left corner, inset.
QRectF titleRectOf(const QRectF& bounds)
{
    return {bounds.x() + SimCompositor::kTitleInset,
            bounds.y() + SimCompositor::kTitleInset,
            std::max(0.0, bounds.width() - 2 * SimCompositor::kTitleInset),
            SimCompositor::kTitleHeight};
}

QColor titleColor(const QColor& background)
{
    return background.lightnessF() > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

// A window whose background is opaque paints every pixel itself.
bool paintsEveryPixel(const QWidget* widget)
{
    return widget->palette().brush(QPalette::Window).isOpaque()
           && !widget->testAttribute(Qt::WA_NoSystemBackground)
           && !widget->testAttribute(Qt::WA_OpaquePaintEvent)
           && !widget->testAttribute(Qt::WA_TranslucentBackground);
}

// One of this application's windows that hides all that lies under it: its widgets paint every
// pixel, and it is not a picture over a colour that may be see-through.
bool coversItsBounds(QWidget* root)
{
    return !root->size().isEmpty() && paintsEveryPixel(root)
           && SimCompositor::layerContentsView(root) == nullptr;
}

// A widget drawn on its own at a pixel density, like a window server's backing store: Qt draws the
// graphics effects of nested widgets (the kit's glows) wrongly, or not at all, through a painter
// that is already moved or scaled. Drawn into `reuse` when that has the size.
QImage drawnWidget(QWidget* widget, double density, QImage reuse = QImage())
{
    const QSize pixels(static_cast<int>(std::ceil(widget->width() * density)),
                       static_cast<int>(std::ceil(widget->height() * density)));
    QImage store = reuse.size() == pixels && reuse.format() == QImage::Format_ARGB32_Premultiplied
                       ? std::move(reuse)
                       : QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    if (store.isNull()) {
        return store;
    }
    store.setDevicePixelRatio(density);
    if (!paintsEveryPixel(widget)) {
        store.fill(Qt::transparent);
    }
    widget->render(&store, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return store;
}

// Only the widget's part `part` (its coordinates) drawn again into `store`, as drawnWidget() drew
// the whole.
void redrawWidget(QWidget* widget, QImage& store, const QRegion& part)
{
    const QRegion drawn = part & widget->rect();
    if (drawn.isEmpty()) {
        return;
    }
    if (!paintsEveryPixel(widget)) {
        QPainter clear(&store);
        clear.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : drawn) {
            clear.fillRect(r, Qt::transparent);
        }
    }
    widget->render(
        &store, drawn.boundingRect().topLeft(), drawn, QWidget::DrawWindowBackground | QWidget::DrawChildren);
}

// A run of one colour, with streaming stores where the machine has them: written without being
// read first, as a window server's blitter does, a screenful costs about half a copy of one.
void fillRun(QRgb* to, int count, QRgb pixel)
{
#if defined(__SSE2__)
    // Every store of the run streams: one ordinary store into a line that others stream to would
    // make the line be read after all.
    const int value = static_cast<int>(pixel);
    for (; count > 0 && (reinterpret_cast<quintptr>(to) & 15U) != 0; --count) {
        _mm_stream_si32(reinterpret_cast<int*>(to++), value);
    }
    const __m128i four = _mm_set1_epi32(value);
    for (; count >= 4; count -= 4, to += 4) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(to), four);
    }
    for (; count > 0; --count) {
        _mm_stream_si32(reinterpret_cast<int*>(to++), value);
    }
#else
    std::fill_n(to, count, pixel);
#endif
}

void drawCursor(QPainter& painter, QPointF tip)
{
    // A black arrow with a white rim, in points from its tip (the pointer's location).
    static const QPolygonF kArrow{{0, 0}, {0, 17}, {4, 13}, {7, 20}, {10, 19}, {7, 12}, {12, 12}};
    painter.save();
    painter.setOpacity(1.0);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 1.0));
    painter.setBrush(Qt::black);
    painter.drawPolygon(kArrow.translated(tip));
    painter.restore();
}

} // namespace

// One of this application's windows as last drawn.
struct SimCompositor::Surface
{
    quint64 version = 0;
    QSize widgetSize;
    double density = 0;
    QImage picture;
};

SimCompositor::SimCompositor(const SimDesktop& desktop)
    : m_desktop(desktop)
{}

SimCompositor::~SimCompositor() = default;

QColor SimCompositor::background(const SCContentFilter& filter) const
{
    const bool ownBackground = filter.kind() == SCContentFilter::Kind::DisplayExcludingApplications
                               || filter.kind() == SCContentFilter::Kind::DisplayExcludingWindows;
    if (ownBackground && filter.display()) {
        if (const auto setup = m_desktop.display(filter.display()->displayID)) {
            return setup->desktopColor;
        }
    }
    return Qt::transparent;
}

QRectF SimCompositor::region(const SCContentFilter& filter) const
{
    if (filter.kind() == SCContentFilter::Kind::DesktopIndependentWindow && !filter.windows().isEmpty()) {
        if (const auto window = m_desktop.window(filter.windows().front().windowID)) {
            return window->bounds;
        }
    }
    return filter.contentRect();
}

SimCompositor::Scene SimCompositor::scene(const SCContentFilter& filter, bool seen, const QRect* within) const
{
    Scene scene;
    scene.region = region(filter);
    scene.background = background(filter);
    const FilterMembers members(filter);
    // Front to back, keeping to the part of each window that opaque ones in front leave visible,
    // as a window server does: a desktop of hundreds of stacked windows costs about what one
    // screenful does. Pixels left out are the ones an opaque window in front paints over anyway.
    const QRect area =
        within != nullptr ? scene.region.toAlignedRect().intersected(*within) : scene.region.toAlignedRect();
    QRegion uncovered(area);
    for (const SimDesktop::OrderedWindow& window : m_desktop.orderedWindows()) {
        if (uncovered.isEmpty()) {
            break; // everything further back is hidden
        }
        const SimDesktop::WindowSpec& setup = *window.setup;
        if (!window.onScreen || !setup.bounds.intersects(area)
            || (!seen && setup.sharingState == static_cast<qint64>(WindowSharingType::None))
            || !members.passes(window.number, setup.owner)) {
            continue;
        }
        const QRect reach = setup.bounds.toAlignedRect().intersected(area);
        if (!uncovered.intersects(reach)) {
            continue; // behind opaque windows
        }
        const QRegion visible = uncovered.intersected(reach);
        const bool whole = visible == QRegion(reach);
        if (setup.alpha.value_or(1.0) >= 1.0
            && (setup.content.isNull() ? setup.color.alpha() == 255
                                       : coversItsBounds(setup.content.data()))) {
            uncovered -= SimCompositor::innerPoints(setup.bounds);
        }
        scene.windows.push_back({window.number, setup, whole ? std::nullopt : std::optional(visible)});
    }
    std::reverse(scene.windows.begin(), scene.windows.end());
    scene.uncovered = std::move(uncovered);
    return scene;
}

QImage SimCompositor::render(const SCContentFilter& filter, QSize pixelSize, bool showsCursor) const
{
    const QRectF shown = region(filter);
    if (pixelSize.isEmpty() || shown.width() <= 0 || shown.height() <= 0) {
        return {};
    }
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        render(scene(filter), image, showsCursor);
    }
    return image;
}

void SimCompositor::render(const Scene& scene, QImage& image, bool showsCursor) const
{
    render(scene, image, showsCursor, nullptr);
}

void SimCompositor::render(const Scene& scene, QImage& image, bool showsCursor, const QRegion* pixels) const
{
    if (image.isNull() || scene.region.width() <= 0 || scene.region.height() <= 0) {
        return;
    }
    // Every pixel is drawn (or every one of `pixels`): the image may hold an older picture. Where
    // whole points are whole pixels, the wallpaper goes only where no opaque window covers it;
    // every pixel an opaque window covers is painted by the frontmost of them. Each pixel comes
    // out the same whether it is drawn alone or with all the others.
    const double sx = image.width() / scene.region.width();
    const double sy = image.height() / scene.region.height();
    const bool whole = scene.background.alpha() == 255 && isWhole(sx) && isWhole(sy)
                       && isWhole(scene.region.x()) && isWhole(scene.region.y());
    const QRegion drawn = pixels != nullptr ? pixels->intersected(image.rect()) : QRegion(image.rect());
    if (drawn.isEmpty()) {
        return;
    }
    if (!whole) {
        if (pixels == nullptr) {
            image.fill(scene.background);
        } else {
            QPainter clear(&image);
            clear.setCompositionMode(QPainter::CompositionMode_Source);
            for (const QRect& part : drawn) {
                clear.fillRect(part, scene.background);
            }
        }
    }
    // Which windows' colour is in already.
    const std::vector<bool> filled =
        whole ? fillOpaque(scene, image, drawn) : std::vector<bool>(scene.windows.size());
    QPainter painter(&image);
    if (pixels != nullptr) {
        painter.setClipRegion(drawn);
    }
    painter.scale(sx, sy);
    painter.translate(-scene.region.topLeft());
    // The part of the desktop drawn, in points, to pass over windows elsewhere.
    const QRectF reach =
        painter.transform().inverted().mapRect(QRectF(drawn.boundingRect())).adjusted(-1, -1, 1, 1);
    for (std::size_t i = 0; i < scene.windows.size(); ++i) {
        const Scene::Window& window = scene.windows[i];
        if (pixels != nullptr && !window.setup.bounds.intersects(reach)) {
            continue;
        }
        painter.save();
        painter.setOpacity(std::clamp(window.setup.alpha.value_or(1.0), 0.0, 1.0));
        if (window.setup.content) {
            if (window.visible) {
                painter.setClipRegion(*window.visible, Qt::IntersectClip);
            }
            drawWidgetWindow(painter, window);
        } else {
            drawSyntheticWindow(painter, window, !filled[i]);
        }
        painter.restore();
    }
    if (showsCursor && scene.region.contains(m_desktop.mouseLocation())) {
        drawCursor(painter, m_desktop.mouseLocation());
    }
}

QRegion SimCompositor::pixelsOf(const QRegion& points, const QRectF& region, QSize size)
{
    QRegion pixels;
    if (region.width() <= 0 || region.height() <= 0 || size.isEmpty()) {
        return pixels;
    }
    const double sx = size.width() / region.width();
    const double sy = size.height() / region.height();
    const QRect picture(QPoint(), size);
    const QRect reach = region.toAlignedRect();
    for (const QRect& r : points) {
        const QRect part = r.intersected(reach);
        if (part.isEmpty()) {
            continue;
        }
        const QRectF mapped((part.x() - region.x()) * sx,
                            (part.y() - region.y()) * sy,
                            part.width() * sx,
                            part.height() * sy);
        pixels += mapped.toAlignedRect().adjusted(-1, -1, 1, 1).intersected(picture);
    }
    return pixels;
}

QRegion SimCompositor::pixelsToDraw(const QRegion& pixels, const QRectF& region, QSize size)
{
    if (size.isEmpty() || region.width() <= 0 || region.height() <= 0
        || (isWhole(size.width() / region.width()) && isWhole(size.height() / region.height())
            && isWhole(region.x()) && isWhole(region.y()))) {
        return pixels;
    }
    QRegion rows;
    for (const QRect& r : pixels) {
        rows += QRect(0, r.y(), size.width(), r.height());
    }
    return rows;
}

QRect SimCompositor::innerPoints(const QRectF& rect)
{
    const QRectF r = rect.normalized();
    const double left = std::ceil(r.left());
    const double top = std::ceil(r.top());
    const double right = std::floor(r.right());
    const double bottom = std::floor(r.bottom());
    if (!(right > left && bottom > top)
        || !(std::abs(left) < 1e6 && std::abs(top) < 1e6 && right < 1e6 && bottom < 1e6)) {
        return {};
    }
    return {QPoint(static_cast<int>(left), static_cast<int>(top)),
            QSize(static_cast<int>(right - left), static_cast<int>(bottom - top))};
}

QRect SimCompositor::pointsOf(const QRegion& pixels, const QRectF& region, QSize size)
{
    if (region.width() <= 0 || region.height() <= 0 || size.isEmpty() || pixels.isEmpty()) {
        return {};
    }
    const QRect r = pixels.boundingRect();
    const double sx = region.width() / size.width();
    const double sy = region.height() / size.height();
    return QRectF(region.x() + r.x() * sx, region.y() + r.y() * sy, r.width() * sx, r.height() * sy)
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
}

QRectF SimCompositor::cursorRect(QPointF tip)
{
    // The arrow's bounds with its rim and the smoothing of its edges.
    return {tip.x() - 2, tip.y() - 2, 16, 25};
}

std::vector<bool> SimCompositor::fillOpaque(const Scene& scene, QImage& image, const QRegion& drawn)
{
    std::vector<bool> filled(scene.windows.size());
    const QImage::Format format = image.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied
        && format != QImage::Format_ARGB32) {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setClipRegion(drawn);
        painter.scale(image.width() / scene.region.width(), image.height() / scene.region.height());
        painter.translate(-scene.region.topLeft());
        for (const QRect& part : scene.uncovered) {
            painter.fillRect(part, scene.background);
        }
        return filled;
    }
    // In whole pixels: the scales and the region's corner are whole here.
    const int sx = static_cast<int>(std::lround(image.width() / scene.region.width()));
    const int sy = static_cast<int>(std::lround(image.height() / scene.region.height()));
    const QPoint origin = scene.region.topLeft().toPoint();
    const QRect picture = image.rect();
    // Drawn in part: each rectangle cut to the parts drawn, which do not overlap either.
    const bool everything = drawn == QRegion(picture);
    const QRectF reach(QPointF(drawn.boundingRect().x() / double(sx) + origin.x() - 1,
                               drawn.boundingRect().y() / double(sy) + origin.y() - 1),
                       QSizeF(drawn.boundingRect().width() / double(sx) + 2,
                              drawn.boundingRect().height() / double(sy) + 2));
    std::vector<SolidRect> rects;
    const auto add = [&](const QRect& points, const QColor& colour) {
        const QRect pixels = QRect((points.x() - origin.x()) * sx,
                                   (points.y() - origin.y()) * sy,
                                   points.width() * sx,
                                   points.height() * sy)
                                 .intersected(picture);
        if (pixels.isEmpty()) {
            return;
        }
        if (everything) {
            rects.push_back({pixels, colour.rgba()});
            return;
        }
        for (const QRect& part : drawn) {
            const QRect piece = part.intersected(pixels);
            if (!piece.isEmpty()) {
                rects.push_back({piece, colour.rgba()});
            }
        }
    };
    for (const QRect& part :
         everything ? scene.uncovered : scene.uncovered.intersected(reach.toAlignedRect())) {
        add(part, scene.background);
    }
    // The opaque windows on whole points: what shows of them is theirs alone (the scene took each
    // from what the ones in front leave), so their colours go in in any order.
    const QRect area = scene.region.toAlignedRect();
    for (std::size_t i = 0; i < scene.windows.size(); ++i) {
        const SimDesktop::WindowSpec& setup = scene.windows[i].setup;
        const QRectF& b = setup.bounds;
        if (!everything && !b.intersects(reach)) {
            continue; // nothing of it is drawn
        }
        if (!setup.content.isNull() || setup.alpha.value_or(1.0) < 1.0 || setup.color.alpha() != 255
            || !isWhole(b.x()) || !isWhole(b.y()) || !isWhole(b.width()) || !isWhole(b.height())
            || std::abs(b.x()) > 1e6 || std::abs(b.y()) > 1e6 || b.width() > 1e6 || b.height() > 1e6) {
            continue;
        }
        const QRect bounds = b.toRect().intersected(area);
        if (const auto& visible = scene.windows[i].visible) {
            for (const QRect& part : *visible) {
                add(part.intersected(bounds), setup.color);
            }
        } else {
            add(bounds, setup.color);
        }
        filled[i] = true;
    }
    fillRects(image, rects);
    return filled;
}

// The window's colour (unless it is in already), its patches and its title, within the visible
// part when only part of it shows (filled piece by piece: a fill clipped to a complex region is
// far slower).
void SimCompositor::drawSyntheticWindow(QPainter& painter, const Scene::Window& window, bool withColour) const
{
    const SimDesktop::WindowSpec& setup = window.setup;
    const QRectF& bounds = setup.bounds;
    const auto fill = [&painter, &window](const QRectF& rect, const QColor& colour) {
        if (!window.visible) {
            painter.fillRect(rect, colour);
            return;
        }
        for (const QRect& part : *window.visible) {
            const QRectF piece = rect.intersected(part);
            if (!piece.isEmpty()) {
                painter.fillRect(piece, colour);
            }
        }
    };
    if (withColour) {
        fill(bounds, setup.color);
    }
    for (const auto& patch : setup.patches) {
        fill(patch.rect.translated(bounds.topLeft()).intersected(bounds), patch.color);
    }
    if (!setup.title || setup.title->isEmpty()) {
        return;
    }
    const QRectF titleRect = titleRectOf(bounds);
    if (window.visible) {
        const QRegion shown = window.visible->intersected(titleRect.toAlignedRect());
        if (shown.isEmpty()) {
            return;
        }
        painter.setClipRegion(shown, Qt::IntersectClip);
    }
    painter.save();
    painter.setClipRect(titleRect.intersected(bounds), Qt::IntersectClip);
    drawTitle(painter, setup);
    painter.restore();
}

void SimCompositor::drawTitle(QPainter& painter, const SimDesktop::WindowSpec& setup) const
{
    const QTransform& transform = painter.worldTransform();
    const double sx = std::abs(transform.m11());
    const double sy = std::abs(transform.m22());
    // Never below one pixel a point: Qt lays text out for at least that many, so a strip made
    // for fewer pixels would cut its text off. A smaller picture is shrunk from it, smoothly and
    // once: sampled as it is drawn, a glyph would lose whole columns of its pixels.
    const double scale = std::max({sx, sy, 1.0});
    const bool shrunk = sx < 1 || sy < 1;
    const QRectF titleRect = titleRectOf(setup.bounds);
    // Only as far as it shows: within its window and the picture, never the whole text of a
    // title far wider than its window or the display. Not cut to the clip, so that a part of the
    // picture drawn alone comes out as it does in the whole.
    const QRectF shown = painter.deviceTransform()
                             .inverted()
                             .mapRect(QRectF(0, 0, painter.device()->width(), painter.device()->height()))
                             .intersected(setup.bounds);
    QFont font = painter.font();
    font.setPixelSize(12);
    auto measured = m_titleWidths.constFind(*setup.title);
    if (measured == m_titleWidths.cend()) {
        if (m_titleWidths.size() >= kMaxTitles) {
            m_titleWidths.clear();
        }
        measured =
            m_titleWidths.insert(*setup.title, QFontMetricsF(font).horizontalAdvance(*setup.title) + 2);
    }
    const double textWidth = *measured;
    const double width = std::min(textWidth, std::ceil(shown.right() - titleRect.left()));
    if (width <= 0 || shown.bottom() <= titleRect.top() || shown.top() >= titleRect.bottom()) {
        return;
    }
    const QColor colour = titleColor(setup.color);
    const QString scaleKey =
        shrunk ? QString::number(sx) + QLatin1Char('x') + QString::number(sy) : QString::number(scale);
    const QString key = QString::number(colour.rgba(), 16) + QLatin1Char('@') + scaleKey + QLatin1Char('<')
                        + QString::number(width) + QLatin1Char('|') + *setup.title;
    auto found = m_titles.constFind(key);
    if (found == m_titles.cend()) {
        // Laid out and drawn once in a strip of its own at the scale it is shown at.
        QImage strip(QSizeF(width * scale, kTitleHeight * scale).toSize().expandedTo(QSize(1, 1)),
                     QImage::Format_ARGB32_Premultiplied);
        strip.setDevicePixelRatio(scale);
        strip.fill(Qt::transparent);
        QPainter text(&strip);
        text.setFont(font);
        text.setPen(colour);
        text.drawText(QRectF(0, 0, textWidth, kTitleHeight),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      *setup.title);
        text.end();
        if (shrunk) {
            strip = strip.scaled(QSizeF(width * sx, kTitleHeight * sy).toSize().expandedTo(QSize(1, 1)),
                                 Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
            strip.setDevicePixelRatio(1);
        }
        // Bounded by what the pictures take, not only by their number.
        if (m_titles.size() >= kMaxTitles || m_titleBytes + strip.sizeInBytes() > kMaxTitleBytes) {
            m_titles.clear();
            m_titleBytes = 0;
        }
        m_titleBytes += strip.sizeInBytes();
        found = m_titles.insert(key, strip);
    }
    // At a whole pixel: Qt rounds a position between two pixels one way when it draws a picture
    // alone and the other when it draws it through a clip of many parts, and a part of the
    // picture drawn alone must come out as it does in the whole.
    const QTransform& toDevice = painter.worldTransform();
    const QPointF device = toDevice.map(titleRect.topLeft());
    const QPointF corner(std::round(device.x()), std::round(device.y()));
    if (shrunk) {
        // Already at the pixels it covers: one to one.
        painter.save();
        painter.resetTransform();
        painter.drawImage(corner, *found);
        painter.restore();
        return;
    }
    painter.drawImage(toDevice.inverted().map(corner), *found);
}

double SimCompositor::displayScaleAt(QPointF point) const
{
    for (const quint32 id : m_desktop.displayIDs()) {
        if (const auto setup = m_desktop.display(id); setup && setup->frame.contains(point)) {
            return setup->backingScale;
        }
    }
    return 1.0;
}

const QImage& SimCompositor::surface(const Scene::Window& window, QSize widgetSize, double density) const
{
    QWidget* widget = window.setup.content.data();
    // Its repaints asked for so far are counted first; one asked for while it is drawn counts
    // for the next picture.
    QCoreApplication::sendPostedEvents(widget, QEvent::UpdateRequest);
    const quint64 version = m_desktop.windowContentVersion(window.number);
    auto& kept = m_surfaces[window.number];
    std::optional<QRegion> repainted;
    if (!kept) {
        kept = std::make_unique<Surface>();
    } else if (kept->widgetSize == widgetSize && kept->density == density && !kept->picture.isNull()) {
        if (kept->version == version) {
            return kept->picture;
        }
        // Drawn again only where the window repainted since, as a window server keeps a
        // window's surface and takes only what its client redrew.
        repainted = m_desktop.windowRepaintSince(window.number, kept->version);
    }
    if (repainted) {
        redrawWidget(widget, kept->picture, *repainted);
    } else {
        kept->picture = drawnWidget(widget, density, std::move(kept->picture));
    }
    kept->version = version;
    kept->widgetSize = widgetSize;
    kept->density = density;
    return kept->picture;
}

void SimCompositor::drawWidgetWindow(QPainter& painter, const Scene::Window& window) const
{
    QWidget* widget = window.setup.content.data();
    const QRectF& bounds = window.setup.bounds;
    if (widget->width() <= 0 || widget->height() <= 0 || bounds.isEmpty()) {
        return;
    }
    if (drawLayerContents(painter, window.number, widget, bounds)) {
        return;
    }
    QImage drawn;
    const QImage* store = &drawn;
    if (m_keepsSurfaces) {
        // At the scale of its display, as its backing store would be there: a picture on that
        // display is then drawn one to one, whatever size the viewer shows it at.
        const double density = std::clamp(displayScaleAt(bounds.center()), 1.0, 4.0);
        store = &surface(window, widget->size(), density);
    } else {
        const QTransform& t = painter.worldTransform();
        const double shown =
            std::max(std::abs(t.m11()), std::abs(t.m22())) * bounds.width() / widget->width();
        // Never below one pixel a point: text laid out for fewer pixels lands in the wrong places.
        drawn = drawnWidget(widget, std::clamp(std::isfinite(shown) ? shown : 1.0, 1.0, 4.0));
    }
    if (store->isNull()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(bounds, *store);
    painter.restore();
}

bool SimCompositor::drawLayerContents(QPainter& painter,
                                      quint32 number,
                                      QWidget* root,
                                      const QRectF& bounds) const
{
    const LayerContentsView* layer = layerContentsView(root);
    if (layer == nullptr) {
        return false;
    }
    const LayerContentsView::Contents contents = layer->layerContents();
    painter.fillRect(bounds, contents.background);
    if (contents.image.isNull() || contents.rect.isEmpty()) {
        return true;
    }
    // From the view's coordinates (the window's, in points) to the screen's.
    const double sx = bounds.width() / root->width();
    const double sy = bounds.height() / root->height();
    const QRectF& r = contents.rect;
    const QRectF target(bounds.x() + r.x() * sx, bounds.y() + r.y() * sy, r.width() * sx, r.height() * sy);
    const QTransform toDevice = painter.worldTransform();
    const QRectF device = toDevice.mapRect(target);
    const QRect pixels = device.toRect();
    painter.save();
    if (m_keepsSurfaces && toDevice.type() <= QTransform::TxScale && pixels.size() != contents.image.size()
        && QRectF(pixels) == device && !pixels.isEmpty()) {
        // Scaled once, on whole pixels: then drawn one to one.
        const QImage& scaled = scaledPicture(number, contents.image, pixels.size());
        painter.resetTransform();
        painter.drawImage(pixels.topLeft(), scaled);
        painter.restore();
        return true;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A few device rows at a time, each whole, so that every pixel comes out as from one draw.
    QRectF rows = device;
    if (painter.hasClipping()) {
        rows &= toDevice.mapRect(painter.clipBoundingRect());
    }
    const QRect band = rows.toAlignedRect();
    for (int top = band.top(); top <= band.bottom(); top += kRowsPerDraw) {
        painter.save();
        painter.resetTransform();
        painter.setClipRect(QRect(band.left(), top, band.width(), kRowsPerDraw),
                            painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        painter.setTransform(toDevice);
        painter.drawImage(target, contents.image);
        painter.restore();
    }
    painter.restore();
    return true;
}

const QImage& SimCompositor::scaledPicture(quint32 number, const QImage& picture, QSize size) const
{
    Scaled& kept = m_scaled[number];
    std::optional<QRegion> changed;
    if (kept.picture.size() == size && kept.key != 0) {
        if (kept.key == picture.cacheKey()) {
            return kept.picture;
        }
        changed = m_desktop.pictureDamage(kept.key, picture.cacheKey());
    }
    const QImage source =
        picture.format() == QImage::Format_ARGB32_Premultiplied || picture.format() == QImage::Format_RGB32
            ? picture
            : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!changed) {
        kept.picture = QImage(size, QImage::Format_ARGB32_Premultiplied);
        scaleBilinear(source, kept.picture, kept.picture.rect());
    } else {
        // Each changed pixel reaches the scaled pixels whose samples it lies between: past its own
        // scaled place by half a step of the scaling, and a pixel for rounding.
        const double kx = double(size.width()) / source.width();
        const double ky = double(size.height()) / source.height();
        const int reachX = 1 + static_cast<int>(std::ceil(kx / 2));
        const int reachY = 1 + static_cast<int>(std::ceil(ky / 2));
        for (const QRect& part : *changed) {
            const QRect reached = QRectF(part.x() * kx, part.y() * ky, part.width() * kx, part.height() * ky)
                                      .toAlignedRect()
                                      .adjusted(-reachX, -reachY, reachX, reachY)
                                  & kept.picture.rect();
            scaleBilinear(source, kept.picture, reached);
        }
    }
    kept.key = picture.cacheKey();
    return kept.picture;
}

const LayerContentsView* SimCompositor::layerContentsView(QWidget* root)
{
    // Down through views that hold only one view as large as themselves (a window's content view
    // in its frame): a picture view reached so fills the window and is all it shows.
    QWidget* widget = root;
    for (int depth = 0; depth < 8; ++depth) {
        if (const auto* layer = dynamic_cast<const LayerContentsView*>(widget)) {
            return layer;
        }
        QWidget* only = nullptr;
        for (QObject* child : widget->children()) {
            auto* candidate = qobject_cast<QWidget*>(child);
            if (candidate == nullptr || candidate->isWindow() || !candidate->isVisibleTo(widget)) {
                continue;
            }
            if (only != nullptr) {
                return nullptr;
            }
            only = candidate;
        }
        if (only == nullptr || only->geometry() != widget->rect()) {
            return nullptr;
        }
        widget = only;
    }
    return nullptr;
}

void SimCompositor::fillRects(QImage& image, std::vector<SolidRect>& rects)
{
    if (rects.empty()) {
        return;
    }
    // Row after row, each from left to right, so that the stores stream: the rectangles that
    // cross a band of rows stay the same from one of its rows to the next.
    std::sort(rects.begin(), rects.end(), [](const SolidRect& a, const SolidRect& b) {
        return a.rect.top() < b.rect.top();
    });
    std::vector<int> edges;
    edges.reserve(rects.size() * 2);
    for (const SolidRect& r : rects) {
        edges.push_back(r.rect.top());
        edges.push_back(r.rect.bottom() + 1);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<const SolidRect*> crossing;
    std::size_t next = 0;
    uchar* bits = image.bits(); // detaches once, before any row is written
    const qsizetype stride = image.bytesPerLine();
    for (std::size_t band = 0; band + 1 < edges.size(); ++band) {
        const int top = edges[band];
        const int bottom = edges[band + 1];
        std::erase_if(crossing, [top](const SolidRect* r) { return r->rect.bottom() < top; });
        for (; next < rects.size() && rects[next].rect.top() == top; ++next) {
            crossing.push_back(&rects[next]);
        }
        std::sort(crossing.begin(), crossing.end(), [](const SolidRect* a, const SolidRect* b) {
            return a->rect.left() < b->rect.left();
        });
        for (int y = top; y < bottom; ++y) {
            auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
            for (const SolidRect* r : crossing) {
                fillRun(row + r->rect.left(), r->rect.width(), r->pixel);
            }
        }
    }
#if defined(__SSE2__)
    _mm_sfence(); // the streamed pixels land before anything reads or paints over them
#endif
}

std::optional<SCContentFilter> SimCompositor::displayFilter(quint32 displayID) const
{
    const auto setup = m_desktop.display(displayID);
    if (!setup) {
        return std::nullopt;
    }
    return SCContentFilter::displayExcludingWindows(scDisplay(displayID, setup->frame), {});
}

std::optional<QByteArray> SimCompositor::contentKey(const SCContentFilter& filter, QSize pixelSize) const
{
    return contentKey(scene(filter), pixelSize);
}

std::optional<QByteArray> SimCompositor::contentKey(const Scene& scene, QSize pixelSize) const
{
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << pixelSize << scene.region << scene.background;
    for (const Scene::Window& window : scene.windows) {
        if (window.setup.content) {
            return std::nullopt;
        }
        out << window.number << window.setup.bounds << window.setup.title.value_or(QString())
            << window.setup.color << window.setup.alpha.value_or(1.0);
        for (const auto& patch : window.setup.patches) {
            out << patch.rect << patch.color;
        }
    }
    return key;
}

SimDesktop::DamageScope SimCompositor::damageScope(const SCContentFilter& filter)
{
    return {[members = FilterMembers(filter)](quint32 number, pid_type owner) {
                return members.passes(number, owner);
            },
            true};
}

std::optional<SimCompositor::Scene>
SimCompositor::displayScene(quint32 displayID, bool seen, const QRect* within) const
{
    const auto filter = displayFilter(displayID);
    if (!filter) {
        return std::nullopt;
    }
    return scene(*filter, seen, within);
}

void SimCompositor::dropUnusedSurfaces() const
{
    std::erase_if(m_surfaces, [this](const auto& kept) { return !m_desktop.isWindowOnScreen(kept.first); });
    std::erase_if(m_scaled, [this](const auto& kept) { return !m_desktop.isWindowOnScreen(kept.first); });
}

QImage SimCompositor::renderDisplay(quint32 displayID, QSize pixelSize) const
{
    const auto filter = displayFilter(displayID);
    return filter ? render(*filter, pixelSize) : QImage();
}

QImage SimCompositor::renderSeen(quint32 displayID, QSize pixelSize) const
{
    const auto filter = displayFilter(displayID);
    if (!filter || pixelSize.isEmpty()) {
        return {};
    }
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        render(scene(*filter, true), image, false);
    }
    return image;
}

SCShareableContent
shareableContent(const SimDesktop& desktop, bool excludingDesktopWindows, bool onScreenWindowsOnly)
{
    SCShareableContent content;
    for (const quint32 id : desktop.displayIDs()) {
        content.displays.append(scDisplay(id, desktop.displayBounds(id)));
    }
    content.windows.reserve(static_cast<qsizetype>(desktop.orderedWindows().size()));
    QHash<pid_type, SCRunningApplication> apps;
    for (const auto& running : desktop.runningApplications()) {
        SCRunningApplication app;
        app.bundleIdentifier = running->bundleIdentifier().value_or(QString());
        app.applicationName = running->localizedName().value_or(QString());
        app.processID = running->processIdentifier();
        apps.insert(app.processID, app);
        content.applications.append(app);
    }
    for (const SimDesktop::OrderedWindow& ordered : desktop.orderedWindows()) {
        const SimDesktop::WindowSpec& setup = *ordered.setup;
        if ((onScreenWindowsOnly && !ordered.onScreen) || (excludingDesktopWindows && setup.layer < 0)) {
            continue;
        }
        SCWindow window;
        window.windowID = ordered.number;
        window.frame = setup.bounds;
        window.title = setup.title;
        window.windowLayer = setup.layer;
        if (const auto app = apps.constFind(setup.owner); app != apps.cend()) {
            window.owningApplication = *app;
        }
        window.isOnScreen = ordered.onScreen;
        content.windows.append(window);
    }
    return content;
}

} // namespace platform::sim
