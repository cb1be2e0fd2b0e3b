#include "capture/SCOverlayController.h"

#include "capture/CaptureErrors.h"
#include "capture/OverlayGeometry.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "platform/Values.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <algorithm>
#include <cmath>

namespace {

// The results of capture requests are of no use to the overlays.
void ignoreResult(const std::optional<platform::CaptureError>& /*error*/)
{}

double clampedTransparency(double value)
{
    if (!std::isfinite(value) || value <= 0) {
        return 0;
    }
    return std::min(value, SCOverlayController::kMaxTransparency);
}

platform::SCStreamConfiguration
overlayConfiguration(int fps, double widthPoints, double heightPoints, double scale)
{
    platform::SCStreamConfiguration configuration;
    configuration.width = FrameStream::pixels(widthPoints, scale);
    configuration.height = FrameStream::pixels(heightPoints, scale);
    configuration.minimumFrameInterval = platform::CMTime{1, fps};
    configuration.pixelFormat = platform::kCVPixelFormatType32BGRA;
    configuration.queueDepth = 4;
    configuration.showsCursor = false;
    configuration.capturesAudio = false;
    return configuration;
}

} // namespace

qint64 SCOverlayController::overlayLevel()
{
    return 1000;
}

platform::SCStreamConfiguration
SCOverlayController::streamConfiguration(int fps, const platform::SCDisplay& display, double scale)
{
    return overlayConfiguration(fps, display.width, display.height, scale);
}

SCOverlayController::SCOverlayController(const platform::Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    if (m_services.workspace != nullptr) {
        platform::NotificationCenter& workspace = m_services.workspace->notificationCenter();
        m_appActivateCancellable = workspace.addObserver(
            platform::kWorkspaceDidActivateApplication,
            [self = QPointer<SCOverlayController>(this)](const platform::Notification&) {
                if (self) {
                    self->reconcile();
                }
            });
        m_appDeactivateCancellable = workspace.addObserver(
            platform::kWorkspaceDidDeactivateApplication,
            [self = QPointer<SCOverlayController>(this)](const platform::Notification&) {
                if (self) {
                    self->reconcile();
                }
            });
    }
    if (m_services.screens != nullptr) {
        m_screensCancellable = m_services.screens->defaultCenter().addObserver(
            platform::kApplicationDidChangeScreenParameters,
            [self = QPointer<SCOverlayController>(this)](const platform::Notification&) {
                if (!self) {
                    return;
                }
                // The passthroughs come back with the new geometry after the next discovery.
                self->tearDownPassthroughs();
                self->scheduler().post(self, [self] { self->discover(); });
            });
    }
}

SCOverlayController::~SCOverlayController() = default;

platform::Scheduler& SCOverlayController::scheduler() const
{
    return m_services.scheduler != nullptr ? *m_services.scheduler : platform::Scheduler::current();
}

QList<platform::Screen> SCOverlayController::screens() const
{
    return m_services.screens != nullptr ? m_services.screens->screens() : QList<platform::Screen>();
}

std::optional<QString> SCOverlayController::frontmostBundleID() const
{
    if (m_services.workspace == nullptr) {
        return std::nullopt;
    }
    const platform::RunningApplicationRef front = m_services.workspace->frontmostApplication();
    return front ? front->bundleIdentifier() : std::nullopt;
}

// MARK: Pinned sets

void SCOverlayController::update()
{
    ++m_updateCount;
    if (m_pinnedBundleIDs.isEmpty() && m_pinnedWindowIDs.isEmpty()) {
        stopDiscovery();
        for (auto& [number, entry] : m_overlayEntries) {
            entry.stream->stream().stopCapture(ignoreResult);
            entry.panel->close();
        }
        m_overlayEntries.clear();
        m_appsWithPinnedWindows.clear();
        tearDownPassthroughs();
        return;
    }
    startDiscoveryTimer();
    // Overlays of windows no longer pinned go away in this discovery.
    scheduler().post(this, [this] { discover(); });
}

void SCOverlayController::startDiscoveryTimer()
{
    if (m_discoveryTimer.isActive()) {
        return;
    }
    m_discoveryTimer =
        scheduler().every(kDiscoveryInterval, [this] { scheduler().post(this, [this] { discover(); }); });
}

void SCOverlayController::stopDiscovery()
{
    m_discoveryTimer.cancel();
    m_latestContent.reset();
}

// MARK: Discovery

