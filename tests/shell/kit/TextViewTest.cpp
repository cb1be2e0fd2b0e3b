#include "shell/kit/TextView.h"

#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <tuple>

using namespace kit;
using namespace testing_support;

namespace {

TextLook bodyLook()
{
    return {geistFontName(FontWeight::regular), 13, 0, Palette::textPrimary()};
}

const QString kGuide =
    QStringLiteral("Pick the Veilmox screen — Screen 2 with one monitor, otherwise the last "
                   "screen listed in the meeting app's picker.");

// The first and last columns with ink, in points.
std::pair<double, double> inkSpan(const QImage& image)
{
    int first = image.width();
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).lightness() > 120) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    const double dpr = image.devicePixelRatio();
    return {first / dpr, (last + 1) / dpr};
}

} // namespace

TEST(TextBlock, WrapsAtTheWidthSpacesLinesAndCutsToTheLineLimit)
{
    KitEnvironment env;
    const QList<TextRun> runs{{kGuide, false, std::nullopt}};
    const double line =
        TextBlock({{QStringLiteral("x"), false, std::nullopt}}, bodyLook(), {}, 1000).size().height();
    const TextBlock oneLine(runs, bodyLook(), {}, 2000);
    EXPECT_EQ(oneLine.lineCount(), 1);

    const TextBlock wrapped(runs, bodyLook(), {3, TextAlignment::Leading, 0}, 160);
    ASSERT_GE(wrapped.lineCount(), 3);
    const int n = wrapped.lineCount();
    EXPECT_DOUBLE_EQ(wrapped.size().height(), n * line + (n - 1) * 3);
    EXPECT_LE(wrapped.size().width(), 160);
    EXPECT_EQ(wrapped.lineTexts().join(QLatin1Char(' ')), kGuide) << "nothing lost, nothing cut";
    EXPECT_FALSE(wrapped.isTruncated());

    const TextBlock limited(runs, bodyLook(), {3, TextAlignment::Leading, 2}, 160);
    EXPECT_EQ(limited.lineCount(), 2);
    EXPECT_TRUE(limited.isTruncated());
    EXPECT_DOUBLE_EQ(limited.size().height(), 2 * line + 3);
    EXPECT_EQ(limited.lineTexts().front(), wrapped.lineTexts().front());
    EXPECT_TRUE(limited.lineTexts().back().endsWith(QStringLiteral("…")));
    EXPECT_LE(limited.size().width(), 160);

    // A written line break always starts a line: the onboarding headline's tail.
    const TextBlock headline({{QStringLiteral("Your shield is"), false, std::nullopt},
                              {QStringLiteral("\narmed."), false, Palette::flameSoft()}},
                             bodyLook(),
                             {},
                             1000);
    EXPECT_EQ(headline.lineTexts(),
              QStringList({QStringLiteral("Your shield is"), QStringLiteral("armed.")}));
}

TEST(TextBlock, EmphasisMarkersMakeBoldRuns)
{
    const std::tuple<QString, QList<TextRun>> cases[] = {
        {QStringLiteral("Click **Share Screen**."),
         {{QStringLiteral("Click "), false, std::nullopt},
          {QStringLiteral("Share Screen"), true, std::nullopt},
          {QStringLiteral("."), false, std::nullopt}}},
        {QStringLiteral("**%** chip"),
         {{QStringLiteral("%"), true, std::nullopt}, {QStringLiteral(" chip"), false, std::nullopt}}},
        {QStringLiteral("a ** b"), {{QStringLiteral("a ** b"), false, std::nullopt}}},
    };
    for (const auto& [text, runs] : cases) {
        EXPECT_EQ(parseEmphasis(text), runs) << text.toStdString();
    }
    EXPECT_EQ(emphasizedLook(bodyLook()).face, QStringLiteral("Geist-SemiBold"));
    EXPECT_EQ(emphasizedLook(monoMutedLabel(9)).face, QStringLiteral("GeistMono-Medium"));
}

TEST(TextView, TakesTheHeightForItsWidthInALayoutAndAlignsItsLines)
{
    KitEnvironment env;
    QWidget column;
    column.setFixedWidth(200);
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new TextView(kGuide, bodyLook(), {2, TextAlignment::Center, 0});
    layout->addWidget(text);
    layout->addStretch();
    column.resize(200, 400);
    renderView(column);
    EXPECT_EQ(text->height(), text->heightForWidth(200));
    EXPECT_EQ(text->height(), static_cast<int>(std::ceil(text->layoutAt(200).size().height())));
    EXPECT_GT(text->height(), 2 * text->minimumSizeHint().height()) << "wrapped";

    // One short line in a 300-point view: centred, then against the trailing edge.
    TextView line(QStringLiteral("Hidden apps"), bodyLook(), {0, TextAlignment::Center, 0});
    line.resize(300, 20);
    auto [left, right] = inkSpan(renderView(line, 2.0, Palette::canvas()));
    EXPECT_NEAR((left + right) / 2, 150, 1.5);
    line.setOptions({0, TextAlignment::Trailing, 0});
    std::tie(left, right) = inkSpan(renderView(line, 2.0, Palette::canvas()));
    EXPECT_NEAR(right, 300, 1.5);
    EXPECT_EQ(line.accessibleName(), QStringLiteral("Hidden apps"));

    // Contents margins pad the text: it wraps inside them, and the size holds them.
    text->setContentsMargins(8, 6, 8, 6);
    renderView(column);
    EXPECT_EQ(text->height(), static_cast<int>(std::ceil(text->layoutAt(184).size().height())) + 12);
    EXPECT_EQ(text->sizeHint().width(), TextView(kGuide, bodyLook()).sizeHint().width() + 16);
    const QImage padded = renderView(*text, 2.0, Palette::canvas());
    std::tie(left, right) = inkSpan(padded);
    EXPECT_GE(left, 8);
    EXPECT_LE(right, 192);
    EXPECT_EQ(inkSpan(padded.copy(0, 0, padded.width(), 12)).second, 0) << "nothing above 6";
}
