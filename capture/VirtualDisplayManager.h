#pragma once

#include "capture/DeliveryCheck.h"
#include "capture/FrameComposer.h"
#include "capture/ImageView.h"
#include "capture/ShareMask.h"
#include "platform/Scheduler.h"
#include "platform/ScreenCapture.h"
#include "platform/Screens.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/WindowServer.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace platform {
class CGVirtualDisplay;
} // namespace platform

// Publishes the "Veilmox" virtual display, puts a full-screen mirror window on it and fills that
// window twenty times a second with a filtered capture of a real display: the program's own
// windows, the hidden apps and windows and, by setting, the Dock and the notification apps left
// out, the share masks and the focus-stage strip painted over. A capture reaches the mirror only
// when the window list, read as the screenshot is asked for and again as it arrives, shows
// nothing left out or masked that the picture could hold. The owner sets the inputs, starts it,
// and hears back only through the handlers. Main thread only.
class VirtualDisplayManager final
    : public QObject
    , public platform::WindowDelegate
{
public:
    // What the virtual display shows.
    class Output
    {
    public:
        enum class Kind
        {
            Covered,
            Live,
            Frozen
        };

        static Output covered(const QImage& image) { return {Kind::Covered, image}; }
        static Output live() { return {Kind::Live, {}}; }
        static Output frozen() { return {Kind::Frozen, {}}; }

        Kind kind() const { return m_kind; }
        bool isLive() const { return m_kind == Kind::Live; }
        // The cover of `covered`; a null image otherwise.
        const QImage& coverImage() const { return m_image; }
        // Two covers are equal when they are the same image (not merely equal pixels).
        bool operator==(const Output& other) const;

    private:
        Output(Kind kind, QImage image)
            : m_kind(kind)
            , m_image(std::move(image))
        {}

        Kind m_kind;
        QImage m_image;
    };

    explicit VirtualDisplayManager(const platform::Services& services = platform::Services::current(),
                                   QObject* parent = nullptr);
    ~VirtualDisplayManager() override;
    VirtualDisplayManager(const VirtualDisplayManager&) = delete;
    VirtualDisplayManager& operator=(const VirtualDisplayManager&) = delete;

    // Inputs, set before start() and changed at any time; each change counts from the next
    // capture.
    QSet<QString> excludedBundleIDs;
    std::optional<quint32> sourceDisplayID; // none: the main display
    bool hideNotifications = true;
    Output output = Output::live();
    QSet<quint32> excludedWindowIDs;
    bool focusStageEnabled = true;
    QList<ShareMask> masks;
    // The real display being mirrored: set by start(), replaceable by the owner and by a capture
    // that finds it gone; cleared by stop().
    std::optional<quint32> mainDisplayID;

    // A status line for the user, with its error flag.
    std::function<void(const QString& message, bool isError)> statusHandler;
    // The latest picture shown; none when the mirror goes away.
    std::function<void(const std::optional<QImage>& image)> frameHandler;
    // The display ended without the owner asking (termination, failed registration, mirror
    // window closed); also one turn after the owner's own stop() while a mirror window existed.
    std::function<void()> closeHandler;
    // True after each delivered live picture, false after a capture failed for want of the Screen
    // Recording permission.
    std::function<void(bool granted)> screenRecordingPermissionHandler;

    // Publishes the virtual display and waits for it to appear as a screen.
    void start();
    // Ends capture, mirror and display; reports nothing and does not call the close handler.
    void stop();

    // The screen to mirror: the chosen display's, else the main display's, else the first one
    // that is not the virtual display.
    std::optional<platform::Screen> sourceScreen() const;
    // The screen of the virtual display, once the system shows it.
    std::optional<platform::Screen> virtualScreen() const;
    // The size in points of the mirrored display, for rendering a cover.
    std::optional<QSizeF> sourceSize() const;

    const platform::CGVirtualDisplay* virtualDisplay() const { return m_virtualDisplay.get(); }
    platform::Window* mirrorWindow() const { return m_mirrorWindow.get(); }
    // The mirror window's only content, showing the latest picture.
    ImageView* imageView() const { return m_imageView.data(); }

    // The pixel rectangles of the capture to paint over: each mask on a visible window of the
    // captured display, widened by its window's motion since the previous capture. Updates
    // lastMaskFrames().
    QList<QRect> maskRects(const QList<platform::SCWindow>& windows,
                           const QSet<platform::pid_type>& excludedPIDs,
                           const platform::SCDisplay& display,
                           double scale);
    // The capture with the strip (a black band of that height at the top) and the masks painted
    // over, in place; the capture itself when there is nothing to paint.
    static QImage
    composeFrame(QImage capture, std::optional<double> stripHeight, const QList<QRect>& maskRects);
    // Opaque sRGB (23, 24, 28).
    static QColor maskFill();

    // A number that changes whenever an input that decides what the picture leaves out or covers
    // (the left-out apps and windows, the Dock and notification settings, the masks, the output,
    // the chosen and the mirrored display) is found different from when it was last read; equal
    // numbers mean equal inputs, so a cache of pictures can key on it. A capture whose filter was
    // built under an older number is shown only when that filter left out at least all that the
    // inputs leave out now (after an app was shown again, say); its masks are placed as they
    // stand when it is shown.
    quint64 privacyGeneration() const;
    // Captures not shown because the picture might hold what the user left out or covered: built
    // under an older privacy generation, or a window that came on screen, or a masked window that
    // moved, since the content was read. The mirror keeps its last picture; the next tick retries.
    int droppedFrameCount() const { return m_droppedFrames; }

    // Bookkeeping, for inspection.
    const QHash<QUuid, QRectF>& lastMaskFrames() const { return m_lastMaskFrames; }
    int retryCount() const { return m_retryCount; }
    bool captureInProgress() const { return m_captureInProgress; }
    bool isCapturing() const { return m_captureTimer.isActive(); }

    void windowWillClose() override;

    static constexpr int kMaxRegistrationChecks = 5;
    static constexpr double kFirstRegistrationCheck = 1.5;
    static constexpr double kRegistrationRetryInterval = 1.0;
    static constexpr double kCaptureInterval = 0.05;

private:
    struct CaptureContext;
    // The inputs that decide what a picture leaves out or covers.
    struct PrivacyInputs
    {
        QSet<QString> excludedBundleIDs;
        QSet<quint32> excludedWindowIDs;
        bool hideNotifications = true;
        bool focusStageEnabled = true;
        QList<ShareMask> masks;
        Output output = Output::live();
        std::optional<quint32> sourceDisplayID;
        std::optional<quint32> mainDisplayID;
        bool operator==(const PrivacyInputs&) const = default;
        // Every app and window that `other` leaves out (the Dock and the notification apps
        // included), these inputs leave out too, on the same display, both outputs live. The
        // masks are not compared: a capture paints them as they stand when it is shown.
        bool leavesOutAtLeastAsMuchAs(const PrivacyInputs& other) const;
    };
    // Who a filter leaves out: the bundle identifiers, and the processes of the content that
    // carry them, with the program's own.
    struct LeftOut
    {
        QSet<QString> bundleIDs;
        QSet<platform::pid_type> pids;
    };
    // Masks placed on one capture: the rectangles to paint in mask order, the same by mask, and
    // the masks' on-screen rectangles.
    struct PlacedMasks
    {
        QList<QRect> rects;
        QHash<QUuid, QRect> byMask;
        QHash<QUuid, QRectF> frames;
    };

    // The picture last shown: the capture it was composed from (its cache key as it arrived), how
    // it was painted, under which privacy generation, and the picture's own cache key.
    struct Shown
    {
        quint64 privacyGeneration = 0;
        qint64 capture = 0;
        std::optional<double> strip;
        QList<QRect> masks;
        qint64 picture = 0;
    };

    // Whether that capture, so painted, is what the mirror and the owner were given last.
    bool isShowing(const Shown& shown) const;
    // Whether the mirror shows that picture (always, without a mirror).
    bool isUp(qint64 picture) const;
    void checkRegistration();
    void scheduleRegistrationCheck(double delay);
    void handleTermination();
    void buildMirror(const platform::Screen& screen);
    void startCaptureTimer();
    void stopCapture();
    void captureFrame();
    void captureContentArrived(std::optional<platform::SCShareableContent> content,
                               const std::optional<platform::CaptureError>& error);
    void screenshotArrived(const std::shared_ptr<CaptureContext>& capture,
                           std::optional<QImage> image,
                           const std::optional<platform::CaptureError>& error);
    void handleCaptureError(const platform::CaptureError& error);
    platform::SCContentFilter contentFilter(const platform::SCShareableContent& content,
                                            const platform::SCDisplay& display,
                                            LeftOut& leftOut) const;
    PlacedMasks placeMasks(const QList<platform::SCWindow>& windows,
                           const QSet<platform::pid_type>& excludedPIDs,
                           const platform::SCDisplay& display,
                           double scale) const;
    // The window server's on-screen windows now; none when it cannot tell.
    std::optional<QList<platform::WindowDescription>> onScreenWindows() const;
    PrivacyInputs privacyInputs() const;
    platform::pid_type ownProcessIdentifier() const;
    double captureScale(quint32 displayID) const;
    // Returns false when the handler destroyed this manager.
    bool report(const QString& message, bool isError);
    QList<platform::Screen> screens() const;
    platform::Scheduler& scheduler() const;

    platform::Services m_services;
    std::unique_ptr<platform::CGVirtualDisplay> m_virtualDisplay;
    std::unique_ptr<platform::Window> m_mirrorWindow;
    QPointer<ImageView> m_imageView;
    platform::TimerHandle m_captureTimer;
    bool m_captureInProgress = false;
    // Paints the frames over, in buffers of our own when the capture's pixels are shared.
    FrameComposer m_composer;
    // What the delivery checks read of the window list, for the windows listed again unchanged.
    std::shared_ptr<DeliveryCheck::WindowReadings> m_windowReadings =
        std::make_shared<DeliveryCheck::WindowReadings>();
    // Bumped by stopCapture(): a capture that finds another number after a wait is stale.
    quint64 m_captureGeneration = 0;
    int m_retryCount = 0;
    QHash<QUuid, QRectF> m_lastMaskFrames;
    platform::TimerHandle m_registrationCheck;
    // The inputs as last read by privacyGeneration(), and its number.
    mutable PrivacyInputs m_privacyInputs;
    mutable quint64 m_privacyGeneration = 0;
    int m_droppedFrames = 0;
    std::optional<Shown> m_shown;
};
