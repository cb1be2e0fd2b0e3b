// The hot-key step: firings, taps and their clearing in virtual time, the sound cue, leaving and
// tearing the step down, a practice with real keys through the window, and pictures.
#include "onboarding/steps/OnboardingStepHotkey.h"

#include "onboarding/OBControls.h"
#include "onboarding/steps/HotkeyPracticeChat.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/StepTestSupport.h"

#include <QKeyEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_support;
using Cue = kit::VeilSound::Cue;

namespace {

// The step on its own, bound to flags and a count the test holds.
struct HotkeyStep
{
    HotkeyStep()
    {
        step = std::make_unique<OnboardingStepHotkey>(OnboardingStepHotkey::Input{
            state.bind(command),
            state.bind(shift),
            state.bind(h),
            state.bind(armed),
            state.bind(veiled),
            state.bind(count),
            [this] { sounds << QStringLiteral("onFire"); },
            state.observer(),
            [this](Cue cue) {
                sounds << (cue == Cue::Veil ? QStringLiteral("veil") : QStringLiteral("success"));
            }});
        step->setAttribute(Qt::WA_DontShowOnScreen);
        step->resize(1000, 600);
        step->show();
    }

    void click(const QString& name) const { clickNamed(*step, name); }
    // ⇧, ⌘, H, armed.
    QList<bool> keys() const { return {shift, command, h, armed}; }
    QString chat() const
    {
        return step->findChild<HotkeyPracticeChat*>(QStringLiteral("hotkey.chat"))->accessibleDescription();
    }

    KitEnvironment env;
    StepState state;
    bool command = false;
    bool shift = false;
    bool h = false;
    bool armed = false;
    bool veiled = false;
    qint64 count = 0;
    QStringList sounds;
    std::unique_ptr<OnboardingStepHotkey> step;
};

const QList<bool> kLit{true, true, true, true};
const QList<bool> kDark{false, false, false, false};

// Records the presses of H that get past the application's monitors to the widget.
class ReachedKeys final : public QObject
{
public:
    QList<QKeyCombination> keys;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_H) {
            keys << key->keyCombination();
        }
        return false;
    }
};

} // namespace

TEST(OnboardingStepHotkey, AFiringLightsEveryKeyVeilsTheChatCountsAndPlaysTheCueUntilTheLastClearing)
{
    HotkeyStep s;
    s.click(QStringLiteral("hotkey.test"));
    EXPECT_EQ(s.keys(), kLit);
    EXPECT_TRUE(s.veiled);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.sounds, (QStringList{"onFire", "veil"}));
    EXPECT_EQ(s.chat(), QStringLiteral("VEILED\nPress ⇧⌘H for real to time yourself."));
    EXPECT_EQ(s.step->findChild<kit::TextView*>(QStringLiteral("HeadlineText"))->text(),
              QStringLiteral("The 0.2-second\npanic reflex."))
        << "the button never times";

    // A second firing brings the chat back and replaces the pending clearing.
    s.env.advance(0.2);
    s.click(QStringLiteral("hotkey.test"));
    EXPECT_FALSE(s.veiled);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.sounds.count("veil"), 2);
    s.env.advance(0.3);
    EXPECT_EQ(s.keys(), kLit);
    s.env.advance(0.06);
    EXPECT_EQ(s.keys(), kDark);
    EXPECT_EQ(s.chat(), QString());
}

TEST(OnboardingStepHotkey, TapsOnlyLightTheirKeysWhichAllClearAQuarterSecondAfterTheLastTap)
{
    HotkeyStep s;
    s.click(QStringLiteral("hotkey.key.shift"));
    auto* shiftKey = s.step->findChild<KeyCap*>(QStringLiteral("hotkey.key.shift"));
    auto* hKey = s.step->findChild<KeyCap*>(QStringLiteral("hotkey.key.H"));
    EXPECT_EQ(s.keys(), (QList<bool>{true, false, false, false}));
    EXPECT_TRUE(shiftKey->isAccented());
    EXPECT_FALSE(hKey->isAccented());
    s.env.advance(0.2);
    s.click(QStringLiteral("hotkey.key.H"));
    s.click(QStringLiteral("hotkey.key.command"));
    EXPECT_EQ(s.keys(), (QList<bool>{true, true, true, false}));
    EXPECT_EQ(s.count, 0) << "taps never fire";
    EXPECT_TRUE(s.sounds.isEmpty());
    s.env.advance(0.2);
    EXPECT_TRUE(shiftKey->isAccented());
    s.env.advance(0.06);
    EXPECT_EQ(s.keys(), kDark);
    EXPECT_FALSE(shiftKey->isAccented());
}

