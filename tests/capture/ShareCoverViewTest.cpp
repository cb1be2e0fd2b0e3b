#include "capture/ShareCoverView.h"

#include "shell/kit/Fonts.h"
#include "shell/kit/Palette.h"
#include "tests/support/BundledFonts.h"
#include "tests/support/CurrentServices.h"
#include "tests/support/TestDesktop.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The process's services for one test, with the application's fonts.
struct ShareCoverPicture : ::testing::Test
{
    ShareCoverPicture() { testing_support::registerBundledFonts(); }

    testing_support::TestDesktop t;
    testing_support::CurrentServices current{t.services()};
};

QColor blend(const QColor& top, double alpha, const QColor& base)
{
    return QColor::fromRgbF(static_cast<float>(top.redF() * alpha + base.redF() * (1 - alpha)),
                            static_cast<float>(top.greenF() * alpha + base.greenF() * (1 - alpha)),
                            static_cast<float>(top.blueF() * alpha + base.blueF() * (1 - alpha)));
}

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

// The brightest grey level in a band of rows (in points of a 2× image).
int brightestIn(const QImage& image, double top, double bottom)
{
    int best = 0;
    for (int y = static_cast<int>(top * 2); y < static_cast<int>(bottom * 2); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            best = std::max(best, qGreen(image.pixel(x, y)));
        }
    }
    return best;
}

} // namespace

TEST(ShareCoverMetrics, ScaleWithTheSmallerSide)
{
    EXPECT_DOUBLE_EQ(ShareCoverView::Metrics::forSize(QSizeF(300, 900), false).unit, 3);
    EXPECT_DOUBLE_EQ(ShareCoverView::Metrics::forSize(QSizeF(2000, 500), false).unit, 5);
}

TEST_F(ShareCoverPicture, RendersAtTwiceTheAskedSizeOrGivesNone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<double, double, std::optional<QSize>> cases[] = {
        {1512, 982, QSize(3024, 1964)},
        {100.5, 40.25, QSize(201, 81)},
        // Nothing to draw, or more than a bitmap can hold.
        {0, 982, std::nullopt},
        {1512, 0, std::nullopt},
        {-10, 982, std::nullopt},
        {nan, 982, std::nullopt},
        {1512, inf, std::nullopt},
        {0.1, 0.1, std::nullopt},
        {1e9, 10, std::nullopt},
        {40000, 40000, std::nullopt},
    };
    for (const auto& [w, h, size] : cases) {
        const auto image = ShareCoverView::renderImage(w, h);
        EXPECT_EQ(image ? std::optional(image->size()) : std::nullopt, size) << w << " x " << h;
        // A point of the image is a pixel.
        EXPECT_TRUE(!image || image->devicePixelRatio() == 1.0);
    }
}

TEST_F(ShareCoverPicture, DrawsTheGlowAndTheTextsWhereTheyBelong)
{
    const auto rendered = ShareCoverView::renderImage(1000, 600);
    ASSERT_TRUE(rendered.has_value());
    const QImage& image = *rendered;
    const QString folder = qEnvironmentVariable("VEILMOX_TEST_TMP", QDir::tempPath());
    QDir().mkpath(folder);
    EXPECT_TRUE(image.save(QDir(folder).filePath(QStringLiteral("share-cover.png"))));
    const double s = 6; // a hundredth of the smaller side
    auto at = [&](double x, double y) {
        return image.pixelColor(static_cast<int>(x * 2), static_cast<int>(y * 2));
    };

    // Beyond the glow's reach only the canvas remains.
    EXPECT_TRUE(near(at(2, 2), kit::Palette::canvas(), 1));
    // 25 units from the centre, clear of the logo and the texts: 5/12 of the way out, between
    // the inner stop (0.22) and the middle one (0.05).
    const double alpha = 0.22 + (0.05 - 0.22) * ((25.0 / 60) / 0.5);
    EXPECT_TRUE(
        near(at(500 - 20 * s, 300 - 15 * s), blend(kit::Palette::flame(), alpha, kit::Palette::canvas()), 3));

    // The title is white; the subtitle and the label are the muted whites over the glow, brighter
    // under Increase Contrast.
    EXPECT_GE(brightestIn(image, 300 - 4 * s, 300 + 6 * s), 250);
    const auto texts = [s](const QImage& picture) {
        return std::pair(brightestIn(picture, 300 + 9 * s, 300 + 13 * s),
                         brightestIn(picture, 300 + 15 * s, 300 + 20 * s));
    };
    const auto [subtitle, label] = texts(image);
    EXPECT_TRUE(subtitle > 130 && subtitle < 180 && label > 110 && label < 175) << subtitle << ", " << label;
    t.accessibility.setIncreaseContrast(true);
    const auto contrast = ShareCoverView::renderImage(1000, 600);
    ASSERT_TRUE(contrast.has_value());
    const auto [brighterSubtitle, brighterLabel] = texts(*contrast);
    EXPECT_GT(brighterSubtitle, subtitle + 50);
    EXPECT_GT(brighterLabel, label + 30);
}
