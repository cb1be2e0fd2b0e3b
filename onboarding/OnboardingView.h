#pragma once

#include <QSize>
#include <QWidget>

#include <functional>

class WindowManager;

// The onboarding window's root view, 1080 x 720 points. `onComplete` is called when the user
// completes the flow; the host gives it the state object before it is shown. Main thread only.
//
// For now a placeholder: a welcome and one button that completes the flow; the steps come later.
class OnboardingView final : public QWidget
{
    Q_OBJECT

public:
    explicit OnboardingView(std::function<void()> onComplete, QWidget* parent = nullptr);

    void setWindowManager(WindowManager& windowManager) { m_windowManager = &windowManager; }
    WindowManager* windowManager() const { return m_windowManager; }

    static constexpr QSize kSize{1080, 720};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> m_onComplete;
    WindowManager* m_windowManager = nullptr;
};
