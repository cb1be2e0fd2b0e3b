#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

namespace platform {

// Window-list options.
inline constexpr std::uint32_t kCGWindowListOptionAll = 0;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenOnly = 1U << 0U;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenAboveWindow = 1U << 1U;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenBelowWindow = 1U << 2U;
inline constexpr std::uint32_t kCGWindowListOptionIncludingWindow = 1U << 3U;
inline constexpr std::uint32_t kCGWindowListExcludeDesktopElements = 1U << 4U;
inline constexpr std::uint32_t kCGNullWindowID = 0;

// Keys of a window description. Numbers are integers (qint64) or doubles, the bounds a dictionary
// with "X", "Y", "Width", "Height", the on-screen flag a bool.
inline const QString kCGWindowNumber = QStringLiteral("kCGWindowNumber");
inline const QString kCGWindowOwnerPID = QStringLiteral("kCGWindowOwnerPID");
inline const QString kCGWindowOwnerName = QStringLiteral("kCGWindowOwnerName");
inline const QString kCGWindowName = QStringLiteral("kCGWindowName");
inline const QString kCGWindowLayer = QStringLiteral("kCGWindowLayer");
inline const QString kCGWindowAlpha = QStringLiteral("kCGWindowAlpha");
inline const QString kCGWindowBounds = QStringLiteral("kCGWindowBounds");
inline const QString kCGWindowIsOnscreen = QStringLiteral("kCGWindowIsOnscreen");
inline const QString kCGWindowSharingState = QStringLiteral("kCGWindowSharingState");

using WindowDescription = QVariantMap;

// The window server's view of windows and displays. A failed query gives none, which callers
// can tell from an empty list.
class WindowServer
{
public:
    virtual ~WindowServer() = default;

    // Descriptions in front-to-back order.
    virtual std::optional<QList<WindowDescription>> copyWindowInfo(std::uint32_t options,
                                                                   std::uint32_t relativeToWindow) const = 0;
    // Descriptions of exactly these windows (those that exist), in the order asked.
    virtual std::optional<QList<WindowDescription>>
    createDescriptionFromArray(const QList<std::uint32_t>& windowIDs) const = 0;

    virtual std::uint32_t mainDisplayID() const = 0;
    // A display's bounds in global points; a null rectangle for an unknown display.
    virtual QRectF displayBounds(std::uint32_t displayID) const = 0;
};

} // namespace platform
