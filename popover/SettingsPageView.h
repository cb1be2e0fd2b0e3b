#pragma once

#include <QWidget>

class PanicModePicker;
class PiPController;
class PopoverNavigation;
class SettingRow;
class ShortcutRecorder;
class UpdaterManagerInterface;
class WindowManager;

namespace kit {
class CardBackground;
class PillButton;
class PulseDot;
class TextLabel;
} // namespace kit

// The popover's settings page: six cards (general, share protection, picture-in-picture,
// permissions, software updates, guide and account) and the quit button. It holds no state of its
// own: every row shows a published property and every control calls one operation, so the page
// follows the model at once. Main thread only.
class SettingsPageView final : public QWidget
{
    Q_OBJECT

public:
    SettingsPageView(WindowManager& windowManager,
                     PiPController& pip,
                     const UpdaterManagerInterface& updaterManager,
                     PopoverNavigation& navigation,
                     QWidget* parent = nullptr);

    ShortcutRecorder* panicShortcutRecorder() const { return m_recorder; }

    static inline const char* const kPanicSubtitle =
        "Instantly pause what your call sees; press again to resume";
    static inline const char* const kPanicUnavailableSubtitle =
        "Another app is using this shortcut — pick a new one";

private:
    QWidget* makeGeneralCard();
    QWidget* makeShareProtectionCard();
    QWidget* makePictureInPictureCard();
    QWidget* makePermissionsCard();
    QWidget* makeUpdatesCard();
    QWidget* makeGuideAndAccountCard();
    void syncPanicShortcut();
    void syncPermission();
    void syncAccount();

    WindowManager& m_windowManager;
    PiPController& m_pip;
    const UpdaterManagerInterface& m_updaterManager;
    SettingRow* m_panicRow = nullptr;
    ShortcutRecorder* m_recorder = nullptr;
    PanicModePicker* m_panicModePicker = nullptr;
    kit::CardBackground* m_permissionsCard = nullptr;
    kit::PulseDot* m_permissionDot = nullptr;
    kit::TextLabel* m_permissionText = nullptr;
    kit::PillButton* m_systemSettingsButton = nullptr;
    QWidget* m_accountDivider = nullptr;
    QWidget* m_accountRow = nullptr;
};
