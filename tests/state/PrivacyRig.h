#pragma once

#include "capture/VirtualDisplayManager.h"
#include "platform/Window.h"
#include "platform/sim/SimCompositor.h"
#include "tests/state/StateFixture.h"
#include "tests/support/Swatch.h"

#include <QHash>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace testing_support {

// The state object, signed in, with the virtual display mirroring one small display on which
// every window, every patch of a window and every window of the program has a colour of its own
// (red 0xF0, found nowhere else). Each picture the audience is shown is searched, as it arrives,
// for the colours of what is hidden at that moment: windows of hidden apps, hidden windows,
// patches under a mask, the program's own windows, notification banners while they are to be
// hidden and the Dock while the focus stage is on. A picture composed from a capture must also be
// that capture with the strip painted over whole, but where masks are: a pixel the capture did not
// have is an older picture's, perhaps of something hidden since.
struct PrivacyRig : StateFixture
{
    // Where a capture is waiting when a test acts.
    enum class Await
    {
        Content,
        Screenshot
    };

    static constexpr QRectF kDisplay{0, 0, 320, 200};
    static constexpr double kScale = 2.0;
    static constexpr int kTagRed = 0xF0;

    PrivacyRig()
    {
        platform::Services services = t.services();
        services.screenCapture = &m_capture;
        manager = std::make_unique<WindowManager>(services, &registry);
        t.desktop.removeDisplay(t.mainDisplay);
        platform::sim::SimDesktop::DisplaySpec setup;
        setup.frame = kDisplay;
        setup.backingScale = kScale;
        t.mainDisplay = t.desktop.addDisplay(setup);
        QObject::connect(manager.get(),
                         &WindowManager::virtualDisplayPreviewImageChanged,
                         manager.get(),
                         [this](const std::optional<QImage>& image) {
                             if (image) {
                                 inspect(*image);
                             }
                         });
    }
    ~PrivacyRig() { manager.reset(); } // before the capture it was given

    PrivacyRig(const PrivacyRig&) = delete;
    PrivacyRig& operator=(const PrivacyRig&) = delete;

