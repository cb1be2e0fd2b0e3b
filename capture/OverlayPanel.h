#pragma once

#include "platform/Services.h"
#include "platform/Window.h"

#include <QString>

#include <memory>

class QObject;

// The borderless panel that an overlay or a passthrough is drawn in. It never becomes key or
// main; a click on it activates the pinned app instead of reaching the panel. Main thread only.
class OverlayPanel final : public platform::Window
{
public:
    OverlayPanel(const platform::Services& services, QString pinnedBundleID, const QRectF& contentRect);
    ~OverlayPanel() override;
    OverlayPanel(const OverlayPanel&) = delete;
    OverlayPanel& operator=(const OverlayPanel&) = delete;

    const QString& pinnedBundleID() const { return m_pinnedBundleID; }
    bool canBecomeKeyWindow() const override { return false; }
    bool canBecomeMainWindow() const { return false; }

    // The settings every overlay panel gets right after creation; a passthrough lets clicks fall
    // through and has no shadow.
    void applyOverlaySettings(qint64 level, bool passthrough);

    // Takes the view as the window's content; presses on it arrive at mouseDown().
    void setContentView(QWidget* view);

    // Activates the first running app with the pinned bundle identifier, bringing all of its
    // windows in front; nothing when none runs.
    void mouseDown();

private:
    class ClickFilter;

    platform::Services m_services;
    QString m_pinnedBundleID;
    std::unique_ptr<ClickFilter> m_clickFilter;
};
