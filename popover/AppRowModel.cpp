#include "popover/AppRowModel.h"

#include "popover/PopoverNavigation.h"
#include "state/WindowManager.h"

#include <algorithm>
#include <cmath>

AppRowModel AppRowModel::make(const WindowManager& windowManager,
                              const QString& bundleID,
                              const PopoverNavigation& navigation,
                              bool isHovered)
{
    AppRowModel m;
    m.windows = windowManager.windowsByApp().value(bundleID);
    m.isHidden = windowManager.hiddenBundleIDs().contains(bundleID);
    m.isPinned = windowManager.pinnedBundleIDs().contains(bundleID);
    m.hasPinnedContent = windowManager.hasPinnedContent(bundleID);
    m.hiddenWindowCount = m.isHidden ? 0 : windowManager.hiddenWindowCount(bundleID);
    m.hasPinnedWindows = !m.isPinned && windowManager.pinnedWindowCount(bundleID) > 0;
    const auto count = m.windows.size();
    m.canExpand = count >= 2 || (count == 1 && (m.hiddenWindowCount >= 1 || m.hasPinnedWindows));
    m.isExpanded = m.canExpand && navigation.expandedAppIDs().contains(bundleID);
    m.showsPinHint = isHovered && !m.isHidden && !m.hasPinnedContent;
    m.isTransparencyOpen = m.hasPinnedContent && navigation.transparencyAppID() == bundleID;
    m.transparency = windowManager.pinnedTransparency().value(bundleID, 0.0);
    return m;
}

std::optional<QString> AppRowModel::badgeText() const
{
    if (isHidden) {
        return QStringLiteral("Hidden");
    }
    if (hiddenWindowCount >= 1) {
        const auto listed = std::max<qsizetype>(hiddenWindowCount, windows.size());
        return QStringLiteral("%1/%2 hidden").arg(hiddenWindowCount).arg(listed);
    }
    return std::nullopt;
}

QString AppRowModel::windowCountText() const
{
    return windows.size() == 1 ? QStringLiteral("1 WINDOW")
                               : QStringLiteral("%1 WINDOWS").arg(windows.size());
}

QString AppRowModel::transparencyPercentText() const
{
    return percentText(transparency);
}

QString percentText(double fraction)
{
    // std::round rounds halves away from zero.
    const double percent = std::isfinite(fraction) ? std::round(fraction * 100) : 0.0;
    return QStringLiteral("%1%").arg(static_cast<long long>(percent));
}

void applyPinStateChange(bool nowPinned,
                         const QString& bundleID,
                         const WindowManager& windowManager,
                         PopoverNavigation& navigation)
{
    if (nowPinned) {
        navigation.setTransparencyAppID(bundleID);
    } else if (navigation.transparencyAppID() == bundleID && !windowManager.hasPinnedContent(bundleID)) {
        navigation.setTransparencyAppID(std::nullopt);
    }
}
