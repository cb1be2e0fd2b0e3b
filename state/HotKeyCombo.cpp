#include "state/HotKeyCombo.h"

#include "platform/BoundedRead.h"
#include "platform/HotKeys.h"
#include "platform/JsonWriter.h"
#include "platform/Values.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr quint32 kKnownModifiers =
    platform::cmdKey | platform::shiftKey | platform::optionKey | platform::controlKey;
constexpr quint32 kPrimaryModifiers = platform::cmdKey | platform::optionKey | platform::controlKey;
// Virtual key codes of the keyboard run from 0 to 127.
constexpr quint32 kHighestKeyCode = 127;

} // namespace

std::optional<HotKeyCombo> HotKeyCombo::fromEvent(const platform::KeyEvent& event)
{
    const std::uint64_t flags = event.modifierFlags;
    const bool control = (flags & platform::kEventModifierFlagControl) != 0;
    const bool option = (flags & platform::kEventModifierFlagOption) != 0;
    const bool shift = (flags & platform::kEventModifierFlagShift) != 0;
    const bool command = (flags & platform::kEventModifierFlagCommand) != 0;
    if (!control && !option && !command) {
        return std::nullopt;
    }
    QString glyphs;
    quint32 mask = 0;
    if (control) {
        glyphs += QStringLiteral("⌃");
        mask |= platform::controlKey;
    }
    if (option) {
        glyphs += QStringLiteral("⌥");
        mask |= platform::optionKey;
    }
    if (shift) {
        glyphs += QStringLiteral("⇧");
        mask |= platform::shiftKey;
    }
    if (command) {
        glyphs += QStringLiteral("⌘");
        mask |= platform::cmdKey;
    }
    return HotKeyCombo{event.keyCode, mask, glyphs + keyName(event)};
}

QString HotKeyCombo::keyName(const platform::KeyEvent& event)
{
    static const QHash<std::uint16_t, QString> kNames = {
        {36, QStringLiteral("↩")},    {48, QStringLiteral("⇥")},    {49, QStringLiteral("Space")},
        {51, QStringLiteral("⌫")},    {117, QStringLiteral("⌦")},   {123, QStringLiteral("←")},
        {124, QStringLiteral("→")},   {125, QStringLiteral("↓")},   {126, QStringLiteral("↑")},
        {122, QStringLiteral("F1")},  {120, QStringLiteral("F2")},  {99, QStringLiteral("F3")},
        {118, QStringLiteral("F4")},  {96, QStringLiteral("F5")},   {97, QStringLiteral("F6")},
        {98, QStringLiteral("F7")},   {100, QStringLiteral("F8")},  {101, QStringLiteral("F9")},
        {109, QStringLiteral("F10")}, {103, QStringLiteral("F11")}, {111, QStringLiteral("F12")},
    };
    if (const auto it = kNames.constFind(event.keyCode); it != kNames.cend()) {
        return it.value();
    }
    if (!event.charactersIgnoringModifiers || event.charactersIgnoringModifiers->isEmpty()) {
        return QStringLiteral("?");
    }
    return event.charactersIgnoringModifiers->toUpper();
}

HotKeyCombo HotKeyCombo::defaultPanicShortcut()
{
    return HotKeyCombo{platform::keycode::kP, 0x1900, QStringLiteral("⌃⌥⌘P")};
}

bool HotKeyCombo::isRegistrable() const
{
    return (carbonModifiers & kPrimaryModifiers) != 0 && (carbonModifiers & ~kKnownModifiers) == 0
           && keyCode <= kHighestKeyCode;
}

std::optional<QByteArray> HotKeyCombo::encoded() const
{
    platform::JsonWriter writer;
    writer.beginObject();
    writer.key(QStringLiteral("keyCode")).value(keyCode);
    writer.key(QStringLiteral("carbonModifiers")).value(carbonModifiers);
    writer.key(QStringLiteral("display")).value(display);
    writer.endObject();
    return writer.result();
}

std::optional<HotKeyCombo> HotKeyCombo::decode(const QByteArray& json)
{
    const auto document = platform::parseJson(json);
    if (!document || !document->isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document->object();
    const QJsonValue keyCode = object.value(QStringLiteral("keyCode"));
    const QJsonValue modifiers = object.value(QStringLiteral("carbonModifiers"));
    const QJsonValue display = object.value(QStringLiteral("display"));
    if (!keyCode.isDouble() || !modifiers.isDouble() || !display.isString()) {
        return std::nullopt;
    }
    const auto code = platform::exactUInt32(keyCode.toDouble());
    const auto mask = platform::exactUInt32(modifiers.toDouble());
    if (!code || !mask) {
        return std::nullopt;
    }
    HotKeyCombo combo{*code, *mask, display.toString()};
    // A tampered value must never grab a bare key system-wide.
    if (!combo.isRegistrable()) {
        return std::nullopt;
    }
    return combo;
}
