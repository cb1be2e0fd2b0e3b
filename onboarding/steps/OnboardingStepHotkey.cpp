#include "onboarding/steps/OnboardingStepHotkey.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/steps/HotkeyPractice.h"
#include "onboarding/steps/HotkeyPracticeChat.h"
#include "onboarding/steps/NumericTextTransition.h"
#include "onboarding/steps/StepLook.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace mock;

namespace {

const QString kHeadlineTail = QStringLiteral("panic reflex.");

// A row of the combo checklist at `done` 0 … 1 (its colours ease between the two looks).
Item checklistRow(int number, const QString& label, const QString& key, double done)
{
    const Item badge =
        zstack(Qt::AlignCenter,
               {fill(Shape::circle(), OBTokens::surfaceRaised()),
                fill(Shape::circle(), OBTokens::flameGradient()).opacity(done),
                strokeBorder(Shape::circle(), OBTokens::hairlineStrong()).opacity(1 - done),
                text(QString::number(number),
                     OBFont::mono(kit::FontWeight::medium, 10),
                     kit::mixColors(OBTokens::textTertiary(), kit::Palette::flameInk(), done))})
            .frame(24, 24);
    const Item chip = zstack(
        Qt::AlignCenter, {OBKbd{key, false}.item().opacity(1 - done), OBKbd{key, true}.item().opacity(done)});
    const Shape corners = Shape::rounded(12);
    return hstack(Qt::AlignVCenter,
                  12,
                  {badge,
                   text(label,
                        OBFont::geist(kit::FontWeight::semibold, 12),
                        kit::mixColors(OBTokens::textSecondary(), OBTokens::textPrimary(), done)),
                   spacer(8),
                   chip})
        .padding(14, 10)
        .background(kit::mixColors(OBTokens::surface(), OBTokens::selectedFill(), done), corners)
        .clip(corners)
        .border(kit::mixColors(OBTokens::hairline(), OBTokens::selectedBorder(), done), corners, 1, true);
}

enum class Active
{
    None,
    Shift,
    Command,
    H
};

struct KeySpec
{
    QString label;
    std::optional<double> width;
    KeyCap::Tone tone;
    Active active = Active::None;
};

QList<QList<KeySpec>> keyboardRows()
{
    using Tone = KeyCap::Tone;
    const auto keys = [](const QStringList& labels, Tone tone) {
        QList<KeySpec> row;
        for (const QString& label : labels) {
            row.append({label, std::nullopt, tone});
        }
        return row;
    };
    QList<KeySpec> functions{{QStringLiteral("esc"), 34, Tone::Function}};
    for (int n = 1; n <= 12; ++n) {
        functions.append({QStringLiteral("F%1").arg(n), std::nullopt, Tone::Function});
    }
    QList<KeySpec> numbers =
        keys(QString::fromUtf8("~ 1 2 3 4 5 6 7 8 9 0 - =").split(QLatin1Char(' ')), Tone::Number);
    numbers.append({QStringLiteral("delete"), 52, Tone::Function});
    QList<KeySpec> top{{QStringLiteral("tab"), 42, Tone::Function}};
    top += keys(QStringLiteral("Q W E R T Y U I O P [ ]").split(QLatin1Char(' ')), Tone::Letter);
    top.append({QStringLiteral("\\"), 34, Tone::Function});
    QList<KeySpec> home{{QStringLiteral("caps"), 50, Tone::Function}};
    home += keys(QStringLiteral("A S D F G").split(QLatin1Char(' ')), Tone::Letter);
    home.append({QStringLiteral("H"), std::nullopt, Tone::Letter, Active::H});
    home += keys(QStringLiteral("J K L ; '").split(QLatin1Char(' ')), Tone::Letter);
    home.append({QStringLiteral("return"), 56, Tone::Function});
    QList<KeySpec> bottom{{QStringLiteral("shift"), 74, Tone::Function, Active::Shift}};
    bottom += keys(QStringLiteral("Z X C V B N M , . /").split(QLatin1Char(' ')), Tone::Letter);
    bottom.append({QStringLiteral("shift"), 58, Tone::Function});
    const QList<KeySpec> modifiers{{QStringLiteral("control"), 46, Tone::Function},
                                   {QStringLiteral("option"), 42, Tone::Function},
                                   {QStringLiteral("⌘"), 46, Tone::Function, Active::Command},
                                   {QStringLiteral("SPACE"), std::nullopt, Tone::Space},
                                   {QStringLiteral("⌘"), 46, Tone::Function},
                                   {QStringLiteral("option"), 42, Tone::Function}};
    return {functions, numbers, top, home, bottom, modifiers};
}

} // namespace

