// The capture loop of VirtualDisplayManager: the 0.05 s tick, the content filter, the masks and
// the focus-stage strip, the checks that keep a picture that may show what the user left out from
// the audience, delivery by output, and the capture errors.

#include "capture/CaptureErrors.h"
#include "capture/DeliveryCheck.h"
#include "capture/ImageView.h"
#include "capture/VirtualDisplayLog.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/Bundle.h"
#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const QString& dockBundleID()
{
    static const QString kDock = QStringLiteral("com.apple.dock");
    return kDock;
}

const QStringList& notificationBundleIDs()
{
    static const QStringList kNotifications{QStringLiteral("com.apple.notificationcenterui"),
                                            QStringLiteral("com.apple.UserNotificationCenter")};
    return kNotifications;
}

// A capture dimension in pixels: the scaled length truncated, at least 1.
int pixelLength(double scale, int points)
{
    const double length = scale * points;
    if (!std::isfinite(length) || length < 1) {
        return 1;
    }
    return static_cast<int>(std::min(length, 65536.0));
}

} // namespace

// What one capture carries from the shareable content to the screenshot.
struct VirtualDisplayManager::CaptureContext
{
    quint64 generation = 0;
    quint64 privacyGeneration = 0;
    PrivacyInputs inputs;
    QList<platform::SCWindow> windows;
    platform::SCDisplay display;
    QSet<platform::pid_type> excludedPIDs;
    double scale = 2.0;
    std::optional<DeliveryCheck> check;
    // The on-screen windows when the screenshot was asked for.
    QList<platform::WindowDescription> shownWindows;
};

QColor VirtualDisplayManager::maskFill()
{
    static const QColor kFill =
        QColor::fromRgbF(0.09019607843137255F, 0.09411764705882353F, 0.10980392156862745F, 1.0F);
    return kFill;
}

void VirtualDisplayManager::startCaptureTimer()
{
    if (m_captureTimer.isActive()) {
        return;
    }
    m_captureTimer =
        scheduler().every(kCaptureInterval, [this] { scheduler().post(this, [this] { captureFrame(); }); });
    scheduler().post(this, [this] { captureFrame(); });
}

void VirtualDisplayManager::stopCapture()
{
    m_captureTimer.cancel();
    m_captureInProgress = false;
    m_shown.reset();
    m_composer.reset();
    // A capture still waiting for the system must not deliver when it comes back.
    ++m_captureGeneration;
}

void VirtualDisplayManager::captureFrame()
{
    // The timer check also keeps a tick queued before a stop or a permission failure from
    // starting a capture after it.
    if (!output.isLive() || m_captureInProgress || !mainDisplayID || !m_captureTimer.isActive()
        || m_services.screenCapture == nullptr) {
        return;
    }
    m_captureInProgress = true;
    const quint64 generation = m_captureGeneration;
    // Off-screen windows too: one that comes on screen before the screenshot (an app unhidden, a
    // window restored, a panel ordered in) is then left out by its number.
    m_services.screenCapture->getShareableContent(
        false, false, [self = QPointer<VirtualDisplayManager>(this), generation](auto content, auto error) {
            if (!self || self->m_captureGeneration != generation) {
                return;
            }
            self->captureContentArrived(std::move(content), error);
        });
}

