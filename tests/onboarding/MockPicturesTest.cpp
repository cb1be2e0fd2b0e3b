// The mock pictures: their layout rules, the window chrome, the reveal windows and their pile,
// chat bubbles, and galleries of the chrome and of every mock window with sentinel pixels.
#include "onboarding/MockLayout.h"
#include "onboarding/MockPicture.h"
#include "onboarding/MockWindowChrome.h"
#include "onboarding/mocks/Bubble.h"
#include "onboarding/mocks/PersonaPreviewWindow.h"
#include "onboarding/mocks/PresentationSlideWindow.h"
#include "onboarding/mocks/RevealWindow.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

using namespace mock;
using namespace testing_support;
using kit::FontWeight;
using V = RevealVariant;

namespace {

Item box(double width, double height)
{
    return fill(Shape::rect(), Qt::white).frame(width, height);
}

const QString kLong = QStringLiteral("Long texts wrap onto further lines and make the window taller");

Item body(const QString& s, TextOptions options = {})
{
    return text(s, OBFont::geist(FontWeight::regular, 10), Qt::white, options);
}

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

} // namespace

TEST(MockLayout, ItemsTakeTheSizesTheirRulesGive)
{
    KitEnvironment env;
    const std::optional<double> none;
    const struct
    {
        const char* what;
        Item item;
        Proposal offered;
        QSizeF expected;
    } cases[] = {
        {"a rule with a width", Rule{44, 4, 999, Qt::white}.item(), {300, 300}, {44, 4}},
        {"a rule without a width", Rule{none, 4, 999, Qt::white}.item(), {300, 300}, {300, 4}},
        {"a rule offered nothing", Rule{none, 1, 999, Qt::white}.item(), {}, {10, 1}},
        {"padding", box(20, 10).padding(QMarginsF(1, 2, 3, 4)), {}, {24, 16}},
        {"a full-width frame", box(20, 10).fillWidth(), {250, 80}, {250, 10}},
        {"a full-width frame offered nothing", box(20, 10).fillWidth(), {}, {20, 10}},
        {"a bounded flexible frame", box(20, 10).frame(FlexBounds{.maxWidth = 100}), {300, 80}, {100, 10}},
        {"a minimum that grows", box(20, 10).frame(FlexBounds{.minWidth = 40}), {10, 80}, {40, 10}},
        {"a fixed frame", box(20, 10).frame(none, 26), {300, 300}, {20, 26}},
        {"a spacer between boxes",
         hstack(Qt::AlignVCenter, 6, {box(20, 10), spacer(4), box(30, 12)}),
         {200, 50},
         {200, 12}},
        {"the same ideal", hstack(Qt::AlignVCenter, 6, {box(20, 10), spacer(4), box(30, 12)}), {}, {66, 12}},
        {"a vertical stack", vstack(Qt::AlignLeft, 5, {box(20, 10), box(30, 12)}), {}, {30, 27}},
        {"a stretching child",
         vstack(Qt::AlignLeft, 0, {box(20, 10), Rule{none, 1, 999, Qt::white}.item()}),
         {120, 50},
         {120, 11}},
        {"layers", zstack(Qt::AlignCenter, {box(20, 40), box(30, 12)}), {}, {30, 40}},
        {"a background adds nothing", box(20, 10).background(box(50, 50)), {}, {20, 10}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.item.sizeThatFits(c.offered), c.expected) << c.what;
    }
}

TEST(MockLayout, TextWrapsToTheOfferedWidthUnlessLimitedToOneLine)
{
    KitEnvironment env;
    const QSizeF oneLine = body(kLong).sizeThatFits({});
    ASSERT_GT(oneLine.width(), 200);
    const QSizeF wrapped = body(kLong).sizeThatFits({120, std::nullopt});
    EXPECT_LE(wrapped.width(), 120);
    EXPECT_GE(wrapped.height(), 3 * oneLine.height() - 1);
    // Extra line spacing counts between lines only.
    const QSizeF spaced = body(kLong, {.lineSpacing = 3}).sizeThatFits({120, std::nullopt});
    const double lines = std::round(wrapped.height() / oneLine.height());
    EXPECT_NEAR(spaced.height(), wrapped.height() + 3 * (lines - 1), 0.01);

    const QSizeF limited = body(kLong, {.lineLimit = 1}).sizeThatFits({120, std::nullopt});
    EXPECT_EQ(limited, QSizeF(120, oneLine.height()));
    // A line break in the text always starts a new line.
    const QSizeF broken = body(QStringLiteral("a\nb")).sizeThatFits({});
    EXPECT_NEAR(broken.height(), 2 * body(QStringLiteral("a")).sizeThatFits({}).height(), 0.01);
    EXPECT_EQ(body(QString()).sizeThatFits({}), QSizeF(0, 0));
}

