#pragma once

#include "platform/FramePool.h"
#include "platform/ScreenCapture.h"
#include "platform/sim/SimCompositor.h"

#include <deque>

namespace platform {
class Scheduler;
} // namespace platform

namespace platform::sim {

class SimDesktop;

// Shareable content and screenshots of a simulated desktop, behind the desktop's Screen Recording
// permission. The answer is taken when the request is made (a screenshot shows the desktop of that
// moment, with the pointer when the configuration asks for it) and arrives on a later turn of the
// main thread, after the response delay of its kind. Tests can make the next request of either
// kind fail.
//
// Screenshots are drawn into reused frame buffers. A screenshot handed out is its receiver's
// alone, to paint on without a copy; once the desktop has shown the same thing to two screenshots
// in a row, the picture is kept and handed out again (shared, so painting on it copies) for as long
// as nothing it shows changes.
class SimScreenCapture final : public ScreenCaptureService
{
public:
    SimScreenCapture(SimDesktop& desktop, Scheduler& scheduler);

    void getShareableContent(bool excludingDesktopWindows,
                             bool onScreenWindowsOnly,
                             ShareableContentHandler completionHandler) override;
    void captureImage(const SCContentFilter& filter,
                      const SCStreamConfiguration& configuration,
                      ImageHandler completionHandler) override;

    // Seconds before each answer arrives; 0 means the next turn of the main loop.
    void setResponseDelay(double seconds) { setResponseDelays(seconds, seconds); }
    // The same, apart for the content requests and the screenshots.
    void setResponseDelays(double content, double screenshot)
    {
        m_contentDelay = content;
        m_screenshotDelay = screenshot;
    }
    // The next request of that kind fails with this error (errors queue up in order).
    void failNextContentRequest(const CaptureError& error) { m_contentErrors.push_back(error); }
    void failNextScreenshot(const CaptureError& error) { m_screenshotErrors.push_back(error); }
    int contentRequestCount() const { return m_contentRequests; }
    int screenshotCount() const { return m_screenshots; }
    // The filter of the latest screenshot request.
    const std::optional<SCContentFilter>& lastFilter() const { return m_lastFilter; }

    // What the system answers while the permission is missing.
    static CaptureError declinedError();

    const SimCompositor& compositor() const { return m_compositor; }
    // Screenshots drawn rather than handed out again.
    int drawnScreenshotCount() const { return m_drawn; }

private:
    // The last screenshot: what it showed, and the picture once it is kept.
    struct Shown
    {
        SCContentFilter filter;
        QSize size;
        std::optional<QPointF> pointer;
        quint64 generation = 0;
        std::optional<QByteArray> key; // none: never handed out again
        QImage picture;
    };
    struct Content
    {
        quint64 generation = 0;
        bool excludingDesktopWindows = false;
        bool onScreenWindowsOnly = false;
        SCShareableContent content;
    };

    QImage screenshot(const SCContentFilter& filter, QSize size, bool showsCursor);
    QImage draw(const SimCompositor::Scene& scene, QSize size, bool showsCursor);

    SimDesktop& m_desktop;
    Scheduler& m_scheduler;
    SimCompositor m_compositor;
    double m_contentDelay = 0;
    double m_screenshotDelay = 0;
    std::deque<CaptureError> m_contentErrors;
    std::deque<CaptureError> m_screenshotErrors;
    int m_contentRequests = 0;
    int m_screenshots = 0;
    std::optional<SCContentFilter> m_lastFilter;
    FramePool m_frames;
    std::optional<Shown> m_shown;
    std::optional<Content> m_content;
    int m_drawn = 0;
};

} // namespace platform::sim