void VirtualDisplayManager::captureContentArrived(std::optional<platform::SCShareableContent> content,
                                                  const std::optional<platform::CaptureError>& error)
{
    if (error || !content) {
        handleCaptureError(error.value_or(platform::CaptureError{}));
        return;
    }
    const auto findDisplay = [&content](std::optional<quint32> id) -> std::optional<platform::SCDisplay> {
        for (const auto& display : content->displays) {
            if (id == display.displayID) {
                return display;
            }
        }
        return std::nullopt;
    };
    auto display = findDisplay(mainDisplayID);
    if (!display) {
        // The mirrored display went away: mirror the source screen's display instead.
        if (const auto screen = sourceScreen(); screen && screen->displayID()) {
            mainDisplayID = screen->displayID();
            display = findDisplay(mainDisplayID);
        }
    }
    if (!display) {
        m_captureInProgress = false;
        report(QStringLiteral("Shared display not found."), true);
        return;
    }

    auto capture = std::make_shared<CaptureContext>();
    capture->generation = m_captureGeneration;
    // The inputs are read from here on; a picture is shown only if they still hold at delivery.
    capture->privacyGeneration = privacyGeneration();
    capture->inputs = m_privacyInputs;
    capture->display = *display;
    LeftOut leftOut;
    const platform::SCContentFilter filter = contentFilter(*content, *display, leftOut);
    capture->scale = captureScale(display->displayID);
    capture->check.emplace(DeliveryCheck::Basis{filter,
                                                content->applications,
                                                leftOut.bundleIDs,
                                                ownProcessIdentifier(),
                                                excludedWindowIDs,
                                                capture->scale},
                           m_services.workspace,
                           m_windowReadings);
    capture->excludedPIDs = std::move(leftOut.pids);
    capture->windows = std::move(content->windows);
    content.reset();
    // The desktop moved on while the content was on its way; the screenshot shows it as it is now,
    // so it is checked with the masks as they would be painted now.
    PlacedMasks placed = placeMasks(capture->windows, capture->excludedPIDs, *display, capture->scale);
    capture->check->setMasks(masks, std::move(placed.byMask));
    auto shown = onScreenWindows();
    if (!shown || !capture->check->allows(*shown)) {
        m_captureInProgress = false;
        ++m_droppedFrames;
        return;
    }
    capture->shownWindows = std::move(*shown);

    platform::SCStreamConfiguration configuration;
    configuration.width = pixelLength(capture->scale, display->width);
    configuration.height = pixelLength(capture->scale, display->height);
    configuration.showsCursor = true;
    configuration.capturesAudio = false;
    m_services.screenCapture->captureImage(
        filter,
        configuration,
        [self = QPointer<VirtualDisplayManager>(this), capture](auto image, auto imageError) {
            if (!self || self->m_captureGeneration != capture->generation) {
                return;
            }
            self->screenshotArrived(capture, std::move(image), imageError);
        });
}

void VirtualDisplayManager::screenshotArrived(const std::shared_ptr<CaptureContext>& capture,
                                              std::optional<QImage> image,
                                              const std::optional<platform::CaptureError>& error)
{
    if (error || !image) {
        handleCaptureError(error.value_or(platform::CaptureError{}));
        return;
    }
    m_captureInProgress = false;
    // The output is read again here: a pause that began while the capture was out drops it.
    if (!output.isLive()) {
        return;
    }
    // Something left out now that the filter let through (an app hidden while the screenshot was
    // taken), or a window that came on screen or moved since: the picture may show what the user
    // left out. The masks are placed again as they stand now and painted so; ones drawn since the
    // screenshot was asked for are checked against the windows of that moment too.
    const bool sameInputs = privacyGeneration() == capture->privacyGeneration;
    const bool leavesOutEnough = sameInputs || capture->inputs.leavesOutAtLeastAsMuchAs(m_privacyInputs);
    PlacedMasks placed;
    bool allowed = leavesOutEnough;
    if (allowed) {
        placed = placeMasks(capture->windows, capture->excludedPIDs, capture->display, capture->scale);
        m_lastMaskFrames = std::move(placed.frames);
        capture->check->setMasks(masks, std::move(placed.byMask));
        const auto windows = onScreenWindows();
        allowed = windows && capture->check->allows(*windows)
                  && (masks == capture->inputs.masks || capture->check->allows(capture->shownWindows));
    }
    if (!allowed) {
        ++m_droppedFrames;
        return;
    }
    std::optional<double> strip;
    if (focusStageEnabled) {
        double menuBarHeight = m_services.screens != nullptr ? m_services.screens->menuBarHeight() : 25.0;
        if (!std::isfinite(menuBarHeight) || menuBarHeight < 0) {
            menuBarHeight = 25.0;
        }
        strip = menuBarHeight * capture->scale;
    }
    // The same capture painted the same way under the same inputs is the picture already up:
    // nothing to compose, show or hand on.
    Shown shown{m_privacyGeneration, image->cacheKey(), strip, placed.rects, 0};
    const QPointer<VirtualDisplayManager> self(this);
    if (!isShowing(shown)) {
        FrameComposer::Frame frame = m_composer.compose(std::move(*image), strip, placed.rects);
        image.reset();
        const QImage picture = frame.picture;
        shown.picture = picture.cacheKey();
        // A capture that changed nothing of the picture up gives that picture again: nothing new
        // to show or hand on.
        const bool alreadyUp = m_shown && m_shown->picture == shown.picture && isUp(shown.picture);
        m_shown = std::move(shown);
        if (!alreadyUp) {
            if (m_imageView) {
                m_imageView->setImage(std::move(frame.picture), frame.changedFrom, std::move(frame.changed));
            }
            if (frameHandler) {
                frameHandler(picture);
            }
        }
    }
    if (self && screenRecordingPermissionHandler) {
        screenRecordingPermissionHandler(true);
    }
}

