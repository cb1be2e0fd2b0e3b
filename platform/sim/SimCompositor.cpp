#include "platform/sim/SimCompositor.h"

#include "platform/sim/SimDesktop.h"

#include <QDataStream>
#include <QIODevice>
#include <QPainter>
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

QColor titleColor(const QColor& background)
{
    return background.lightnessF() > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

void drawSyntheticWindow(QPainter& painter, const SimDesktop::WindowSpec& spec)
{
    const QRectF& bounds = spec.bounds;
    painter.fillRect(bounds, spec.color);
    if (!spec.title || spec.title->isEmpty()) {
        return;
    }
    const QRectF titleRect(bounds.x() + SimCompositor::kTitleInset,
                           bounds.y() + SimCompositor::kTitleInset,
                           std::max(0.0, bounds.width() - 2 * SimCompositor::kTitleInset),
                           SimCompositor::kTitleHeight);
    painter.save();
    painter.setClipRect(titleRect.intersected(bounds), Qt::IntersectClip);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(titleColor(spec.color));
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, *spec.title);
    painter.restore();
}

void drawWidgetWindow(QPainter& painter, const SimDesktop::WindowSpec& spec)
{
    QWidget* widget = spec.content.data();
    const QRectF& bounds = spec.bounds;
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

} // namespace

SimCompositor::SimCompositor(const SimDesktop& desktop)
    : m_desktop(desktop)
{}

struct SimCompositor::Drawn
{
    quint32 number = 0;
    SimDesktop::WindowSpec spec;
};

QColor SimCompositor::background(const SCContentFilter& filter) const
{
    const bool ownBackground = filter.kind() == SCContentFilter::Kind::DisplayExcludingApplications
                               || filter.kind() == SCContentFilter::Kind::DisplayExcludingWindows;
    if (ownBackground && filter.display()) {
        if (const auto spec = m_desktop.display(filter.display()->displayID)) {
            return spec->desktopColor;
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
    const QList<quint32> order = m_desktop.windowOrder();
    // Back to front.
    for (qsizetype i = order.size() - 1; i >= 0; --i) {
        const quint32 number = order[i];
        const auto spec = m_desktop.window(number);
        if (!spec || !m_desktop.isWindowOnScreen(number)
            || spec->sharingState == static_cast<qint64>(WindowSharingType::None)
            || !spec->bounds.intersects(region) || !passes(filter, number, spec->owner, appPIDs, windowIDs)) {
            continue;
        }
        drawn.push_back({number, *spec});
    }
    return drawn;
}

QImage SimCompositor::render(const SCContentFilter& filter, QSize pixelSize) const
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
        painter.setOpacity(std::clamp(window.spec.alpha.value_or(1.0), 0.0, 1.0));
        if (window.spec.content) {
            drawWidgetWindow(painter, window.spec);
        } else {
            drawSyntheticWindow(painter, window.spec);
        }
    }
    return image;
}

std::optional<QByteArray> SimCompositor::contentKey(const SCContentFilter& filter, QSize pixelSize) const
{
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << pixelSize << filter.contentRect() << background(filter);
    for (const Drawn& window : drawnWindows(filter)) {
        if (window.spec.content) {
            return std::nullopt;
        }
        out << window.number << window.spec.bounds << window.spec.title.value_or(QString())
            << window.spec.color << window.spec.alpha.value_or(1.0);
    }
    return key;
}

QImage SimCompositor::renderDisplay(quint32 displayID, QSize pixelSize) const
{
    const auto spec = m_desktop.display(displayID);
    if (!spec) {
        return {};
    }
    return render(SCContentFilter::displayExcludingWindows(scDisplay(displayID, spec->frame), {}), pixelSize);
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
        const auto spec = desktop.window(number);
        const bool onScreen = desktop.isWindowOnScreen(number);
        if (!spec || (onScreenWindowsOnly && !onScreen) || (excludingDesktopWindows && spec->layer < 0)) {
            continue;
        }
        SCWindow window;
        window.windowID = number;
        window.frame = spec->bounds;
        window.title = spec->title;
        window.windowLayer = spec->layer;
        if (const auto app = apps.constFind(spec->owner); app != apps.cend()) {
            window.owningApplication = *app;
        }
        window.isOnScreen = onScreen;
        content.windows.append(window);
    }
    return content;
}

} // namespace platform::sim
