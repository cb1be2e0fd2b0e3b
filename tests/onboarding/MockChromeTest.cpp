// The mock window chrome drawn on the canvas: sentinel pixels of the frame, and a gallery picture
// for looking at.
#include "onboarding/MockPicture.h"
#include "onboarding/MockWindowChrome.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace mock;
using kit::FontWeight;
using testing_support::colorAt;
using testing_support::KitEnvironment;
using testing_support::near;

namespace {

const QColor kSurface = kit::rgb(0x131722);
const QColor kTitleBar = kit::rgb(0x191A22);

MockWindowShell shell(const QString& app, Item content, Item trailing = {})
{
    return {app, kit::white(0.75), kSurface, kTitleBar, OBTokens::hairlineStrong(), trailing, content};
}

QImage draw(const Item& item, const QRectF& bounds, QSize size = {320, 200})
{
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(OBTokens::canvas());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    item.draw(painter, bounds, Qt::AlignLeft | Qt::AlignTop);
    return image;
}

// `top` over `bottom` at `opacity`.
QColor over(const QColor& bottom, const QColor& top, double opacity)
{
    const auto mix = [opacity](int b, int t) {
        return static_cast<int>(std::lround(b + (t - b) * opacity));
    };
    return {mix(bottom.red(), top.red()), mix(bottom.green(), top.green()), mix(bottom.blue(), top.blue())};
}

} // namespace

TEST(MockWindowShell, DrawsItsTitleBarLightsSurfaceOutlineAndShadow)
{
    KitEnvironment env;
    const Item window = shell(QStringLiteral("Mail"), Item().frame(std::nullopt, 60)).item();
    EXPECT_EQ(window.sizeThatFits({220, std::nullopt}), QSizeF(220, 86));
    const QImage image = draw(window, QRectF(40, 20, 220, 150));

    const std::pair<double, unsigned> lights[] = {{53.5, 0xFF5F57}, {64.5, 0xFDBC2E}, {75.5, 0x28C840}};
    for (const auto& [x, hex] : lights) {
        EXPECT_TRUE(near(colorAt(image, {x, 33}), kit::rgb(hex), 3)) << x;
    }
    EXPECT_TRUE(near(colorAt(image, {190, 28}), kTitleBar));
    EXPECT_TRUE(near(colorAt(image, {190, 45.6}), over(kTitleBar, Qt::white, 0.08), 3)) << "separator";
    EXPECT_TRUE(near(colorAt(image, {150, 76}), kSurface));
    EXPECT_GT(colorAt(image, {40.1, 76}).red(), 40) << "outline";
    EXPECT_LT(colorAt(image, {40.6, 20.6}).red(), 16) << "clipped corner";
    EXPECT_LT(colorAt(image, {150, 118}).red(), 8) << "shadow below the window";
    EXPECT_TRUE(near(colorAt(image, {150, 190}), OBTokens::canvas())) << "no shadow far away";
}

TEST(MockWindowShell, ALongNameIsCutBeforeTheTrailingAccessoryAndAnEmptyOneKeepsTheBar)
{
    KitEnvironment env;
    const Item accessory = fill(Shape::rect(), OBTokens::flame()).frame(30, 8);
    const Item window = shell(QStringLiteral("A very long application name that cannot fit the bar"),
                              Item().frame(std::nullopt, 30),
                              accessory)
                            .item();
    const QImage image = draw(window, QRectF(40, 20, 220, 150));
    EXPECT_TRUE(near(colorAt(image, {235, 33}), OBTokens::flame(), 3)) << "accessory at the trailing end";
    for (const double x : {216.5, 218.5}) {
        EXPECT_TRUE(near(colorAt(image, {x, 33}), kTitleBar, 3)) << "gap before the accessory at " << x;
    }
    EXPECT_EQ(window.sizeThatFits({220, std::nullopt}).height(), 56);

    const Item empty = shell(QString(), Item().frame(std::nullopt, 30)).item();
    EXPECT_EQ(empty.sizeThatFits({140, std::nullopt}), QSizeF(140, 56));
    EXPECT_TRUE(near(colorAt(draw(empty, QRectF(40, 20, 140, 56)), {53.5, 33}), kit::rgb(0xFF5F57), 3));
}

