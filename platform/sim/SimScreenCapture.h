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
//
// Like a window server, the capture keeps the pictures it composed and brings one up to date by
// composing again only what changed on the desktop since it was drawn (and where the pointer was
// and is). The first screenshot of a filter is its receiver's alone; from the second on, a
// screenshot hands out one of the kept pictures without a copy, shared: a receiver that paints on
// it paints on a copy of its own, and once every receiver has let go of a picture it is brought up
// to date for a later screenshot. While nothing it shows changes, the same picture is handed out
// again. The desktop is told which pixels of each picture changed since the one before.
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
    // A picture composed for screenshots: what it shows, as of which of the desktop's changes.
    struct Kept
    {
        QImage picture;
        quint64 damageSerial = 0;
        std::optional<QPointF> pointer;
        quint64 drawn = 0; // when it was last brought up to date
    };
    // The last picture handed out: the kept one, or the first of a series.
    struct Last
    {
        qint64 key = 0;
        quint64 damageSerial = 0;
        std::optional<QPointF> pointer;
        std::optional<std::size_t> kept;
    };
    // The pictures kept, all of one filter and size.
    struct Series
    {
        SCContentFilter filter;
        // The desktop's changes it shows: those of windows it leaves out make no new picture.
        SimDesktop::DamageScope damageScope;
        QSize size;
        QImage::Format format = QImage::Format_RGB32;
        std::vector<Kept> pictures;
        std::optional<Last> last;
    };
    static constexpr std::size_t kKeptPictures = 3;
    struct Content
    {
        quint64 generation = 0;
        bool excludingDesktopWindows = false;
        bool onScreenWindowsOnly = false;
        SCShareableContent content;
    };

    QImage screenshot(const SCContentFilter& filter, QSize size, bool showsCursor);
    // The pixels of a picture of the filter's region at `size` that the changes since
    // `serial` and the pointer's move from `before` to `now` touched; none: all of them.
    std::optional<QRegion> damagedPixels(const Series& series,
                                         quint64 serial,
                                         const std::optional<QPointF>& before,
                                         const std::optional<QPointF>& now) const;

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
    // Of the filters asked for last, the latest last.
    static constexpr std::size_t kKeptSeries = 4;
    std::deque<Series> m_series;
    quint64 m_drawnCount = 0;
    std::optional<Content> m_content;
    int m_drawn = 0;
};

} // namespace platform::sim