bool VirtualDisplayManager::isShowing(const Shown& shown) const
{
    if (!m_shown || m_shown->privacyGeneration != shown.privacyGeneration || m_shown->capture != shown.capture
        || m_shown->strip != shown.strip || m_shown->masks != shown.masks) {
        return false;
    }
    // Nothing else (a cover, say) was put up since.
    return isUp(m_shown->picture);
}

bool VirtualDisplayManager::isUp(qint64 picture) const
{
    return m_imageView.isNull() || (m_imageView->image() && m_imageView->image()->cacheKey() == picture);
}

void VirtualDisplayManager::handleCaptureError(const platform::CaptureError& error)
{
    m_captureInProgress = false;
    if (!isScreenRecordingPermissionFailure(error.localizedDescription)) {
        qCCritical(virtualDisplayLog(m_services),
                   "Virtual display capture error: %s",
                   qUtf8Printable(error.localizedDescription));
        return;
    }
    stopCapture();
    const auto permissionHandler = screenRecordingPermissionHandler;
    report(QStringLiteral(
               "Screen Recording denied. Grant permission in System Settings, quit Veilmox, then reopen it."),
           true);
    if (permissionHandler) {
        scheduler().post(nullptr, [permissionHandler] { permissionHandler(false); });
    }
}

platform::SCContentFilter VirtualDisplayManager::contentFilter(const platform::SCShareableContent& content,
                                                               const platform::SCDisplay& display,
                                                               LeftOut& leftOut) const
{
    QStringList alwaysLeftOut;
    const platform::Bundle& bundle =
        m_services.bundle != nullptr ? *m_services.bundle : platform::Bundle::main();
    if (const auto own = bundle.bundleIdentifier()) {
        alwaysLeftOut.append(*own);
    }
    if (focusStageEnabled) {
        alwaysLeftOut.append(dockBundleID());
    }
    if (hideNotifications) {
        alwaysLeftOut.append(notificationBundleIDs());
    }
    leftOut.bundleIDs = excludedBundleIDs;
    for (const QString& id : alwaysLeftOut) {
        leftOut.bundleIDs.insert(id);
    }

    // The program itself by its process as well: its windows stay out even without a bundle.
    const platform::pid_type own = ownProcessIdentifier();
    QList<platform::SCRunningApplication> applications;
    for (const auto& app : content.applications) {
        if (leftOut.bundleIDs.contains(app.bundleIdentifier) || app.processID == own) {
            applications.append(app);
            leftOut.pids.insert(app.processID);
        }
    }
    // A hidden window that exists, on screen or not (it may come on screen before the
    // screenshot), is left out by its number.
    const bool hidesExistingWindow =
        std::any_of(content.windows.cbegin(), content.windows.cend(), [this](const auto& w) {
            return excludedWindowIDs.contains(w.windowID);
        });
    if (!hidesExistingWindow) {
        return platform::SCContentFilter::displayExcludingApplications(display, applications, {});
    }
    QList<platform::SCWindow> windows;
    for (const auto& window : content.windows) {
        if (excludedWindowIDs.contains(window.windowID)
            || (window.owningApplication && leftOut.pids.contains(window.owningApplication->processID))) {
            windows.append(window);
        }
    }
    return platform::SCContentFilter::displayExcludingWindows(display, windows);
}

double VirtualDisplayManager::captureScale(quint32 displayID) const
{
    for (const auto& screen : screens()) {
        if (screen.displayID() == displayID) {
            return screen.backingScaleFactor;
        }
    }
    return 2.0;
}

QList<QRect> VirtualDisplayManager::maskRects(const QList<platform::SCWindow>& windows,
                                              const QSet<platform::pid_type>& excludedPIDs,
                                              const platform::SCDisplay& display,
                                              double scale)
{
    PlacedMasks placed = placeMasks(windows, excludedPIDs, display, scale);
    m_lastMaskFrames = std::move(placed.frames);
    return placed.rects;
}