TEST(MockChrome, DimmedLightsAndRoundEndedRules)
{
    KitEnvironment env;
    const Item sheet = vstack(Qt::AlignLeft,
                              10,
                              {TrafficLights{true}.item(),
                               Rule{std::nullopt, 4, 999, Qt::white}.item(),
                               Rule{44, 4, 0, Qt::white}.item()});
    const QImage image = draw(sheet, QRectF(10, 10, 100, 60));
    EXPECT_TRUE(near(colorAt(image, {13.5, 13.5}), over(OBTokens::canvas(), kit::rgb(0xFF5F57), 0.45), 3));
    EXPECT_TRUE(near(colorAt(image, {60, 29}), Qt::white)) << "a rule without a width spans the stack";
    EXPECT_TRUE(near(colorAt(image, {108, 29}), Qt::white));
    EXPECT_LT(colorAt(image, {10.2, 27.2}).red(), 60) << "round ends";
    EXPECT_TRUE(near(colorAt(image, {53.5, 43}), Qt::white)) << "a fixed rule is exactly its width";
    EXPECT_TRUE(near(colorAt(image, {54.5, 43}), OBTokens::canvas()));
}

TEST(MockChrome, GalleryPicture)
{
    KitEnvironment env;
    const auto caption = [](const char* s) {
        return text(
            QString::fromLatin1(s), OBFont::mono(FontWeight::regular, 9).tracked(1.4), OBTokens::textMuted());
    };
    const Item mail = vstack(Qt::AlignLeft,
                             6,
                             {hstack(Qt::AlignVCenter,
                                     6,
                                     {Avatar{QStringLiteral("JR"), OBTokens::indigo(), 14}.item(),
                                      text(QStringLiteral("You → Client team"),
                                           OBFont::geist(FontWeight::semibold, 10),
                                           OBTokens::textPrimary(),
                                           {.lineLimit = 1})}),
                              text(QStringLiteral("Acme Corp — Renewal pricing (confidential)"),
                                   OBFont::geist(FontWeight::semibold, 10),
                                   OBTokens::textPrimary(),
                                   {.lineSpacing = 2}),
                              vstack(Qt::AlignLeft,
                                     4,
                                     {Rule{90, 4, 999, OBTokens::hairlineHover()}.item(),
                                      Rule{70, 4, 999, OBTokens::hairline()}.item()})
                                  .padding(7)
                                  .fillWidth(Qt::AlignLeft)
                                  .background(kit::white(0.05))
                                  .clip(Shape::rounded(8))
                                  .border(OBTokens::hairline(), Shape::rounded(8))})
                          .padding(11);
    const Item windows = hstack(
        Qt::AlignTop,
        32,
        {vstack(Qt::AlignLeft,
                10,
                {caption("SHELL"), shell(QStringLiteral("Mail"), mail).item().frame(220, std::nullopt)}),
         vstack(Qt::AlignLeft,
                10,
                {caption("LONG NAME, ACCESSORY"),
                 shell(QStringLiteral("Online Banking — Personal Accounts"),
                       Rule{std::nullopt, 20, 6, OBTokens::hairline()}.item().padding(11),
                       Rule{24, 8, 999, OBTokens::flame()}.item())
                     .item()
                     .frame(180, std::nullopt)}),
         vstack(Qt::AlignLeft,
                10,
                {caption("NO NAME"),
                 shell(QString(), Item().frame(std::nullopt, 40)).item().frame(140, std::nullopt)})});
    const Item parts =
        hstack(Qt::AlignVCenter,
               24,
               {caption("LIGHTS"),
                TrafficLights{false}.item(),
                TrafficLights{true}.item(),
                caption("RULES"),
                Rule{44, 4, 999, OBTokens::textPrimary()}.item(),
                Rule{std::nullopt, 4, 999, OBTokens::textSecondary()}.item().frame(120, std::nullopt),
                caption("AVATAR"),
                Avatar{QStringLiteral("M"), OBTokens::sky(), 16}.item()});
    MockPicture picture(vstack(Qt::AlignLeft, 56, {windows, parts}).padding(QMarginsF(32, 32, 32, 56)));
    picture.resize(picture.sizeHint());
    ASSERT_EQ(picture.heightForWidth(picture.width()), picture.height());

    const QString path = testing_support::picturesFolder() + QStringLiteral("/onboarding-mock-chrome.png");
    ASSERT_TRUE(kit::writeViewPng(picture, path, 2.0, OBTokens::canvas()));
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    // The first window's first light sits 10 points into its title bar, below the caption.
    const double captionHeight = caption("SHELL").sizeThatFits({}).height();
    const QPointF light(32 + 10 + 3.5, 32 + captionHeight + 10 + 13);
    EXPECT_TRUE(near(image.pixelColor((light * 2).toPoint()), kit::rgb(0xFF5F57), 3));
}
