#include "platform/ScreenCapture.h"

namespace platform {

SCContentFilter SCContentFilter::displayExcludingApplications(const SCDisplay& display,
                                                              const QList<SCRunningApplication>& applications,
                                                              const QList<SCWindow>& exceptingWindows)
{
    SCContentFilter filter;
    filter.m_kind = Kind::DisplayExcludingApplications;
    filter.m_display = display;
    filter.m_applications = applications;
    filter.m_windows = exceptingWindows;
    return filter;
}

SCContentFilter SCContentFilter::displayExcludingWindows(const SCDisplay& display,
                                                         const QList<SCWindow>& windows)
{
    SCContentFilter filter;
    filter.m_kind = Kind::DisplayExcludingWindows;
    filter.m_display = display;
    filter.m_windows = windows;
    return filter;
}

SCContentFilter SCContentFilter::displayIncludingApplications(const SCDisplay& display,
                                                              const QList<SCRunningApplication>& applications,
                                                              const QList<SCWindow>& exceptingWindows)
{
    SCContentFilter filter;
    filter.m_kind = Kind::DisplayIncludingApplications;
    filter.m_display = display;
    filter.m_applications = applications;
    filter.m_windows = exceptingWindows;
    return filter;
}

SCContentFilter SCContentFilter::desktopIndependentWindow(const SCWindow& window)
{
    SCContentFilter filter;
    filter.m_kind = Kind::DesktopIndependentWindow;
    filter.m_windows = {window};
    return filter;
}

QRectF SCContentFilter::contentRect() const
{
    if (m_kind == Kind::DesktopIndependentWindow) {
        return m_windows.isEmpty() ? QRectF() : m_windows.front().frame;
    }
    return m_display ? m_display->frame : QRectF();
}

} // namespace platform
