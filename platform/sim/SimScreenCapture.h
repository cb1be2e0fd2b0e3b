#pragma once

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

private:
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
};

} // namespace platform::sim
