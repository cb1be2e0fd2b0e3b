#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class PopoverNavigation;
class SettingRow;
class TapArea;
class WindowManager;

namespace kit {
class FlameToggle;
class PillButton;
} // namespace kit

// The main page's protection card: the focus stage, the share masks (count, undo, clear and the
// way into the mask editor) and automatic hiding while a share is detected (switch, state line
// and the way into its page). Reads the state object and calls its operations. Main thread only.
class ProtectionSections final : public QWidget
{
    Q_OBJECT

public:
    ProtectionSections(WindowManager& windowManager,
                       PopoverNavigation& navigation,
                       QWidget* parent = nullptr);

    // "Cover parts of a window on your share", or "3 areas covered on your share".
    static QString masksSubtitle(qsizetype maskCount);
    // The auto-hide row's state line; `shareAppName` is the detected share's app, if any.
    static QString autoHideSubtitle(bool autoHideActive,
                                    bool autoHideEnabled,
                                    qsizetype listedApps,
                                    const std::optional<QString>& shareAppName);

    SettingRow* masksRow() const { return m_masksRow; }
    SettingRow* autoHideRow() const { return m_autoHideRow; }

private:
    void syncMasks();
    void syncAutoHide();

    WindowManager& m_windowManager;
    SettingRow* m_masksRow = nullptr;
    SettingRow* m_autoHideRow = nullptr;
    kit::PillButton* m_undo = nullptr;
    kit::PillButton* m_clear = nullptr;
    kit::PillButton* m_draw = nullptr;
    kit::PillButton* m_edit = nullptr;
};