void SCOverlayController::discover()
{
    // Ticks that come while a discovery runs are skipped, not queued.
    if ((m_pinnedBundleIDs.isEmpty() && m_pinnedWindowIDs.isEmpty()) || m_discoveryInFlight
        || m_services.screenCapture == nullptr) {
        return;
    }
    m_discoveryInFlight = true;
    m_services.screenCapture->getShareableContent(
        false, true, [self = QPointer<SCOverlayController>(this)](auto content, auto error) {
            if (!self) {
                return;
            }
            if (content) {
                self->apply(*content);
            } else {
                self->handleDiscoveryError(error.value_or(platform::CaptureError{}));
            }
            if (self) {
                self->m_discoveryInFlight = false;
            }
        });
}

void SCOverlayController::handleDiscoveryError(const platform::CaptureError& error) const
{
    // Anything else is dropped: the overlays stay and the next tick tries again.
    if (isScreenRecordingPermissionFailure(error.localizedDescription) && permissionStatusHandler) {
        permissionStatusHandler(false);
    }
}

void SCOverlayController::apply(const platform::SCShareableContent& content)
{
    m_latestContent = content;
    if (permissionStatusHandler) {
        permissionStatusHandler(true);
    }

    // No layer test: an app pinned whole gets an overlay for each of its on-screen windows.
    QList<const platform::SCWindow*> targets;
    QSet<quint32> targetNumbers;
    QSet<QString> appsWithPinnedWindows;
    for (const platform::SCWindow& window : content.windows) {
        if (!window.owningApplication) {
            continue;
        }
        const QString& owner = window.owningApplication->bundleIdentifier;
        if (m_pinnedWindowIDs.contains(window.windowID)) {
            appsWithPinnedWindows.insert(owner);
        }
        if (window.isOnScreen
            && (m_pinnedBundleIDs.contains(owner) || m_pinnedWindowIDs.contains(window.windowID))) {
            targets.append(&window);
            targetNumbers.insert(window.windowID);
        }
    }
    m_appsWithPinnedWindows = appsWithPinnedWindows;

    // Closed, minimised, off-screen or unpinned windows lose their overlay; one that comes back
    // gets a new one.
    for (auto it = m_overlayEntries.begin(); it != m_overlayEntries.end();) {
        if (targetNumbers.contains(it->first)) {
            ++it;
            continue;
        }
        it->second.stream->stream().stopCapture(ignoreResult);
        it->second.panel->close();
        it = m_overlayEntries.erase(it);
    }
    for (const platform::SCWindow* window : targets) {
        if (!m_overlayEntries.contains(window->windowID)) {
            makeOverlayEntry(*window, window->owningApplication->bundleIdentifier);
        }
    }

    // Passthrough filters follow the app's unpinned windows.
    const QSet<QString> pinnedApps = m_pinnedBundleIDs + m_appsWithPinnedWindows;
    for (auto& [displayID, passthrough] : m_passthroughs) {
        if (!pinnedApps.contains(passthrough->bundleID())) {
            continue;
        }
        const auto display = std::find_if(content.displays.cbegin(),
                                          content.displays.cend(),
                                          [id = displayID](const auto& d) { return d.displayID == id; });
        if (display == content.displays.cend()) {
            continue;
        }
        const auto filters = passthroughFilters(passthrough->bundleID(), *display, content);
        if (!filters || filters->unpinnedWindowIDs == passthrough->unpinnedWindowIDs) {
            continue;
        }
        passthrough->unpinnedWindowIDs = filters->unpinnedWindowIDs;
        if (passthrough->appStream) {
            passthrough->appStream->stream().updateContentFilter(filters->appFilter, ignoreResult);
        }
        if (passthrough->backgroundStream) {
            passthrough->backgroundStream->stream().updateContentFilter(filters->backgroundFilter,
                                                                        ignoreResult);
        }
    }
    reconcile();
}

