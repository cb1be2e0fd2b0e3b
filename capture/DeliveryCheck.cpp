#include "capture/DeliveryCheck.h"

#include "platform/Geometry.h"
#include "platform/Values.h"
#include "platform/Window.h"

#include <cmath>

namespace {

const QVariant& entry(const platform::WindowDescription& window, const QString& key)
{
    static const QVariant kNone;
    const auto it = window.constFind(key);
    return it != window.cend() ? it.value() : kNone;
}

} // namespace

DeliveryCheck::WindowReadings::Reading
DeliveryCheck::WindowReadings::read(qsizetype index, const platform::WindowDescription& window)
{
    const auto at = static_cast<std::size_t>(index);
    if (at < m_kept.size() && m_kept[at].description.isSharedWith(window)) {
        return m_kept[at].reading;
    }
    Kept kept{window,
              {platform::integerValue(entry(window, platform::kCGWindowSharingState)),
               platform::uint32Value(entry(window, platform::kCGWindowNumber)),
               platform::int32Value(entry(window, platform::kCGWindowOwnerPID))}};
    if (at >= m_kept.size()) {
        m_kept.resize(at + 1);
    }
    m_kept[at] = std::move(kept);
    return m_kept[at].reading;
}

void DeliveryCheck::WindowReadings::keepOnly(qsizetype count)
{
    if (static_cast<std::size_t>(count) < m_kept.size()) {
        m_kept.resize(static_cast<std::size_t>(count));
    }
}

DeliveryCheck::DeliveryCheck(Basis basis,
                             const platform::Workspace* workspace,
                             std::shared_ptr<WindowReadings> readings)
    : m_basis(std::move(basis))
    , m_workspace(workspace)
    , m_readings(readings ? std::move(readings) : std::make_shared<WindowReadings>())
{
    const platform::SCContentFilter& filter = m_basis.filter;
    m_displayFrame = filter.contentRect();
    m_picture = pixelRect(m_displayFrame, m_displayFrame, m_basis.scale).value_or(QRect());
    m_excludesApplications = filter.kind() == platform::SCContentFilter::Kind::DisplayExcludingApplications;
    for (const auto& app : filter.applications()) {
        m_filteredPIDs.insert(app.processID);
    }
    for (const auto& window : filter.windows()) {
        m_filteredWindowIDs.insert(window.windowID);
    }
    for (const auto& app : std::as_const(m_basis.applications)) {
        m_leftOut.insert(app.processID, m_basis.leftOutBundleIDs.contains(app.bundleIdentifier));
    }
    m_leftOut.insert(m_basis.ownPID, true);
}

void DeliveryCheck::setMasks(QList<ShareMask> masks, QHash<QUuid, QRect> painted)
{
    m_masks = std::move(masks);
    m_painted = std::move(painted);
    m_masksByWindow.clear();
    for (qsizetype i = 0; i < m_masks.size(); ++i) {
        m_masksByWindow[m_masks[i].windowID].append(i);
    }
}

std::optional<QRect>
DeliveryCheck::pixelRect(const QRectF& screenRect, const QRectF& displayFrame, double scale)
{
    const QRectF rect = screenRect.translated(-displayFrame.topLeft());
    const QRectF integral = platform::rectIntegral(
        QRectF(rect.x() * scale, rect.y() * scale, rect.width() * scale, rect.height() * scale));
    // Far beyond any capture (or not a number): nothing of it can be painted.
    constexpr double kLimit = 1.0e7;
    if (!(std::abs(integral.left()) < kLimit && std::abs(integral.top()) < kLimit
          && std::abs(integral.right()) < kLimit && std::abs(integral.bottom()) < kLimit)) {
        return std::nullopt;
    }
    return integral.toRect();
}

bool DeliveryCheck::isLeftOut(platform::pid_type pid) const
{
    if (const auto known = m_leftOut.constFind(pid); known != m_leftOut.cend()) {
        return known.value();
    }
    // Launched since the content was read: its bundle decides. Unknown owners count as left out,
    // so a window nobody can name never passes.
    bool leftOut = true;
    if (m_workspace != nullptr) {
        if (const auto app = m_workspace->runningApplication(pid)) {
            leftOut = m_basis.leftOutBundleIDs.contains(app->bundleIdentifier().value_or(QString()));
        }
    }
    m_leftOut.insert(pid, leftOut);
    return leftOut;
}

bool DeliveryCheck::isInFilter(std::optional<quint32> number, std::optional<platform::pid_type> pid) const
{
    if (m_excludesApplications) {
        return pid && m_filteredPIDs.contains(*pid);
    }
    return number && m_filteredWindowIDs.contains(*number);
}

bool DeliveryCheck::allows(const QList<platform::WindowDescription>& onScreenWindows) const
{
    m_readings->keepOnly(onScreenWindows.size());
    for (qsizetype index = 0; index < onScreenWindows.size(); ++index) {
        const platform::WindowDescription& window = onScreenWindows[index];
        const auto [sharing, number, pid] = m_readings->read(index, window);
        // Never drawn into any capture.
        if (sharing && *sharing == static_cast<qint64>(platform::WindowSharingType::None)) {
            continue;
        }
        const bool leftOut =
            (number && m_basis.excludedWindowIDs.contains(*number)) || !pid || isLeftOut(*pid);
        const bool masked = number && m_masksByWindow.contains(*number);
        if (leftOut ? isInFilter(number, pid) : !masked) {
            continue;
        }
        const auto bounds = platform::rectFromDictionary(entry(window, platform::kCGWindowBounds));
        if (leftOut) {
            if (!bounds || bounds->intersects(m_displayFrame)) {
                return false;
            }
        } else if (!masksCovered(*number, bounds)) {
            return false;
        }
    }
    return true;
}

bool DeliveryCheck::masksCovered(quint32 windowID, const std::optional<QRectF>& bounds) const
{
    if (!bounds) {
        return false;
    }
    for (const qsizetype index : m_masksByWindow.value(windowID)) {
        const ShareMask& mask = m_masks[index];
        const auto onScreen = mask.screenRect(*bounds);
        if (!onScreen) {
            continue;
        }
        const auto pixels = pixelRect(*onScreen, m_displayFrame, m_basis.scale);
        if (!pixels || !pixels->intersects(m_picture)) {
            continue;
        }
        const auto painted = m_painted.constFind(mask.id);
        if (painted == m_painted.cend() || !painted->contains(pixels->intersected(m_picture))) {
            return false;
        }
    }
    return true;
}
