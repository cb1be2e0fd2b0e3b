#include "capture/OverlayPanel.h"

#include "platform/Workspace.h"

#include <QEvent>
#include <QObject>

class OverlayPanel::ClickFilter final : public QObject
{
public:
    explicit ClickFilter(OverlayPanel& panel)
        : m_panel(panel)
    {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            m_panel.mouseDown();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    OverlayPanel& m_panel;
};

OverlayPanel::OverlayPanel(const platform::Services& services,
                           QString pinnedBundleID,
                           const QRectF& contentRect)
    : platform::Window(services,
                       contentRect,
                       platform::kWindowStyleMaskBorderless,
                       platform::BackingStoreType::Buffered,
                       false)
    , m_services(services)
    , m_pinnedBundleID(std::move(pinnedBundleID))
    , m_clickFilter(std::make_unique<ClickFilter>(*this))
{}

OverlayPanel::~OverlayPanel()
{
    if (QWidget* view = contentView()) {
        view->removeEventFilter(m_clickFilter.get());
    }
}

void OverlayPanel::applyOverlaySettings(qint64 level, bool passthrough)
{
    setOpaque(false);
    setBackgroundColor(Qt::transparent);
    setIgnoresMouseEvents(false);
    setLevel(level);
    setCollectionBehavior(platform::kWindowCollectionBehaviorCanJoinAllSpaces
                          | platform::kWindowCollectionBehaviorStationary
                          | platform::kWindowCollectionBehaviorIgnoresCycle
                          | platform::kWindowCollectionBehaviorFullScreenAuxiliary);
    setHasShadow(!passthrough);
    if (passthrough) {
        setIgnoresMouseEvents(true);
    }
    // No sharing type is set: the panels stay visible to captures.
}

void OverlayPanel::setContentView(QWidget* view)
{
    if (QWidget* old = contentView()) {
        old->removeEventFilter(m_clickFilter.get());
    }
    platform::Window::setContentView(view);
    if (view != nullptr) {
        view->installEventFilter(m_clickFilter.get());
    }
}

void OverlayPanel::mouseDown()
{
    if (m_services.workspace == nullptr) {
        return;
    }
    for (const platform::RunningApplicationRef& app : m_services.workspace->runningApplications()) {
        if (app->bundleIdentifier() == m_pinnedBundleID) {
            // All of its windows: the front app's overlays all go, so each pinned window must
            // come in front in its overlay's place.
            app->activate({.allWindows = true});
            return;
        }
    }
}