VirtualDisplayManager::PlacedMasks
VirtualDisplayManager::placeMasks(const QList<platform::SCWindow>& windows,
                                  const QSet<platform::pid_type>& excludedPIDs,
                                  const platform::SCDisplay& display,
                                  double scale) const
{
    PlacedMasks placed;
    if (masks.isEmpty()) {
        return placed;
    }
    // Off-screen windows (minimised, of a hidden app) show nothing to cover.
    QHash<quint32, const platform::SCWindow*> windowsByID;
    for (const auto& window : windows) {
        if (window.isOnScreen && !windowsByID.contains(window.windowID)) {
            windowsByID.insert(window.windowID, &window);
        }
    }
    for (const ShareMask& mask : masks) {
        const platform::SCWindow* window = windowsByID.value(mask.windowID);
        if (window == nullptr || excludedWindowIDs.contains(window->windowID)
            || (window->owningApplication && excludedPIDs.contains(window->owningApplication->processID))) {
            continue;
        }
        const auto onScreen = mask.screenRect(window->frame);
        if (!onScreen) {
            continue;
        }
        placed.frames.insert(mask.id, *onScreen);
        QRectF rect = *onScreen;
        // Cover where the window is heading too: the next frame shows it about as far on.
        if (const auto old = m_lastMaskFrames.constFind(mask.id); old != m_lastMaskFrames.cend()) {
            const double dx = rect.x() - old->x();
            const double dy = rect.y() - old->y();
            rect = platform::rectUnion(rect, rect.translated(dx, dy));
        }
        if (const auto pixels = DeliveryCheck::pixelRect(rect, display.frame, scale)) {
            placed.rects.append(*pixels);
            placed.byMask.insert(mask.id, *pixels);
        }
    }
    return placed;
}

std::optional<QList<platform::WindowDescription>> VirtualDisplayManager::onScreenWindows() const
{
    // Without a window list nothing can be vouched for.
    if (m_services.windowServer == nullptr) {
        return std::nullopt;
    }
    return m_services.windowServer->copyWindowInfo(platform::kCGWindowListOptionOnScreenOnly,
                                                   platform::kCGNullWindowID);
}

platform::pid_type VirtualDisplayManager::ownProcessIdentifier() const
{
    return m_services.workspace != nullptr ? m_services.workspace->currentProcessIdentifier() : 0;
}

VirtualDisplayManager::PrivacyInputs VirtualDisplayManager::privacyInputs() const
{
    return {excludedBundleIDs,
            excludedWindowIDs,
            hideNotifications,
            focusStageEnabled,
            masks,
            output,
            sourceDisplayID,
            mainDisplayID};
}

bool VirtualDisplayManager::PrivacyInputs::leavesOutAtLeastAsMuchAs(const PrivacyInputs& other) const
{
    return output.isLive() && other.output.isLive() && sourceDisplayID == other.sourceDisplayID
           && mainDisplayID == other.mainDisplayID && excludedBundleIDs.contains(other.excludedBundleIDs)
           && excludedWindowIDs.contains(other.excludedWindowIDs)
           && (hideNotifications || !other.hideNotifications)
           && (focusStageEnabled || !other.focusStageEnabled);
}

quint64 VirtualDisplayManager::privacyGeneration() const
{
    // The inputs are plain fields that the owner writes: a change is found by comparing with the
    // last reading (cheap: unchanged containers share their data).
    PrivacyInputs now = privacyInputs();
    if (!(now == m_privacyInputs)) {
        m_privacyInputs = std::move(now);
        ++m_privacyGeneration;
    }
    return m_privacyGeneration;
}

QImage VirtualDisplayManager::composeFrame(QImage capture,
                                           std::optional<double> stripHeight,
                                           const QList<QRect>& maskRects)
{
    if ((!stripHeight && maskRects.isEmpty()) || capture.isNull()) {
        return capture;
    }
    if (capture.format() != QImage::Format_ARGB32_Premultiplied && capture.format() != QImage::Format_RGB32
        && capture.format() != QImage::Format_ARGB32) {
        capture = capture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    // The capture is painted over in place: when nobody else holds its pixels, that costs no copy.
    QPainter painter(&capture);
    if (stripHeight) {
        painter.fillRect(QRectF(0, 0, capture.width(), *stripHeight), Qt::black);
    }
    const QColor fill = maskFill();
    for (const QRect& rect : maskRects) {
        painter.fillRect(rect, fill);
    }
    painter.end();
    return capture;
}