TEST(MockLayout, StacksServeFixedChildrenBeforeFlexibleOnes)
{
    KitEnvironment env;
    // A title that cannot fit keeps the trailing accessory whole and gives up its own width.
    const Item title = body(kLong, {.lineLimit = 1});
    const Item row = hstack(Qt::AlignVCenter, 6, {box(29, 7), title, spacer(4), box(30, 8)});
    const QSizeF size = row.sizeThatFits({200, std::nullopt});
    EXPECT_EQ(size.width(), 200);
    EXPECT_NEAR(
        title.sizeThatFits({200 - 29 - 4 - 30 - 3 * 6, std::nullopt}).width(), 200 - 29 - 4 - 30 - 18, 0.01);

    // Placed in order along the axis: the spacer takes what the boxes leave.
    QImage image(200, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        hstack(Qt::AlignVCenter, 0, {fill(Shape::rect(), Qt::red).frame(20, 10), spacer(), box(30, 10)})
            .draw(painter, QRectF(0, 0, 200, 10));
    }
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(100, 5), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(190, 5), QColor(Qt::white));
}

// A shadowed picture drawn shrunk, straight on a one-pixel-a-point image (a window on a standard
// screen) and through a widget rendered into a two-pixel image, must land in its own place: its
// layers must not be drawn too large and cut off.
TEST(MockLayout, ShrunkLayersStayInPlaceOnEveryDevice)
{
    KitEnvironment env;
    const Item shrunk = fill(Shape::rect(), Qt::white)
                            .frame(100, 100)
                            .shadow({Qt::black, 8, QPointF(0, 6)})
                            .opacity(0.99)
                            .scale(0.5);
    const auto expectInPlace = [](const QImage& image, double left) {
        EXPECT_GT(colorAt(image, {left + 50, 50}).red(), 250) << "the middle";
        EXPECT_GT(colorAt(image, {left + 73, 73}).red(), 250) << "inside the bottom-trailing corner";
        EXPECT_LT(colorAt(image, {left + 77, 50}).red(), 200) << "past the trailing edge";
        EXPECT_LT(colorAt(image, {left + 50, 77}).red(), 200) << "past the bottom edge";
    };
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    {
        QPainter painter(&image);
        shrunk.draw(painter, QRectF(0, 0, 100, 100));
    }
    expectInPlace(image, 0);

    struct Picture final : QWidget
    {
        Item item;
        void paintEvent(QPaintEvent* /*event*/) override
        {
            QPainter painter(this);
            item.draw(painter, QRectF(rect()));
        }
    };
    QWidget parent;
    parent.resize(300, 100);
    auto* picture = new Picture;
    picture->item = shrunk;
    picture->setParent(&parent);
    picture->setGeometry(200, 0, 100, 100);
    expectInPlace(kit::renderView(parent, 2.0, Qt::gray), 200);
}

// A repaint of part of a picture (the painter clipped to it) leaves out what cannot reach the part,
// and gives there the pixels of the picture drawn whole: strokes of every shape, a repaint inside
// them, across their edges and at their corners.
TEST(MockLayout, APictureDrawnInPartHasThePixelsOfItDrawnWhole)
{
    KitEnvironment env;
    const QColor line(0xff, 0x5f, 0x56, 115);
    QList<Item> pictures;
    for (const Shape& shape : {Shape::rounded(16), Shape::capsule(), Shape::circle(), Shape::rect()}) {
        pictures << fill(shape, OBTokens::surface()).frame(140, 90).border(line, shape, 0.5, true)
                 << box(140, 90).opacity(0).overlay(stroke(shape, line, 2))
                 << box(140, 90).opacity(0).overlay(fill(shape, line));
    }
    // In points from the picture's corner, which lies half a point off the pixel grid.
    const QRect parts[] = {
        {40, 30, 20, 20}, {0, 30, 6, 20}, {1, 30, 6, 20}, {2, 2, 12, 12}, {120, 70, 30, 30}, {60, 86, 9, 9}};
    for (int i = 0; i < pictures.size(); ++i) {
        const QRectF bounds(10.5, 10.5, 140, 90);
        const QImage whole = draw(pictures.at(i), bounds);
        for (const QRect& part : parts) {
            QImage partly = draw(Item(), bounds);
            {
                QPainter painter(&partly);
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setClipRegion(part.translated(10, 10));
                pictures.at(i).draw(painter, bounds, Qt::AlignLeft | Qt::AlignTop);
            }
            const QRect pixels(part.topLeft() * 2 + QPoint(20, 20), part.size() * 2);
            EXPECT_TRUE(partly.copy(pixels) == whole.copy(pixels))
                << i << " at " << part.x() << ", " << part.y();
        }
    }
}

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
    EXPECT_TRUE(near(colorAt(image, {190, 45.6}), over(kit::white(0.08), kTitleBar), 3)) << "separator";
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
    EXPECT_TRUE(near(colorAt(image, {13.5, 13.5}), over(kit::rgb(0xFF5F57, 0.45), OBTokens::canvas()), 3));
    EXPECT_TRUE(near(colorAt(image, {60, 29}), Qt::white)) << "a rule without a width spans the stack";
    EXPECT_TRUE(near(colorAt(image, {108, 29}), Qt::white));
    EXPECT_LT(colorAt(image, {10.2, 27.2}).red(), 60) << "round ends";
    EXPECT_TRUE(near(colorAt(image, {53.5, 43}), Qt::white)) << "a fixed rule is exactly its width";
    EXPECT_TRUE(near(colorAt(image, {54.5, 43}), OBTokens::canvas()));
}

