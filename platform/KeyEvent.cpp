#include "platform/KeyEvent.h"

#include <QHash>
#include <QKeyEvent>

namespace platform {
namespace {

struct KeyInfo
{
    std::uint16_t code;
    char16_t character; // 0: the key types nothing
    bool functionKey;   // arrows, F-keys and the navigation block carry the function flag
};

const QHash<int, KeyInfo>& keyTable()
{
    static const QHash<int, KeyInfo> kTable = [] {
        QHash<int, KeyInfo> t;
        // Letters by their ANSI key codes.
        const std::pair<char, std::uint16_t> letterCodes[] = {
            {'A', 0},  {'S', 1},  {'D', 2},  {'F', 3},  {'H', 4},  {'G', 5},  {'Z', 6},  {'X', 7},  {'C', 8},
            {'V', 9},  {'B', 11}, {'Q', 12}, {'W', 13}, {'E', 14}, {'R', 15}, {'Y', 16}, {'T', 17}, {'O', 31},
            {'U', 32}, {'I', 34}, {'P', 35}, {'L', 37}, {'J', 38}, {'K', 40}, {'N', 45}, {'M', 46},
        };
        for (const auto& [letter, code] : letterCodes) {
            t.insert(Qt::Key_A + (letter - 'A'), {code, static_cast<char16_t>(letter - 'A' + 'a'), false});
        }
        // Digits and punctuation, with their shifted symbols on the same keys.
        const std::tuple<int, std::uint16_t, char16_t> symbols[] = {
            {Qt::Key_1, 18, u'1'},
            {Qt::Key_Exclam, 18, u'!'},
            {Qt::Key_2, 19, u'2'},
            {Qt::Key_At, 19, u'@'},
            {Qt::Key_3, 20, u'3'},
            {Qt::Key_NumberSign, 20, u'#'},
            {Qt::Key_4, 21, u'4'},
            {Qt::Key_Dollar, 21, u'$'},
            {Qt::Key_6, 22, u'6'},
            {Qt::Key_AsciiCircum, 22, u'^'},
            {Qt::Key_5, 23, u'5'},
            {Qt::Key_Percent, 23, u'%'},
            {Qt::Key_Equal, 24, u'='},
            {Qt::Key_Plus, 24, u'+'},
            {Qt::Key_9, 25, u'9'},
            {Qt::Key_ParenLeft, 25, u'('},
            {Qt::Key_7, 26, u'7'},
            {Qt::Key_Ampersand, 26, u'&'},
            {Qt::Key_Minus, 27, u'-'},
            {Qt::Key_Underscore, 27, u'_'},
            {Qt::Key_8, 28, u'8'},
            {Qt::Key_Asterisk, 28, u'*'},
            {Qt::Key_0, 29, u'0'},
            {Qt::Key_ParenRight, 29, u')'},
            {Qt::Key_BracketRight, 30, u']'},
            {Qt::Key_BraceRight, 30, u'}'},
            {Qt::Key_BracketLeft, 33, u'['},
            {Qt::Key_BraceLeft, 33, u'{'},
            {Qt::Key_Apostrophe, 39, u'\''},
            {Qt::Key_QuoteDbl, 39, u'"'},
            {Qt::Key_Semicolon, 41, u';'},
            {Qt::Key_Colon, 41, u':'},
            {Qt::Key_Backslash, 42, u'\\'},
            {Qt::Key_Bar, 42, u'|'},
            {Qt::Key_Comma, 43, u','},
            {Qt::Key_Less, 43, u'<'},
            {Qt::Key_Slash, 44, u'/'},
            {Qt::Key_Question, 44, u'?'},
            {Qt::Key_Period, 47, u'.'},
            {Qt::Key_Greater, 47, u'>'},
            {Qt::Key_QuoteLeft, 50, u'`'},
            {Qt::Key_AsciiTilde, 50, u'~'},
        };
        for (const auto& [key, code, character] : symbols) {
            t.insert(key, {code, character, false});
        }
        const std::tuple<int, std::uint16_t, char16_t, bool> others[] = {
            {Qt::Key_Return, keycode::kReturn, u'\r', false},
            {Qt::Key_Enter, keycode::kReturn, u'\r', false},
            {Qt::Key_Tab, keycode::kTab, u'\t', false},
            {Qt::Key_Backtab, keycode::kTab, u'\t', false},
            {Qt::Key_Space, keycode::kSpace, u' ', false},
            {Qt::Key_Backspace, keycode::kDelete, u'\x7f', false},
            {Qt::Key_Escape, keycode::kEscape, u'\x1b', false},
            {Qt::Key_Delete, keycode::kForwardDelete, u'\xf728', true},
            {Qt::Key_Left, keycode::kLeftArrow, u'\xf702', true},
            {Qt::Key_Right, keycode::kRightArrow, u'\xf703', true},
            {Qt::Key_Down, keycode::kDownArrow, u'\xf701', true},
            {Qt::Key_Up, keycode::kUpArrow, u'\xf700', true},
            {Qt::Key_Home, 115, u'\xf729', true},
            {Qt::Key_End, 119, u'\xf72b', true},
            {Qt::Key_PageUp, 116, u'\xf72c', true},
            {Qt::Key_PageDown, 121, u'\xf72d', true},
            {Qt::Key_Help, 114, u'\xf746', true},
            {Qt::Key_F1, 122, u'\xf704', true},
            {Qt::Key_F2, 120, u'\xf705', true},
            {Qt::Key_F3, 99, u'\xf706', true},
            {Qt::Key_F4, 118, u'\xf707', true},
            {Qt::Key_F5, 96, u'\xf708', true},
            {Qt::Key_F6, 97, u'\xf709', true},
            {Qt::Key_F7, 98, u'\xf70a', true},
            {Qt::Key_F8, 100, u'\xf70b', true},
            {Qt::Key_F9, 101, u'\xf70c', true},
            {Qt::Key_F10, 109, u'\xf70d', true},
            {Qt::Key_F11, 103, u'\xf70e', true},
            {Qt::Key_F12, 111, u'\xf70f', true},
            {Qt::Key_F13, 105, u'\xf710', true},
            {Qt::Key_F14, 107, u'\xf711', true},
            {Qt::Key_F15, 113, u'\xf712', true},
            {Qt::Key_F16, 106, u'\xf713', true},
            {Qt::Key_F17, 64, u'\xf714', true},
            {Qt::Key_F18, 79, u'\xf715', true},
            {Qt::Key_F19, 80, u'\xf716', true},
            {Qt::Key_F20, 90, u'\xf717', true},
        };
        for (const auto& [key, code, character, function] : others) {
            t.insert(key, {code, character, function});
        }
        return t;
    }();
    return kTable;
}

// Keypad keys have codes of their own.
std::optional<KeyInfo> keypadKey(int qtKey)
{
    static const QHash<int, KeyInfo> kKeypad = {
        {Qt::Key_0, {82, u'0', false}},
        {Qt::Key_1, {83, u'1', false}},
        {Qt::Key_2, {84, u'2', false}},
        {Qt::Key_3, {85, u'3', false}},
        {Qt::Key_4, {86, u'4', false}},
        {Qt::Key_5, {87, u'5', false}},
        {Qt::Key_6, {88, u'6', false}},
        {Qt::Key_7, {89, u'7', false}},
        {Qt::Key_8, {91, u'8', false}},
        {Qt::Key_9, {92, u'9', false}},
        {Qt::Key_Period, {65, u'.', false}},
        {Qt::Key_Asterisk, {67, u'*', false}},
        {Qt::Key_Plus, {69, u'+', false}},
        {Qt::Key_Slash, {75, u'/', false}},
        {Qt::Key_Enter, {76, u'\x03', false}},
        {Qt::Key_Minus, {78, u'-', false}},
        {Qt::Key_Equal, {81, u'=', false}},
    };
    const auto it = kKeypad.constFind(qtKey);
    if (it == kKeypad.cend()) {
        return std::nullopt;
    }
    return it.value();
}

} // namespace

std::optional<std::uint16_t> virtualKeyCode(int qtKey)
{
    const auto it = keyTable().constFind(qtKey);
    if (it == keyTable().cend()) {
        return std::nullopt;
    }
    return it->code;
}

std::optional<KeyEvent> keyEventFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    std::optional<KeyInfo> info;
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (keypad) {
        info = keypadKey(qtKey);
    }
    if (!info) {
        const auto it = keyTable().constFind(qtKey);
        if (it == keyTable().cend()) {
            return std::nullopt;
        }
        info = it.value();
    }
    KeyEvent event;
    event.keyCode = info->code;
    event.modifierFlags = modifierFlagsFromQt(modifiers);
    if (keypad) {
        event.modifierFlags |= kEventModifierFlagNumericPad;
    }
    if (info->functionKey) {
        event.modifierFlags |= kEventModifierFlagFunction;
    }
    if (info->character != 0) {
        event.charactersIgnoringModifiers = QString(QChar(info->character));
    }
    return event;
}

