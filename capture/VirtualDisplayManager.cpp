#include "capture/VirtualDisplayManager.h"

#include "capture/FullScreenMirrorWindow.h"
#include "capture/ImageView.h"
#include "capture/VirtualDisplayLog.h"
#include "platform/Bundle.h"
#include "platform/VirtualDisplay.h"
#include "platform/WindowServer.h"

#include <QVBoxLayout>

#include <cmath>

namespace {

// A length truncated toward zero; none when it does not fit 32 unsigned bits.
std::optional<quint32> truncatedUInt32(double value)
{
    if (!std::isfinite(value) || value < 0 || value >= 4294967296.0) {
        return std::nullopt;
    }
    return static_cast<quint32>(value);
}

QString frameText(const QRectF& frame)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height());
}

} // namespace

const QLoggingCategory& virtualDisplayLog(const platform::Services& services)
{
    static const QByteArray name = [&services] {
        const platform::Bundle& bundle =
            services.bundle != nullptr ? *services.bundle : platform::Bundle::main();
        return (bundle.bundleIdentifier().value_or(QStringLiteral("getveilmox.Veilmox"))
                + QStringLiteral(".VirtualDisplay"))
            .toUtf8();
    }();
    static const QLoggingCategory category(name.constData(), QtWarningMsg);
    return category;
}

bool VirtualDisplayManager::Output::operator==(const Output& other) const
{
    if (m_kind != other.m_kind) {
        return false;
    }
    return m_kind != Kind::Covered || m_image.cacheKey() == other.m_image.cacheKey();
}

