#include "shell/kit/Backgrounds.h"

#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/VeiledBadge.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace kit;
using namespace testing_support;

TEST(CardBackground, ActivatingChangesOnlyTheBorderColour)
{
    KitEnvironment env;
    QWidget holder;
    auto* layout = new QVBoxLayout(&holder);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* card = new CardBackground(14);
    card->contentLayout()->addWidget(
        new TextLabel(QStringLiteral("Hi"), monoLabel(10, Palette::textPrimary())));
    layout->addWidget(card);
    holder.resize(300, 60);
    const QImage inactive = renderView(holder, 2.0, Palette::canvas());
    EXPECT_EQ(card->width(), 300) << "a card fills the available width around a short label";
    card->setActive(true);
    const QImage active = renderView(holder, 2.0, Palette::canvas());

    // The top border, half a point below the edge, then the fill inside.
    const QPointF border(150, 0.25);
    EXPECT_TRUE(near(colorAt(inactive, border), over(Palette::hairline(), Palette::surface()), 3));
    EXPECT_TRUE(near(colorAt(active, border), over(Palette::flameBorder(), Palette::surface()), 3));
    EXPECT_TRUE(near(colorAt(active, QPointF(150, 20)), Palette::surface(), 1));
    EXPECT_TRUE(near(colorAt(active, QPointF(0.5, 0.5)), Palette::canvas(), 2)) << "rounded corner";
}

TEST(FloatingBackground, WrapsItsContentAndCastsItsShadowOutside)
{
    KitEnvironment env;
    QWidget holder;
    auto* layout = new QVBoxLayout(&holder);
    layout->setContentsMargins(60, 20, 60, 80);
    auto* floating = new FloatingBackground(16);
    auto* content = new QWidget;
    content->setFixedSize(220, 90);
    auto* swatch = new QWidget(content);
    swatch->setGeometry(10, 10, 20, 20);
    swatch->setAutoFillBackground(true);
    QPalette red;
    red.setColor(QPalette::Window, Palette::red());
    swatch->setPalette(red);
    floating->contentLayout()->addWidget(content);
    layout->addWidget(floating, 0, Qt::AlignCenter);
    holder.resize(holder.sizeHint());
    const QImage image = renderView(holder, 2.0, Palette::canvas());
    EXPECT_EQ(floating->size(), QSize(220, 90));
    EXPECT_TRUE(near(colorAt(image, QPointF(170, 65)), Palette::surface(), 1));
    EXPECT_TRUE(near(colorAt(image, QPointF(60 + 20, 20 + 20)), Palette::red(), 1))
        << "its content is drawn over it";
    // Below the panel the shadow darkens the canvas; far away it does not.
    EXPECT_LT(colorAt(image, QPointF(170, 125)).red(), Palette::canvas().red());
    EXPECT_TRUE(near(colorAt(image, QPointF(2, 2)), Palette::canvas(), 1));
    const Shadow s = FloatingBackgroundStyle::shadow();
    EXPECT_NEAR(s.color.alphaF(), 0.7, 1e-3);
    EXPECT_EQ(std::tuple(s.radius, s.offset), std::tuple(30.0, QPointF(0, 18)));
}

TEST(ChipBackground, TheMaterialGivesWayToTheSurfaceUnderReduceTransparency)
{
    KitEnvironment env;
    ChipBackground chip;
    chip.resize(120, 24);
    const QImage material = renderView(chip, 2.0, Palette::canvas());
    EXPECT_TRUE(near(colorAt(material, QPointF(60, 12)), over(ChipBackgroundStyle::material()), 2));
    env.accessibility().setReduceTransparency(true);
    const QImage solid = renderView(chip, 2.0, Palette::canvas());
    EXPECT_TRUE(near(colorAt(solid, QPointF(60, 12)), Palette::surface(), 1));
    EXPECT_TRUE(near(colorAt(solid, QPointF(1, 1)), Palette::canvas(), 1)) << "a capsule, no border";
}

TEST(VeiledBadge, ShowsItsTextInCapitalsWithItsPadding)
{
    KitEnvironment env;
    VeiledBadge badge(QStringLiteral("Veiled"));
    EXPECT_EQ(VeiledBadgeStyle::displayText(QStringLiteral("veiLed")), QStringLiteral("VEILED"));
    const TextLook look = VeiledBadgeStyle::textLook();
    EXPECT_EQ(std::tuple(look.face, look.size), std::tuple(QStringLiteral("GeistMono-Medium"), 8.5));
    EXPECT_NEAR(look.tracking, 1.36, 1e-12);
    const QFontMetricsF metrics(look.font(&badge), &badge);
    const QSizeF size = VeiledBadgeStyle::size(QStringLiteral("Veiled"), &badge);
    EXPECT_NEAR(size.width(), metrics.horizontalAdvance(QStringLiteral("VEILED")) + 10, 1e-9);
    EXPECT_NEAR(size.height(), metrics.height() + 5, 1e-9);

    badge.resize(badge.sizeHint());
    const QImage image = renderView(badge, 2.0, Palette::canvas());
    // Left of the glyphs is fill; somewhere in the middle is a glyph in the soft flame.
    EXPECT_TRUE(near(colorAt(image, QPointF(3, badge.height() / 2.0)), Palette::flameShade(), 2));
    bool glyph = false;
    for (double x = 5; x < badge.width() - 5 && !glyph; x += 0.5) {
        glyph = near(colorAt(image, QPointF(x, badge.height() / 2.0)), Palette::flameSoft(), 40);
    }
    EXPECT_TRUE(glyph);
}

