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

#include <optional>

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

    // `workspace` names the owners of processes that the content did not list; none: such a
    // process counts as left out.
    DeliveryCheck(Basis basis, const platform::Workspace* workspace);

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
