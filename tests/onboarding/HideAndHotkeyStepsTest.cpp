// The hide step (the beat that holds a pick, leaving it, the window's Continue and teardown)
// and the hot-key step (firings, taps and their clearing in virtual time, the sound cue, leaving
// and teardown, a practice with real keys through the window), the practice's reading of the
// keyboard over synthetic events and how it writes times, with pictures of the steps' states.
#include "onboarding/OBControls.h"
#include "onboarding/steps/HotkeyPractice.h"
#include "onboarding/steps/HotkeyPracticeChat.h"
#include "onboarding/steps/OnboardingStepHide.h"
#include "onboarding/steps/OnboardingStepHotkey.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QStringList>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace testing_support;
using namespace platform;

namespace {

using Set = QSet<HideCategory>;

// The step on its own, bound to a selection the test holds.
struct HideStep
{
    explicit HideStep(Set initial = {})
        : selected(std::move(initial))
        , step(std::make_unique<OnboardingStepHide>(
              OnboardingStepHide::Input{state.bind(selected), state.observer()}))
    {
        step->setAttribute(Qt::WA_DontShowOnScreen);
        holdWindowSize(*step, QSize(1000, 600));
        step->show();
    }

    void tap(HideCategory category) const
    {
        clickNamed(*step, QStringLiteral("hide.category.") + category.rawValue());
    }
    // What the audience panel says it shows.
    QString audience() const
    {
        return step->findChild<QWidget*>(QStringLiteral("hide.audience"))->accessibleDescription();
    }

    KitEnvironment env;
    StepState state;
    Set selected;
    std::unique_ptr<OnboardingStepHide> step;
};

// A point of the miniature window of a category in the hide step's audience mock (144 x 52, 8
// apart, under the panel's header line), `x` from the window's left and in its middle height.
QPointF audienceWindow(const OnboardingWindow& w, HideCategory category, double x)
{
    const QWidget* panel = w.find(QStringLiteral("hide.audience"));
    const double header = mock::text(QStringLiteral("What your audience sees"),
                                     OBFont::geist(kit::FontWeight::semibold, 10),
                                     Qt::white)
                              .sizeThatFits({})
                              .height();
    const int i = static_cast<int>(category);
    return w.inWindow(*panel, QPointF(12, 12 + header + 8)) + QPointF((i % 2) * 152 + x, (i / 2) * 60 + 26);
}

} // namespace

TEST(OnboardingStepHide, APickWaitsOutTheBeatAndEveryPickDuringItStartsItAgain)
{
    HideStep h({HideCategory::WorkChat, HideCategory::Personal});
    h.tap(HideCategory::Finance);
    EXPECT_EQ(h.selected.size(), 2);
    EXPECT_TRUE(h.step->isChosen(HideCategory::Finance)) << "the card already shows the pick";
    EXPECT_EQ(h.audience(), QStringLiteral("Share started\n2 hidden on every share"));

    h.env.advance(0.4);
    h.tap(HideCategory::Files);
    h.env.advance(0.6);
    EXPECT_EQ(h.selected.size(), 2) << "the second pick restarted the beat";
    h.env.advance(0.06);
    EXPECT_EQ(h.selected.size(), 4);
    EXPECT_EQ(h.state.writes, 1) << "both picks join in one write";
    EXPECT_FALSE(h.step->isThreatVisible());
    EXPECT_EQ(h.audience(), QStringLiteral("Your screen is clean\n4 hidden on every share"));
}

TEST(OnboardingStepHide, TakingBackEndsTheBeatOrLeavesTheSelectionAtOnce)
{
    struct Case
    {
        const char* name;
        Set initial;
        QList<HideCategory> taps;
        Set pending; // the selection is empty meanwhile
    };
    const Case cases[] = {
        {"a pick taken back", {}, {HideCategory::Finance, HideCategory::Finance}, {}},
        {"a selected one taken back", {HideCategory::Files}, {HideCategory::Files}, {}},
        {"one of two picks taken back",
         {},
         {HideCategory::Finance, HideCategory::Files, HideCategory::Finance},
         {HideCategory::Files}},
    };
    for (const Case& c : cases) {
        HideStep h(c.initial);
        for (const HideCategory category : c.taps) {
            h.tap(category);
        }
        EXPECT_TRUE(h.selected.isEmpty()) << c.name;
        EXPECT_EQ(h.step->pending(), c.pending) << c.name;
        EXPECT_EQ(h.step->isThreatVisible(), !c.pending.isEmpty()) << c.name;
        h.env.advance(1);
        EXPECT_EQ(h.selected, c.pending) << c.name << ": only what was still pending joins";
    }
}