TEST(PulseDot, PulsesWhileShownUnlessReduceMotionIsOrItsPulseIsOff)
{
    KitEnvironment env;
    PulseDot dot(Palette::flame(), true);
    EXPECT_EQ(dot.sizeHint(), QSize(6, 6));
    EXPECT_FALSE(dot.isPulsing()) << "only once it comes on screen";
    renderView(dot);
    env.advance(0.4);
    EXPECT_NEAR(dot.currentOpacity(), 1 - 0.65 * 0.5, 0.02);
    env.advance(0.4);
    EXPECT_NEAR(dot.currentOpacity(), 0.35, 0.02);
    // Switching Reduce Motion on stops the pulse at full opacity; switching it off restarts it.
    env.accessibility().setReduceMotion(true);
    EXPECT_FALSE(dot.isPulsing());
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1);
    env.advance(1);
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1);
    env.accessibility().setReduceMotion(false);
    env.advance(0.8);
    EXPECT_NEAR(dot.currentOpacity(), 0.35, 0.02);

    dot.hide();
    EXPECT_FALSE(dot.isPulsing());
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1);

    // Shown under Reduce Motion it keeps its glow but does not pulse.
    env.accessibility().setReduceMotion(true);
    dot.show();
    env.advance(0.5);
    EXPECT_FALSE(dot.isPulsing());
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1);
    EXPECT_EQ(std::pair(PulseDotStyle::glowRadius(dot.pulses()), PulseDotStyle::glowRadius(false)),
              std::pair(3.0, 0.0));
    env.accessibility().setReduceMotion(false);

    // Its pulse switched off: back to full opacity and no more frames; switched on, it waits for
    // the next showing, and on again while shown it pulses from full opacity.
    dot.setPulses(false);
    dot.hide();
    dot.show();
    dot.setPulses(true);
    env.advance(0.8);
    EXPECT_FALSE(dot.isPulsing());
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1);
    dot.hide();
    dot.show();
    env.advance(0.8);
    EXPECT_NEAR(dot.currentOpacity(), 0.35, 0.02);
    dot.setPulses(false);
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1) << "back to full opacity";
    EXPECT_FALSE(dot.isPulsing()) << "and its frames stop";
    EXPECT_EQ(env.t.scheduler.pendingCount(), 0U);
    env.advance(0.4);
    dot.setPulses(true);
    EXPECT_TRUE(dot.isPulsing()) << "turned back on, it pulses again";
    EXPECT_DOUBLE_EQ(dot.currentOpacity(), 1) << "from full opacity";
    env.advance(0.8);
    EXPECT_NEAR(dot.currentOpacity(), 0.35, 0.02);
}

TEST(Shadow, AShadowDrawnAgainTakesItsOwnColourSizeAndPlace)
{
    // Shadows are kept between paints; each drawing must still show the one asked for.
    const auto drawn = [](const QColor& color, double radius, const QRectF& shape) {
        QImage image(120, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QPainterPath path;
        path.addRect(shape);
        drawShadow(painter, path, Shadow{color, radius, {}});
        return image;
    };
    const QRectF left(20, 20, 20, 20);
    const QImage red = drawn(Qt::red, 6, left);
    const QImage blue = drawn(Qt::blue, 6, left);
    EXPECT_GT(red.pixelColor(30, 30).red(), 200);
    EXPECT_EQ(blue.pixelColor(30, 30).red(), 0);
    EXPECT_GT(blue.pixelColor(30, 30).blue(), 200);
    // A wider blur reaches further out; a shape elsewhere casts its shadow there.
    EXPECT_GT(drawn(Qt::red, 12, left).pixelColor(10, 30).alpha(), red.pixelColor(10, 30).alpha());
    const QImage moved = drawn(Qt::red, 6, left.translated(60, 0));
    EXPECT_EQ(moved.pixelColor(30, 30).alpha(), 0);
    EXPECT_GT(moved.pixelColor(90, 30).red(), 200);
    EXPECT_EQ(drawn(Qt::red, 6, left), red) << "the same shadow twice draws the same pixels";
}
