#include "shell/kit/Fonts.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Typography.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/support/BundledFonts.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kit;
using testing_support::KitEnvironment;

TEST(Palette, ColoursAreTheExactSrgbComponents)
{
    const std::tuple<const QColor&, unsigned, double> cases[] = {
        {Palette::canvas(), 0x0B0C0E, 1},
        {Palette::surface(), 0x121316, 1},
        {Palette::surfaceRaised(), 0x17181C, 1},
        {Palette::surfaceHigh(), 0x212227, 1},
        {Palette::hairline(), 0xFFFFFF, 0.08},
        {Palette::hairlineStrong(), 0xFFFFFF, 0.28},
        {Palette::textPrimary(), 0xFFFFFF, 1},
        {Palette::flame(), 0xFF7A17, 1},
        {Palette::flameSoft(), 0xFFB37A, 1},
        {Palette::flameShade(), 0x1D1104, 1},
        {Palette::flameBorder(), 0xFF6D00, 0.45},
        {Palette::inkOnLight(), 0x050506, 1},
        {Palette::inkOnFlame(), 0x160B02, 1},
        {Palette::blue(), 0x60A5FA, 1},
        {Palette::blueTint(), 0x3B82F6, 0.12},
        {Palette::red(), 0xFF5F56, 1},
        {Palette::windowBackground(), 0x0B0C0E, 1},
        {Palette::hairlineBright(), 0xFFFFFF, 0.28},
        {Palette::flameWash(), 0x1D1104, 1},
        {Palette::ink(), 0x050506, 1},
        {Palette::flameInk(), 0x160B02, 1},
        {Palette::live(), 0x60A5FA, 1},
        {Palette::rose(), 0xFF5F56, 1},
    };
    for (const auto& [colour, rgb, opacity] : cases) {
        EXPECT_EQ(colour.rgb() & 0xFFFFFF, rgb) << std::hex << rgb;
        EXPECT_NEAR(colour.alphaF(), opacity, 1e-4) << std::hex << rgb;
    }
    // From the top-leading to the bottom-trailing corner of whatever it fills.
    const QLinearGradient& gradient = Palette::flameGradient();
    ASSERT_EQ(gradient.stops().size(), 2);
    EXPECT_EQ(gradient.stops()[0].second.rgb() & 0xFFFFFF, 0xFF8C33U);
    EXPECT_EQ(gradient.stops()[1].second.rgb() & 0xFFFFFF, 0xF06D00U);
    EXPECT_EQ(std::tuple(gradient.start(), gradient.finalStop()), std::tuple(QPointF(0, 0), QPointF(1, 1)));
    EXPECT_EQ(gradient.coordinateMode(), QGradient::ObjectMode);
}

TEST(Typography, TextStyleForPointSize)
{
    const std::pair<double, TextStyle> cases[] = {
        {10.99, TextStyle::Caption2},
        {11, TextStyle::Caption},
        {13, TextStyle::Body},
        {16.9, TextStyle::Body},
        {17, TextStyle::Title3},
        {22, TextStyle::Title2},
        {30, TextStyle::Title},
        {37.9, TextStyle::Title},
        {38, TextStyle::LargeTitle},
        {0, TextStyle::Caption2},
        {-4, TextStyle::Caption2},
        {std::numeric_limits<double>::quiet_NaN(), TextStyle::LargeTitle},
        {std::numeric_limits<double>::infinity(), TextStyle::LargeTitle},
    };
    for (const auto& [size, style] : cases) {
        EXPECT_EQ(textStyle(size), style) << size;
    }
}

TEST(Typography, FaceNamesForWeights)
{
    const std::tuple<FontWeight, const char*, const char*> cases[] = {
        {FontWeight::light, "Geist-Regular", "GeistMono-Medium"},
        {FontWeight::regular, "Geist-Regular", "GeistMono-Regular"},
        {FontWeight::medium, "Geist-Medium", "GeistMono-Medium"},
        {FontWeight::semibold, "Geist-SemiBold", "GeistMono-Medium"},
        {FontWeight::black, "Geist-SemiBold", "GeistMono-Medium"},
        {FontWeight{0.25}, "Geist-Regular", "GeistMono-Medium"}, // a custom weight
    };
    for (const auto& [weight, text, mono] : cases) {
        EXPECT_EQ(geistFontName(weight), QString::fromLatin1(text)) << weight.value;
        EXPECT_EQ(geistMonoFontName(weight), QString::fromLatin1(mono)) << weight.value;
    }
}

