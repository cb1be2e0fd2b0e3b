#pragma once

#include <QMap>
#include <QSet>
#include <QString>

#include <functional>

// Draws the pinned apps and windows above every other window with their see-through level.
// Created by WindowManager with itself and kept for its whole life; main thread only.
// For now it keeps what it is handed; capturing and drawing the overlays come later.
class SCOverlayController final
{
public:
    SCOverlayController() = default;
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
    int updateCount() const { return m_updateCount; }

    // The whole map of see-through levels by bundle identifier, each within 0...0.85.
    void setTransparency(const QMap<QString, double>& transparency);
    const QMap<QString, double>& pinnedTransparency() const { return m_pinnedTransparency; }

private:
    QSet<QString> m_pinnedBundleIDs;
    QSet<quint32> m_pinnedWindowIDs;
    QMap<QString, double> m_pinnedTransparency;
    int m_updateCount = 0;
};
