#pragma once

#include "platform/Workspace.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The screen-capture framework as the application sees it: what can be captured (displays,
// windows, applications), filters that say what goes into a picture, configurations, and
// screenshots. Streams reuse the filter and configuration types.
namespace platform {

// A failed capture request. The description is what the system says; a missing Screen Recording
// permission is reported as "The user declined TCCs for application, window, display capture".
struct CaptureError
{
    int code = 0;
    QString localizedDescription;
};

inline constexpr int kSCStreamErrorUserDeclined = -3801;
inline constexpr int kSCStreamErrorNoCaptureSource = -3815;

struct SCRunningApplication
{
    QString bundleIdentifier; // empty when the process has none
    QString applicationName;
    pid_type processID = 0;
    bool operator==(const SCRunningApplication&) const = default;
};

struct SCDisplay
{
    quint32 displayID = 0;
    int width = 0;  // points
    int height = 0; // points
    QRectF frame;   // global points
    bool operator==(const SCDisplay&) const = default;
};

struct SCWindow
{
    quint32 windowID = 0;
    QRectF frame; // global points
    std::optional<QString> title;
    qint64 windowLayer = 0;
    std::optional<SCRunningApplication> owningApplication;
    bool isOnScreen = false;
    bool operator==(const SCWindow&) const = default;
};

// One answer of the system: the displays, the on-screen (or all) windows in front-to-back order,
// and the running applications.
struct SCShareableContent
{
    QList<SCDisplay> displays;
    QList<SCWindow> windows;
    QList<SCRunningApplication> applications;
};

// What a capture shows.
class SCContentFilter
{
public:
    enum class Kind
    {
        // The display, without the windows of these applications, except these windows.
        DisplayExcludingApplications,
        // The display, without these windows.
        DisplayExcludingWindows,
        // Only the windows of these applications on the display, except these windows; no
        // desktop behind them.
        DisplayIncludingApplications,
        // One window on its own, wherever it is; no desktop behind it.
        DesktopIndependentWindow
    };

    static SCContentFilter displayExcludingApplications(const SCDisplay& display,
                                                        const QList<SCRunningApplication>& applications,
                                                        const QList<SCWindow>& exceptingWindows);
    static SCContentFilter displayExcludingWindows(const SCDisplay& display, const QList<SCWindow>& windows);
    static SCContentFilter displayIncludingApplications(const SCDisplay& display,
                                                        const QList<SCRunningApplication>& applications,
                                                        const QList<SCWindow>& exceptingWindows);
    static SCContentFilter desktopIndependentWindow(const SCWindow& window);

    Kind kind() const { return m_kind; }
    // The display of the display forms.
    const std::optional<SCDisplay>& display() const { return m_display; }
    const QList<SCRunningApplication>& applications() const { return m_applications; }
    // The excepted windows, the excluded windows, or the one window, by kind.
    const QList<SCWindow>& windows() const { return m_windows; }
    // The captured area in global points: the display's frame, or the window's.
    QRectF contentRect() const;

    bool operator==(const SCContentFilter&) const = default;

private:
    SCContentFilter() = default;

    Kind m_kind = Kind::DisplayExcludingWindows;
    std::optional<SCDisplay> m_display;
    QList<SCRunningApplication> m_applications;
    QList<SCWindow> m_windows;
};

struct CMTime
{
    qint64 value = 0;
    qint32 timescale = 0; // 0: invalid (no limit)
    bool operator==(const CMTime&) const = default;
};

inline constexpr std::uint32_t kCVPixelFormatType32BGRA = 0x42475241; // 'BGRA'

struct SCStreamConfiguration
{
    int width = 0;  // pixels; 0 takes the content's size in points
    int height = 0; // pixels
    bool showsCursor = true;
    bool capturesAudio = false;
    CMTime minimumFrameInterval;
    std::uint32_t pixelFormat = kCVPixelFormatType32BGRA;
    int queueDepth = 3;
};

// Shareable content and screenshots. Every completion arrives later on the main thread, never
// inside the call; exactly one of its value and its error is set.
class ScreenCaptureService
{
public:
    virtual ~ScreenCaptureService() = default;

    using ShareableContentHandler =
        std::function<void(std::optional<SCShareableContent> content, std::optional<CaptureError> error)>;
    using ImageHandler = std::function<void(std::optional<QImage> image, std::optional<CaptureError> error)>;

    virtual void getShareableContent(bool excludingDesktopWindows,
                                     bool onScreenWindowsOnly,
                                     ShareableContentHandler completionHandler) = 0;
    // One picture of the filter's content at the configuration's pixel size.
    virtual void captureImage(const SCContentFilter& filter,
                              const SCStreamConfiguration& configuration,
                              ImageHandler completionHandler) = 0;
};

} // namespace platform