TEST(Typography, MonoLabelsTrackByTheirShareOfTheSizeAndMutedOnesFollowIncreaseContrast)
{
    KitEnvironment env;
    const TextLook label = monoLabel(9, Palette::flame());
    const TextLook muted = monoMutedLabel(9);
    EXPECT_EQ(std::tuple(label.face, label.color, muted.face, muted.color),
              std::tuple(QStringLiteral("GeistMono-Regular"), Palette::flame(), label.face, white(0.52)));
    EXPECT_NEAR(label.tracking, 2.16, 1e-12);
    EXPECT_NEAR(muted.tracking, 1.44, 1e-12);
    env.accessibility().setIncreaseContrast(true);
    EXPECT_EQ(monoMutedLabel(9).color, white(0.78));
}

TEST(Typography, OnePointIsOneDeviceIndependentPixelWhateverTheDeviceResolution)
{
    KitEnvironment env;
    QImage normal(10, 10, QImage::Format_ARGB32_Premultiplied);
    QImage dense(10, 10, QImage::Format_ARGB32_Premultiplied);
    dense.setDotsPerMeterX(7559); // 192 dpi
    dense.setDotsPerMeterY(7559);
    const QString text = QStringLiteral("Be right back");
    const QFont a = customFont(QStringLiteral("Geist-SemiBold"), 40, &normal);
    const QFont b = customFont(QStringLiteral("Geist-SemiBold"), 40, &dense);
    EXPECT_NEAR(QFontMetricsF(a, &normal).horizontalAdvance(text),
                QFontMetricsF(b, &dense).horizontalAdvance(text),
                0.5);
    EXPECT_NEAR(QFontMetricsF(a, &normal).height(), QFontMetricsF(b, &dense).height(), 0.5);
    // A size that makes no sense still gives a usable font, and a missing face falls back.
    EXPECT_GT(customFont(QStringLiteral("Geist-Regular"), -3, &normal).pointSizeF(), 0);
    EXPECT_GT(customFont(QStringLiteral("Geist-Regular"), std::nan(""), &normal).pointSizeF(), 0);
    EXPECT_FALSE(QFontInfo(customFont(QStringLiteral("NoSuchFace-Bold"), 12, &normal)).family().isEmpty());
}

TEST(Fonts, TheApplicationsGeistFacesAreRegistered)
{
    KitEnvironment env;
    if (!QFile::exists(QStringLiteral(":/Fonts/Geist-Regular.ttf"))) {
        GTEST_SKIP() << "the Geist font files are not in this build's resources";
    }
    const std::pair<const char*, const char*> faces[] = {{"Geist-Regular", "Regular"},
                                                         {"Geist-Medium", "Medium"},
                                                         {"Geist-SemiBold", "SemiBold"},
                                                         {"GeistMono-Regular", "Regular"},
                                                         {"GeistMono-Medium", "Medium"}};
    for (const auto& [face, style] : faces) {
        const QFontInfo info(customFont(QString::fromLatin1(face), 12));
        EXPECT_TRUE(info.family().startsWith(QStringLiteral("Geist"))) << face;
        EXPECT_EQ(info.styleName(), QString::fromLatin1(style)) << face;
    }
    EXPECT_TRUE(registerFontFiles(fontFilesToRegister(appFontFolders())).isEmpty()) << "registered once only";
}

namespace {
void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}
} // namespace

TEST(Fonts, OnlyTtfFilesNamedGeistAtTheTopOrInTheFontsFolderAreChosen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    for (const char* file : {"Geist-Top.ttf",
                             "Other-Regular.ttf",
                             "Geist-Upper.TTF",
                             "Fonts/GeistMono-Test.ttf",
                             "Fonts/geist-lower.ttf",
                             "Fonts/Geist-Outline.otf",
                             "Fonts/Deeper/Geist-Deep.ttf",
                             "Elsewhere/Geist-Elsewhere.ttf"}) {
        writeFile(root + QLatin1Char('/') + QString::fromLatin1(file), "x");
    }
    const QStringList chosen = fontFilesToRegister({root, root + QStringLiteral("/Fonts")});
    EXPECT_EQ(chosen,
              QStringList({root + QStringLiteral("/Geist-Top.ttf"),
                           root + QStringLiteral("/Fonts/GeistMono-Test.ttf")}));
    EXPECT_TRUE(fontFilesToRegister({root + QStringLiteral("/missing")}).isEmpty());
    EXPECT_EQ(appFontFolders(), QStringList({QStringLiteral(":/"), QStringLiteral(":/Fonts")}));
}

