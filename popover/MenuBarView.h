#pragma once

#include <QSize>
#include <QWidget>

class PiPController;
class UpdaterManagerInterface;
class WindowManager;

namespace kit {
class TextLabel;
}

// The popover's root view, 350 x 680 points. Its host gives it the state object and the updater
// manager (in that order) before it is shown. Main thread only.
//
// For now a placeholder with the product's header and version; the app list, preview, settings
// and the rest of the popover come later.
class MenuBarView final : public QWidget
{
    Q_OBJECT

public:
    // Making the view makes the picture-in-picture controller (the shared one by default).
    explicit MenuBarView(QWidget* parent = nullptr);
    explicit MenuBarView(PiPController& pip, QWidget* parent = nullptr);

    void setWindowManager(WindowManager& windowManager);
    void setUpdaterManager(const UpdaterManagerInterface& updaterManager);
    WindowManager* windowManager() const { return m_windowManager; }
    PiPController& pipController() const { return m_pip; }

    static constexpr QSize kSize{350, 680};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void sync();

    PiPController& m_pip;
    WindowManager* m_windowManager = nullptr;
    const UpdaterManagerInterface* m_updaterManager = nullptr;
    kit::TextLabel* m_version = nullptr;
    kit::TextLabel* m_status = nullptr;
};
