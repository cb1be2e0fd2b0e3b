#include "capture/PassthroughOverlay.h"

#include <QResizeEvent>

namespace {

// Keeps its children filling it, as views resizing with their container in both directions.
class Container final : public QWidget
{
protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        for (QObject* child : children()) {
            if (auto* view = qobject_cast<QWidget*>(child)) {
                view->setGeometry(rect());
            }
        }
    }
};

} // namespace

PassthroughOverlay::PassthroughOverlay(const platform::Services& services,
                                       const QRectF& frame,
                                       QString bundleID,
                                       quint32 displayID,
                                       qint64 level)
    : m_bundleID(std::move(bundleID))
    , m_displayID(displayID)
{
    const QRectF bounds(QPointF(0, 0), frame.size());
    auto* container = new Container;
    container->resize(bounds.size().toSize());
    // Background below foreground.
    m_background = new SurfaceView(bounds, true, container);
    m_foreground = new SurfaceView(bounds, false, container);
    m_panel = std::make_unique<OverlayPanel>(services, m_bundleID, frame);
    m_panel->applyOverlaySettings(level, true);
    m_panel->setContentView(container);
    m_panel->setFrame(frame, false);
}

PassthroughOverlay::~PassthroughOverlay()
{
    close();
    // The streams go before the views their frames are shown in.
    appStream.reset();
    backgroundStream.reset();
}

void PassthroughOverlay::close()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    for (const auto* stream : {appStream.get(), backgroundStream.get()}) {
        if (stream != nullptr) {
            stream->stream().stopCapture([](const auto&) {});
        }
    }
    m_panel->close();
}

void PassthroughOverlay::showAppFrame(const platform::IOSurfaceRef& surface)
{
    if (m_foreground) {
        m_foreground->setSurface(surface);
    }
    if (m_background && m_background->maskLayer() != nullptr) {
        m_background->maskLayer()->setContents(surface);
    }
}

void PassthroughOverlay::showBackgroundFrame(const platform::IOSurfaceRef& surface)
{
    if (m_background) {
        m_background->setSurface(surface);
    }
}
