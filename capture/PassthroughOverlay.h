#pragma once

#include "capture/FrameStream.h"
#include "capture/OverlayPanel.h"
#include "capture/SurfaceView.h"

#include <QPointer>
#include <QSet>
#include <QString>

#include <memory>

// The see-through look of the frontmost pinned app on one display: a full-screen click-through
// panel showing what lies behind the app, masked to the app's own pixels, with the app's picture
// on top at its opacity. Owned by the overlay controller; destroying it ends both streams and
// closes the panel. Main thread only.
class PassthroughOverlay final
{
public:
    PassthroughOverlay(const platform::Services& services,
                       const QRectF& frame,
                       QString bundleID,
                       quint32 displayID,
                       qint64 level);
    ~PassthroughOverlay();
    PassthroughOverlay(const PassthroughOverlay&) = delete;
    PassthroughOverlay& operator=(const PassthroughOverlay&) = delete;

    const QString& bundleID() const { return m_bundleID; }
    quint32 displayID() const { return m_displayID; }
    OverlayPanel& panel() const { return *m_panel; }
    // What lies behind the app, masked by the app's picture.
    SurfaceView* background() const { return m_background.data(); }
    // The app's own picture.
    SurfaceView* foreground() const { return m_foreground.data(); }

    // The capture of the app alone, and of everything but the app and this program.
    std::unique_ptr<FrameStream> appStream;
    std::unique_ptr<FrameStream> backgroundStream;
    // The app's windows that both captures treat as background.
    QSet<quint32> unpinnedWindowIDs;

    void showAppFrame(const platform::IOSurfaceRef& surface);
    void showBackgroundFrame(const platform::IOSurfaceRef& surface);

    // Stops both streams (those that exist) and closes the panel, once.
    void close();

private:
    QString m_bundleID;
    quint32 m_displayID;
    std::unique_ptr<OverlayPanel> m_panel;
    QPointer<SurfaceView> m_background;
    QPointer<SurfaceView> m_foreground;
    bool m_closed = false;
};
