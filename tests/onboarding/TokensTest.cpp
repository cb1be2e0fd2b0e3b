#include "onboarding/OBTokens.h"
#include "shell/kit/Palette.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <gtest/gtest.h>

using kit::Animation;
using kit::FontWeight;
using testing_support::KitEnvironment;

TEST(OBTokens, ContrastTokensKeepTheSettingReadAtTheirFirstUse)
{
    KitEnvironment env;
    env.accessibility().setIncreaseContrast(true);
    const ContrastToken readWhileOn(&kit::SecondaryWhite::body);
    EXPECT_EQ(readWhileOn.value(), kit::white(0.9));

    env.accessibility().setIncreaseContrast(false);
    EXPECT_EQ(readWhileOn.value(), kit::white(0.9));
    const ContrastToken readWhileOff(&kit::SecondaryWhite::body);
    EXPECT_EQ(readWhileOff.value(), kit::white(0.55));
    env.accessibility().setIncreaseContrast(true);
    EXPECT_EQ(readWhileOff.value(), kit::white(0.55));
}

// The kit's palette names some of these colours differently; each token must land on its value.
TEST(OBTokens, TokensWhoseKitNamesDifferHaveTheirOwnValues)
{
    const std::tuple<const char*, const QColor&, unsigned, double> cases[] = {
        {"hairlineStrong", OBTokens::hairlineStrong(), 0xFFFFFF, 0.14},
        {"hairlineHover", OBTokens::hairlineHover(), 0xFFFFFF, 0.28},
        {"flameWash", OBTokens::flameWash(), 0x1D1104, 1},
        {"live", OBTokens::live(), 0x60A5FA, 1},
        {"rose", OBTokens::rose(), 0xFF5F56, 1},
        {"selectedFill", OBTokens::selectedFill(), 0x17130F, 1},
        {"hoverFill", OBTokens::hoverFill(), 0x17181C, 1},
        {"blue", OBTokens::blue(), 0x3B82F6, 1},
    };
    for (const auto& [name, token, hex, opacity] : cases) {
        EXPECT_EQ(token, kit::rgb(hex, opacity)) << name;
    }
}

TEST(OBMotion, CurvesAndSpringsGiveWayToTheReduceMotionAnimationAtEachCall)
{
    KitEnvironment env;
    EXPECT_EQ(OBMotion::curve(0.3), Animation::standard(0.3));
    EXPECT_EQ(OBMotion::spring(0.4, 1.0), Animation::spring(0.4, 1.0));
    EXPECT_EQ(SelectableRowLook::hoverAnimation(), Animation::standard(0.18));

    env.accessibility().setReduceMotion(true);
    EXPECT_EQ(OBMotion::curve(0.3), kit::reduceMotionAnimation());
    EXPECT_EQ(OBMotion::spring(0.4, 1.0), kit::reduceMotionAnimation());
    EXPECT_EQ(SelectableRowLook::hoverAnimation(), kit::reduceMotionAnimation());
    EXPECT_DOUBLE_EQ(SelectableRowLook::hoverAnimation().duration(), 0.15);
}

TEST(TextLooks, TrackingFollowsTheSizeAndEyebrowsAreCapitalisedMono)
{
    const std::pair<double, double> headlines[] = {{40, -1.0}, {28, -0.7}, {15, -0.375}};
    for (const auto& [size, tracking] : headlines) {
        const OBFont font = HeadlineLook::font(size);
        EXPECT_DOUBLE_EQ(font.tracking, tracking) << size;
        EXPECT_EQ(font.faceName(), QStringLiteral("Geist-SemiBold"));
        EXPECT_EQ(font.size, size);
    }
    const OBFont eyebrow = EyebrowLook::font(0.24);
    EXPECT_DOUBLE_EQ(eyebrow.tracking, 2.28);
    EXPECT_EQ(eyebrow.faceName(), QStringLiteral("GeistMono-Regular"));
    EXPECT_EQ(EyebrowLook::text(QStringLiteral("Your screen, mid-share")),
              QStringLiteral("YOUR SCREEN, MID-SHARE"));
    // Mono text of any weight but regular takes the medium face; system text names no face.
    EXPECT_EQ(OBFont::mono(FontWeight::bold, 10).faceName(), QStringLiteral("GeistMono-Medium"));
    EXPECT_EQ(OBFont::system(12, FontWeight::semibold).faceName(), QString());
}

TEST(SelectableRowLook, SelectionWinsOverHoverForFillAndBorder)
{
    const std::tuple<bool, bool, const QColor&, const QColor&> cases[] = {
        {false, false, OBTokens::surface(), OBTokens::hairline()},
        {false, true, OBTokens::hoverFill(), OBTokens::hairlineHover()},
        {true, false, OBTokens::selectedFill(), OBTokens::selectedBorder()},
        {true, true, OBTokens::selectedFill(), OBTokens::selectedBorder()},
    };
    for (const auto& [selected, hovering, fill, border] : cases) {
        EXPECT_EQ(SelectableRowLook::fill(selected, hovering), fill) << selected << hovering;
        EXPECT_EQ(SelectableRowLook::border(selected, hovering), border) << selected << hovering;
    }
}
