#include "state/HotKeyCombo.h"

#include "platform/KeyEvent.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(HotKeyCombo, BuildsFromKeyPressesWithGlyphsInFixedOrder)
{
    const std::uint64_t ctrl = kEventModifierFlagControl;
    const std::uint64_t opt = kEventModifierFlagOption;
    const std::uint64_t shift = kEventModifierFlagShift;
    const std::uint64_t cmd = kEventModifierFlagCommand;
    const std::pair<KeyEvent, std::optional<HotKeyCombo>> cases[] = {
        {{35, ctrl | opt | cmd, "p"}, HotKeyCombo{35, 0x1900, "⌃⌥⌘P"}},
        {{40, opt | shift, "K"}, HotKeyCombo{40, 0xA00, "⌥⇧K"}},
        {{49, cmd, " "}, HotKeyCombo{49, 0x100, "⌘Space"}},
        {{122, ctrl | kEventModifierFlagFunction, std::nullopt}, HotKeyCombo{122, 0x1000, "⌃F1"}},
        {{123, cmd | kEventModifierFlagNumericPad, std::nullopt}, HotKeyCombo{123, 0x100, "⌘←"}},
        {{36, cmd | shift | ctrl | opt, std::nullopt}, HotKeyCombo{36, 0x1B00, "⌃⌥⇧⌘↩"}},
        {{10, cmd, std::nullopt}, HotKeyCombo{10, 0x100, "⌘?"}},
        {{35, shift, "P"}, std::nullopt},
        {{35, 0, "p"}, std::nullopt},
        {{35, kEventModifierFlagCapsLock | shift, "P"}, std::nullopt},
    };
    for (const auto& [event, expected] : cases) {
        EXPECT_EQ(HotKeyCombo::fromEvent(event), expected)
            << (expected ? expected->display.toStdString() : std::string("none"));
    }
}

TEST(HotKeyCombo, StoredFormRoundTripsAndCombinationsThatCouldGrabABareKeyAreRefused)
{
    const HotKeyCombo combo{40, 0xA00, QStringLiteral("⌥⇧K")};
    const auto data = combo.encoded();
    ASSERT_TRUE(data);
    EXPECT_EQ(QString::fromUtf8(*data),
              QStringLiteral(R"({"keyCode":40,"carbonModifiers":2560,"display":"⌥⇧K"})"));
    EXPECT_EQ(HotKeyCombo::decode(*data), combo);

    const std::pair<const char*, std::optional<HotKeyCombo>> cases[] = {
        {R"({"display":"⌘K","extra":1,"carbonModifiers":256,"keyCode":40})",
         HotKeyCombo{40, 0x100, QStringLiteral("⌘K")}},
        {R"({"keyCode":35,"carbonModifiers":512,"display":"⇧P"})", std::nullopt},    // shift alone
        {R"({"keyCode":35,"carbonModifiers":0,"display":"P"})", std::nullopt},       // no modifier
        {R"({"keyCode":35,"carbonModifiers":6401,"display":"⌃⌥⌘P"})", std::nullopt}, // unknown bit
        {R"({"keyCode":400,"carbonModifiers":256,"display":"⌘?"})", std::nullopt},   // no such key
        {R"({"keyCode":-1,"carbonModifiers":256,"display":"⌘?"})", std::nullopt},
        {R"({"keyCode":35.5,"carbonModifiers":256,"display":"⌘P"})", std::nullopt},
        {R"({"keyCode":35,"carbonModifiers":1e300,"display":"⌘P"})", std::nullopt},
        {R"({"keyCode":35,"carbonModifiers":256})", std::nullopt},
        {R"({"keyCode":"35","carbonModifiers":256,"display":"⌘P"})", std::nullopt},
        {R"([35,256,"⌘P"])", std::nullopt},
        {"not json", std::nullopt},
    };
    for (const auto& [json, expected] : cases) {
        EXPECT_EQ(HotKeyCombo::decode(json), expected) << json;
    }
}
