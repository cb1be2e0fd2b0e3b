#pragma once

#include "state/Models.h"

#include <QList>
#include <QString>

#include <optional>

class PopoverNavigation;
class WindowManager;

// What one app row shows, derived afresh from the state object and the popover's navigation each
// time the row updates (hash lookups only, nothing cached between updates).
struct AppRowModel
{
    QList<WindowInfo> windows;
    bool isHidden = false;
    bool isPinned = false;
    bool hasPinnedContent = false;
    int hiddenWindowCount = 0; // windows hidden one by one; 0 while the app is hidden whole
    bool hasPinnedWindows = false;
    bool canExpand = false;
    bool isExpanded = false;
    bool showsPinHint = false;
    bool isTransparencyOpen = false;
    double transparency = 0;

    static AppRowModel make(const WindowManager& windowManager,
                            const QString& bundleID,
                            const PopoverNavigation& navigation,
                            bool isHovered);

    // "Hidden" while hidden whole; "hidden/listed hidden" while windows are hidden one by one,
    // never fewer listed than hidden ("3/3 hidden"); none otherwise.
    std::optional<QString> badgeText() const;
    // "1 WINDOW", "3 WINDOWS".
    QString windowCountText() const;
    QString transparencyPercentText() const;

    bool operator==(const AppRowModel&) const = default;
};

// A see-through fraction as a whole percentage, rounded half away from zero ("13%" for 0.125).
QString percentText(double fraction);

// Where the open transparency panel goes after a pin button of the app's row changed its pinned
// state: pinning opens this app's panel (closing any other); unpinning closes it once the app
// has nothing pinned left; anything else leaves it alone.
void applyPinStateChange(bool nowPinned,
                         const QString& bundleID,
                         const WindowManager& windowManager,
                         PopoverNavigation& navigation);
