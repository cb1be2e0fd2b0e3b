#include "capture/ShareCoverView.h"
#include "capture/VirtualDisplayManager.h"
#include "platform/Scheduler.h"
#include "state/WindowManager.h"

#include <QPointer>

// The virtual display's life as the state object owns it, the panic pause, and the entry point of
// the application's callback URLs.

namespace {

const QString kAuthHost = QStringLiteral("auth");

} // namespace

void WindowManager::startVirtualDisplay()
{
    if (!m_isAuthenticated) {
        setVirtualDisplayStatus(QStringLiteral("Sign in to start virtual display."));
        setVirtualDisplayStatusIsError(true);
        return;
    }
    if (!m_virtualDisplayManager) {
        auto manager = std::make_unique<VirtualDisplayManager>(m_services);
        manager->excludedBundleIDs = m_hiddenBundleIDs;
        const auto hiddenWindowIDs = m_hiddenWindows.keys();
        manager->excludedWindowIDs = QSet<quint32>(hiddenWindowIDs.begin(), hiddenWindowIDs.end());
        manager->sourceDisplayID = m_sharedDisplayID;
        manager->hideNotifications = m_hideNotificationsOnShare;
        manager->focusStageEnabled = m_focusStageOnVirtualDisplay;
        manager->masks = m_shareMasks;
        installVirtualDisplayHandlers(*manager);
        m_virtualDisplayManager = std::move(manager);
    }
    const QPointer<VirtualDisplayManager> manager(m_virtualDisplayManager.get());
    manager->start();
    if (manager.isNull() || manager != m_virtualDisplayManager.get()) {
        // A handler replaced or dropped the manager while it started; that one decides.
        return;
    }
    if (manager->virtualDisplay() == nullptr) {
        // Failed at once ("No display found.", "Failed to create virtual display." …): no display
        // exists and none will, so nothing may claim to run. The error line stays for the user.
        retireVirtualDisplayManager(std::move(m_virtualDisplayManager));
        setIsVirtualDisplayRunning(false);
        return;
    }
    if (m_sharePaused) {
        // A display started during a pause starts frozen or covered.
        applyPanicOutput();
    }
    setIsVirtualDisplayRunning(true);
}

void WindowManager::stopVirtualDisplay()
{
    if (m_virtualDisplayManager) {
        // Taken out first: whatever the manager reports while stopping is already stale.
        auto manager = std::move(m_virtualDisplayManager);
        manager->stop();
        retireVirtualDisplayManager(std::move(manager));
    }
    setIsVirtualDisplayRunning(false);
    setVirtualDisplayStatus(QString());
    setVirtualDisplayStatusIsError(false);
    setVirtualDisplayPreviewImage(std::nullopt);
}

bool WindowManager::isCurrentManager(const VirtualDisplayManager* manager) const
{
    return manager != nullptr && manager == m_virtualDisplayManager.get();
}

void WindowManager::installVirtualDisplayHandlers(VirtualDisplayManager& manager)
{
    // Each report names its manager: a QPointer, so a manager deleted since (whose address a new
    // one may reuse) never passes for the current one.
    const QPointer<WindowManager> self(this);
    const QPointer<VirtualDisplayManager> owner(&manager);
    manager.statusHandler = [self, owner](const QString& message, bool isError) {
        if (self && self->isCurrentManager(owner)) {
            self->setVirtualDisplayStatus(message);
            self->setVirtualDisplayStatusIsError(isError);
        }
    };
    manager.frameHandler = [self, owner](const std::optional<QImage>& image) {
        if (self && self->isCurrentManager(owner)) {
            self->setVirtualDisplayPreviewImage(image);
        }
    };
    manager.closeHandler = [self, owner] {
        if (self && self->isCurrentManager(owner)) {
            self->handleVirtualDisplayClosed();
        }
    };
    // What the capture learns about the permission holds whichever manager learnt it.
    manager.screenRecordingPermissionHandler = [self](bool granted) {
        if (self) {
            self->handleScreenRecordingPermission(granted);
        }
    };
}

