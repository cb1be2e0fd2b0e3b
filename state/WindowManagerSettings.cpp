#include "capture/ShareMaskEditor.h"
#include "capture/ShareMaskEditorPanel.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/Bundle.h"
#include "platform/LoginItems.h"
#include "platform/Process.h"
#include "platform/Scheduler.h"
#include "platform/ScreenCapture.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "state/WindowManager.h"

#include <QPointer>

#include <algorithm>
#include <iostream>

// The setting operations (shared display, focus stage, masks, launch at login, panic mode) and
// the Screen Recording permission: probing it, opening its settings pane, resetting it.

namespace {

// The pane asks the system for the permission's state only after it has opened.
constexpr double kProbeDelayAfterOpeningPane = 0.5;
const QString kResetTool = QStringLiteral("/usr/bin/tccutil");

} // namespace

std::optional<quint32> WindowManager::effectiveSharedDisplayID() const
{
    if (m_sharedDisplayID) {
        const bool connected =
            std::any_of(m_availableDisplays.cbegin(),
                        m_availableDisplays.cend(),
                        [this](const DisplayInfo& d) { return d.id == *m_sharedDisplayID; });
        if (connected) {
            return m_sharedDisplayID;
        }
    }
    if (m_availableDisplays.isEmpty()) {
        return std::nullopt;
    }
    return m_availableDisplays.front().id;
}

void WindowManager::selectSharedDisplay(quint32 displayID)
{
    setSharedDisplayID(displayID);
    defaults().setObject(static_cast<qint64>(displayID), sharedDisplayKey);
    VirtualDisplayManager* manager = m_virtualDisplayManager.get();
    if (manager == nullptr) {
        return;
    }
    manager->sourceDisplayID = displayID;
    if (manager->virtualDisplay() != nullptr) {
        // The next capture mirrors the new source.
        if (const auto screen = manager->sourceScreen()) {
            manager->mainDisplayID = screen->displayID();
        }
    }
}

void WindowManager::toggleFocusStage()
{
    setFocusStageOnVirtualDisplay(!m_focusStageOnVirtualDisplay);
    defaults().setObject(m_focusStageOnVirtualDisplay, focusStageKey);
    if (m_virtualDisplayManager) {
        m_virtualDisplayManager->focusStageEnabled = m_focusStageOnVirtualDisplay;
    }
}

void WindowManager::addShareMask(const ShareMask& mask)
{
    m_removedShareMasks.clear();
    setCanUndoShareMaskRemoval(false);
    setShareMasks(m_shareMasks + QList<ShareMask>{mask});
    saveShareMasks();
}

void WindowManager::updateShareMask(const ShareMask& mask)
{
    const auto found = std::find_if(
        m_shareMasks.cbegin(), m_shareMasks.cend(), [&mask](const ShareMask& m) { return m.id == mask.id; });
    if (found == m_shareMasks.cend()) {
        return;
    }
    m_removedShareMasks.clear();
    setCanUndoShareMaskRemoval(false);
    QList<ShareMask> masks = m_shareMasks;
    masks[std::distance(m_shareMasks.cbegin(), found)] = mask;
    setShareMasks(masks);
    saveShareMasks();
}

void WindowManager::removeShareMask(const QUuid& id)
{
    QList<ShareMask> removed;
    QList<ShareMask> kept;
    for (const ShareMask& mask : m_shareMasks) {
        (mask.id == id ? removed : kept).append(mask);
    }
    if (removed.isEmpty()) {
        return;
    }
    m_removedShareMasks = removed;
    setCanUndoShareMaskRemoval(true);
    setShareMasks(kept);
    saveShareMasks();
}

void WindowManager::clearShareMasks()
{
    // Clearing nothing keeps an earlier undo possible.
    if (m_shareMasks.isEmpty()) {
        return;
    }
    m_removedShareMasks = m_shareMasks;
    setCanUndoShareMaskRemoval(true);
    setShareMasks({});
    saveShareMasks();
}

void WindowManager::undoShareMaskRemoval()
{
    if (m_removedShareMasks.isEmpty()) {
        return;
    }
    QList<ShareMask> masks = m_shareMasks;
    for (const ShareMask& mask : std::as_const(m_removedShareMasks)) {
        // A mask put back by other means meanwhile is not doubled.
        const bool present = std::any_of(
            masks.cbegin(), masks.cend(), [&mask](const ShareMask& m) { return m.id == mask.id; });
        if (!present) {
            masks.append(mask);
        }
    }
    m_removedShareMasks.clear();
    setCanUndoShareMaskRemoval(false);
    setShareMasks(masks);
    saveShareMasks();
}

