#pragma once

#include "state/WindowManager.h"

#include <QSize>
#include <QWidget>

class PiPController;
class PopoverNavigation;
class QStackedLayout;
class UpdaterManagerInterface;

namespace kit {
class IconButton;
class PageStack;
class PillButton;
class PulseDot;
class TextView;
} // namespace kit

// The popover's root view, 350 x 680 points, dark. It owns the popover's navigation state for
// its whole life (so reopening the popover shows the page open last), draws the header, switches
// between the main page frame, the auto-hide page and the settings page, shows the sign-in panel
// while signed out and lays the sharing guide over the main page. Its host gives it the state
// object and the updater manager before showing it; the pages are made once both are known.
// Main thread only.
//
// Every control forwards to one operation. Those with a step of their own are the static
// members below, which the pages call too; navigation goes through PopoverNavigation.
class MenuBarView final : public QWidget
{
    Q_OBJECT

public:
    // Making the view makes the picture-in-picture controller (the shared one by default).
    explicit MenuBarView(QWidget* parent = nullptr);
    explicit MenuBarView(PiPController& pip, QWidget* parent = nullptr);
    ~MenuBarView() override;

    void setWindowManager(WindowManager& windowManager);
    void setUpdaterManager(const UpdaterManagerInterface& updaterManager);
    WindowManager* windowManager() const { return m_windowManager; }
    PiPController& pipController() const { return m_pip; }
    PopoverNavigation& navigation() const { return *m_navigation; }

    // The three pages (null until made) and the one shown or coming in.
    QWidget* mainFrame() const { return m_mainFrame; }
    QWidget* autoHidePage() const { return m_autoHidePage; }
    QWidget* settingsPage() const { return m_settingsPage; }
    QWidget* currentPage() const;
    // The two faces of the main page frame's account switch, and the guide's two layers.
    QWidget* signInPanel() const { return m_signInPanel; }
    QWidget* mainPage() const { return m_mainPage; }
    QWidget* guideScrim() const { return m_guideScrim; }
    QWidget* guideCard() const { return m_guideCard; }

    static constexpr QSize kSize{350, 680};

    // The routed operations that take a step of their own.
    // Asks the application to terminate.
    static void quit();
    static void setPanicMode(WindowManager& windowManager, WindowManager::PanicMode mode);
    // Whether the state object took and registered the combination.
    static bool savePanicHotKey(WindowManager& windowManager, const HotKeyCombo& combo);
    // Sets and stores the setting itself and hands it to a running virtual display.
    static void setHideNotifications(WindowManager& windowManager, bool on);
    // Sets and stores the setting itself, then reconciles the automatic hiding.
    static void setAutoHideEnabled(WindowManager& windowManager, bool on);
    // Flips the focus stage whatever the switch asked for: the switch only asks when flipped.
    static void setFocusStage(WindowManager& windowManager, bool on);
    // Chooses the mirrored display inside the choice animation.
    static void selectDisplay(WindowManager& windowManager, quint32 displayID);
    // A shown or hidden panel the user asked for no longer closes with the share's end.
    static void setPiPShown(PiPController& pip, bool shown);
    // Sets the choice and stores it under the controller's key.
    static void setPiPAutoShow(PiPController& pip, bool on);
    // Shows the panel as the user's own and closes the popover.
    static void popOutPreview(WindowManager& windowManager, PiPController& pip);
    static void checkForUpdates(const UpdaterManagerInterface& updaterManager);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void makePages();
    QWidget* makeMainFrame();
    QWidget* makeHeader();
    QWidget* makeSignInPanel();
    // The guide's scrim and card, made closed inside the area under the header.
    void makeGuide(QWidget* area);
    void syncPage();
    void syncAccount();
    void syncSignIn();
    void syncGuide();

    PiPController& m_pip;
    PopoverNavigation* m_navigation;
    WindowManager* m_windowManager = nullptr;
    const UpdaterManagerInterface* m_updaterManager = nullptr;

    kit::PageStack* m_pages = nullptr;
    QWidget* m_mainFrame = nullptr;
    QWidget* m_autoHidePage = nullptr;
    QWidget* m_settingsPage = nullptr;
    kit::IconButton* m_guideButton = nullptr;
    kit::IconButton* m_settingsButton = nullptr;
    QStackedLayout* m_accountSwitch = nullptr;
    QWidget* m_signInPanel = nullptr;
    QWidget* m_mainPage = nullptr;
    kit::PillButton* m_signInButton = nullptr;
    QWidget* m_statusRow = nullptr;
    kit::PulseDot* m_statusDot = nullptr;
    kit::TextView* m_statusText = nullptr;
    QWidget* m_guideScrim = nullptr;
    QWidget* m_guideCard = nullptr;
};
