// The mock windows of the goal and demo steps: the reveal windows' names and their pile, chat
// bubbles, and a gallery of every window with sentinel pixels of the slide and the pile.
#include "onboarding/MockPicture.h"
#include "onboarding/mocks/Bubble.h"
#include "onboarding/mocks/PersonaPreviewWindow.h"
#include "onboarding/mocks/PresentationSlideWindow.h"
#include "onboarding/mocks/RevealWindow.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <gtest/gtest.h>

using namespace mock;
using namespace testing_support;
using V = RevealVariant;

TEST(RevealVariant, RawValuesAreExactAndLowerCase)
{
    QStringList raw;
    for (const RevealVariant v : reveal::allCases()) {
        raw << reveal::rawValue(v);
        EXPECT_EQ(reveal::fromRawValue(reveal::rawValue(v)), v);
    }
    EXPECT_EQ(raw, (QStringList{"search", "workchat", "banking", "files", "messages"}));
    EXPECT_EQ(reveal::fromRawValue("Search"), std::nullopt);
    EXPECT_EQ(reveal::fromRawValue("work chat"), std::nullopt);
}

TEST(RevealStack, ShowsTheFrontWindowUnderAtMostThreeBackStrips)
{
    KitEnvironment env;
    using Strip = RevealStack::Strip;
    const auto strips = [](const QList<RevealStack::Strip>& list) {
        QList<std::tuple<double, double, double>> plain;
        for (const Strip& s : list) {
            plain.append({s.leadingInset, s.trailingInset, s.offsetY});
        }
        return plain;
    };
    const RevealStack none{{}, 6};
    const RevealStack one{{V::Files}, 6};
    EXPECT_TRUE(none.strips().isEmpty());
    EXPECT_EQ(none.front(), V::Workchat);
    EXPECT_TRUE(one.strips().isEmpty());
    const RevealStack three{{V::Banking, V::Files, V::Messages}, 6};
    EXPECT_EQ(strips(three.strips()), (QList<std::tuple<double, double, double>>{{4, 0, 6}, {14, 5, 0}}));
    EXPECT_EQ(three.stripAreaHeight(), 12);
    const RevealStack five{{V::Search, V::Workchat, V::Banking, V::Files, V::Messages}, 9};
    EXPECT_EQ(strips(five.strips()),
              (QList<std::tuple<double, double, double>>{{4, 0, 18}, {14, 5, 9}, {24, 10, 0}}));

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

TEST(MockWindows, GalleryPicture)
{
    KitEnvironment env;
    const auto caption = [](const QString& s) {
        return text(
            s.toUpper(), OBFont::mono(kit::FontWeight::regular, 9).tracked(1.4), OBTokens::textMuted());
    };
    const auto labelled = [&](const QString& name, const Item& item, double width) {
        return vstack(Qt::AlignLeft, 10, {caption(name), item.frame(width, std::nullopt, Qt::AlignTop)});
    };
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
    MockPicture picture(sheet);
    picture.resize(picture.sizeHint());
    const QString path = picturePath(QStringLiteral("onboarding-mock-windows"));
    ASSERT_TRUE(kit::writeViewPng(picture, path, 2.0, OBTokens::canvas()));
    const QImage image(path);
    ASSERT_FALSE(image.isNull());

    // The third row: the pile of five, then the slide 2 × (238 + 32) to the right.
    const double captionHeight = caption("x").sizeThatFits({}).height() + 10;
    double top = 32;
    for (const QList<Item>* row : {&previews, &reveals}) {
        top += hstack(Qt::AlignTop, 32, *row).sizeThatFits({}).height() + 56;
    }
    const auto at = [&](QPointF p) {
        return image.pixelColor((p * 2).toPoint());
    };
    // The pile's topmost strip, inset 24 from the leading side and 10 from the trailing one.
    const QPointF strip(32 + 24 + 1.5, top + captionHeight + 5);
    EXPECT_TRUE(near(at(strip + QPointF(100, 0)), kit::rgb(0x1C1F27), 3));
    EXPECT_TRUE(near(at(strip - QPointF(3, 0)), OBTokens::canvas(), 3)) << "inset on the leading side";

    // The slide's last bar is the flame gradient, the others the flat hairline over the card.
    const QPointF slideOrigin(32 + 2 * (238 + 32), top + captionHeight);
    const QSizeF slideSize = PresentationSlideWindow().item().sizeThatFits({465, std::nullopt});
    const double barWidth = (465 - 26 - 5 * 6) / 6.0;
    const double chartBottom = slideOrigin.y() + slideSize.height() - 13 - 2;
    const QColor top6 = at({slideOrigin.x() + 13 + 5.5 * barWidth + 5 * 6, chartBottom - 55});
    const QColor bottom6 = at({slideOrigin.x() + 13 + 5.5 * barWidth + 5 * 6, chartBottom - 3});
    const QColor bar1 = at({slideOrigin.x() + 13 + 0.5 * barWidth, chartBottom - 3});
    EXPECT_TRUE(near(top6, kit::rgb(0xFF8C33), 8)) << top6.name().toStdString();
    EXPECT_TRUE(near(bottom6, kit::rgb(0xE66000), 8)) << bottom6.name().toStdString();
    EXPECT_TRUE(near(bar1, over(OBTokens::hairlineHover(), OBTokens::surfaceHigh()), 3))
        << bar1.name().toStdString();
}