std::uint64_t modifierFlagsFromQt(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t flags = 0;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        flags |= kEventModifierFlagCommand;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        flags |= kEventModifierFlagControl;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        flags |= kEventModifierFlagOption;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        flags |= kEventModifierFlagShift;
    }
    return flags;
}

std::uint64_t eventMask(EventType type)
{
    switch (type) {
    case EventType::KeyDown:
        return kEventMaskKeyDown;
    case EventType::KeyUp:
        return kEventMaskKeyUp;
    case EventType::FlagsChanged:
        break;
    }
    return kEventMaskFlagsChanged;
}

std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event)
{
    const bool down = event.type() == QEvent::KeyPress;
    if (!down && event.type() != QEvent::KeyRelease) {
        return std::nullopt;
    }
    static const QHash<int, std::pair<Qt::KeyboardModifier, std::uint16_t>> kModifierKeys = {
        {Qt::Key_Control, {Qt::ControlModifier, keycode::kCommand}},
        {Qt::Key_Shift, {Qt::ShiftModifier, keycode::kShift}},
        {Qt::Key_Alt, {Qt::AltModifier, keycode::kOption}},
        {Qt::Key_Meta, {Qt::MetaModifier, keycode::kControl}},
        // X11 names the key Meta stands for by the key: Super.
        {Qt::Key_Super_L, {Qt::MetaModifier, keycode::kControl}},
        {Qt::Key_Super_R, {Qt::MetaModifier, keycode::kControl}},
    };
    if (const auto it = kModifierKeys.constFind(event.key()); it != kModifierKeys.cend()) {
        // Platforms differ on whether a modifier key's own event carries its modifier; the flags
        // are those after the change.
        Qt::KeyboardModifiers modifiers = event.modifiers();
        modifiers.setFlag(it->first, down);
        KeyEvent flagsChanged;
        flagsChanged.type = EventType::FlagsChanged;
        flagsChanged.keyCode = it->second;
        flagsChanged.modifierFlags = modifierFlagsFromQt(modifiers);
        return flagsChanged;
    }
    std::optional<KeyEvent> key = keyEventFromQt(event.key(), event.modifiers());
    if (key) {
        key->type = down ? EventType::KeyDown : EventType::KeyUp;
        key->isARepeat = event.isAutoRepeat();
    }
    return key;
}

} // namespace platform
