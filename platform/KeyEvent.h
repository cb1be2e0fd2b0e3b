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

// A key-down event: the keyboard's virtual key code (ANSI layout), the modifier flags and the
// characters the key types without modifiers (none for keys that type nothing).
struct KeyEvent
{
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    std::optional<QString> charactersIgnoringModifiers;
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
inline constexpr std::uint16_t kForwardDelete = 117;
inline constexpr std::uint16_t kLeftArrow = 123;
inline constexpr std::uint16_t kRightArrow = 124;
inline constexpr std::uint16_t kDownArrow = 125;
inline constexpr std::uint16_t kUpArrow = 126;
} // namespace keycode

// Translates a Qt key press. Qt's Mac convention holds: Control is ⌘ (command), Meta is ⌃
// (control), Alt is ⌥ (option), Shift is ⇧. Keys without a virtual key code give none.
std::optional<KeyEvent> keyEventFromQt(const QKeyEvent& event);
std::optional<KeyEvent> keyEventFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

// The virtual key code of a Qt key, when the ANSI keyboard has one.
std::optional<std::uint16_t> virtualKeyCode(int qtKey);

} // namespace platform