    // Starts the state object signed in and the virtual display, and lets it show pictures.
    WindowManager& startSharing()
    {
        WindowManager& m = start();
        m.startVirtualDisplay();
        run(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
        return m;
    }
    VirtualDisplayManager& display() const { return *manager->virtualDisplayManager(); }

    platform::pid_type launch(const QString& bundleID)
    {
        return t.desktop.launchApp(bundleID, bundleID.section(QLatin1Char('.'), -1));
    }

    // A window of its own colour, with patches (window-relative) of their own colours.
    quint32 addWindow(platform::pid_type owner, const QRectF& bounds, const QList<QRectF>& patches = {})
    {
        platform::sim::SimDesktop::WindowSpec setup;
        setup.owner = owner;
        setup.bounds = bounds;
        setup.color = QColor::fromRgb(nextColour());
        QList<QRgb> colours{setup.color.rgb()};
        for (const QRectF& patch : patches) {
            colours.append(nextColour());
            setup.patches.append({patch, QColor::fromRgb(colours.back())});
        }
        const quint32 number = t.desktop.addWindow(setup);
        const QString bundleID = t.desktop.runningApplication(owner)->bundleIdentifier().value_or(QString());
        m_sources.insert(colours.front(), Source{number, bundleID, std::nullopt});
        for (qsizetype i = 0; i < patches.size(); ++i) {
            m_sources.insert(colours[i + 1], Source{number, bundleID, patches[i]});
        }
        m_coloursByWindow.insert(number, colours);
        return number;
    }

    // One of the program's own windows, with the default sharing type; ordered in when `shown`.
    platform::Window& addOwnWindow(const QRectF& frame, bool shown)
    {
        const QRgb colour = nextColour();
        auto window = std::make_unique<platform::Window>(t.services(),
                                                         frame,
                                                         platform::kWindowStyleMaskBorderless,
                                                         platform::BackingStoreType::Buffered,
                                                         false);
        window->setContentView(new Swatch(QColor::fromRgb(colour)));
        window->setFrame(frame, true);
        window->setLevel(platform::kFloatingWindowLevel);
        if (shown) {
            window->orderFrontRegardless();
        }
        m_sources.insert(colour, Source{});
        m_ownWindows.push_back(std::move(window));
        return *m_ownWindows.back();
    }

    // The colour of a window, or of one of its patches.
    QRgb colour(quint32 window, qsizetype patch = -1) const
    {
        return m_coloursByWindow.value(window).value(patch + 1);
    }

    // The popover's "Hide notification banners" switch.
    void switchNotificationBanners(bool hidden)
    {
        manager->setHideNotificationsOnShare(hidden);
        t.defaults.setObject(hidden, WindowManager::hideNotificationsKey);
        if (VirtualDisplayManager* running = manager->virtualDisplayManager()) {
            running->hideNotifications = hidden;
        }
    }

    // Both answers of every capture take these many seconds from now on.
    void setDelays(double content, double screenshot)
    {
        t.screenCapture.setResponseDelays(content, screenshot);
    }

    // Lets the capture at `point` take `delay` (the other answer none), then runs until the next
    // capture is half-way through that wait.
    void runToMidCapture(Await point, double delay = 0.02)
    {
        const bool content = point == Await::Content;
        setDelays(content ? delay : 0, content ? 0 : delay);
        const auto requests = [this, content] {
            return content ? t.screenCapture.contentRequestCount() : t.screenCapture.screenshotCount();
        };
        const int before = requests();
        for (int step = 0; step < 1000 && requests() == before; ++step) {
            run(0.001);
        }
        ASSERT_NE(requests(), before) << "no capture started";
        run(delay / 2);
    }
    void run(double seconds) { t.scheduler.advance(seconds); }

    int delivered() const { return static_cast<int>(deliveries.size()); }
    // The first picture shown after that time; none yet: -1.
    double firstDeliveryAfter(double time) const
    {
        const auto it = std::upper_bound(deliveries.cbegin(), deliveries.cend(), time);
        return it != deliveries.cend() ? *it : -1;
    }

    // The last picture holds the colour at this point (in points).
    bool shows(QPointF point, QRgb colour) const
    {
        const QPoint pixel((point * kScale).toPoint());
        return lastPicture.valid(pixel) && lastPicture.pixel(pixel) == (colour | 0xFF000000U);
    }

    // What a meeting app sharing "Veilmox" captures of it now, through a capture that keeps its
    // pictures and draws again only where the desktop changed, must be the display composed whole:
    // the picture searched as it arrived, or the cover, never parts of older ones.
    void checkAudience()
    {
        const auto screen = display().virtualScreen();
        if (!screen || !screen->displayID()) {
            return;
        }
        platform::SCDisplay veilmox;
        veilmox.displayID = *screen->displayID();
        veilmox.frame = screen->frame;
        veilmox.width = static_cast<int>(veilmox.frame.width());
        veilmox.height = static_cast<int>(veilmox.frame.height());
        platform::SCStreamConfiguration configuration;
        configuration.width = static_cast<int>(veilmox.width * kScale);
        configuration.height = static_cast<int>(veilmox.height * kScale);
        std::optional<QImage> captured;
        m_audience.captureImage(platform::SCContentFilter::displayExcludingWindows(veilmox, {}),
                                configuration,
                                [&captured](auto image, auto) { captured = std::move(image); });
        t.scheduler.runPending();
        const QImage whole = platform::sim::SimCompositor(t.desktop).renderDisplay(
            veilmox.displayID, QSize(configuration.width, configuration.height));
        const QImage audience = captured.value_or(QImage()).convertToFormat(QImage::Format_RGB32);
        if (audience != whole.convertToFormat(QImage::Format_RGB32)) {
            leaks << QStringLiteral(
                         "at %1 s: the audience's capture of \"Veilmox\" differs from it composed whole")
                         .arg(t.scheduler.now(), 0, 'f', 3);
        }
    }

    // When each picture the audience has been shown since the rig began arrived.
    std::vector<double> deliveries;
    QImage lastPicture;
    // Each picture that held a hidden pixel or one its capture did not have: when, and what.
    QStringList leaks;

private:
    // The system's screenshots, each copied as it is handed on: what the picture shown next, in
    // the same turn, was composed from.
    struct RecordingCapture final : platform::ScreenCaptureService
    {
        explicit RecordingCapture(platform::ScreenCaptureService& inner)
            : m_inner(inner)
        {}
        void getShareableContent(bool excludingDesktopWindows,
                                 bool onScreenWindowsOnly,
                                 ShareableContentHandler completionHandler) override
        {
            m_inner.getShareableContent(
                excludingDesktopWindows, onScreenWindowsOnly, std::move(completionHandler));
        }
        void captureImage(const platform::SCContentFilter& filter,
                          const platform::SCStreamConfiguration& configuration,
                          ImageHandler completionHandler) override
        {
            m_inner.captureImage(
                filter,
                configuration,
                [this, handler = std::move(completionHandler)](auto image, auto error) {
                    if (image) {
                        handing = image->copy(); // a copy of its own: the system's pixels keep their sharing
                    }
                    handler(std::move(image), error);
                    handing.reset();
                });
        }
        platform::ScreenCaptureService& m_inner;
        std::optional<QImage> handing;
    };

    struct Source
    {
        quint32 window = 0; // 0: one of the program's own windows
        QString bundleID;
        std::optional<QRectF> patch;
    };

    QRgb nextColour()
    {
        const int n = m_coloursUsed++;
        return qRgb(kTagRed, 0x10 + n % 0xE0, 0x10 + 8 * (n / 0xE0));
    }

    bool isHiddenNow(const Source& source) const
    {
        static const QStringList kNotificationApps{QStringLiteral("com.apple.notificationcenterui"),
                                                   QStringLiteral("com.apple.UserNotificationCenter")};
        if (source.window == 0 || manager->hiddenBundleIDs().contains(source.bundleID)
            || manager->hiddenWindows().contains(source.window)
            || (manager->hideNotificationsOnShare() && kNotificationApps.contains(source.bundleID))
            || (manager->focusStageOnVirtualDisplay()
                && source.bundleID == QStringLiteral("com.apple.dock"))) {
            return true;
        }
        const QList<ShareMask>& masks = manager->shareMasks();
        return source.patch && std::any_of(masks.cbegin(), masks.cend(), [&source](const ShareMask& mask) {
                   return mask.windowID == source.window && mask.rect.contains(*source.patch);
               });
    }

    void inspect(const QImage& picture)
    {
        deliveries.push_back(t.scheduler.now());
        lastPicture = picture;
        if (m_capture.handing) {
            checkComposed(picture, *m_capture.handing);
        }
        search(picture);
    }

    // The capture with the strip painted over, and the mask fill where it is not.
    void checkComposed(const QImage& picture, const QImage& capture)
    {
        std::optional<double> strip;
        if (manager->focusStageOnVirtualDisplay()) {
            strip = t.desktop.menuBarHeight() * kScale;
        }
        const QImage expected =
            VirtualDisplayManager::composeFrame(capture, strip, {}).convertToFormat(QImage::Format_RGB32);
        const QImage shown = picture.convertToFormat(QImage::Format_RGB32);
        const QRgb fill = VirtualDisplayManager::maskFill().rgb();
        for (int y = 0; y < shown.height() && shown.size() == expected.size(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
            const auto* wanted = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
            if (std::memcmp(line, wanted, static_cast<std::size_t>(shown.width()) * 4) == 0) {
                continue;
            }
            for (int x = 0; x < shown.width(); ++x) {
                if (line[x] != wanted[x] && line[x] != fill) {
                    leaks << QStringLiteral("at %1 s: a pixel its capture did not have at (%2, %3)")
                                 .arg(t.scheduler.now(), 0, 'f', 3)
                                 .arg(x)
                                 .arg(y);
                    return;
                }
            }
        }
        if (shown.size() != expected.size()) {
            leaks << QStringLiteral("at %1 s: a picture of another size than its capture")
                         .arg(t.scheduler.now(), 0, 'f', 3);
        }
    }

    void search(const QImage& picture)
    {
        QHash<QRgb, const Source*> hidden;
        for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it) {
            if (isHiddenNow(it.value())) {
                hidden.insert(it.key(), &it.value());
            }
        }
        const QImage image = picture.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height() && !hidden.isEmpty(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const Source* source =
                    qRed(line[x]) == kTagRed ? hidden.value(line[x] | 0xFF000000U) : nullptr;
                if (source != nullptr) {
                    leaks << QStringLiteral("at %1 s: %2 %3%4 at pixel (%5, %6)")
                                 .arg(t.scheduler.now(), 0, 'f', 3)
                                 .arg(source->window == 0 ? QStringLiteral("own window")
                                                          : QStringLiteral("window"))
                                 .arg(source->window)
                                 .arg(source->patch ? QStringLiteral(" (masked patch)") : QString())
                                 .arg(x)
                                 .arg(y);
                    return;
                }
            }
        }
    }

    RecordingCapture m_capture{t.screenCapture};
    // The meeting app's own capture.
    platform::sim::SimScreenCapture m_audience{t.desktop, t.scheduler};
    QHash<QRgb, Source> m_sources;
    QHash<quint32, QList<QRgb>> m_coloursByWindow;
    std::vector<std::unique_ptr<platform::Window>> m_ownWindows;
    int m_coloursUsed = 0;
};

} // namespace testing_support