void SCOverlayController::makeOverlayEntry(const platform::SCWindow& window, const QString& bundleID)
{
    const QRectF frame = cocoaRect(window.frame);
    const double scale = backingScale(frame, screens());

    OverlayEntry entry;
    entry.bundleID = bundleID;
    auto* view = new SurfaceView(QRectF(QPointF(0, 0), frame.size()), false);
    view->setAlphaValue(1 - transparency(bundleID));
    entry.view = view;
    entry.panel = std::make_unique<OverlayPanel>(m_services, bundleID, frame);
    entry.panel->applyOverlaySettings(overlayLevel(), false);
    entry.panel->setContentView(view);
    entry.panel->setFrame(frame, true);

    entry.stream = std::make_unique<FrameStream>(
        platform::SCContentFilter::desktopIndependentWindow(window),
        overlayConfiguration(60, frame.width(), frame.height(), scale),
        [view = QPointer<SurfaceView>(view)](const platform::IOSurfaceRef& surface) {
            if (view) {
                view->setSurface(surface);
            }
        },
        m_services);
    entry.stream->stream().startCapture(ignoreResult);
    // Not ordered in here: the reconcile() at the end of the discovery shows or hides it.
    m_overlayEntries.insert_or_assign(window.windowID, std::move(entry));
}

void SCOverlayController::syncOverlayFrames()
{
    if (m_overlayEntries.empty() || m_services.windowServer == nullptr) {
        return;
    }
    QList<std::uint32_t> numbers;
    for (const auto& [number, entry] : m_overlayEntries) {
        numbers.append(number);
    }
    // One request for all entries; a window that cannot be read keeps its last frame.
    const auto descriptions = m_services.windowServer->createDescriptionFromArray(numbers);
    if (!descriptions) {
        return;
    }
    for (const platform::WindowDescription& description : *descriptions) {
        const auto number = platform::uint32Value(description.value(platform::kCGWindowNumber));
        if (!number) {
            continue;
        }
        const auto entry = m_overlayEntries.find(*number);
        if (entry == m_overlayEntries.end()) {
            continue;
        }
        const auto bounds = platform::rectFromDictionary(description.value(platform::kCGWindowBounds));
        if (!bounds) {
            continue;
        }
        const QRectF frame = cocoaRect(*bounds);
        OverlayPanel& panel = *entry->second.panel;
        if (panel.frame() == frame) {
            continue;
        }
        panel.setFrame(frame, false);
        entry->second.stream->resize(frame.width(), frame.height(), backingScale(frame, screens()));
    }
}

// MARK: Front app and transparency

void SCOverlayController::reconcile()
{
    const std::optional<QString> front = frontmostBundleID();
    syncOverlayFrames();
    for (auto& [number, entry] : m_overlayEntries) {
        const bool isFront = front && *front == entry.bundleID;
        FrameStream& stream = *entry.stream;
        if (isFront != stream.throttled()) {
            // The front app's overlays keep capturing, slowly, so showing them again is cheap.
            stream.setThrottled(isFront);
            stream.configuration().minimumFrameInterval =
                isFront ? platform::CMTime{1, 1} : stream.fullFrameInterval();
            stream.stream().updateConfiguration(stream.configuration(), ignoreResult);
        }
        if (isFront) {
            entry.panel->orderOut();
        } else {
            if (entry.view) {
                entry.view->setAlphaValue(1 - transparency(entry.bundleID));
            }
            entry.panel->orderFrontRegardless();
        }
    }
    if (front && (m_pinnedBundleIDs.contains(*front) || m_appsWithPinnedWindows.contains(*front))
        && hasTransparency(*front)) {
        ensurePassthrough(*front);
    } else {
        schedulePassthroughTeardown();
    }
    keepWindowInFront();
}

void SCOverlayController::keepWindowInFront() const
{
    if (!m_windowInFront) {
        return;
    }
    if (platform::Window* window = m_windowInFront(); window != nullptr && window->isVisible()) {
        window->orderFrontRegardless();
    }
}

double SCOverlayController::transparency(const QString& bundleID) const
{
    return m_pinnedTransparency.value(bundleID, 0.0);
}

bool SCOverlayController::hasTransparency(const QString& bundleID) const
{
    return transparency(bundleID) > 0;
}

void SCOverlayController::setTransparency(const QMap<QString, double>& transparency)
{
    const QMap<QString, double> old = m_pinnedTransparency;
    QMap<QString, double> clamped;
    for (auto it = transparency.cbegin(); it != transparency.cend(); ++it) {
        clamped.insert(it.key(), clampedTransparency(it.value()));
    }
    m_pinnedTransparency = clamped;

    // An app crossing between opaque and see-through changes what is shown, not only how.
    QSet<QString> apps;
    for (auto it = old.keyBegin(); it != old.keyEnd(); ++it) {
        apps.insert(*it);
    }
    for (auto it = clamped.keyBegin(); it != clamped.keyEnd(); ++it) {
        apps.insert(*it);
    }
    for (const QString& app : apps) {
        if ((old.value(app, 0.0) > 0) != (clamped.value(app, 0.0) > 0)) {
            reconcile();
            return;
        }
    }
    for (auto& [number, entry] : m_overlayEntries) {
        if (entry.view) {
            entry.view->setAlphaValue(1 - this->transparency(entry.bundleID));
        }
    }
    for (auto& [displayID, passthrough] : m_passthroughs) {
        if (SurfaceView* foreground = passthrough->foreground()) {
            foreground->setAlphaValue(1 - this->transparency(passthrough->bundleID()));
        }
    }
}

