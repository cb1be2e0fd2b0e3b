#include "platform/sim/SimScreenCapture.h"

#include "platform/Scheduler.h"
#include "platform/sim/SimDesktop.h"

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
        const QRectF region = filter.contentRect();
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
    const QRectF region = filter.contentRect();
    if (size.isEmpty() || region.width() <= 0 || region.height() <= 0) {
        return {};
    }
    std::optional<QPointF> pointer;
    if (showsCursor && region.contains(m_desktop.mouseLocation())) {
        pointer = m_desktop.mouseLocation();
    }
    const quint64 generation = m_desktop.generation();
    const bool sameRequest = m_shown && m_shown->key && m_shown->filter == filter && m_shown->size == size
                             && m_shown->pointer == pointer;
    std::optional<SimCompositor::Scene> scene;
    std::optional<QByteArray> key;
    bool unchanged = sameRequest && m_shown->generation == generation;
    if (sameRequest && !unchanged) {
        // Something changed somewhere; perhaps nothing this filter shows.
        scene = m_compositor.scene(filter);
        key = m_compositor.contentKey(*scene, size);
        unchanged = key == m_shown->key;
    }
    if (unchanged) {
        m_shown->generation = generation;
        if (m_shown->picture.isNull()) {
            // The same picture twice in a row: kept from now on.
            m_shown->picture = draw(scene ? *scene : m_compositor.scene(filter), size, pointer.has_value());
        }
        return m_shown->picture;
    }
    if (!scene) {
        scene = m_compositor.scene(filter);
        key = m_compositor.contentKey(*scene, size);
    }
    m_shown = Shown{filter, size, pointer, generation, key, QImage()};
    return draw(*scene, size, pointer.has_value());
}

QImage SimScreenCapture::draw(const SimCompositor::Scene& scene, QSize size, bool showsCursor)
{
    ++m_drawn;
    // A display seen through its wallpaper has no transparent pixel.
    const QImage::Format format =
        scene.background.alpha() == 255 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    QImage picture = m_frames.frame(size, format);
    if (picture.isNull()) {
        picture = QImage(size, format);
    }
    m_compositor.render(scene, picture, showsCursor);
    return picture;
}

} // namespace platform::sim
