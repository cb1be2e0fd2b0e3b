#include "platform/sim/SimScreenCapture.h"

#include "platform/Scheduler.h"
#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <cmath>

namespace platform::sim {

namespace {

// The filter's display or window is still there.
bool sourceExists(const SimDesktop& desktop, const SCContentFilter& filter)
{
    if (filter.kind() == SCContentFilter::Kind::DesktopIndependentWindow) {
        return !filter.windows().isEmpty() && desktop.window(filter.windows().front().windowID).has_value();
    }
    return filter.display() && desktop.display(filter.display()->displayID).has_value();
}

int pixels(int configured, double points)
{
    if (configured > 0) {
        return configured;
    }
    return std::isfinite(points) ? static_cast<int>(std::clamp(points, 1.0, 65536.0)) : 1;
}

} // namespace

SimScreenCapture::SimScreenCapture(SimDesktop& desktop, Scheduler& scheduler)
    : m_desktop(desktop)
    , m_scheduler(scheduler)
    , m_compositor(desktop)
{}

CaptureError SimScreenCapture::declinedError()
{
    return {kSCStreamErrorUserDeclined,
            QStringLiteral("The user declined TCCs for application, window, display capture")};
}

void SimScreenCapture::getShareableContent(bool excludingDesktopWindows,
                                           bool onScreenWindowsOnly,
                                           ShareableContentHandler completionHandler)
{
    ++m_contentRequests;
    std::optional<SCShareableContent> content;
    std::optional<CaptureError> error;
    if (!m_contentErrors.empty()) {
        error = m_contentErrors.front();
        m_contentErrors.pop_front();
    } else if (!m_desktop.screenRecordingPermission()) {
        error = declinedError();
    } else {
        // Answered again as it was while nothing changed.
        const quint64 generation = m_desktop.generation();
        if (!m_content || m_content->generation != generation
            || m_content->excludingDesktopWindows != excludingDesktopWindows
            || m_content->onScreenWindowsOnly != onScreenWindowsOnly) {
            m_content = Content{generation,
                                excludingDesktopWindows,
                                onScreenWindowsOnly,
                                shareableContent(m_desktop, excludingDesktopWindows, onScreenWindowsOnly)};
        }
        content = m_content->content;
    }
    m_scheduler.postAfter(m_contentDelay,
                          nullptr,
                          [handler = std::move(completionHandler), content = std::move(content), error] {
                              handler(content, error);
                          });
}

void SimScreenCapture::captureImage(const SCContentFilter& filter,
                                    const SCStreamConfiguration& configuration,
                                    ImageHandler completionHandler)
{
    ++m_screenshots;
    m_lastFilter = filter;
    std::optional<QImage> image;
    std::optional<CaptureError> error;
    if (!m_screenshotErrors.empty()) {
        error = m_screenshotErrors.front();
        m_screenshotErrors.pop_front();
    } else if (!m_desktop.screenRecordingPermission()) {
        error = declinedError();
    } else if (!sourceExists(m_desktop, filter)) {
        error = CaptureError{kSCStreamErrorNoCaptureSource,
                             QStringLiteral("The display or window to capture is no longer available")};
    } else {
        const QRectF region = m_compositor.region(filter);
        const QSize size(pixels(configuration.width, region.width()),
                         pixels(configuration.height, region.height()));
        QImage picture = screenshot(filter, size, configuration.showsCursor);
        if (picture.isNull()) {
            error =
                CaptureError{kSCStreamErrorNoCaptureSource, QStringLiteral("The capture could not be drawn")};
        } else {
            image = std::move(picture);
        }
    }
    // Held once and moved out on delivery, so the receiver owns the only reference to the pixels
    // (however often the scheduler copies the call) and can paint on them without a copy.
    auto held = std::make_shared<std::optional<QImage>>(std::move(image));
    m_scheduler.postAfter(m_screenshotDelay, nullptr, [handler = std::move(completionHandler), held, error] {
        std::optional<QImage> delivered = std::move(*held);
        held->reset();
        handler(std::move(delivered), error);
    });
}

QImage SimScreenCapture::screenshot(const SCContentFilter& filter, QSize size, bool showsCursor)
{
    const QRectF region = m_compositor.region(filter);
    if (size.isEmpty() || region.width() <= 0 || region.height() <= 0) {
        return {};
    }
    std::optional<QPointF> pointer;
    if (showsCursor && region.contains(m_desktop.mouseLocation())) {
        pointer = m_desktop.mouseLocation();
    }
    m_desktop.passOnRepaints();
    const quint64 serial = m_desktop.damageSerial();
    // A display seen through its wallpaper has no transparent pixel.
    const QImage::Format format = m_compositor.background(filter).alpha() == 255
                                      ? QImage::Format_RGB32
                                      : QImage::Format_ARGB32_Premultiplied;
    const auto found = std::find_if(m_series.begin(), m_series.end(), [&](const Series& kept) {
        return kept.filter == filter && kept.size == size && kept.format == format;
    });
    if (found == m_series.end()) {
        // The first picture of a filter is its receiver's own.
        QImage first(size, format);
        if (first.isNull()) {
            return {};
        }
        ++m_drawn;
        m_compositor.render(m_compositor.scene(filter), first, pointer.has_value());
        // The series asked for longest ago makes room.
        if (m_series.size() >= kKeptSeries) {
            m_series.pop_front();
        }
        m_series.push_back(Series{filter,
                                  SimCompositor::damageScope(filter),
                                  size,
                                  format,
                                  {},
                                  Last{first.cacheKey(), serial, pointer, std::nullopt}});
        m_desktop.notePictureDamage(first.cacheKey(), 0, std::nullopt);
        return first;
    }
    if (found + 1 != m_series.end()) {
        std::rotate(found, found + 1, m_series.end());
    }
    Series& series = m_series.back();
    const Last last = *series.last;
    const std::optional<QRegion> sinceLast = damagedPixels(series, last.damageSerial, last.pointer, pointer);
    if (sinceLast && sinceLast->isEmpty() && last.kept) {
        return series.pictures[*last.kept].picture; // nothing it shows changed
    }
    // The picture brought up to date longest ago that nobody else holds now, else a new one.
    std::optional<std::size_t> chosen;
    for (std::size_t i = 0; i < series.pictures.size(); ++i) {
        if (series.pictures[i].picture.isDetached()
            && (!chosen || series.pictures[i].drawn < series.pictures[*chosen].drawn)) {
            chosen = i;
        }
    }
    if (!chosen) {
        QImage fresh(size, format);
        if (fresh.isNull()) {
            return {};
        }
        Kept kept{std::move(fresh), 0, std::nullopt, 0};
        if (series.pictures.size() < kKeptPictures) {
            series.pictures.push_back(std::move(kept));
            chosen = series.pictures.size() - 1;
        } else {
            // Every kept picture is held elsewhere: the oldest is left to its holders.
            chosen = 0;
            for (std::size_t i = 1; i < series.pictures.size(); ++i) {
                if (series.pictures[i].drawn < series.pictures[*chosen].drawn) {
                    chosen = i;
                }
            }
            series.pictures[*chosen] = std::move(kept);
        }
    }
    Kept& kept = series.pictures[*chosen];
    const std::optional<QRegion> damaged =
        kept.drawn == 0 ? std::nullopt : damagedPixels(series, kept.damageSerial, kept.pointer, pointer);
    ++m_drawn;
    if (damaged) {
        const QRegion drawn = SimCompositor::pixelsToDraw(*damaged, region, size);
        const QRect within = SimCompositor::pointsOf(drawn, region, size);
        m_compositor.render(
            m_compositor.scene(filter, false, &within), kept.picture, pointer.has_value(), &drawn);
    } else {
        m_compositor.render(m_compositor.scene(filter), kept.picture, pointer.has_value());
    }
    kept.damageSerial = serial;
    kept.pointer = pointer;
    kept.drawn = ++m_drawnCount;
    series.last = Last{kept.picture.cacheKey(), serial, pointer, chosen};
    m_desktop.notePictureDamage(kept.picture.cacheKey(), last.key, sinceLast);
    return kept.picture;
}

std::optional<QRegion> SimScreenCapture::damagedPixels(const Series& series,
                                                       quint64 serial,
                                                       const std::optional<QPointF>& before,
                                                       const std::optional<QPointF>& now) const
{
    std::optional<QRegion> points = m_desktop.damageSince(serial, series.damageScope);
    if (!points) {
        return std::nullopt;
    }
    if (before != now) {
        for (const auto& tip : {before, now}) {
            if (tip) {
                points->operator+=(SimCompositor::cursorRect(*tip).toAlignedRect());
            }
        }
    }
    return SimCompositor::pixelsOf(*points, m_compositor.region(series.filter), series.size);
}

} // namespace platform::sim