TEST(Fonts, RegistrationSkipsUnreadableFilesAndRegistersEachFontOnce)
{
    KitEnvironment env;
    QFile source(QStringLiteral(":/Fonts/GeistMono-Medium.ttf"));
    if (!source.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "the Geist font files are not in this build's resources";
    }
    // A trailing byte makes a font file of its own that the application has not registered.
    const QByteArray font = source.readAll() + QByteArray(1, '\0');
    QTemporaryDir dir;
    const QString fonts = dir.path() + QStringLiteral("/Fonts");
    writeFile(fonts + QStringLiteral("/Geist-Broken.ttf"), "not a font");
    writeFile(fonts + QStringLiteral("/GeistMono-Copy.ttf"), font);
    writeFile(dir.path() + QStringLiteral("/GeistMono-SameBytes.ttf"), font);

    const QStringList files = fontFilesToRegister({dir.path(), fonts});
    ASSERT_EQ(files.size(), 3);
    // From a clean registry, and leaving the application's fonts as they were.
    struct CleanRegistry
    {
        CleanRegistry() { forgetRegisteredFonts(); }
        ~CleanRegistry()
        {
            forgetRegisteredFonts();
            registerAppFonts();
        }
    } clean;
    const QStringList registered = registerFontFiles(files);
    EXPECT_EQ(registered, QStringList({dir.path() + QStringLiteral("/GeistMono-SameBytes.ttf")}));
    EXPECT_TRUE(registerFontFiles(files).isEmpty());
    EXPECT_TRUE(registerFontFiles({dir.path() + QStringLiteral("/does-not-exist.ttf")}).isEmpty());
}

TEST(Fonts, ATestThatNeedsTheBundledFontsSaysWhenTheyAreMissingAndHowToGetThem)
{
    // A plain clone: the folder the set-up script fills holds one face of five, or none.
    QTemporaryDir dir;
    writeFile(dir.path() + QStringLiteral("/Geist-Regular.ttf"), "a face");
    for (const QString& folder : {dir.path(), dir.path() + QStringLiteral("/empty")}) {
        const QString said = testing_support::missingBundledFonts({folder});
        EXPECT_TRUE(said.contains(QStringLiteral("scripts/setup.sh"))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("GeistMono-Medium"))) << said.toStdString();
        EXPECT_EQ(said.contains(QStringLiteral("Geist-Regular,")), folder != dir.path())
            << said.toStdString();
    }
    // This build has them.
    EXPECT_EQ(testing_support::missingBundledFonts().toStdString(), "");
}

TEST(Symbols, EveryNameTheInterfaceDrawsHasATintedDrawingAndAnUnknownOneDrawsNothing)
{
    KitEnvironment env;
    const char* names[] = {
        "app.fill",     "arrow.right",  "bolt.fill",     "checkmark", "checkmark.circle.fill",
        "chevron.down", "chevron.left", "chevron.right", "eye.slash", "eye.slash.fill",
        "gearshape",    "info.circle",  "lock",          "lock.open", "pause.fill",
        "pin",          "pin.fill",     "pip.enter",     "play.fill", "rectangle.dashed",
        "snowflake",    "xmark"};
    for (const char* name : names) {
        EXPECT_TRUE(hasSymbol(QString::fromLatin1(name))) << name;
    }
    EXPECT_TRUE(hasImageAsset(QStringLiteral("MenuBarIcon")));
    EXPECT_TRUE(hasImageAsset(QStringLiteral("veilmoxOfficialLogo")));
    EXPECT_TRUE(imageAsset(QStringLiteral("noSuchAsset"), QSize(10, 10)).isNull());
    EXPECT_FALSE(imageAsset(QStringLiteral("MenuBarIcon"), QSize(36, 36)).isNull());

    QImage blank(48, 48, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    QImage image = blank;
    QPainter painter(&image);
    for (const char* name : {"no.such.symbol", "../MenuBarIcon", "", "Symbols/xmark", "xmark.svg/.."}) {
        EXPECT_FALSE(paintSymbol(painter, QString::fromLatin1(name), QRectF(0, 0, 48, 48), Qt::white))
            << name;
    }
    EXPECT_FALSE(paintImageAsset(painter, QStringLiteral("noSuchAsset"), QRectF(0, 0, 48, 48)));
    painter.end();
    EXPECT_EQ(image, blank) << "nothing drawn";

    painter.begin(&image);
    ASSERT_TRUE(paintSymbol(
        painter, QStringLiteral("checkmark.circle.fill"), QRectF(0, 0, 48, 48), Palette::flame()));
    painter.end();
    // The disc is the colour; the check through its middle is a hole; outside the disc is empty.
    EXPECT_TRUE(testing_support::near(image.pixelColor(10, 24), Palette::flame(), 3));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    int holes = 0;
    for (int x = 14; x < 34; ++x) {
        holes += qAlpha(image.pixel(x, 29)) < 40 ? 1 : 0;
    }
    EXPECT_GT(holes, 0) << "the check is cut out of the disc";
}
