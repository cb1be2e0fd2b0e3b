#pragma once

#include "capture/ShareMask.h"
#include "platform/ScreenCapture.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <QHash>
#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

// Whether a picture taken through one content filter may reach the audience, judged against the
// window list of a later moment. It may not when a window that the filter was meant to leave out
// (a window of a left-out app, a left-out window, one of the program's own) lies on the captured
// display without being in the filter, or when a masked window has moved out from under the mask
// painted for it. Built once per capture from what its filter was built from, so a capture path
// that reuses a filter can reuse the check too. Main thread only.
class DeliveryCheck
{
public:
    struct Basis
    {
        platform::SCContentFilter filter;
        // The running applications of the content that the filter was built from.
        QList<platform::SCRunningApplication> applications;
        // The apps left out by bundle identifier; the program's own process is left out whatever
        // its bundle.
        QSet<QString> leftOutBundleIDs;
        platform::pid_type ownPID = 0;
        QSet<quint32> excludedWindowIDs;
        double scale = 2.0;
    };

    // What checks read of the window descriptions they were given, kept from one check to the
    // next: a description listed again at the same place as the very same shared data holds the
    // same entries, so it is not read again. A window list described afresh each time is read
    // each time, as without it.
    class WindowReadings
    {
    public:
        struct Reading
        {
            std::optional<qint64> sharing;
            std::optional<quint32> number;
            std::optional<platform::pid_type> pid;
        };
        Reading read(qsizetype index, const platform::WindowDescription& window);
        // Lets go of the descriptions past the end of the last list.
        void keepOnly(qsizetype count);

    private:
        struct Kept
        {
            // Held, so that its data cannot be freed and reused for another description.
            platform::WindowDescription description;
            Reading reading;
        };
        std::vector<Kept> m_kept;
    };

    // `workspace` names the owners of processes that the content did not list; none: such a
    // process counts as left out. `readings` may be shared by the checks of one capture path.
    DeliveryCheck(Basis basis,
                  const platform::Workspace* workspace,
                  std::shared_ptr<WindowReadings> readings = nullptr);

    // The masks to be painted, and the pixels painted over each (by mask id, in the capture's
    // pixels). None until set.
    void setMasks(QList<ShareMask> masks, QHash<QUuid, QRect> painted);

    // True when nothing in the list of on-screen windows shows what the picture must not. A window
    // whose bounds cannot be read counts as lying on the display.
    bool allows(const QList<platform::WindowDescription>& onScreenWindows) const;

    // A rectangle of the screen (points) in the pixels of a capture of the display, widened to
    // whole pixels; none when it lies far beyond any capture. Painting and checking share it.
    static std::optional<QRect> pixelRect(const QRectF& screenRect, const QRectF& displayFrame, double scale);

private:
    bool isLeftOut(platform::pid_type pid) const;
    bool isInFilter(std::optional<quint32> number, std::optional<platform::pid_type> pid) const;
    bool masksCovered(quint32 windowID, const std::optional<QRectF>& bounds) const;

    Basis m_basis;
    const platform::Workspace* m_workspace;
    std::shared_ptr<WindowReadings> m_readings;
    QRectF m_displayFrame;
    QRect m_picture;
    bool m_excludesApplications = false;
    QSet<platform::pid_type> m_filteredPIDs;
    QSet<quint32> m_filteredWindowIDs;
    // Whether each process is left out: those of the content up front, others when first seen.
    mutable QHash<platform::pid_type, bool> m_leftOut;
    QList<ShareMask> m_masks;
    QHash<QUuid, QRect> m_painted;
    QHash<quint32, QList<qsizetype>> m_masksByWindow;
};
