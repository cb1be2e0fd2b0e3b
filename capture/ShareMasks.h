#pragma once

#include "capture/ShareMask.h"

#include <QMap>
#include <QSet>

namespace platform {
class WindowServer;
class Workspace;
} // namespace platform

// Window-list queries that place masks on screen.
namespace ShareMasks {

// The on-screen frames of those of the windows that exist and are on screen now.
QMap<quint32, QRectF> windowFrames(const platform::WindowServer& windowServer,
                                   const QSet<quint32>& windowIDs);

struct WindowUnderPoint
{
    quint32 windowID = 0;
    QString bundleID;
    QRectF frame;
};

// The frontmost ordinary (layer 0, visible) window of another application whose frame holds
// the point; none when there is none or the window list cannot be read.
std::optional<WindowUnderPoint>
windowUnder(const platform::WindowServer& windowServer, const platform::Workspace& workspace, QPointF point);

} // namespace ShareMasks
