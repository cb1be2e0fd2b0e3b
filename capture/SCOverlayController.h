#pragma once

#include "capture/FrameStream.h"
#include "capture/OverlayPanel.h"
#include "capture/PassthroughOverlay.h"
#include "capture/SurfaceView.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/ScreenCapture.h"
#include "platform/Services.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

// Draws the pinned apps and windows above every other window with their see-through level: a
// borderless panel at level 1000 over each pinned window shows a live capture of that window.
// While a pinned app is frontmost its overlays hide and slow to one frame per second; when that
// app is see-through, a click-through passthrough per display recreates the see-through look
// over its real windows. Created by WindowManager with itself and kept for its whole life; main
// thread only.
class SCOverlayController final : public QObject
{
public:
    // The overlay of one pinned window.
    struct OverlayEntry
    {
        std::unique_ptr<OverlayPanel> panel;
        QPointer<SurfaceView> view; // fills the panel
        std::unique_ptr<FrameStream> stream;
        QString bundleID;
    };

    explicit SCOverlayController(const platform::Services& services = platform::Services::current(),
                                 QObject* parent = nullptr);
    ~SCOverlayController() override;
    SCOverlayController(const SCOverlayController&) = delete;
    SCOverlayController& operator=(const SCOverlayController&) = delete;

    // Told true after each successful discovery of the pinned windows and false when one fails
    // for want of the Screen Recording permission.
    std::function<void(bool)> permissionStatusHandler;

    // Apps pinned whole and single pinned windows; written by the state object before update().
    const QSet<QString>& pinnedBundleIDs() const { return m_pinnedBundleIDs; }
    const QSet<quint32>& pinnedWindowIDs() const { return m_pinnedWindowIDs; }
    void setPinnedBundleIDs(const QSet<QString>& bundleIDs) { m_pinnedBundleIDs = bundleIDs; }
    void setPinnedWindowIDs(const QSet<quint32>& windowIDs) { m_pinnedWindowIDs = windowIDs; }

    // Brings the overlays in line with the two pinned sets.
    void update();
    // How often update() was called.
    int updateCount() const { return m_updateCount; }

    // A window of this application that stays in front of the overlays and passthrough panels,
    // which share its level, while it is shown (the mask editor, whose drags must reach it
    // wherever an overlay floats); asked whenever panels are ordered front, none for no window.
    void setWindowInFront(std::function<platform::Window*()> window) { m_windowInFront = std::move(window); }

    // The whole map of see-through levels by bundle identifier, each kept within 0...0.85.
    void setTransparency(const QMap<QString, double>& transparency);
    const QMap<QString, double>& pinnedTransparency() const { return m_pinnedTransparency; }

    // Window level of every overlay and passthrough panel: 1000.
    static qint64 overlayLevel();
    static constexpr double kDiscoveryInterval = 0.5;
    static constexpr double kPassthroughTeardownDelay = 3.0;
    static constexpr double kMaxTransparency = 0.85;

    // A new configuration capturing a display's size in points at the scale, at fps frames per
    // second: BGRA, queue depth 4, no cursor, no audio.
    static platform::SCStreamConfiguration
    streamConfiguration(int fps, const platform::SCDisplay& display, double scale);

    // For inspection.
    const std::map<quint32, OverlayEntry>& overlayEntries() const { return m_overlayEntries; }
    const std::map<quint32, std::unique_ptr<PassthroughOverlay>>& passthroughs() const
    {
        return m_passthroughs;
    }
    const QSet<QString>& appsWithPinnedWindows() const { return m_appsWithPinnedWindows; }
    const std::optional<platform::SCShareableContent>& latestContent() const { return m_latestContent; }
    bool isDiscovering() const { return m_discoveryTimer.isActive(); }
    bool discoveryInFlight() const { return m_discoveryInFlight; }
    qint64 passthroughBuildID() const { return m_passthroughBuildID; }
    const std::optional<QString>& passthroughBuildingFor() const { return m_passthroughBuildingFor; }
    bool passthroughTeardownPending() const { return m_passthroughTeardown.isActive(); }

private:
    // What a passthrough captures: the app alone and everything but the app and this program,
    // both treating the app's unpinned windows as background.
    struct PassthroughFilters
    {
        platform::SCContentFilter appFilter;
        platform::SCContentFilter backgroundFilter;
        QSet<quint32> unpinnedWindowIDs;
    };

    void startDiscoveryTimer();
    void stopDiscovery();
    void discover();
    void handleDiscoveryError(const platform::CaptureError& error) const;
    void apply(const platform::SCShareableContent& content);
    void makeOverlayEntry(const platform::SCWindow& window, const QString& bundleID);
    void syncOverlayFrames();
    void reconcile();
    void keepWindowInFront() const;
    bool hasTransparency(const QString& bundleID) const;
    double transparency(const QString& bundleID) const;
    void ensurePassthrough(const QString& bundleID);
    void schedulePassthroughTeardown();
    void tearDownPassthroughs();
    QSet<quint32> displayIDs(const QString& bundleID, const platform::SCShareableContent& content) const;
    std::optional<PassthroughFilters> passthroughFilters(const QString& bundleID,
                                                         const platform::SCDisplay& display,
                                                         const platform::SCShareableContent& content) const;
    std::unique_ptr<PassthroughOverlay> makePassthrough(const QString& bundleID,
                                                        const platform::SCDisplay& display,
                                                        const platform::SCShareableContent& content);
    void buildPassthroughs(const QString& bundleID, qint64 buildID);
    void passthroughContentArrived(const QString& bundleID,
                                   qint64 buildID,
                                   const std::optional<platform::SCShareableContent>& content);
    std::optional<QString> frontmostBundleID() const;
    QList<platform::Screen> screens() const;
    platform::Scheduler& scheduler() const;

    platform::Services m_services;
    QSet<QString> m_pinnedBundleIDs;
    QSet<quint32> m_pinnedWindowIDs;
    QSet<QString> m_appsWithPinnedWindows;
    std::map<quint32, OverlayEntry> m_overlayEntries;
    std::map<quint32, std::unique_ptr<PassthroughOverlay>> m_passthroughs;
    qint64 m_passthroughBuildID = 0;
    std::optional<QString> m_passthroughBuildingFor;
    platform::TimerHandle m_passthroughTeardown;
    platform::TimerHandle m_discoveryTimer;
    platform::Cancellable m_appActivateCancellable;
    platform::Cancellable m_appDeactivateCancellable;
    platform::Cancellable m_screensCancellable;
    bool m_discoveryInFlight = false;
    std::optional<platform::SCShareableContent> m_latestContent;
    QMap<QString, double> m_pinnedTransparency;
    std::function<platform::Window*()> m_windowInFront;
    int m_updateCount = 0;
};
