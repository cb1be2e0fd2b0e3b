// The hot-key step: firings, taps and their clearing in virtual time, the sound cue, leaving and
// tearing the step down, a practice with real keys through the window, and pictures.
#include "onboarding/steps/OnboardingStepHotkey.h"

#include "onboarding/OBControls.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <QKeyEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// The step on its own, bound to flags and a count the test holds; `calls` records the firing
// callback and the cues asked for.
struct HotkeyStep
{
    HotkeyStep()
        : step(std::make_unique<OnboardingStepHotkey>(OnboardingStepHotkey::Input{
            state.bind(command),
            state.bind(shift),
            state.bind(h),
            state.bind(armed),
            state.bind(veiled),
            state.bind(count),
            [this] { calls << QStringLiteral("onFire"); },
            state.observer(),
            [this](kit::VeilSound::Cue cue) {
                calls << (cue == kit::VeilSound::Cue::Veil ? QStringLiteral("veil")
                                                           : QStringLiteral("success"));
            }}))
    {
        step->setAttribute(Qt::WA_DontShowOnScreen);
        step->resize(1000, 600);
        step->show();
    }

    // ⇧, ⌘, H, armed.
    QList<bool> keys() const { return {shift, command, h, armed}; }
    QString chat() const
    {
        return step->findChild<QWidget*>(QStringLiteral("hotkey.chat"))->accessibleDescription();
    }

    KitEnvironment env;
    StepState state;
    bool command = false;
    bool shift = false;
    bool h = false;
    bool armed = false;
    bool veiled = false;
    qint64 count = 0;
    QStringList calls;
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

TEST(OnboardingStepHotkey, AFiringLightsEveryKeyVeilsCountsAndPlaysTheCueUntilTheLastClearing)
{
    HotkeyStep s;
    clickNamed(*s.step, QStringLiteral("hotkey.test"));
    EXPECT_EQ(s.keys(), kLit);
    EXPECT_TRUE(s.veiled);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.calls, (QStringList{"onFire", "veil"}));
    EXPECT_EQ(s.chat(), QStringLiteral("VEILED\nPress ⇧⌘H for real to time yourself."))
        << "the button never times";

    // A second firing brings the chat back and replaces the pending clearing.
    s.env.advance(0.2);
    clickNamed(*s.step, QStringLiteral("hotkey.test"));
    EXPECT_FALSE(s.veiled);
    EXPECT_EQ(s.calls.count("veil"), 2);
    s.env.advance(0.3);
    EXPECT_EQ(s.keys(), kLit);
    s.env.advance(0.06);
    EXPECT_EQ(s.keys(), kDark);
    EXPECT_EQ(s.count, 2);
}