// MARK: Passthroughs

void SCOverlayController::ensurePassthrough(const QString& bundleID)
{
    m_passthroughTeardown.cancel();
    const bool othersExist =
        std::any_of(m_passthroughs.cbegin(), m_passthroughs.cend(), [&bundleID](const auto& p) {
            return p.second->bundleID() != bundleID;
        });
    if (othersExist) {
        tearDownPassthroughs();
    }

    // Without content every display may be needed.
    std::optional<QSet<quint32>> needed;
    if (m_latestContent) {
        needed = displayIDs(bundleID, *m_latestContent);
        for (auto it = m_passthroughs.begin(); it != m_passthroughs.end();) {
            if (needed->contains(it->first)) {
                ++it;
                continue;
            }
            it->second->close();
            it = m_passthroughs.erase(it);
        }
    }
    for (auto& [displayID, passthrough] : m_passthroughs) {
        if (SurfaceView* foreground = passthrough->foreground()) {
            foreground->setAlphaValue(1 - transparency(bundleID));
        }
        passthrough->panel().orderFrontRegardless();
    }

    bool wanted = false;
    if (!needed) {
        wanted = m_passthroughs.empty();
    } else {
        wanted = std::any_of(
            needed->cbegin(), needed->cend(), [this](quint32 id) { return !m_passthroughs.contains(id); });
    }
    if (!wanted || m_passthroughBuildingFor == bundleID) {
        return;
    }
    ++m_passthroughBuildID;
    m_passthroughBuildingFor = bundleID;
    const qint64 buildID = m_passthroughBuildID;
    scheduler().post(this, [this, bundleID, buildID] { buildPassthroughs(bundleID, buildID); });
}

void SCOverlayController::buildPassthroughs(const QString& bundleID, qint64 buildID)
{
    if (m_services.screenCapture == nullptr) {
        passthroughContentArrived(bundleID, buildID, std::nullopt);
        return;
    }
    m_services.screenCapture->getShareableContent(
        false,
        true,
        [self = QPointer<SCOverlayController>(this), bundleID, buildID](auto content, auto /*error*/) {
            // An error ends the build silently.
            if (self) {
                self->passthroughContentArrived(bundleID, buildID, content);
            }
        });
}

void SCOverlayController::passthroughContentArrived(
    const QString& bundleID, qint64 buildID, const std::optional<platform::SCShareableContent>& content)
{
    // A build that was overtaken (teardown, another app's build) drops its result.
    if (buildID != m_passthroughBuildID) {
        return;
    }
    if (content) {
        const QSet<quint32> needed = displayIDs(bundleID, *content);
        for (const platform::SCDisplay& display : content->displays) {
            if (!needed.contains(display.displayID) || m_passthroughs.contains(display.displayID)) {
                continue;
            }
            auto passthrough = makePassthrough(bundleID, display, *content);
            if (!passthrough) {
                continue;
            }
            passthrough->appStream->stream().startCapture(ignoreResult);
            passthrough->backgroundStream->stream().startCapture(ignoreResult);
            passthrough->panel().orderFrontRegardless();
            m_passthroughs.insert_or_assign(display.displayID, std::move(passthrough));
        }
        keepWindowInFront();
    }
    if (buildID == m_passthroughBuildID) {
        m_passthroughBuildingFor.reset();
    }
}

void SCOverlayController::schedulePassthroughTeardown()
{
    // A running build is stale from now on.
    ++m_passthroughBuildID;
    m_passthroughBuildingFor.reset();
    if (m_passthroughs.empty()) {
        return;
    }
    for (auto& [displayID, passthrough] : m_passthroughs) {
        passthrough->panel().orderOut();
    }
    // Not re-armed: switching back within the delay shows the kept passthroughs again.
    if (m_passthroughTeardown.isActive()) {
        return;
    }
    m_passthroughTeardown = scheduler().after(kPassthroughTeardownDelay, [this] { tearDownPassthroughs(); });
}