TEST(RevealVariant, RawValuesRoundTripAndMatchOnlyExactly)
{
    for (const RevealVariant v : reveal::allCases()) {
        EXPECT_EQ(reveal::fromRawValue(reveal::rawValue(v)), v);
    }
    EXPECT_EQ(reveal::fromRawValue("Search"), std::nullopt);
    EXPECT_EQ(reveal::fromRawValue("work chat"), std::nullopt);
}

// The strips' own insets are checked in the gallery's picture of the pile.
TEST(RevealStack, ShowsTheFrontWindowUnderAtMostThreeBackStrips)
{
    KitEnvironment env;
    const RevealStack none{{}, 6};
    const RevealStack five{{V::Search, V::Workchat, V::Banking, V::Files, V::Messages}, 9};
    EXPECT_EQ(none.front(), V::Workchat);
    EXPECT_TRUE(none.strips().isEmpty());
    EXPECT_TRUE((RevealStack{{V::Files}, 6}).strips().isEmpty());
    EXPECT_EQ((RevealStack{{V::Banking, V::Files, V::Messages}, 6}).strips().size(), 2);
    EXPECT_EQ(five.strips().size(), 3);

    // The pile is the strip area over the front window, whatever lies behind.
    const double window = RevealWindow{V::Search}.item().sizeThatFits({238, std::nullopt}).height();
    EXPECT_EQ(five.item().sizeThatFits({238, std::nullopt}).height(), 27 + window);
    EXPECT_EQ(none.item().sizeThatFits({238, std::nullopt}),
              RevealWindow{V::Workchat}.item().sizeThatFits({238, std::nullopt}));
}

TEST(Bubble, SpansItsWidthWhateverItsFractionAndGrowsWithItsText)
{
    KitEnvironment env;
    const QString words = QStringLiteral("Call me when you're out of class — nothing urgent!");
    const Item bubble = Bubble{words, 10, 0.9, std::nullopt}.item();
    const Item fraction = Bubble{words, 10, 0.9, 0.8}.item();
    const QSizeF plain = bubble.sizeThatFits({200, std::nullopt});
    EXPECT_EQ(fraction.sizeThatFits({200, std::nullopt}), plain);
    EXPECT_EQ(plain.width(), 200);
    EXPECT_GT(plain.height(), bubble.sizeThatFits({400, std::nullopt}).height())
        << "narrower, it wraps onto more lines";
}