TEST(OnboardingStepHide, LeavingDuringABeatKeepsThePicksAndTheBeatNeverEndsLater)
{
    for (const bool destroyed : {false, true}) {
        HideStep h;
        h.tap(HideCategory::Personal);
        if (destroyed) {
            h.step.reset();
        } else {
            h.step->hide();
        }
        EXPECT_EQ(h.selected, Set{HideCategory::Personal}) << destroyed;
        h.env.advance(1);
        EXPECT_EQ(h.state.writes, 1) << destroyed << ": the cancelled beat never ran";
    }
}

TEST(OnboardingStepHide, InTheWindowPicturesThenContinueWaitsForTheBeatAndAClosedWindowKeepsThePick)
{
    OnboardingWindow w(OnboardingFlow::kHideStep);
    const auto render = [&w](const QString& name, double after = 1) {
        w.env.advance(after);
        return w.picture(name);
    };
    // The plain right-hand part of each miniature window in the audience mock.
    const QWidget* panel = w.find(QStringLiteral("hide.audience"));
    const QPointF mock = audienceWindow(w, HideCategory::WorkChat, 0) - QPointF(0, 26);
    const auto window = [&w](HideCategory category) {
        return audienceWindow(w, category, 124);
    };
    const QColor shown = kit::rgb(0x141824);

    const QImage chosen = render(QStringLiteral("onboarding-hide-step"));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Finance)), OBTokens::canvas()));
    EXPECT_TRUE(near(colorAt(chosen, window(HideCategory::Files)), shown));

    w.click(QStringLiteral("hide.category.Desktop & Files"));
    const QImage beat = render(QStringLiteral("onboarding-hide-step-beat"), 0.3);
    EXPECT_TRUE(near(colorAt(beat, mock + QPointF(256, 56)), over(kit::rgb(0x17110A, 0.92)), 3)) << "banner";
    EXPECT_TRUE(near(colorAt(beat, window(HideCategory::Files)), shown)) << "still there during the beat";
    const QWidget* files = w.find(QStringLiteral("hide.category.Desktop & Files"));
    EXPECT_TRUE(near(colorAt(beat, w.inWindow(*files, QPointF(files->width() / 2.0, 112))),
                     OBTokens::selectedFill()));

    w.click(QStringLiteral("hide.category.Personal Messages"));
    const QImage clean = render(QStringLiteral("onboarding-hide-step-clean"));
    EXPECT_TRUE(near(colorAt(clean, window(HideCategory::Files)), over(kit::rgb(0x07080A, 0.9))));
    EXPECT_TRUE(near(colorAt(clean, mock + QPointF(139, 46)), OBTokens::flame(), 40)) << "the check disc";

    w.flow().setSelected({});
    const QImage nothing = render(QStringLiteral("onboarding-hide-step-nothing"));
    EXPECT_TRUE(near(colorAt(nothing, window(HideCategory::WorkChat)), shown));
    EXPECT_TRUE(near(colorAt(nothing, w.inWindow(*panel, QPointF(160, 0.25))),
                     over(OBTokens::hairline(), OBTokens::surface()),
                     3))
        << "the panel's border is the plain hairline again";

    // Nothing chosen: Continue waits for the beat of the first pick.
    auto* next = w.find<OnboardingPill>(QStringLiteral("onboardingContinue"));
    w.click(QStringLiteral("hide.category.Desktop & Files"));
    EXPECT_FALSE(next->isEnabled());
    w.env.advance(OnboardingStepHide::kBeat);
    EXPECT_TRUE(next->isEnabled());

    // Closed in the middle of a beat: the step goes before the flow it writes to, so the pick
    // reaches the draft that the next launch resumes from.
    w.click(QStringLiteral("hide.category.Personal Messages"));
    QStringList storedAsTheFlowGoes;
    QObject::connect(&w.flow(), &QObject::destroyed, [&] {
        storedAsTheFlowGoes = OnboardingDraft::load(w.services->store).selectedCategories;
    });
    w.view.reset();
    EXPECT_EQ(storedAsTheFlowGoes, (QStringList{"Desktop & Files", "Personal Messages"}));
}

