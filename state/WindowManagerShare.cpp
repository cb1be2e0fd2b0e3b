#include "platform/Workspace.h"
#include "shell/kit/Symbols.h"
#include "state/WindowManager.h"

// The reaction to a detected share: the debounced detectedShare, and the automatic hiding of the
// auto-hide list while a share is on, undone exactly when it ends.

namespace {

// Refreshes in a row without an indicator that end a share: one missed refresh (a toolbar
// redrawn, a window list read mid-change) must not restore the hidden apps mid-call.
constexpr int kMissesEndingShare = 2;

QString autoHiddenTitle(qsizetype listed)
{
    return QStringLiteral("%1 app%2 auto-hidden")
        .arg(listed)
        .arg(listed == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

void WindowManager::updateShareDetection(const std::optional<ScreenShareDetector::Source>& source)
{
    if (source) {
        m_shareMissCount = 0;
        if (m_detectedShare != source) {
            setDetectedShare(source);
        }
    } else if (m_detectedShare) {
        ++m_shareMissCount;
        if (m_shareMissCount >= kMissesEndingShare) {
            setDetectedShare(std::nullopt);
            m_shareMissCount = 0;
        }
    }
    reconcileAutoHide();
}

void WindowManager::reconcileAutoHide()
{
    if (m_wasSharing && !m_detectedShare && m_sharePaused) {
        // The call is over: a pause left on would keep the next share frozen or covered.
        setSharePaused(false);
        applyPanicOutput();
    }
    m_wasSharing = m_detectedShare.has_value();
    if (m_autoHideEnabled && m_detectedShare) {
        if (!m_autoHideActive) {
            handleShareStarted();
        }
    } else if (m_autoHideActive) {
        handleShareEnded();
    }
}

void WindowManager::handleShareStarted()
{
    // Signed out nothing is hidden; autoHideActive stays false, so the first refresh after a
    // sign-in during the same share hides the list.
    if (!m_isAuthenticated) {
        return;
    }
    setAutoHideActive(true);
    // Apps hidden already (by hand or otherwise) are left alone and not recorded, so the end of
    // the share leaves them hidden.
    const QSet<QString> newlyHidden = m_autoHideBundleIDs - m_hiddenBundleIDs;
    setHiddenBundleIDs(m_hiddenBundleIDs | newlyHidden);
    m_autoVeiledBundleIDs = newlyHidden;
    saveHiddenState();
    saveAutoHideState();
    if (!m_autoHideBundleIDs.isEmpty()) {
        const QString meeting =
            m_detectedShare ? m_detectedShare->appName.toUpper() : QStringLiteral("MEETING");
        showToast(autoHiddenTitle(m_autoHideBundleIDs.size()),
                  true,
                  QStringLiteral("SHARING DETECTED · ") + meeting);
    }
}

void WindowManager::handleShareEnded()
{
    setAutoHideActive(false);
    const qsizetype restored = m_autoVeiledBundleIDs.size() + m_autoHiddenLocallyPIDs.size();
    setHiddenBundleIDs(m_hiddenBundleIDs - m_autoVeiledBundleIDs);
    m_autoVeiledBundleIDs.clear();
    saveHiddenState();
    unhideLocallyHiddenApps();
    saveAutoHideState();
    if (restored >= 1) {
        showToast(QStringLiteral("Sharing ended"), false, QStringLiteral("AUTO-HIDDEN APPS RESTORED"));
    }
}

void WindowManager::unhideLocallyHiddenApps()
{
    for (const qint32 pid : std::as_const(m_autoHiddenLocallyPIDs)) {
        // A process that ended since is skipped.
        if (const auto app = m_services.workspace->runningApplication(pid)) {
            app->unhide();
        }
    }
    m_autoHiddenLocallyPIDs.clear();
    saveAutoHideState();
}

void WindowManager::showToast(const QString& title, bool isVeiled, const std::optional<QString>& subtitle)
{
    if (m_hud == nullptr) {
        return;
    }
    // The toast's icon is 26 points square; drawn at twice that for sharp displays.
    constexpr int kLogoPixels = 52;
    m_hud->show(title,
                kit::imageAsset(QStringLiteral("veilmoxOfficialLogo"), QSize(kLogoPixels, kLogoPixels)),
                isVeiled,
                subtitle);
}
