#pragma once

#include <QImage>
#include <QString>

#include <optional>

// What the state object asks of the application shell, which sits above it. The shell installs
// its implementations on WindowManager at start-up; while none is installed the state object
// skips these calls.

// The application delegate: status item, popover and onboarding window.
class AppDelegateInterface
{
public:
    virtual ~AppDelegateInterface() = default;

    // Redraws the status icon for this many hidden apps and windows.
    virtual void updateStatusIcon(int veiledCount) = 0;
    // Opens the popover under the status item unless it is shown already.
    virtual void showPopover() = 0;
    virtual bool isPopoverShown() const = 0;
    virtual void closePopover() = 0;
    // Forgets that the onboarding was completed and shows it again.
    virtual void resetOnboarding() = 0;
    // After a sign-in callback: lowers the onboarding window and brings the browser forward.
    virtual void returnFocusToBrowser() = 0;
    // Floats the onboarding window, activates the application and brings the window to the
    // front; nothing when no onboarding window is open.
    virtual void raiseOnboardingWindow() = 0;

protected:
    AppDelegateInterface() = default;
    AppDelegateInterface(const AppDelegateInterface&) = default;
    AppDelegateInterface& operator=(const AppDelegateInterface&) = default;
};

// The HUD toast. Each call replaces the toast on screen.
class HUDPresenter
{
public:
    virtual ~HUDPresenter() = default;

    // `icon` may be null; without a subtitle the toast shows its own hidden or visible line.
    virtual void show(const QString& appName,
                      const QImage& icon,
                      bool isVeiled,
                      const std::optional<QString>& subtitle) = 0;

protected:
    HUDPresenter() = default;
    HUDPresenter(const HUDPresenter&) = default;
    HUDPresenter& operator=(const HUDPresenter&) = default;
};
