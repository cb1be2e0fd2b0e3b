#pragma once

#include "onboarding/OnboardingBinding.h"
#include "platform/EventMonitor.h"
#include "platform/Scheduler.h"
#include "shell/kit/VeilSound.h"

#include <QWidget>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class HotkeyPracticeChat;
class KeyCap;
class NumericTextTransition;
class MockPicture;
class OnboardingPill;

namespace kit {
class AnimatedValue;
class TextView;
} // namespace kit

// Step 3, "Panic hotkey": the user practises ⇧⌘H on a mock meeting chat, with the real keys
// (caught by an application-wide key monitor while the step shows, the system-wide hot key being
// suspended by the flow meanwhile), the keys of an on-screen keyboard, or "Test it now". Each
// firing veils or brings back the chat and counts; a real press is timed from the first modifier
// to the H key. The held keys, the veil and the count are the flow's, through bindings; one
// firing lets the flow continue. The monitor and the pending clearing belong to this widget and
// end with it. Main thread only.
class OnboardingStepHotkey final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<bool> isCommandHeld;
        Binding<bool> isShiftHeld;
        Binding<bool> isHHeld;
        Binding<bool> isArmed;
        Binding<bool> isHiddenByShortcut;
        Binding<qint64> triggerCount;
        std::function<void()> onFire; // called first on every firing
        StateObserver observe;
        std::function<void(kit::VeilSound::Cue)> playSound;
    };

    explicit OnboardingStepHotkey(Input input, QWidget* parent = nullptr);
    ~OnboardingStepHotkey() override;
    OnboardingStepHotkey(const OnboardingStepHotkey&) = delete;
    OnboardingStepHotkey& operator=(const OnboardingStepHotkey&) = delete;

    // One firing: every key shows as done, the chat's veil flips, the count grows, the veil cue
    // plays, and the keys clear 0.35 s later. "Test it now" calls it; it never times.
    void fire();
    // The last measured reaction time, in seconds.
    std::optional<double> reactionTime() const { return m_reactionTime; }
    bool hasKeyMonitor() const { return m_keyMonitor.has_value(); }

    static constexpr double kFireClearDelay = 0.35;
    // The reaction time in the headline changes over this long.
    static constexpr double kHeadlineDuration = 0.3;
    static constexpr double kTapClearDelay = 0.25;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeLeftColumn();
    QWidget* makeRightColumn();
    QWidget* makeKeyboard();
    void installKeyMonitor();
    void removeKeyMonitor();
    std::optional<platform::KeyEvent> handleKeyEvent(const platform::KeyEvent& event);
    void tap(const Binding<bool>& key);
    void scheduleClear(double delay);
    void clearKeys();
    void sync();

    Input m_input;
    std::optional<platform::EventMonitor::Token> m_keyMonitor;
    platform::TimerHandle m_clearTask;
    std::optional<double> m_comboStart;
    std::optional<double> m_reactionTime;

    kit::TextView* m_headline = nullptr;
    NumericTextTransition* m_headlineChange = nullptr;
    HotkeyPracticeChat* m_chat = nullptr;
    struct ChecklistRow
    {
        int number = 0;
        QString label;
        QString key;
        std::function<bool()> done;
        MockPicture* picture = nullptr;
        std::shared_ptr<kit::AnimatedValue> progress;
    };
    std::vector<ChecklistRow> m_rows;
    struct ActiveKey
    {
        KeyCap* cap = nullptr;
        std::function<bool()> held;
    };
    std::vector<ActiveKey> m_activeKeys;
};
