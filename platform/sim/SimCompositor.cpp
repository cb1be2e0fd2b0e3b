#include "platform/sim/SimCompositor.h"

#include "platform/sim/SimDesktop.h"

#include <QDataStream>
#include <QIODevice>
#include <QPainter>
#include <QPolygonF>
#include <QRegion>
#include <QSet>
#include <QWidget>

#include <algorithm>
#include <cmath>

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

bool passes(const SCContentFilter& filter,
            quint32 number,
            pid_type owner,
            const QSet<pid_type>& appPIDs,
            const QSet<quint32>& windowIDs)
{
    switch (filter.kind()) {
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

// The largest rectangle of whole points inside the rectangle.
QRect innerRect(const QRectF& rect)
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

QColor titleColor(const QColor& background)
{
    return background.lightnessF() > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

// The window's colour, its patches and its title, within `visible` when only part of it shows
// (filled piece by piece: a fill clipped to a complex region is far slower).
void drawSyntheticWindow(QPainter& painter,
                         const SimDesktop::WindowSpec& setup,
                         const std::optional<QRegion>& visible)
{
    const QRectF& bounds = setup.bounds;
    const auto fill = [&painter, &visible](const QRectF& rect, const QColor& colour) {
        if (!visible) {
            painter.fillRect(rect, colour);
            return;
        }
        for (const QRect& part : *visible) {
            const QRectF piece = rect.intersected(part);
            if (!piece.isEmpty()) {
                painter.fillRect(piece, colour);
            }
        }
    };
    fill(bounds, setup.color);
    for (const auto& patch : setup.patches) {
        fill(patch.rect.translated(bounds.topLeft()).intersected(bounds), patch.color);
    }
    if (!setup.title || setup.title->isEmpty()) {
        return;
    }
    const QRectF titleRect(bounds.x() + SimCompositor::kTitleInset,
                           bounds.y() + SimCompositor::kTitleInset,
                           std::max(0.0, bounds.width() - 2 * SimCompositor::kTitleInset),
                           SimCompositor::kTitleHeight);
    if (visible) {
        const QRegion shown = visible->intersected(titleRect.toAlignedRect());
        if (shown.isEmpty()) {
            return;
        }
        painter.setClipRegion(shown);
    }
    painter.save();
    painter.setClipRect(titleRect.intersected(bounds), Qt::IntersectClip);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(titleColor(setup.color));
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, *setup.title);
    painter.restore();
}

void drawWidgetWindow(QPainter& painter, const SimDesktop::WindowSpec& setup)
{
    QWidget* widget = setup.content.data();
    const QRectF& bounds = setup.bounds;
    if (widget->width() <= 0 || widget->height() <= 0 || bounds.isEmpty()) {
        return;
    }
    // Like a window server's backing store, the window is drawn on its own at the pixel density
    // it is shown at, then placed: Qt draws the graphics effects of nested widgets (the kit's
    // glows) wrongly, or not at all, through a painter that is already moved or scaled.
    const QTransform& t = painter.worldTransform();
    const double shown = std::max(std::abs(t.m11()), std::abs(t.m22())) * bounds.width() / widget->width();
    // Never below one pixel a point: text laid out for fewer pixels lands in the wrong places.
    const double density = std::clamp(std::isfinite(shown) ? shown : 1.0, 1.0, 4.0);
    QImage store(static_cast<int>(std::ceil(widget->width() * density)),
                 static_cast<int>(std::ceil(widget->height() * density)),
                 QImage::Format_ARGB32_Premultiplied);
    if (store.isNull()) {
        return;
    }
    store.setDevicePixelRatio(density);
    store.fill(Qt::transparent);
    widget->render(&store, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(bounds, store);
    painter.restore();
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

SimCompositor::SimCompositor(const SimDesktop& desktop)
    : m_desktop(desktop)
{}

struct SimCompositor::Drawn
{
    quint32 number = 0;
    SimDesktop::WindowSpec setup;
    // The part that no opaque window in front hides, when some of it is hidden.
    std::optional<QRegion> visible;
};

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

std::vector<SimCompositor::Drawn> SimCompositor::drawnWindows(const SCContentFilter& filter) const
{
    const QRectF region = filter.contentRect();
    QSet<pid_type> appPIDs;
    for (const auto& app : filter.applications()) {
        appPIDs.insert(app.processID);
    }
    QSet<quint32> windowIDs;
    for (const auto& window : filter.windows()) {
        windowIDs.insert(window.windowID);
    }
    std::vector<Drawn> drawn;
    // Front to back, keeping to the part of each window that opaque ones in front leave visible,
    // as a window server does: a desktop of hundreds of stacked windows costs about what one
    // screenful does. Pixels left out are the ones an opaque window in front paints over anyway.
    QRegion covered;
    const QRect area = region.toAlignedRect();
    for (const quint32 number : m_desktop.windowOrder()) {
        const auto setup = m_desktop.window(number);
        if (!setup || !m_desktop.isWindowOnScreen(number)
            || setup->sharingState == static_cast<qint64>(WindowSharingType::None)
            || !setup->bounds.intersects(region)
            || !passes(filter, number, setup->owner, appPIDs, windowIDs)) {
            continue;
        }
        const QRect reach = setup->bounds.toAlignedRect().intersected(area);
        const QRegion visible = QRegion(reach) - covered;
        if (visible.isEmpty()) {
            continue;
        }
        drawn.push_back({number, *setup, visible == QRegion(reach) ? std::nullopt : std::optional(visible)});
        if (!setup->content && setup->alpha.value_or(1.0) >= 1.0) {
            covered += innerRect(setup->bounds);
        }
    }
    std::reverse(drawn.begin(), drawn.end());
    return drawn;
}

QImage SimCompositor::render(const SCContentFilter& filter, QSize pixelSize, bool showsCursor) const
{
    const QRectF region = filter.contentRect();
    if (pixelSize.isEmpty() || region.width() <= 0 || region.height() <= 0) {
        return {};
    }
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;
    }
    image.fill(background(filter));

    QPainter painter(&image);
    painter.scale(pixelSize.width() / region.width(), pixelSize.height() / region.height());
    painter.translate(-region.topLeft());
    for (const Drawn& window : drawnWindows(filter)) {
        painter.setOpacity(std::clamp(window.setup.alpha.value_or(1.0), 0.0, 1.0));
        if (window.setup.content) {
            if (window.visible) {
                painter.setClipRegion(*window.visible);
            }
            drawWidgetWindow(painter, window.setup);
        } else {
            drawSyntheticWindow(painter, window.setup, window.visible);
        }
        painter.setClipping(false);
    }
    if (showsCursor && region.contains(m_desktop.mouseLocation())) {
        drawCursor(painter, m_desktop.mouseLocation());
    }
    return image;
}

std::optional<QByteArray> SimCompositor::contentKey(const SCContentFilter& filter, QSize pixelSize) const
{
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << pixelSize << filter.contentRect() << background(filter);
    for (const Drawn& window : drawnWindows(filter)) {
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

QImage SimCompositor::renderDisplay(quint32 displayID, QSize pixelSize) const
{
    const auto setup = m_desktop.display(displayID);
    if (!setup) {
        return {};
    }
    return render(SCContentFilter::displayExcludingWindows(scDisplay(displayID, setup->frame), {}),
                  pixelSize);
}

SCShareableContent
shareableContent(const SimDesktop& desktop, bool excludingDesktopWindows, bool onScreenWindowsOnly)
{
    SCShareableContent content;
    for (const quint32 id : desktop.displayIDs()) {
        content.displays.append(scDisplay(id, desktop.displayBounds(id)));
    }
    QHash<pid_type, SCRunningApplication> apps;
    for (const auto& running : desktop.runningApplications()) {
        SCRunningApplication app;
        app.bundleIdentifier = running->bundleIdentifier().value_or(QString());
        app.applicationName = running->localizedName().value_or(QString());
        app.processID = running->processIdentifier();
        apps.insert(app.processID, app);
        content.applications.append(app);
    }
    for (const quint32 number : desktop.windowOrder()) {
        const auto setup = desktop.window(number);
        const bool onScreen = desktop.isWindowOnScreen(number);
        if (!setup || (onScreenWindowsOnly && !onScreen) || (excludingDesktopWindows && setup->layer < 0)) {
            continue;
        }
        SCWindow window;
        window.windowID = number;
        window.frame = setup->bounds;
        window.title = setup->title;
        window.windowLayer = setup->layer;
        if (const auto app = apps.constFind(setup->owner); app != apps.cend()) {
            window.owningApplication = *app;
        }
        window.isOnScreen = onScreen;
        content.windows.append(window);
    }
    return content;
}

} // namespace platform::sim