TEST(MockPictures, GalleriesOfTheChromeAndOfEveryWindow)
{
    KitEnvironment env;
    const auto caption = [](const QString& s) {
        return text(s.toUpper(), OBFont::mono(FontWeight::regular, 9).tracked(1.4), OBTokens::textMuted());
    };
    // A sheet drawn at its ideal size, written among the run's pictures and read back.
    const auto gallery = [](const Item& sheet, const QString& name) {
        MockPicture picture(sheet);
        picture.resize(picture.sizeHint());
        EXPECT_EQ(picture.heightForWidth(picture.width()), picture.height());
        EXPECT_TRUE(kit::writeViewPng(picture, picturePath(name), 2.0, OBTokens::canvas()));
        return QImage(picturePath(name));
    };
    const auto at = [](const QImage& image, QPointF p) {
        return image.pixelColor((p * 2).toPoint());
    };
    const auto labelled = [&](const QString& name, const Item& item, double width) {
        return vstack(Qt::AlignLeft, 10, {caption(name), item.frame(width, std::nullopt, Qt::AlignTop)});
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
    const Item shells = hstack(
        Qt::AlignTop,
        32,
        {labelled(QStringLiteral("shell"), shell(QStringLiteral("Mail"), mail).item(), 220),
         labelled(QStringLiteral("long name, accessory"),
                  shell(QStringLiteral("Online Banking — Personal Accounts"),
                        Rule{std::nullopt, 20, 6, OBTokens::hairline()}.item().padding(11),
                        Rule{24, 8, 999, OBTokens::flame()}.item())
                      .item(),
                  180),
         labelled(QStringLiteral("no name"), shell(QString(), Item().frame(std::nullopt, 40)).item(), 140)});
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
    const QImage chrome =
        gallery(vstack(Qt::AlignLeft, 56, {shells, parts}).padding(QMarginsF(32, 32, 32, 56)),
                QStringLiteral("onboarding-mock-chrome"));
    // The first window's first light sits 10 points into its title bar, below the caption.
    const double captionHeight = caption("SHELL").sizeThatFits({}).height();
    EXPECT_TRUE(near(at(chrome, {32 + 10 + 3.5, 32 + captionHeight + 10 + 13}), kit::rgb(0xFF5F57), 3));

    QList<Item> previews;
    for (const PersonaPreview p :
         {PersonaPreview::Email, PersonaPreview::Notes, PersonaPreview::Finance, PersonaPreview::Chat}) {
        previews << labelled(PersonaPreviewWindow::app(p), PersonaPreviewWindow{p}.item(), 300);
    }
    QList<Item> reveals;
    for (const RevealVariant v : reveal::allCases()) {
        reveals << labelled(reveal::rawValue(v), RevealWindow{v}.item(), 238);
    }
    const QList<RevealVariant> pile{V::Banking, V::Files, V::Messages, V::Workchat, V::Search};
    const Item slide = labelled(QStringLiteral("slide"), PresentationSlideWindow().item(), 465);
    const Item sheet =
        vstack(Qt::AlignLeft,
               56,
               {hstack(Qt::AlignTop, 32, previews),
                hstack(Qt::AlignTop, 32, reveals),
                hstack(Qt::AlignTop,
                       32,
                       {labelled(QStringLiteral("pile of five"), RevealStack{pile, 9}.item(), 238),
                        labelled(QStringLiteral("pile of two"), RevealStack{pile.mid(0, 2), 9}.item(), 238),
                        slide})})
            .padding(QMarginsF(32, 32, 32, 64));
    const QImage windows = gallery(sheet, QStringLiteral("onboarding-mock-windows"));

    // The third row: the pile of five, then the slide 2 × (238 + 32) to the right.
    const double labelHeight = captionHeight + 10;
    double top = 32;
    for (const QList<Item>* row : {&previews, &reveals}) {
        top += hstack(Qt::AlignTop, 32, *row).sizeThatFits({}).height() + 56;
    }
    // The pile's topmost strip, inset 24 from the leading side and 10 from the trailing one.
    const QPointF strip(32 + 24 + 1.5, top + labelHeight + 5);
    EXPECT_TRUE(near(at(windows, strip + QPointF(100, 0)), kit::rgb(0x1C1F27), 3));
    EXPECT_TRUE(near(at(windows, strip - QPointF(3, 0)), OBTokens::canvas(), 3))
        << "inset on the leading side";

    // The slide's last bar is the flame gradient, the others the flat hairline over the card.
    const QPointF slideOrigin(32 + 2 * (238 + 32), top + labelHeight);
    const QSizeF slideSize = PresentationSlideWindow().item().sizeThatFits({465, std::nullopt});
    const double barWidth = (465 - 26 - 5 * 6) / 6.0;
    const double chartBottom = slideOrigin.y() + slideSize.height() - 13 - 2;
    const QColor top6 = at(windows, {slideOrigin.x() + 13 + 5.5 * barWidth + 5 * 6, chartBottom - 55});
    const QColor bottom6 = at(windows, {slideOrigin.x() + 13 + 5.5 * barWidth + 5 * 6, chartBottom - 3});
    const QColor bar1 = at(windows, {slideOrigin.x() + 13 + 0.5 * barWidth, chartBottom - 3});
    EXPECT_TRUE(near(top6, kit::rgb(0xFF8C33), 8)) << top6.name().toStdString();
    EXPECT_TRUE(near(bottom6, kit::rgb(0xE66000), 8)) << bottom6.name().toStdString();
    EXPECT_TRUE(near(bar1, over(OBTokens::hairlineHover(), OBTokens::surfaceHigh()), 3))
        << bar1.name().toStdString();
}
