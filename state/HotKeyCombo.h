#pragma once

#include "platform/KeyEvent.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A key with modifiers as the hot-key registry takes it: a virtual key code, a modifier mask
// (command 0x100, shift 0x200, option 0x800, control 0x1000) and the text shown for it.
struct HotKeyCombo
{
    quint32 keyCode = 0;
    quint32 carbonModifiers = 0;
    QString display;

    // The display text counts: the same keys shown differently are different combinations.
    bool operator==(const HotKeyCombo&) const = default;

    // A combination from a key press; none unless control, option or command is held. The
    // display text lists the modifiers as ⌃ ⌥ ⇧ ⌘, then the key's name.
    static std::optional<HotKeyCombo> fromEvent(const platform::KeyEvent& event);
    // The name shown for the key of an event.
    static QString keyName(const platform::KeyEvent& event);

    // ⌃⌥⌘P.
    static HotKeyCombo defaultPanicShortcut();

    // A combination that may be registered system-wide: at least one of ⌃ ⌥ ⌘, no modifier bits
    // beyond the four known ones, and a key code the keyboard can produce.
    bool isRegistrable() const;

    // The stored JSON object {"keyCode", "carbonModifiers", "display"}. Decoding needs the three
    // members (others are ignored), whole numbers in range, and a registrable combination.
    std::optional<QByteArray> encoded() const;
    static std::optional<HotKeyCombo> decode(const QByteArray& json);
};