TEST(OnboardingStepHotkey, LeavingDarkensTheKeysAtOnceAndCancelsTheClearingAndTheMonitor)
{
    HotkeyStep s;
    EXPECT_TRUE(s.step->hasKeyMonitor());
    s.click(QStringLiteral("hotkey.test"));
    s.step->hide();
    EXPECT_EQ(s.keys(), kDark);
    EXPECT_FALSE(s.step->hasKeyMonitor());
    const int writes = s.state.writes;
    s.env.advance(1);
    EXPECT_EQ(s.state.writes, writes) << "the cancelled clearing never ran";

    // Back again: the veil and the count are the flow's and stay; the monitor returns.
    s.step->show();
    EXPECT_TRUE(s.step->hasKeyMonitor());
    EXPECT_TRUE(s.veiled);
    EXPECT_EQ(s.count, 1);
}

TEST(OnboardingStepHotkey, ATornDownStepLeavesNoMonitorOrClearingThatCouldReachIt)
{
    HotkeyStep s;
    const int monitors = platform::EventMonitor::monitorCount();
    s.click(QStringLiteral("hotkey.test"));
    // Destroyed while shown, as a closing window's views are.
    s.step.reset();
    EXPECT_EQ(platform::EventMonitor::monitorCount(), monitors - 1);
    EXPECT_EQ(s.keys(), kDark);
    const int writes = s.state.writes;
    s.env.advance(1);
    EXPECT_EQ(s.state.writes, writes);

    QWidget other;
    ReachedKeys reached;
    other.installEventFilter(&reached);
    QTest::keyClick(&other, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(reached.keys, QList<QKeyCombination>{Qt::SHIFT | Qt::CTRL | Qt::Key_H});
    EXPECT_EQ(s.count, 1);
}

TEST(OnboardingStepHotkey, PractisingWithTheRealKeysThroughTheWindow)
{
    StepWindow w(OnboardingFlow::kHotkeyStep);
    EXPECT_EQ(w.services->calls, QStringList{"suspend"});
    QWindow* window = w.view->windowHandle();
    ASSERT_NE(window, nullptr);
    ReachedKeys reached;
    w.view->installEventFilter(&reached);
    const auto key = [window](bool press, int code, Qt::KeyboardModifiers modifiers, bool repeat = false) {
        QTest::simulateEvent(window, press, code, modifiers, QString(), repeat);
    };
    const Qt::KeyboardModifiers combo = Qt::ShiftModifier | Qt::ControlModifier;
    auto* next = w.find<OnboardingPill>(QStringLiteral("onboardingContinue"));
    EXPECT_FALSE(next->isEnabled());

    // ⇧, then ⌘ 0.1 s later, then H 0.33 s after that.
    key(true, Qt::Key_Shift, Qt::NoModifier);
    w.env.advance(0.1);
    key(true, Qt::Key_Control, Qt::ShiftModifier);
    EXPECT_TRUE(w.flow().isShiftHeld());
    EXPECT_TRUE(w.flow().isCommandHeld());
    w.env.advance(0.33);
    key(true, Qt::Key_H, combo);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 1);
    EXPECT_TRUE(w.flow().isHiddenByShortcut());
    EXPECT_TRUE(next->isEnabled());
    auto* headline = w.find<kit::TextView>(QStringLiteral("HeadlineText"));
    EXPECT_EQ(headline->runs().value(0).text, QStringLiteral("Your 0.43-second"));
    EXPECT_EQ(w.find(QStringLiteral("hotkey.chat"))->accessibleDescription(),
              QStringLiteral("VEILED IN 0.43S\nPress again to bring it back."));

    // Held until it repeats: a firing per repeat, the time kept.
    key(true, Qt::Key_H, combo, true);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 2);
    EXPECT_FALSE(w.flow().isHiddenByShortcut());
    key(false, Qt::Key_H, combo);
    key(true, Qt::Key_H, combo | Qt::AltModifier);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 3) << "⌥ as well still fires";
    key(false, Qt::Key_H, combo | Qt::AltModifier);
    EXPECT_TRUE(reached.keys.isEmpty()) << "the combo never reached the window";

    // ⌘H alone goes on to the window and only lights the key.
    key(false, Qt::Key_Shift, combo);
    key(true, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 3);
    EXPECT_TRUE(w.flow().isHHeld());
    EXPECT_EQ(reached.keys, QList<QKeyCombination>{Qt::CTRL | Qt::Key_H});
    key(false, Qt::Key_H, Qt::ControlModifier);
    key(false, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(headline->runs().value(0).text, QStringLiteral("Your 0.43-second"));

    // Return still reaches Continue; leaving the step gives the system-wide hot key back.
    key(true, Qt::Key_Return, Qt::NoModifier);
    key(false, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(w.flow().step(), OnboardingFlow::kSetupStep);
    EXPECT_EQ(w.services->calls, (QStringList{"suspend", "register"}));
    EXPECT_FALSE(w.flow().isHHeld()) << "the keys went dark with the step";
}

TEST(OnboardingStepHotkey, Pictures)
{
    StepWindow w(OnboardingFlow::kHotkeyStep);
    const auto render = [&w](const QString& name) {
        const QImage image = kit::renderView(*w.view, 2.0);
        EXPECT_TRUE(image.save(picturePath(name)));
        return image;
    };
    const auto at = [&w](const QString& name, QPointF point) {
        return w.find(name)->mapTo(w.view.get(), point);
    };
    w.env.advance(1);
    const QImage idle = render(QStringLiteral("onboarding-hotkey-step"));
    const QPointF badge = at(QStringLiteral("hotkey.checklist.1"), QPointF(14 + 5, 22));
    EXPECT_TRUE(near(colorAt(idle, badge), OBTokens::surfaceRaised()));
    const QPointF hKey = at(QStringLiteral("hotkey.key.H"), QPointF(4, 14));
    EXPECT_TRUE(near(colorAt(idle, hKey), OBTokens::surfaceRaised(), 4));
    const QPointF chatTitleBar = at(QStringLiteral("hotkey.chat"), QPointF(300, 17));
    EXPECT_TRUE(near(colorAt(idle, chatTitleBar), kit::rgb(0x1C1D25)));

    // A timed press: every key lit, the chat veiled with the time.
    const auto press = [&w](bool down, int code, Qt::KeyboardModifiers modifiers) {
        QTest::simulateEvent(w.view->windowHandle(), down, code, modifiers, QString(), false);
    };
    press(true, Qt::Key_Shift, Qt::NoModifier);
    press(true, Qt::Key_Control, Qt::ShiftModifier);
    w.env.advance(0.43);
    press(true, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    w.env.advance(0.3);
    const QImage veiled = render(QStringLiteral("onboarding-hotkey-step-veiled"));
    EXPECT_GT(colorAt(veiled, badge).red(), 220) << "the flame badge";
    EXPECT_GT(colorAt(veiled, hKey).red(), 220) << "the lit H key";
    EXPECT_TRUE(near(colorAt(veiled, chatTitleBar), over(kit::rgb(0x000000, 0.92), kit::rgb(0x14151B)), 4))
        << "the veil's cover over the window's own surface";

    // Later: the keys cleared, the shift key tapped.
    press(false, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    press(false, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    press(false, Qt::Key_Shift, Qt::ShiftModifier);
    w.env.advance(1);
    w.click(QStringLiteral("hotkey.key.shift"));
    w.env.advance(0.2);
    const QImage tapped = render(QStringLiteral("onboarding-hotkey-step-tapped"));
    EXPECT_GT(colorAt(tapped, badge).red(), 220);
    EXPECT_TRUE(near(colorAt(tapped, hKey), OBTokens::surfaceRaised(), 4));
}