OnboardingStepHotkey::OnboardingStepHotkey(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
{
    setObjectName(QStringLiteral("OnboardingStepHotkey"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(52);
    row->addWidget(makeLeftColumn(), 1);
    row->addWidget(makeRightColumn(), 1);

    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
    sync();
}

OnboardingStepHotkey::~OnboardingStepHotkey()
{
    // No monitor may call into a step that is gone; the keys it lit go dark with it.
    removeKeyMonitor();
}

QWidget* OnboardingStepHotkey::makeLeftColumn()
{
    auto* content = new QVBoxLayout;
    content->setSpacing(20);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    m_headline = HeadlineText{hotkeyHeadlineLead(std::nullopt), kHeadlineTail, 40}.view();
    m_headlineChange = new NumericTextTransition(*m_headline);
    texts->addWidget(m_headline);
    texts->addWidget(
        SubheadlineText{QStringLiteral("When you share the wrong screen, one combo hides everything."), false}
            .view());
    content->addLayout(texts);

    auto* checklist = new QVBoxLayout;
    checklist->setSpacing(8);
    const auto hold = QStringLiteral("Hold");
    m_rows = {
        {1, hold, QStringLiteral("⇧"), [this] { return m_input.isArmed() || m_input.isShiftHeld(); }, {}, {}},
        {2,
         hold,
         QStringLiteral("⌘"),
         [this] { return m_input.isArmed() || m_input.isCommandHeld(); },
         {},
         {}},
        {3,
         QStringLiteral("Tap"),
         QStringLiteral("H"),
         [this] { return m_input.isArmed() || m_input.isHHeld(); },
         {},
         {}}};
    for (ChecklistRow& item : m_rows) {
        item.picture = new MockPicture;
        item.picture->setObjectName(QStringLiteral("hotkey.checklist.%1").arg(item.number));
        item.picture->setAccessibleName(item.label + QLatin1Char(' ') + item.key);
        item.progress = std::make_shared<kit::AnimatedValue>(item.done() ? 1.0 : 0.0);
        item.progress->setOnChange([&item] {
            item.picture->setItem(checklistRow(item.number, item.label, item.key, item.progress->value()));
        });
        item.picture->setItem(checklistRow(item.number, item.label, item.key, item.progress->value()));
        checklist->addWidget(item.picture);
    }
    content->addLayout(checklist);

    auto* test = new OnboardingPill(
        {QStringLiteral("Test it now"), QStringLiteral("bolt.fill"), 12, kit::FontWeight::regular, true},
        SunsetButtonStyle{40, true}.pill());
    test->setObjectName(QStringLiteral("hotkey.test"));
    connect(test, &QAbstractButton::clicked, this, &OnboardingStepHotkey::fire);
    content->addWidget(test);
    return centredColumn(420, content);
}

QWidget* OnboardingStepHotkey::makeRightColumn()
{
    auto* content = new QVBoxLayout;
    content->setSpacing(16);
    m_chat = new HotkeyPracticeChat;
    content->addWidget(m_chat);
    auto* hint =
        new kit::TextView(QStringLiteral("Tap the highlighted keys — or press the real combo"),
                          textLook(OBFont::geist(kit::FontWeight::regular, 11), OBTokens::textMuted()));
    auto* hintRow = new QHBoxLayout;
    hintRow->setContentsMargins(4, 0, 4, 0);
    hintRow->addWidget(hint);
    content->addLayout(hintRow);
    content->addWidget(new Panel(OBTokens::canvas(), OBTokens::hairline(), 12, 12, makeKeyboard()));
    return centredColumn(560, content);
}

QWidget* OnboardingStepHotkey::makeKeyboard()
{
    auto* keyboard = new QWidget;
    keyboard->setObjectName(QStringLiteral("hotkey.keyboard"));
    auto* rows = new QVBoxLayout(keyboard);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    for (const QList<KeySpec>& keys : keyboardRows()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        for (const KeySpec& key : keys) {
            const Binding<bool>* held = nullptr;
            QString name;
            switch (key.active) {
            case Active::None:
                break;
            case Active::Shift:
                held = &m_input.isShiftHeld;
                name = QStringLiteral("hotkey.key.shift");
                break;
            case Active::Command:
                held = &m_input.isCommandHeld;
                name = QStringLiteral("hotkey.key.command");
                break;
            case Active::H:
                held = &m_input.isHHeld;
                name = QStringLiteral("hotkey.key.H");
                break;
            }
            std::function<void()> onPress;
            if (held != nullptr) {
                onPress = [this, held] {
                    tap(*held);
                };
            }
            auto* cap = new KeyCap(key.label, key.width, key.tone, false, onPress);
            if (held != nullptr) {
                cap->setObjectName(name);
                m_activeKeys.push_back({cap, [this, held] {
                                            return m_input.isArmed() || (*held)();
                                        }});
            }
            row->addWidget(cap);
        }
        rows->addLayout(row);
    }
    return keyboard;
}

void OnboardingStepHotkey::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    installKeyMonitor();
}

void OnboardingStepHotkey::hideEvent(QHideEvent* event)
{
    removeKeyMonitor();
    QWidget::hideEvent(event);
}

void OnboardingStepHotkey::installKeyMonitor()
{
    if (m_keyMonitor) {
        return;
    }
    // Without a monitor the step still works through the on-screen keys and the button; the next
    // showing tries again.
    m_keyMonitor = platform::EventMonitor::addLocalMonitorForEvents(
        platform::kEventMaskKeyDown | platform::kEventMaskKeyUp | platform::kEventMaskFlagsChanged,
        [this](const platform::KeyEvent& event) { return handleKeyEvent(event); });
}

void OnboardingStepHotkey::removeKeyMonitor()
{
    if (m_keyMonitor) {
        platform::EventMonitor::removeMonitor(*m_keyMonitor);
    }
    m_keyMonitor.reset();
    m_clearTask.cancel();
    clearKeys();
}

std::optional<platform::KeyEvent> OnboardingStepHotkey::handleKeyEvent(const platform::KeyEvent& event)
{
    HotkeyPracticeState state{m_input.isCommandHeld(),
                              m_input.isShiftHeld(),
                              m_input.isHHeld(),
                              m_input.isArmed(),
                              m_comboStart,
                              m_reactionTime};
    const HotkeyKeyOutcome outcome = handleHotkeyEvent(state, event, platform::Scheduler::current().now());
    m_comboStart = state.comboStart;
    m_reactionTime = state.reactionTime;
    m_input.isCommandHeld.set(state.isCommandHeld);
    m_input.isShiftHeld.set(state.isShiftHeld);
    m_input.isHHeld.set(state.isHHeld);
    m_input.isArmed.set(state.isArmed);
    if (outcome.fires) {
        fire();
    }
    sync();
    if (!outcome.passesOn) {
        return std::nullopt;
    }
    return event;
}

void OnboardingStepHotkey::fire()
{
    if (m_input.onFire) {
        m_input.onFire();
    }
    m_input.isCommandHeld.set(true);
    m_input.isShiftHeld.set(true);
    m_input.isHHeld.set(true);
    m_input.isArmed.set(true);
    m_input.isHiddenByShortcut.set(!m_input.isHiddenByShortcut());
    m_input.triggerCount.set(m_input.triggerCount() + 1);
    if (m_input.playSound) {
        m_input.playSound(kit::VeilSound::Cue::Veil);
    }
    scheduleClear(kFireClearDelay);
}

void OnboardingStepHotkey::tap(const Binding<bool>& key)
{
    // A tap only lights its key and row until the clearing; it never fires.
    key.set(true);
    scheduleClear(kTapClearDelay);
}

void OnboardingStepHotkey::scheduleClear(double delay)
{
    // The handle is the widget's: the clearing never runs once the step is gone.
    m_clearTask = platform::Scheduler::current().after(delay, [this] { clearKeys(); });
}

void OnboardingStepHotkey::clearKeys()
{
    m_input.isCommandHeld.set(false);
    m_input.isShiftHeld.set(false);
    m_input.isHHeld.set(false);
    m_input.isArmed.set(false);
}

void OnboardingStepHotkey::sync()
{
    const QString lead = hotkeyHeadlineLead(m_reactionTime);
    const QString shown = m_headline->runs().value(0).text;
    if (shown != lead) {
        m_headline->setRuns({{lead, false, HeadlineLook::leadColor()},
                             {QStringLiteral("\n"), false, std::nullopt},
                             {kHeadlineTail, false, HeadlineLook::tailColor()}});
        // The new time rolls in; without motion it only fades in, over the short ease.
        m_headlineChange->start(shown, OBMotion::curve(kHeadlineDuration), !kit::reduceMotion());
    }
    for (ChecklistRow& row : m_rows) {
        const double done = row.done() ? 1 : 0;
        if (done != row.progress->target()) {
            row.progress->animate(done, OBMotion::curve(0.18));
        }
    }
    for (const ActiveKey& key : m_activeKeys) {
        key.cap->setAccented(key.held());
    }
    m_chat->setReactionTime(m_reactionTime);
    m_chat->setVeiled(m_input.isHiddenByShortcut());
}
