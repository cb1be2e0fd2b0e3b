#pragma once

#include <QString>
#include <QtCore/qnamespace.h>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace platform {

// Modifier flags of a key event.
inline constexpr std::uint64_t kEventModifierFlagCapsLock = 1ULL << 16U;
inline constexpr std::uint64_t kEventModifierFlagShift = 1ULL << 17U;
inline constexpr std::uint64_t kEventModifierFlagControl = 1ULL << 18U;
inline constexpr std::uint64_t kEventModifierFlagOption = 1ULL << 19U;
inline constexpr std::uint64_t kEventModifierFlagCommand = 1ULL << 20U;
inline constexpr std::uint64_t kEventModifierFlagNumericPad = 1ULL << 21U;
inline constexpr std::uint64_t kEventModifierFlagHelp = 1ULL << 22U;
inline constexpr std::uint64_t kEventModifierFlagFunction = 1ULL << 23U;

// The kinds of key event: a key going down (again when it repeats) or up, and a modifier key
// changing the modifier flags.
enum class EventType
{
    KeyDown,
    KeyUp,
    FlagsChanged
};

// Masks of event kinds, for monitors.
inline constexpr std::uint64_t kEventMaskKeyDown = 1ULL << 10U;
inline constexpr std::uint64_t kEventMaskKeyUp = 1ULL << 11U;
inline constexpr std::uint64_t kEventMaskFlagsChanged = 1ULL << 12U;
std::uint64_t eventMask(EventType type);

// A key event: its kind, the keyboard's virtual key code (ANSI layout; the modifier key's own for
// a flags change), the modifier flags (after the change, for a flags change), the characters the
// key types without modifiers (none for keys that type nothing) and whether it is the key's
// auto-repeat.
struct KeyEvent
{
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    std::optional<QString> charactersIgnoringModifiers;
    EventType type = EventType::KeyDown;
    bool isARepeat = false;
};

// Virtual key codes used by name in the system.
namespace keycode {
inline constexpr std::uint16_t kH = 4;
inline constexpr std::uint16_t kP = 35;
inline constexpr std::uint16_t kReturn = 36;
inline constexpr std::uint16_t kTab = 48;
inline constexpr std::uint16_t kSpace = 49;
inline constexpr std::uint16_t kDelete = 51;
inline constexpr std::uint16_t kEscape = 53;
// The left modifier keys (Qt tells left from right on no platform).
inline constexpr std::uint16_t kCommand = 55;
inline constexpr std::uint16_t kShift = 56;
inline constexpr std::uint16_t kOption = 58;
inline constexpr std::uint16_t kControl = 59;
inline constexpr std::uint16_t kForwardDelete = 117;
inline constexpr std::uint16_t kLeftArrow = 123;
inline constexpr std::uint16_t kRightArrow = 124;
inline constexpr std::uint16_t kDownArrow = 125;
inline constexpr std::uint16_t kUpArrow = 126;
} // namespace keycode

// Translates a Qt key press or release. Qt's Mac convention holds: Control is ⌘ (command), Meta
// (the Super key) is ⌃ (control), Alt is ⌥ (option), Shift is ⇧; those keys give flags changes.
// Other keys without a virtual key code give none.
std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event);
// The key-down of a Qt key with these modifiers; none for keys without a virtual key code,
// modifier keys included.
std::optional<KeyEvent> keyEventFromQt(int qtKey, Qt::KeyboardModifiers modifiers);
// The modifier flags of Qt's modifiers.
std::uint64_t modifierFlagsFromQt(Qt::KeyboardModifiers modifiers);

// The virtual key code of a Qt key, when the ANSI keyboard has one.
std::optional<std::uint16_t> virtualKeyCode(int qtKey);

} // namespace platform
