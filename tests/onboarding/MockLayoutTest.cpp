#include "onboarding/MockLayout.h"

#include "onboarding/MockWindowChrome.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

using namespace mock;
using kit::FontWeight;
using testing_support::KitEnvironment;

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
        using testing_support::colorAt;
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