void SCOverlayController::tearDownPassthroughs()
{
    m_passthroughTeardown.cancel();
    // A build still waiting for content must not put panels up for an app that is no longer
    // pinned or frontmost.
    ++m_passthroughBuildID;
    m_passthroughBuildingFor.reset();
    for (auto& [displayID, passthrough] : m_passthroughs) {
        passthrough->close();
    }
    m_passthroughs.clear();
}

QSet<quint32> SCOverlayController::displayIDs(const QString& bundleID,
                                              const platform::SCShareableContent& content) const
{
    const bool whole = m_pinnedBundleIDs.contains(bundleID);
    QList<QRectF> frames;
    for (const platform::SCWindow& window : content.windows) {
        if (window.owningApplication && window.owningApplication->bundleIdentifier == bundleID
            && window.isOnScreen && window.windowLayer == 0
            && (whole || m_pinnedWindowIDs.contains(window.windowID))) {
            frames.append(window.frame);
        }
    }
    QSet<quint32> result;
    for (const platform::SCDisplay& display : content.displays) {
        for (const QRectF& frame : frames) {
            const auto overlap = platform::rectIntersection(display.frame, frame);
            if (overlap && !platform::rectIsEmpty(*overlap)) {
                result.insert(display.displayID);
                break;
            }
        }
    }
    return result;
}

std::optional<SCOverlayController::PassthroughFilters>
SCOverlayController::passthroughFilters(const QString& bundleID,
                                        const platform::SCDisplay& display,
                                        const platform::SCShareableContent& content) const
{
    QList<platform::SCRunningApplication> apps;
    QList<platform::SCRunningApplication> own;
    const platform::pid_type ownPID =
        m_services.workspace != nullptr ? m_services.workspace->currentProcessIdentifier() : 0;
    for (const platform::SCRunningApplication& app : content.applications) {
        if (app.bundleIdentifier == bundleID) {
            apps.append(app);
        }
        if (app.processID == ownPID) {
            own.append(app);
        }
    }
    if (apps.isEmpty()) {
        return std::nullopt;
    }
    QList<platform::SCWindow> unpinned;
    QSet<quint32> unpinnedIDs;
    if (!m_pinnedBundleIDs.contains(bundleID)) {
        for (const platform::SCWindow& window : content.windows) {
            if (window.owningApplication && window.owningApplication->bundleIdentifier == bundleID
                && window.windowLayer == 0 && !m_pinnedWindowIDs.contains(window.windowID)) {
                unpinned.append(window);
                unpinnedIDs.insert(window.windowID);
            }
        }
    }
    return PassthroughFilters{
        platform::SCContentFilter::displayIncludingApplications(display, apps, unpinned),
        platform::SCContentFilter::displayExcludingApplications(display, apps + own, unpinned),
        unpinnedIDs};
}

std::unique_ptr<PassthroughOverlay> SCOverlayController::makePassthrough(
    const QString& bundleID, const platform::SCDisplay& display, const platform::SCShareableContent& content)
{
    auto filters = passthroughFilters(bundleID, display, content);
    if (!filters) {
        return nullptr;
    }
    QRectF frame = cocoaRect(display.frame);
    double scale = 2.0;
    if (const auto onScreen = screen(display.displayID, screens())) {
        frame = onScreen->frame;
        scale = onScreen->backingScaleFactor;
    }
    auto passthrough =
        std::make_unique<PassthroughOverlay>(m_services, frame, bundleID, display.displayID, overlayLevel());
    if (SurfaceView* foreground = passthrough->foreground()) {
        foreground->setAlphaValue(1 - transparency(bundleID));
    }
    passthrough->unpinnedWindowIDs = filters->unpinnedWindowIDs;
    // The streams end before the passthrough does, so its frames never reach a destroyed one.
    PassthroughOverlay* target = passthrough.get();
    passthrough->appStream = std::make_unique<FrameStream>(
        filters->appFilter,
        streamConfiguration(60, display, scale),
        [target](const platform::IOSurfaceRef& surface) { target->showAppFrame(surface); },
        m_services);
    passthrough->backgroundStream = std::make_unique<FrameStream>(
        filters->backgroundFilter,
        streamConfiguration(30, display, scale),
        [target](const platform::IOSurfaceRef& surface) { target->showBackgroundFrame(surface); },
        m_services);
    return passthrough;
}
