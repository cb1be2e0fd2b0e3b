#pragma once

#include "platform/Services.h"
#include "state/ShellInterfaces.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class MenuBarView;
class OnboardingAnalytics;
class OnboardingServices;
class PiPController;
class UpdaterManager;
class WindowManager;

namespace platform {
class Layer;
class Popover;
class StandardUpdaterController;
class StatusItem;
class Window;
} // namespace platform

// The application delegate: starts the system as a menu-bar accessory application, owns the
// status item with its icon, tooltip and badge dot, the popover hosting MenuBarView, the
// onboarding window while it is open and the update framework's controller, receives the opened
// callback URLs, and gives the rest of the system its shell operations. The one instance is
// reachable through shared(); main thread only.
class AppDelegate final
    : public QObject
    , public AppDelegateInterface
{
    Q_OBJECT

public:
    // What the delegate works with. The shared objects are asked for when the launch sequence
    // needs them, so that it decides the order in which they are made.
    struct Environment
    {
        platform::Services services;
        std::function<WindowManager&()> windowManager;
        std::function<PiPController&()> pipController;
        std::function<HUDPresenter&()> hud;
        // Where the onboarding's progress events go; without it they are dropped.
        std::function<OnboardingAnalytics*()> onboardingAnalytics;
        std::function<void()> registerFonts;

        // The process's services and shared objects.
        static Environment process();
    };

    explicit AppDelegate(Environment environment, QObject* parent = nullptr);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The delegate made last (each new one replaces the earlier); null when there is none.
    static AppDelegate* shared();

    static inline const QString onboardingCompletedKey = QStringLiteral("onboardingCompleted");

    // The launch sequence; run once, when the application has finished launching.
    void applicationDidFinishLaunching();
    // Redraws the status button's image, tooltip and badge for this many hidden apps and windows.
    void updateStatusIcon(int veiledCount) override;
    // Asks the update framework to check, when there is a controller.
    void checkForUpdates();
    // The URLs the system opens with this application: each, in order, to the state object.
    void application(const QList<QUrl>& urls);
    void returnFocusToBrowser() override;
    void resetOnboarding() override;
    // Makes the onboarding window once and brings it to the front, floating.
    void showOnboarding();
    // The completion of the onboarding flow, done on the next turn of the main loop.
    void onboardingFinished();
    // A window is closing: forgets the onboarding window when it is that one.
    void windowWillClose(platform::Window* window);
    void showPopover() override;
    // The status button's action: closes the popover when shown, else opens it.
    void togglePopover();

    bool isPopoverShown() const override;
    void closePopover() override;
    void raiseOnboardingWindow() override;

    platform::StandardUpdaterController* updaterController() const { return m_updaterController.get(); }
    platform::StatusItem* statusItem() const { return m_statusItem.get(); }
    platform::Popover* popover() const { return m_popover.get(); }
    platform::Window* onboardingWindow() const;
    platform::Layer* badgeDotLayer() const { return m_badgeDotLayer; }
    UpdaterManager* updaterManager() const { return m_updaterManager.get(); }
    MenuBarView* menuBarView() const { return m_menuBarView; }

    // The tooltip for a count: "Veilmox — All apps visible" below 1, else "Veilmox — n app(s) veiled".
    static QString statusToolTip(int veiledCount);
    // Where the badge dot goes on a button of these bounds (layer coordinates, y up).
    static QPointF badgeDotOrigin(const QRectF& buttonBounds);

    static constexpr QSizeF kPopoverSize{350, 680};
    static constexpr QSizeF kStatusImageSize{16, 16};
    static constexpr QRectF kOnboardingContentRect{0, 0, 1080, 720};
    static constexpr qint64 kPopoverLevel = 1001;
    static constexpr double kBadgeDotSide = 6;

private:
    struct OnboardingWindow;

    WindowManager& windowManager();
    platform::Scheduler& scheduler() const;
    // The status button's rectangle in global points.
    std::optional<QRectF> statusButtonRect() const;
    // Shows the popover under the status button and makes its window key at level 1001.
    void presentPopover(const QRectF& buttonRect);
    // The onboarding flow's way to the state object, the analytics and the clock.
    std::unique_ptr<OnboardingServices> makeOnboardingServices();
    // Closes the onboarding window (when there is one) and forgets it.
    void closeOnboardingWindow();
    // Lets go of the onboarding window; it is deleted on a later turn of the main loop, since
    // its close may still be running.
    void forgetOnboardingWindow();

    Environment m_environment;
    QPointer<WindowManager> m_windowManager;
    std::unique_ptr<platform::StandardUpdaterController> m_updaterController;
    std::unique_ptr<platform::StatusItem> m_statusItem;
    std::unique_ptr<platform::Popover> m_popover;
    std::shared_ptr<OnboardingWindow> m_onboardingWindow;
    platform::Layer* m_badgeDotLayer = nullptr; // owned by the status button's layer
    std::unique_ptr<UpdaterManager> m_updaterManager;
    MenuBarView* m_menuBarView = nullptr; // owned by the popover
};
