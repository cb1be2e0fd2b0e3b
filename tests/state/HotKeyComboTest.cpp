#include "state/HotKeyCombo.h"

#include "platform/KeyEvent.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

KeyEvent press(std::uint16_t code, std::uint64_t flags, std::optional<QString> characters = std::nullopt)
{
    return KeyEvent{code, flags, std::move(characters)};
}

} // namespace

TEST(HotKeyCombo, BuildsFromKeyPressesWithGlyphsInFixedOrder)
{
    struct Case
    {
        KeyEvent event;
        std::optional<HotKeyCombo> expected;
    };
    const std::uint64_t ctrl = kEventModifierFlagControl;
    const std::uint64_t opt = kEventModifierFlagOption;
    const std::uint64_t shift = kEventModifierFlagShift;
    const std::uint64_t cmd = kEventModifierFlagCommand;
    const Case cases[] = {
        {press(35, ctrl | opt | cmd, QStringLiteral("p")), HotKeyCombo{35, 0x1900, QStringLiteral("⌃⌥⌘P")}},
        {press(40, opt | shift, QStringLiteral("K")), HotKeyCombo{40, 0xA00, QStringLiteral("⌥⇧K")}},
        {press(49, cmd, QStringLiteral(" ")), HotKeyCombo{49, 0x100, QStringLiteral("⌘Space")}},
        {press(122, ctrl | kEventModifierFlagFunction), HotKeyCombo{122, 0x1000, QStringLiteral("⌃F1")}},
        {press(123, cmd | kEventModifierFlagNumericPad), HotKeyCombo{123, 0x100, QStringLiteral("⌘←")}},
        {press(36, cmd | shift | ctrl | opt), HotKeyCombo{36, 0x1B00, QStringLiteral("⌃⌥⇧⌘↩")}},
        {press(10, cmd), HotKeyCombo{10, 0x100, QStringLiteral("⌘?")}},
        {press(35, shift, QStringLiteral("P")), std::nullopt},
        {press(35, 0, QStringLiteral("p")), std::nullopt},
        {press(35, kEventModifierFlagCapsLock | shift, QStringLiteral("P")), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HotKeyCombo::fromEvent(c.event), c.expected)
            << (c.expected ? c.expected->display.toStdString() : std::string("none"));
    }
}

TEST(HotKeyCombo, TheDisplayTextTakesPartInEquality)
{
    EXPECT_NE((HotKeyCombo{35, 0x1900, QStringLiteral("⌃⌥⌘P")}),
              (HotKeyCombo{35, 0x1900, QStringLiteral("P")}));
    EXPECT_EQ(HotKeyCombo::defaultPanicShortcut(), (HotKeyCombo{35, 0x1900, QStringLiteral("⌃⌥⌘P")}));
}

TEST(HotKeyCombo, StoredFormRoundTripsWithMembersInOrder)
{
    const HotKeyCombo combo{40, 0xA00, QStringLiteral("⌥⇧K")};
    const auto data = combo.encoded();
    ASSERT_TRUE(data);
    EXPECT_EQ(QString::fromUtf8(*data),
              QStringLiteral(R"({"keyCode":40,"carbonModifiers":2560,"display":"⌥⇧K"})"));
    EXPECT_EQ(HotKeyCombo::decode(*data), combo);
    EXPECT_EQ(HotKeyCombo::decode(R"({"display":"⌘K","extra":1,"carbonModifiers":256,"keyCode":40})"),
              (HotKeyCombo{40, 0x100, QStringLiteral("⌘K")}));
}

TEST(HotKeyCombo, RefusesStoredCombinationsThatCouldGrabABareKey)
{
    const char* refused[] = {
        R"({"keyCode":35,"carbonModifiers":512,"display":"⇧P"})",    // shift alone
        R"({"keyCode":35,"carbonModifiers":0,"display":"P"})",       // no modifier
        R"({"keyCode":35,"carbonModifiers":6401,"display":"⌃⌥⌘P"})", // unknown bit
        R"({"keyCode":400,"carbonModifiers":256,"display":"⌘?"})",   // no such key
        R"({"keyCode":-1,"carbonModifiers":256,"display":"⌘?"})",
        R"({"keyCode":35.5,"carbonModifiers":256,"display":"⌘P"})",
        R"({"keyCode":35,"carbonModifiers":1e300,"display":"⌘P"})",
        R"({"keyCode":35,"carbonModifiers":256})",
        R"({"keyCode":"35","carbonModifiers":256,"display":"⌘P"})",
        R"([35,256,"⌘P"])",
        "not json",
    };
    for (const char* json : refused) {
        EXPECT_FALSE(HotKeyCombo::decode(json)) << json;
    }
    EXPECT_FALSE((HotKeyCombo{35, 0x200, QStringLiteral("⇧P")}).isRegistrable());
    EXPECT_TRUE(HotKeyCombo::defaultPanicShortcut().isRegistrable());
}
