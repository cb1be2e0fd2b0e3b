// The preview card's resampling of a frame, and a new frame shown on screen through the card's
// own picture view.
#include "popover/PreviewCard.h"

#include "bench/PaintCounter.h"
#include "popover/MainPageView.h"
#include "shell/kit/Palette.h"
#include "tests/popover/MainPageFixture.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/support/OnScreen.h"

#include <QApplication>
#include <QPainter>

#include <vector>

using namespace testing_support;

TEST(PreviewCardSampling, ReadsFewerRowsThanItDrawsYetKeepsEachBandInPlace)
{
    // Forty rows in four bands, eight columns in two halves (the right half darker).
    QImage frame(8, 40, QImage::Format_ARGB32_Premultiplied);
    const QColor bands[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    for (int band = 0; band < 4; ++band) {
        QPainter(&frame).fillRect(0, band * 10, 8, 10, bands[band]);
    }
    QPainter(&frame).fillRect(4, 0, 4, 40, QColor(0, 0, 0, 128));
    struct Case
    {
        int rowsRead;
        std::vector<int> bandOfRow; // for each of the eight rows drawn
    };
    const Case cases[] = {
        {8, {0, 0, 1, 1, 2, 2, 3, 3}},
        {4, {0, 0, 1, 1, 2, 2, 3, 3}},
        {2, {1, 1, 1, 1, 3, 3, 3, 3}},
        {1, {2, 2, 2, 2, 2, 2, 2, 2}},
    };
    for (const Case& c : cases) {
        QImage drawn(4, 8, QImage::Format_RGB32);
        PreviewCard::scaleInto(frame, drawn, c.rowsRead);
        for (int y = 0; y < 8; ++y) {
            const QColor band = bands[c.bandOfRow[static_cast<std::size_t>(y)]];
            EXPECT_EQ(drawn.pixelColor(1, y), band) << c.rowsRead << " rows read, row " << y;
            EXPECT_NE(drawn.pixelColor(3, y), band) << "the right half stays apart";
        }
    }
}

TEST_F(MainPageFixture, ANewFrameReachesTheScreenThroughTheCardsPictureAndRoundedCorners)
{
    useMainDisplay(QRectF(0, 0, 320, 200), 2, Qt::darkGray);
    open();
    PreviewCard& card = *page().previewCard();
    QWidget& popover = *card.window();
    const auto shownAt = [&](QPointF point) {
        const QImage screen = grabOnScreen(popover);
        const QPoint at = card.mapTo(&popover, point.toPoint());
        return screen.pixelColor((QPointF(at) * screen.devicePixelRatio()).toPoint());
    };
    // 2.2:1 fills the card's width and nearly its height, into its rounded corners: those stay
    // the card's own to draw, the picture view is kept out of them.
    QImage wide(440, 200, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::green);
    manager->setVirtualDisplayPreviewImage(wide);
    EXPECT_TRUE(near(shownAt({163, 75}), Qt::green));
    // A second frame of the same size repaints only what a frame changes.
    QImage blue(440, 200, QImage::Format_ARGB32_Premultiplied);
    blue.fill(Qt::blue);
    manager->setVirtualDisplayPreviewImage(blue);
    for (const QPointF inside : {QPointF(163, 75), QPointF(5, 75), QPointF(6, 8), QPointF(320, 141)}) {
        EXPECT_TRUE(near(shownAt(inside), Qt::blue)) << inside.x() << "," << inside.y();
    }
    EXPECT_FALSE(near(shownAt({0, 1}), Qt::blue, 60)) << "rounded off at the corner";

    // The same frame handed on again repaints nothing; another one does.
    bench::PaintCounter painted;
    card.findChild<QWidget*>(QStringLiteral("previewPicture"))->installEventFilter(&painted);
    manager->setVirtualDisplayPreviewImage(blue);
    QApplication::processEvents();
    EXPECT_EQ(painted.paints, 0);
    QImage red(440, 200, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    manager->setVirtualDisplayPreviewImage(red);
    EXPECT_TRUE(near(shownAt({163, 75}), Qt::red));
    EXPECT_GT(painted.paints, 0);
}