TEST(OnboardingStepHotkey, LeavingOrTearingDownDarkensTheKeysAndLeavesNoClearingOrMonitor)
{
    for (const bool destroyed : {false, true}) {
        HotkeyStep s;
        const int monitors = platform::EventMonitor::monitorCount();
        clickNamed(*s.step, QStringLiteral("hotkey.test"));
        if (destroyed) {
            s.step.reset(); // while shown, as a closing window's views are
        } else {
            s.step->hide();
        }
        EXPECT_EQ(s.keys(), kDark) << destroyed;
        EXPECT_EQ(platform::EventMonitor::monitorCount(), monitors - 1) << destroyed;
        const int writes = s.state.writes;
        s.env.advance(1);
        EXPECT_EQ(s.state.writes, writes) << destroyed << ": the cancelled clearing never ran";

        // The combo goes on to the application again.
        QWidget other;
        ReachedKeys reached;
        other.installEventFilter(&reached);
        QTest::keyClick(&other, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
        EXPECT_EQ(reached.keys, QList<QKeyCombination>{Qt::SHIFT | Qt::CTRL | Qt::Key_H}) << destroyed;
        EXPECT_EQ(s.count, 1) << destroyed;
    }
}

TEST(OnboardingStepHotkey, PractisingWithTheRealKeysThroughTheWindowWithPictures)
{
    OnboardingWindow w(OnboardingFlow::kHotkeyStep);
    EXPECT_EQ(w.services->calls, QStringList{"suspend"});
    ReachedKeys reached;
    w.view->installEventFilter(&reached);
    const auto key = [&w](bool press, int code, Qt::KeyboardModifiers modifiers, bool repeat = false) {
        QTest::simulateEvent(w.view->windowHandle(), press, code, modifiers, QString(), repeat);
    };
    const Qt::KeyboardModifiers combo = Qt::ShiftModifier | Qt::ControlModifier;
    auto* headline = w.view->currentStepView()->findChild<kit::TextView*>(QStringLiteral("HeadlineText"));
    const QPointF badge = w.inWindow(QStringLiteral("hotkey.checklist.1"), QPointF(19, 22));
    const QPointF hKey = w.inWindow(QStringLiteral("hotkey.key.H"), QPointF(4, 14));
    const QPointF titleBar = w.inWindow(QStringLiteral("hotkey.chat"), QPointF(300, 17));
    w.env.advance(1);
    const QImage idle = w.picture(QStringLiteral("onboarding-hotkey-step"));
    EXPECT_TRUE(near(colorAt(idle, badge), OBTokens::surfaceRaised()));
    EXPECT_TRUE(near(colorAt(idle, hKey), OBTokens::surfaceRaised(), 4));
    EXPECT_TRUE(near(colorAt(idle, titleBar), kit::rgb(0x1C1D25)));

    // ⇧, then ⌘ 0.1 s later, then H 0.33 s after that: every key lit, the chat veiled with the time.
    key(true, Qt::Key_Shift, Qt::NoModifier);
    w.env.advance(0.1);
    key(true, Qt::Key_Control, Qt::ShiftModifier);
    EXPECT_TRUE(w.flow().isShiftHeld() && w.flow().isCommandHeld());
    w.env.advance(0.33);
    key(true, Qt::Key_H, combo);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 1);
    EXPECT_TRUE(w.flow().isHiddenByShortcut());
    EXPECT_TRUE(w.find(QStringLiteral("onboardingContinue"))->isEnabled());
    EXPECT_EQ(headline->runs().value(0).text, QStringLiteral("Your 0.43-second"));
    EXPECT_EQ(w.find(QStringLiteral("hotkey.chat"))->accessibleDescription(),
              QStringLiteral("VEILED IN 0.43S\nPress again to bring it back."));
    w.env.advance(0.3);
    const QImage veiled = w.picture(QStringLiteral("onboarding-hotkey-step-veiled"));
    EXPECT_GT(colorAt(veiled, badge).red(), 220) << "the flame badge";
    EXPECT_GT(colorAt(veiled, hKey).red(), 220) << "the lit H key";
    EXPECT_TRUE(near(colorAt(veiled, titleBar), over(kit::rgb(0x000000, 0.92), kit::rgb(0x14151B)), 4))
        << "the veil's cover over the window's own surface";

    // Held until it repeats, then again with ⌥: a firing each, the time kept.
    key(true, Qt::Key_H, combo, true);
    key(false, Qt::Key_H, combo);
    key(true, Qt::Key_H, combo | Qt::AltModifier);
    key(false, Qt::Key_H, combo | Qt::AltModifier);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 3);
    EXPECT_TRUE(reached.keys.isEmpty()) << "the combo never reached the window";

    // ⌘H alone goes on to the window and only lights the key.
    key(false, Qt::Key_Shift, combo);
    key(true, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 3);
    EXPECT_TRUE(w.flow().isHHeld());
    EXPECT_EQ(reached.keys, QList<QKeyCombination>{Qt::CTRL | Qt::Key_H});
    EXPECT_EQ(headline->runs().value(0).text, QStringLiteral("Your 0.43-second"));

    // Later, the keys released and cleared: a tap on the shift key lights only its key and row,
    // never fires, and clears a quarter second after.
    key(false, Qt::Key_H, Qt::ControlModifier);
    key(false, Qt::Key_Control, Qt::ControlModifier);
    w.env.advance(1);
    w.click(QStringLiteral("hotkey.key.shift"));
    w.env.advance(0.2);
    const QImage tapped = w.picture(QStringLiteral("onboarding-hotkey-step-tapped"));
    EXPECT_GT(colorAt(tapped, badge).red(), 220);
    EXPECT_TRUE(near(colorAt(tapped, hKey), OBTokens::surfaceRaised(), 4));
    EXPECT_EQ(w.flow().shortcutTriggerCount(), 3);
    w.env.advance(0.06);
    EXPECT_FALSE(w.flow().isShiftHeld());

    // With H held, Return still reaches Continue; leaving the step gives the system-wide hot key
    // back.
    key(true, Qt::Key_H, Qt::NoModifier);
    ASSERT_TRUE(w.flow().isHHeld());
    key(true, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(w.flow().step(), OnboardingFlow::kSetupStep);
    EXPECT_EQ(w.services->calls, (QStringList{"suspend", "register"}));
    EXPECT_FALSE(w.flow().isHHeld()) << "the keys went dark with the step";
}
