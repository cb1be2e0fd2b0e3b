#pragma once

#include "onboarding/OnboardingBinding.h"
#include "shell/kit/AnimatedValue.h"

#include <QWidget>

#include <functional>

class MockPicture;
class OnboardingPill;
namespace kit {
class PulseDot;
class TextView;
} // namespace kit

// Step 5, "Permissions": why the Screen Recording permission is needed, a button that opens the
// system's pane, one that checks again, one that moves on whether or not it was granted, and a
// picture of the pane whose switch turns on when the permission arrives. A view of the one
// permission flag, read live: it keeps no state of its own but the switch's slide. Main thread
// only.
class OnboardingStepPermissions final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<bool()> hasPermission;
        std::function<void()> onGrant;
        std::function<void()> onRecheck;
        std::function<void()> onContinue;
        StateObserver observe;
    };

    explicit OnboardingStepPermissions(Input input, QWidget* parent = nullptr);

    // How far the pane's switch is on: 0 off … 1 on, in between while it slides.
    double settingsGranted() const { return m_granted.value(); }

private:
    QWidget* makeLeftColumn();
    QWidget* makeRightPanel();
    void sync();

    Input m_input;
    bool m_synced = false;
    kit::AnimatedValue m_granted;

    QWidget* m_grantedPanel = nullptr;
    QWidget* m_waitingPanel = nullptr;
    OnboardingPill* m_continue = nullptr;
    OnboardingPill* m_skip = nullptr;
    kit::PulseDot* m_dot = nullptr;
    kit::TextView* m_eyebrow = nullptr;
    MockPicture* m_settings = nullptr;
    kit::TextView* m_caption = nullptr;
};
