#include "capture/ShareMasks.h"

#include "platform/Geometry.h"
#include "platform/Values.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

namespace ShareMasks {

QMap<quint32, QRectF> windowFrames(const platform::WindowServer& windowServer, const QSet<quint32>& windowIDs)
{
    QMap<quint32, QRectF> frames;
    if (windowIDs.isEmpty()) {
        return frames;
    }
    const auto descriptions =
        windowServer.createDescriptionFromArray(QList<std::uint32_t>(windowIDs.begin(), windowIDs.end()));
    if (!descriptions) {
        return frames;
    }
    for (const auto& description : *descriptions) {
        const QVariant onScreen = description.value(platform::kCGWindowIsOnscreen);
        if (!platform::isBool(onScreen) || !onScreen.toBool()) {
            continue;
        }
        const auto number = platform::uint32Value(description.value(platform::kCGWindowNumber));
        const auto bounds = platform::rectFromDictionary(description.value(platform::kCGWindowBounds));
        if (!number || !bounds) {
            continue;
        }
        frames.insert(*number, *bounds);
    }
    return frames;
}

std::optional<WindowUnderPoint>
windowUnder(const platform::WindowServer& windowServer, const platform::Workspace& workspace, QPointF point)
{
    const auto list = windowServer.copyWindowInfo(platform::kCGWindowListOptionOnScreenOnly
                                                      | platform::kCGWindowListExcludeDesktopElements,
                                                  platform::kCGNullWindowID);
    if (!list) {
        return std::nullopt;
    }
    const platform::pid_type ownPid = workspace.currentProcessIdentifier();
    for (const auto& description : *list) {
        const auto pid = platform::int32Value(description.value(platform::kCGWindowOwnerPID));
        if (!pid || *pid == ownPid) {
            continue;
        }
        const auto layer = platform::integerValue(description.value(platform::kCGWindowLayer));
        if (!layer || *layer != 0) {
            continue;
        }
        const QVariant alphaValue = description.value(platform::kCGWindowAlpha);
        if (const auto alpha = platform::finiteNumber(alphaValue);
            platform::isNumber(alphaValue) && !(alpha && *alpha > 0)) {
            continue;
        }
        const auto number = platform::uint32Value(description.value(platform::kCGWindowNumber));
        const auto bounds = platform::rectFromDictionary(description.value(platform::kCGWindowBounds));
        if (!number || !bounds || !platform::rectContainsPoint(*bounds, point)) {
            continue;
        }
        const auto app = workspace.runningApplication(*pid);
        const auto bundleID = app ? app->bundleIdentifier() : std::nullopt;
        if (!bundleID) {
            continue;
        }
        return WindowUnderPoint{*number, *bundleID, *bounds};
    }
    return std::nullopt;
}

} // namespace ShareMasks