void WindowManager::handleVirtualDisplayClosed()
{
    // Not restarted here: the next application of the session state starts a new one.
    setIsVirtualDisplayRunning(false);
    retireVirtualDisplayManager(std::move(m_virtualDisplayManager));
    // An error line ("… did not register after 5 attempts. Try again.") says why the display
    // ended; wiping it would leave the user with nothing.
    if (!m_virtualDisplayStatusIsError) {
        setVirtualDisplayStatus(QString());
        setVirtualDisplayStatusIsError(false);
    }
    setVirtualDisplayPreviewImage(std::nullopt);
}

void WindowManager::retireVirtualDisplayManager(std::unique_ptr<VirtualDisplayManager> manager)
{
    if (!manager) {
        return;
    }
    m_retiredManagers.push_back(std::move(manager));
    if (m_retiredManagers.size() == 1) {
        m_services.scheduler->post(this, [this] {
            const auto retired = std::move(m_retiredManagers);
            m_retiredManagers.clear();
        });
    }
}

void WindowManager::handleScreenRecordingPermission(bool granted)
{
    // Told after every delivered picture: only a change is published.
    if (granted != m_hasScreenRecordingPermission) {
        setHasScreenRecordingPermission(granted);
    }
}

void WindowManager::applyPanicOutput()
{
    VirtualDisplayManager* manager = m_virtualDisplayManager.get();
    if (manager == nullptr) {
        return;
    }
    if (!m_sharePaused) {
        manager->output = VirtualDisplayManager::Output::live();
        return;
    }
    if (m_panicMode == PanicMode::Freeze) {
        manager->output = VirtualDisplayManager::Output::frozen();
        return;
    }
    const QSizeF size = manager->sourceSize().value_or(coverFallbackSize());
    const auto cover = ShareCoverView::renderImage(size.width(), size.height());
    if (!cover) {
        // Better the last frame than the screen the user wanted hidden.
        manager->output = VirtualDisplayManager::Output::frozen();
        return;
    }
    manager->output = VirtualDisplayManager::Output::covered(*cover);
    if (ImageView* imageView = manager->imageView()) {
        imageView->setImage(*cover);
    }
    if (manager->frameHandler) {
        // The preview shows the cover as well.
        manager->frameHandler(*cover);
    }
}

void WindowManager::togglePanic()
{
    if (!m_isAuthenticated) {
        return;
    }
    setSharePaused(!m_sharePaused, true);
}

void WindowManager::setSharePaused(bool paused, bool showHUD)
{
    setSharePaused(paused);
    applyPanicOutput();
    if (!showHUD) {
        return;
    }
    const QString resumeHint =
        QStringLiteral("PRESS ") + m_panicShortcut.display + QStringLiteral(" TO RESUME");
    if (!paused) {
        showToast(QStringLiteral("Share is live again"), false, QStringLiteral("YOUR CALL SEES YOUR SCREEN"));
    } else if (m_panicMode == PanicMode::Cover) {
        showToast(QStringLiteral("“Be right back” is showing"), true, resumeHint);
    } else {
        showToast(QStringLiteral("Share frozen"), true, resumeHint);
    }
}

void WindowManager::handleCallbackURL(const QUrl& url)
{
    if (url.scheme().toLower() != callbackScheme) {
        return;
    }
    const QString hostText = url.host().toLower();
    const std::optional<QString> host = hostText.isEmpty() ? std::nullopt : std::optional<QString>(hostText);
    if (m_browserReturnHost && m_browserReturnHost == host) {
        // The browser hand-off came back: the onboarding window comes forward before the
        // sign-in completes.
        m_browserReturnHost.reset();
        if (m_appDelegate != nullptr) {
            m_appDelegate->raiseOnboardingWindow();
        }
    } else if (m_browserReturnHost) {
        // Still waiting for the hand-off; this callback is something else.
        if (m_appDelegate != nullptr) {
            m_appDelegate->returnFocusToBrowser();
        }
    }
    if (host == kAuthHost) {
        handleAuthCallback(url);
    }
}