void WindowManager::openShareMaskEditor()
{
    if (!m_isAuthenticated) {
        return;
    }
    const auto displayID = effectiveSharedDisplayID();
    if (!displayID) {
        return;
    }
    if (m_appDelegate != nullptr && m_appDelegate->isPopoverShown()) {
        m_appDelegate->closePopover();
    }
    ShareMaskEditor& editor = m_shareMaskEditor != nullptr ? *m_shareMaskEditor : ShareMaskEditor::shared();
    editor.open(*displayID);
    // The pinned overlays share the editor's level: it stays in front of them while it is open, so
    // that every drag on its display reaches it.
    m_pinnedWindowController->setWindowInFront(
        [opened = QPointer<ShareMaskEditor>(&editor)]() -> platform::Window* {
            return opened && opened->isEditing() ? opened->panel() : nullptr;
        });
}

void WindowManager::observeShareMasks(QObject* context, std::function<void()> handler)
{
    connect(this, &WindowManager::shareMasksChanged, context, [handler] { handler(); });
    connect(this, &WindowManager::canUndoShareMaskRemovalChanged, context, [handler] { handler(); });
}

void WindowManager::refreshLaunchAtLogin()
{
    const platform::SMAppService* service = m_services.mainAppService;
    publishLaunchAtLogin(service != nullptr && service->status() == platform::SMAppService::Status::Enabled);
}

void WindowManager::setLaunchAtLogin(bool on)
{
    if (platform::SMAppService* service = m_services.mainAppService) {
        const bool enabled = service->status() == platform::SMAppService::Status::Enabled;
        std::optional<platform::ServiceError> error;
        if (on && !enabled) {
            error = service->registerService();
        } else if (!on && enabled) {
            error = service->unregisterService();
        }
        if (error) {
            std::cout << "Failed to set Launch at Login: " << error->localizedDescription.toStdString()
                      << std::endl;
        }
    }
    // The switch shows what the system did, not what was asked.
    refreshLaunchAtLogin();
}

void WindowManager::setPanicMode(PanicMode mode)
{
    publishPanicMode(mode);
    defaults().setObject(rawValue(mode), panicModeKey);
    if (m_sharePaused) {
        applyPanicOutput();
    }
}

void WindowManager::checkScreenCapturePermission(std::function<void(bool granted)> done)
{
    const QPointer<WindowManager> self(this);
    platform::ScreenCaptureService* capture = m_services.screenCapture;
    if (capture == nullptr) {
        m_services.scheduler->post(this, [done] { done(false); });
        return;
    }
    // The answer's content is not used: any answer at all means the permission is granted.
    capture->getShareableContent(false,
                                 true,
                                 [self, done](std::optional<platform::SCShareableContent> content,
                                              std::optional<platform::CaptureError> error) {
                                     if (self) {
                                         done(content.has_value() && !error.has_value());
                                     }
                                 });
}

void WindowManager::refreshScreenRecordingPermission()
{
    checkScreenCapturePermission([this](bool granted) { setHasScreenRecordingPermission(granted); });
}

void WindowManager::openScreenRecordingSettings()
{
    openScreenRecordingPane();
    m_services.scheduler->postAfter(
        kProbeDelayAfterOpeningPane, this, [this] { refreshScreenRecordingPermission(); });
}

void WindowManager::openScreenRecordingPane()
{
    const QUrl url(screenRecordingPaneURL, QUrl::StrictMode);
    if (url.isValid()) {
        m_services.workspace->openURL(url);
    }
}

void WindowManager::resetScreenRecordingPermission()
{
    const platform::Bundle& bundle =
        m_services.bundle != nullptr ? *m_services.bundle : platform::Bundle::main();
    const QString bundleID = bundle.bundleIdentifier().value_or(QStringLiteral("getveilmox.Veilmox"));
    if (platform::ProcessRunner* processes = m_services.processes) {
        // The main thread waits for the tool, but not forever: a tool that hangs must not freeze
        // the menu bar. Whatever the outcome, the pane opens.
        processes->runAndWait(kResetTool,
                              {QStringLiteral("reset"), QStringLiteral("ScreenCapture"), bundleID},
                              permissionResetTimeoutSeconds);
    }
    openScreenRecordingPane();
}

void WindowManager::replayOnboarding()
{
    m_services.scheduler->post(this, [this] {
        if (m_appDelegate != nullptr) {
            m_appDelegate->resetOnboarding();
        }
    });
}