// A window picked away fades over 0.3 s along the curve, or under Reduce Motion over the short
// ease: in the middle of the window (clear of its edges' blur), shortly after the beat.
TEST(OnboardingStepHide, APickedWindowFadesAlongItsCurveOrTheShortEaseUnderReduceMotion)
{
    for (const bool reduceMotion : {false, true}) {
        OnboardingWindow w(OnboardingFlow::kHideStep, reduceMotion ? OnboardingWindow::kReduceMotion : 0U);
        w.env.advance(1);
        const QPointF middle = audienceWindow(w, HideCategory::Files, 100);
        w.click(QStringLiteral("hide.category.Desktop & Files"));
        w.env.advance(OnboardingStepHide::kBeat + 0.055); // drawn at the frame 0.05 s in
        const kit::Animation fade =
            reduceMotion ? kit::reduceMotionAnimation() : kit::Animation::standard(0.3);
        const QColor expected = over(kit::rgb(0x141824, 1 - fade.fraction(0.05)), OBTokens::canvas());
        const QColor seen = colorAt(w.picture(QStringLiteral("onboarding-hide-step-fading")), middle);
        EXPECT_TRUE(near(seen, expected)) << reduceMotion << " " << seen.name().toStdString();
        w.env.advance(0.3);
        EXPECT_TRUE(near(colorAt(w.picture(QStringLiteral("onboarding-hide-step-faded")), middle),
                         OBTokens::canvas()));
    }
}

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
        holdWindowSize(*step, QSize(1000, 600));
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
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_H) {
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

// A real press timed 0.43 s, then one timed 0.51 s: the headline's time rolls from the old
// digits to the new over 0.3 s ("Your 0." stays put), or under Reduce Motion fades in place over
// the short ease.
TEST(OnboardingStepHotkey, ANewReactionTimeRollsIntoTheHeadlineOrFadesInPlaceUnderReduceMotion)
{
    // The run with motion goes last and leaves its pictures.
    for (const bool reduceMotion : {true, false}) {
        OnboardingWindow w(OnboardingFlow::kHotkeyStep, reduceMotion ? OnboardingWindow::kReduceMotion : 0U);
        const auto key = [&w](bool press, int code, Qt::KeyboardModifiers modifiers) {
            QTest::simulateEvent(w.view->windowHandle(), press, code, modifiers, QString(), false);
        };
        const Qt::KeyboardModifiers combo = Qt::ShiftModifier | Qt::ControlModifier;
        const auto timed = [&](double seconds) {
            key(true, Qt::Key_Shift, Qt::NoModifier);
            w.env.advance(0.1);
            key(true, Qt::Key_Control, Qt::ShiftModifier);
            w.env.advance(seconds - 0.1);
            key(true, Qt::Key_H, combo);
            key(false, Qt::Key_H, combo);
            key(false, Qt::Key_Shift, combo);
            key(false, Qt::Key_Control, Qt::ControlModifier);
        };
        auto* headline = w.view->currentStepView()->findChild<kit::TextView*>(QStringLiteral("HeadlineText"));
        timed(0.43);
        w.env.advance(1);
        timed(0.51);
        ASSERT_EQ(headline->runs().value(0).text, QStringLiteral("Your 0.51-second"));

        // The first line, in the window: where "Your 0." ends and the digits end, and its baseline.
        const QFontMetricsF metrics(headline->look().font());
        const QPointF origin = w.inWindow(*headline, {0, headline->firstBaseline()});
        const double kept = metrics.horizontalAdvance(QStringLiteral("Your 0."));
        const double digits = metrics.horizontalAdvance(QStringLiteral("Your 0.51"));
        // Ink over the canvas in a band of the line, left to right and top to bottom of `origin`.
        const auto ink =
            [&origin](const QImage& image, double left, double right, double top, double bottom) {
                int sum = 0;
                for (double y = top; y < bottom; y += 0.5) {
                    for (double x = left; x < right; x += 0.5) {
                        const QColor c = colorAt(image, origin + QPointF(x, y));
                        sum += std::max(0, c.red() - OBTokens::canvas().red() - 24);
                    }
                }
                return sum;
            };
        const auto same = [&origin](const QImage& a, const QImage& b, double left, double right) {
            for (double y = -40; y < 8; y += 0.5) {
                for (double x = left; x < right; x += 0.5) {
                    if (!near(colorAt(a, origin + QPointF(x, y)), colorAt(b, origin + QPointF(x, y)), 6)) {
                        return false;
                    }
                }
            }
            return true;
        };

        w.env.advance(0.05);
        const QImage changing = w.picture(QStringLiteral("onboarding-hotkey-step-timing"));
        w.env.advance(reduceMotion ? 0.11 : 0.26);
        const QImage done = w.picture(QStringLiteral("onboarding-hotkey-step-timed"));
        w.env.advance(1);
        const QImage later = w.picture(QStringLiteral("onboarding-hotkey-step-timed"));
        EXPECT_TRUE(same(done, later, 0, digits + 160)) << reduceMotion << ": over by then";
        EXPECT_TRUE(same(changing, done, 0, kept - 1)) << reduceMotion << ": what stays stays put";
        EXPECT_FALSE(same(changing, done, kept, digits)) << reduceMotion << ": the digits change over time";
        // Rising in from below: ink under the line's baseline, where the digits never reach.
        EXPECT_EQ(ink(changing, kept, digits, 2, 9) > 0, !reduceMotion) << reduceMotion;
        EXPECT_EQ(ink(done, kept, digits, 2, 9), 0) << reduceMotion;
    }
}

// "Test it now" veils the chat over 0.2 s and lights the checklist over 0.18 s along their curves,
// or both over the short ease under Reduce Motion.
TEST(OnboardingStepHotkey, TheChatAndTheChecklistFollowTheirCurvesOrTheShortEaseUnderReduceMotion)
{
    for (const bool reduceMotion : {false, true}) {
        OnboardingWindow w(OnboardingFlow::kHotkeyStep, reduceMotion ? OnboardingWindow::kReduceMotion : 0U);
        w.env.advance(1);
        const QPointF badge = w.inWindow(QStringLiteral("hotkey.checklist.1"), QPointF(19, 22));
        w.click(QStringLiteral("hotkey.test"));
        w.env.advance(0.055); // the checklist drawn at the frame 0.05 s in
        const kit::Animation& ease = kit::reduceMotionAnimation();
        const kit::Animation veil =
            reduceMotion ? ease : kit::Animation::standard(HotkeyPracticeChat::kDuration);
        const kit::Animation row = reduceMotion ? ease : kit::Animation::standard(0.18);
        EXPECT_NEAR(
            w.find<HotkeyPracticeChat>(QStringLiteral("hotkey.chat"))->veil(), veil.fraction(0.055), 1e-6)
            << reduceMotion;
        // The badge's flame fill coming in over the raised grey.
        const double flameRed = 250;
        const double red = OBTokens::surfaceRaised().red()
                           + (flameRed - OBTokens::surfaceRaised().red()) * row.fraction(0.05);
        EXPECT_NEAR(
            colorAt(w.picture(QStringLiteral("onboarding-hotkey-step-lighting")), badge).red(), red, 12)
            << reduceMotion;
    }
}

namespace {

// One event per word, "<kind><modifiers>@<seconds>": kind F a flags change, H a key-down of H,
// R its auto-repeat, U its key-up, P a key-down of P; modifiers s ⇧, c ⌘, o ⌥, t ⌃.
QList<std::pair<double, KeyEvent>> script(const QString& words)
{
    QList<std::pair<double, KeyEvent>> events;
    for (const QString& word : words.split(QLatin1Char(' '))) {
        const QStringList parts = word.split(QLatin1Char('@'));
        KeyEvent e;
        const QChar kind = parts.at(0).at(0);
        e.type = kind == u'F'   ? EventType::FlagsChanged
                 : kind == u'U' ? EventType::KeyUp
                                : EventType::KeyDown;
        e.keyCode = kind == u'P' ? keycode::kP : keycode::kH;
        e.isARepeat = kind == u'R';
        for (const QChar modifier : parts.at(0).mid(1)) {
            e.modifierFlags |= modifier == u's'   ? kEventModifierFlagShift
                               : modifier == u'c' ? kEventModifierFlagCommand
                               : modifier == u'o' ? kEventModifierFlagOption
                                                  : kEventModifierFlagControl;
        }
        events.append({parts.at(1).toDouble(), e});
    }
    return events;
}

} // namespace

TEST(HotkeyPractice, FiresOnTheRealComboTimedFromTheFirstModifierAndSwallowsOnlyIt)
{
    struct Case
    {
        const char* name;
        const char* events;
        int fires;
        double reactionTime; // negative: none measured
        QList<int> swallowed;
    };
    const Case cases[] = {
        {"⇧, ⌘, H: timed from ⇧", "Fs@0 Fsc@0.1 Hsc@0.43", 1, 0.43, {2}},
        {"held until it repeats", "Fc@0 Fsc@0.1 Hsc@0.3 Rsc@0.8 Rsc@0.9", 3, 0.3, {2, 3, 4}},
        {"a second H with ⇧⌘ still down", "Fs@0 Fsc@0.1 Hsc@0.2 Usc@0.3 Hsc@0.9", 2, 0.2, {2, 4}},
        {"⌥⇧⌘H", "Fsco@0 Hsco@0.25", 1, 0.25, {1}},
        {"⌃⇧⌘H", "Fsct@0 Hsct@0.25", 1, 0.25, {1}},
        {"⌘H alone", "Fc@0 Hc@0.2", 0, -1, {}},
        {"⇧H alone", "Fs@0 Hs@0.2", 0, -1, {}},
        {"both released: the start is dropped", "Fs@0 F@0.5 Fc@1.0 Fcs@1.1 Hcs@1.3", 1, 0.3, {4}},
        {"one released: the start is kept", "Fs@0 Fsc@0.1 Fc@0.2 Fcs@0.3 Hcs@0.5", 1, 0.5, {4}},
        {"another key with ⇧⌘", "Fsc@0 Psc@0.2", 0, -1, {}},
    };
    for (const Case& c : cases) {
        HotkeyPracticeState state;
        int fires = 0;
        QList<int> swallowed;
        const auto events = script(QString::fromUtf8(c.events));
        for (int i = 0; i < events.size(); ++i) {
            const HotkeyKeyOutcome outcome =
                handleHotkeyEvent(state, events.at(i).second, events.at(i).first);
            fires += outcome.fires ? 1 : 0;
            if (!outcome.passesOn) {
                swallowed << i;
            }
        }
        EXPECT_EQ(fires, c.fires) << c.name;
        EXPECT_NEAR(state.reactionTime.value_or(-1), c.reactionTime, 1e-9) << c.name;
        EXPECT_EQ(swallowed, c.swallowed) << c.name;
        EXPECT_EQ(state.isHHeld, QByteArray(c.events).contains(" H")) << c.name << ": H lights while down";
    }
}

TEST(HotkeyPractice, TimesAreWrittenWithTwoDecimalsBelowASecondAndOneFromASecondOn)
{
    for (const auto& [seconds, written] :
         {std::pair{0.43, "0.43"}, {0.999, "1.00"}, {1.0, "1.0"}, {1.27, "1.3"}, {0.05, "0.05"}}) {
        EXPECT_EQ(formatReactionTime(seconds), QString::fromUtf8(written)) << seconds;
    }
    EXPECT_EQ(hotkeyHeadlineLead(std::nullopt), QStringLiteral("The 0.2-second"));
    EXPECT_EQ(hotkeyHeadlineLead(0.43), QStringLiteral("Your 0.43-second"));
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(std::nullopt), QStringLiteral("VEILED"));
    EXPECT_EQ(HotkeyPracticeChat::veiledTitle(1.27), QStringLiteral("VEILED IN 1.3S"));
}