VirtualDisplayManager::VirtualDisplayManager(const platform::Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{}

VirtualDisplayManager::~VirtualDisplayManager() = default;

platform::Scheduler& VirtualDisplayManager::scheduler() const
{
    return m_services.scheduler != nullptr ? *m_services.scheduler : platform::Scheduler::current();
}

QList<platform::Screen> VirtualDisplayManager::screens() const
{
    return m_services.screens != nullptr ? m_services.screens->screens() : QList<platform::Screen>();
}

bool VirtualDisplayManager::report(const QString& message, bool isError)
{
    if (!statusHandler) {
        return true;
    }
    const QPointer<VirtualDisplayManager> self(this);
    statusHandler(message, isError);
    return !self.isNull();
}

void VirtualDisplayManager::start()
{
    if (m_virtualDisplay) {
        report(QStringLiteral("Virtual display is already running."), false);
        return;
    }
    const auto screen = sourceScreen();
    if (!screen) {
        report(QStringLiteral("No display found."), true);
        return;
    }
    mainDisplayID = screen->displayID();
    const auto pointsWide = truncatedUInt32(screen->frame.width());
    const auto pointsHigh = truncatedUInt32(screen->frame.height());
    const double scale = screen->backingScaleFactor;
    const auto pixelsWide = truncatedUInt32(scale * pointsWide.value_or(0));
    const auto pixelsHigh = truncatedUInt32(scale * pointsHigh.value_or(0));
    platform::VirtualDisplayService* service = m_services.virtualDisplays;
    // A frame or scale that gives no pixel size cannot describe a display.
    if (service == nullptr || !pointsWide || !pointsHigh || !pixelsWide || !pixelsHigh) {
        report(QStringLiteral("Failed to create virtual display."), true);
        return;
    }
    const quint32 width = *pointsWide;
    const quint32 height = *pointsHigh;
    const quint32 maxWidth = *pixelsWide;
    const quint32 maxHeight = *pixelsHigh;

    platform::CGVirtualDisplayDescriptor descriptor;
    descriptor.name = QStringLiteral("Veilmox");
    descriptor.maxPixelsWide = maxWidth;
    descriptor.maxPixelsHigh = maxHeight;
    descriptor.sizeInMillimeters = QSizeF(600, 340);
    descriptor.serialNum = 12345;
    descriptor.vendorID = 0xCAFE;
    descriptor.productID = 0xBEEF;
    descriptor.terminationHandler = [self = QPointer<VirtualDisplayManager>(this)] {
        if (self) {
            self->scheduler().post(self, [self] { self->handleTermination(); });
        }
    };

    auto display = service->createVirtualDisplay(descriptor);
    if (!display) {
        report(QStringLiteral("Failed to create virtual display."), true);
        return;
    }
    const auto pointsMode = service->createMode(width, height, 30.0);
    const auto pixelsMode = service->createMode(maxWidth, maxHeight, 30.0);
    if (!pointsMode || !pixelsMode) {
        report(QStringLiteral("Failed to create virtual display modes."), true);
        return;
    }
    platform::CGVirtualDisplaySettings settings;
    settings.modes = {*pointsMode, *pixelsMode};
    settings.hiDPI = scale > 1.0;
    if (!display->applySettings(settings)) {
        report(QStringLiteral("Failed to configure virtual display."), true);
        return;
    }

    m_virtualDisplay = std::move(display);
    m_retryCount = 0;
    if (!report(QStringLiteral("Creating virtual display…"), false)) {
        return;
    }
    qCInfo(virtualDisplayLog(m_services),
           "Virtual display created, displayID: %u",
           m_virtualDisplay->displayID());
    scheduleRegistrationCheck(kFirstRegistrationCheck);
}

void VirtualDisplayManager::scheduleRegistrationCheck(double delay)
{
    // Every check, the first and the retries alike, gives up once the display is gone.
    m_registrationCheck = scheduler().after(delay, [this] {
        if (m_virtualDisplay) {
            checkRegistration();
        }
    });
}

void VirtualDisplayManager::checkRegistration()
{
    if (const auto screen = virtualScreen()) {
        qCInfo(virtualDisplayLog(m_services),
               "Virtual screen found: %s",
               qUtf8Printable(frameText(screen->frame)));
        buildMirror(*screen);
        startCaptureTimer();
        report(QStringLiteral("Virtual display ready — in Google Meet, share the \"Veilmox\" screen."),
               false);
        return;
    }
    ++m_retryCount;
    if (m_retryCount > kMaxRegistrationChecks) {
        if (!report(QStringLiteral("Virtual display did not register after %1 attempts. Try again.")
                        .arg(kMaxRegistrationChecks),
                    true)) {
            return;
        }
        const QPointer<VirtualDisplayManager> self(this);
        stop();
        if (self && closeHandler) {
            closeHandler();
        }
        return;
    }
    qCInfo(virtualDisplayLog(m_services), "Virtual screen not visible yet, attempt: %d", m_retryCount);
    if (!report(QStringLiteral("Waiting for virtual display to register… (%1/%2)")
                    .arg(m_retryCount)
                    .arg(kMaxRegistrationChecks),
                false)) {
        return;
    }
    scheduleRegistrationCheck(kRegistrationRetryInterval);
}

void VirtualDisplayManager::buildMirror(const platform::Screen& screen)
{
    auto* imageView = new ImageView;
    imageView->setImageScaling(ImageView::ImageScaling::ProportionallyUpOrDown);

    auto window = std::make_unique<FullScreenMirrorWindow>(m_services,
                                                           screen.frame,
                                                           platform::kWindowStyleMaskBorderless,
                                                           platform::BackingStoreType::Buffered,
                                                           false,
                                                           screen);
    window->setOpaque(true);
    window->setBackgroundColor(Qt::black);
    window->setHasShadow(false);

    auto* content = new QWidget;
    content->resize(screen.frame.size().toSize());
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(imageView);
    window->setContentView(content);

    window->setFrame(screen.frame, true);
    window->setSharingType(platform::WindowSharingType::ReadOnly);
    window->setIgnoresMouseEvents(true);
    window->setLevel(platform::kStatusWindowLevel);
    window->setCollectionBehavior(platform::kWindowCollectionBehaviorCanJoinAllSpaces
                                  | platform::kWindowCollectionBehaviorStationary
                                  | platform::kWindowCollectionBehaviorIgnoresCycle);
    window->setDelegate(this);
    window->orderFrontRegardless();

    m_imageView = imageView;
    m_mirrorWindow = std::move(window);
}

void VirtualDisplayManager::stop()
{
    stopCapture();
    if (m_mirrorWindow) {
        const auto window = std::move(m_mirrorWindow);
        window->close();
    }
    m_imageView = nullptr;
    if (frameHandler) {
        const QPointer<VirtualDisplayManager> self(this);
        frameHandler(std::nullopt);
        if (!self) {
            return;
        }
    }
    m_virtualDisplay.reset();
    mainDisplayID.reset();
    m_retryCount = 0;
}

void VirtualDisplayManager::windowWillClose()
{
    scheduler().post(this, [self = QPointer<VirtualDisplayManager>(this)] {
        if (!self) {
            return;
        }
        self->stop();
        if (self && self->closeHandler) {
            self->closeHandler();
        }
    });
}

void VirtualDisplayManager::handleTermination()
{
    qCInfo(virtualDisplayLog(m_services), "Virtual display was terminated by the system.");
    const QPointer<VirtualDisplayManager> self(this);
    stop();
    if (self && closeHandler) {
        closeHandler();
    }
}

std::optional<platform::Screen> VirtualDisplayManager::sourceScreen() const
{
    QList<platform::Screen> candidates;
    for (const auto& screen : screens()) {
        const auto id = screen.displayID();
        // Without a virtual display only screens that carry an identifier qualify.
        const bool candidate =
            m_virtualDisplay ? !(id && *id == m_virtualDisplay->displayID()) : id.has_value();
        if (candidate) {
            candidates.append(screen);
        }
    }
    if (sourceDisplayID) {
        for (const auto& screen : candidates) {
            if (screen.displayID() == sourceDisplayID) {
                return screen;
            }
        }
    }
    if (m_services.windowServer != nullptr) {
        const quint32 mainID = m_services.windowServer->mainDisplayID();
        for (const auto& screen : candidates) {
            if (screen.displayID() == mainID) {
                return screen;
            }
        }
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    return candidates.front();
}

std::optional<platform::Screen> VirtualDisplayManager::virtualScreen() const
{
    if (!m_virtualDisplay) {
        return std::nullopt;
    }
    for (const auto& screen : screens()) {
        if (screen.displayID() == m_virtualDisplay->displayID()) {
            return screen;
        }
    }
    return std::nullopt;
}

std::optional<QSizeF> VirtualDisplayManager::sourceSize() const
{
    if (mainDisplayID) {
        for (const auto& screen : screens()) {
            if (screen.displayID() == mainDisplayID) {
                return screen.frame.size();
            }
        }
    }
    if (const auto screen = sourceScreen()) {
        return screen->frame.size();
    }
    return std::nullopt;
}
