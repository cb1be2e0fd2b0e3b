// The onboarding's design tokens, text pieces, cards, pills, key caps, chips and slider:
// behaviour through their widgets, and a gallery picture with sentinel pixels.
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/OBTokens.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"
#include "tests/onboarding/OnboardingWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>

using namespace testing_support;
using kit::Animation;
using kit::FontWeight;

namespace {

OnboardingPill* pill(const QString& text, const OnboardingPillStyle& style, QWidget* parent = nullptr)
{
    return new OnboardingPill({text, QStringLiteral("chevron.right"), 12}, style, parent);
}

// A goal card's row: its title and a chevron inside a selectable row.
SelectableRow* selectableRow(bool selected, std::function<void()> onPress)
{
    auto* row = new SelectableRow(selected, 16, std::move(onPress));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(new kit::TextView(QStringLiteral("Protect Client Confidentiality"),
                                        textLook(OBFont::geist(FontWeight::semibold, 15), Qt::white)));
    layout->addWidget(new kit::SymbolView(QStringLiteral("chevron.right"), 12, OBTokens::textMuted()));
    return row;
}

} // namespace

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
}

TEST(OnboardingPill, FortyPointsHighIsWhereTheLargeSizeClassBegins)
{
    KitEnvironment env;
    std::unique_ptr<OnboardingPill> small(
        pill(QStringLiteral("Continue"), QuietButtonStyle{39, false}.pill()));
    std::unique_ptr<OnboardingPill> large(
        pill(QStringLiteral("Continue"), QuietButtonStyle{40, false}.pill()));
    EXPECT_EQ(small->currentAppearance().fontSize, 12.5);
    EXPECT_EQ(large->currentAppearance().fontSize, 13.5);
    EXPECT_EQ(small->sizeHint().height(), 39);
    EXPECT_EQ(large->sizeHint().height(), 40);
    // 2 × 6 points more padding, and the larger text.
    EXPECT_GT(large->sizeHint().width() - small->sizeHint().width(), 12);
}

TEST(OnboardingPill, ADisabledPillIsDimmedNeverLiftsKeepsItsFillAndTakesNoClick)
{
    KitEnvironment env;
    QWidget host;
    OnboardingPill* button = pill(QStringLiteral("Continue"), ContinueButtonStyle{false}.pill(), &host);
    button->setEnabled(false);
    button->resize(button->sizeHint());
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    hover(*button, true);
    env.advance(0.5);
    const auto look = button->currentAppearance();
    EXPECT_EQ(look.opacity, 0.4);
    EXPECT_EQ(look.offsetY, 0);
    EXPECT_EQ(look.fill, kit::white(1.0));
    press(*button, QPointF(button->rect().center()));
    release(*button, QPointF(button->rect().center()));
    EXPECT_EQ(clicked.count(), 0);

    // Enabled, the same pill lifts and lightens under the pointer, and drops the lift while pressed.
    button->setStyle(ContinueButtonStyle{true}.pill());
    button->setEnabled(true);
    hover(*button, false);
    hover(*button, true);
    env.advance(0.5);
    EXPECT_EQ(button->currentAppearance().offsetY, -1);
    EXPECT_EQ(button->currentAppearance().fill, kit::white(0.92));
    press(*button, QPointF(button->rect().center()));
    env.advance(0.5);
    EXPECT_EQ(button->currentAppearance().offsetY, 0);
    EXPECT_EQ(button->currentAppearance().scale, 0.97);
    release(*button, QPointF(button->rect().center()));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(SelectableRow, AClickAnywhereOnItsRoundedShapeActsOnceAndSelectionWinsOverHover)
{
    KitEnvironment env;
    int presses = 0;
    SelectableRow row(false, 16, [&] { ++presses; });
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(
        new kit::TextView(QStringLiteral("Work Chat"), textLook(OBFont::geist({}, 15), Qt::white)));
    layout->addStretch(1);
    row.resize(400, 60);
    row.show();
    // Clicks of the pointer through the window: blank space right of the text, the middle of
    // the top edge, then the four corners outside the rounding.
    const auto click = [&row](QPoint at) {
        QTest::mouseClick(row.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    };
    click({380, 30});
    click({200, 0});
    EXPECT_EQ(presses, 2);
    for (const QPoint corner : {QPoint(1, 1), QPoint(398, 1), QPoint(1, 58), QPoint(398, 58)}) {
        click(corner);
        EXPECT_EQ(presses, 2) << corner.x() << "," << corner.y();
    }
    row.hide();

    row.setSelected(true);
    hover(row, true);
    env.advance(0.5);
    EXPECT_EQ(row.currentFill(), OBTokens::selectedFill());
    EXPECT_EQ(row.currentBorder(), OBTokens::selectedBorder());
    row.setSelected(false);
    EXPECT_EQ(row.currentFill(), OBTokens::hoverFill());
    EXPECT_EQ(row.currentBorder(), OBTokens::hairlineHover());
}

TEST(TextPieces, HeadlinesTrackBySizeAndBreakBeforeTheTailEyebrowsAreCapitalisedTrackedMono)
{
    KitEnvironment env;
    for (const auto& [size, tracking] : {std::pair(40.0, -1.0), {28.0, -0.7}, {15.0, -0.375}}) {
        const OBFont font = HeadlineLook::font(size);
        EXPECT_DOUBLE_EQ(font.tracking, tracking) << size;
        EXPECT_EQ(std::pair(font.faceName(), font.size), std::pair(QStringLiteral("Geist-SemiBold"), size));
    }
    std::unique_ptr<kit::TextView> headline(
        HeadlineText{QStringLiteral("Hi"), QStringLiteral("there."), 28}.view());
    EXPECT_EQ(headline->layoutAt(900).lineTexts(), (QStringList{"Hi", "there."}));

    std::unique_ptr<kit::TextView> eyebrow(
        EyebrowLabel{QStringLiteral("Your screen, mid-share"), OBTokens::textTertiary(), 0.24}.view());
    EXPECT_EQ(eyebrow->text(), QStringLiteral("YOUR SCREEN, MID-SHARE"));
    EXPECT_DOUBLE_EQ(eyebrow->look().tracking, 2.28);
    EXPECT_EQ(EyebrowLook::font(0.24).faceName(), QStringLiteral("GeistMono-Regular"));
    // Mono text of any weight but regular takes the medium face; system text names no face.
    EXPECT_EQ(OBFont::mono(FontWeight::bold, 10).faceName(), QStringLiteral("GeistMono-Medium"));
    EXPECT_EQ(OBFont::system(12, FontWeight::semibold).faceName(), QString());
}

TEST(KeyCap, StretchesWithoutAWidthAndOnlyAPressableCapTakesClicks)
{
    KitEnvironment env;
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    int presses = 0;
    auto* fixed = new KeyCap(QStringLiteral("⌘"), 44, KeyCap::Tone::Letter, false, [&] { ++presses; });
    auto* wide = new KeyCap(QStringLiteral("space"), std::nullopt, KeyCap::Tone::Space, false);
    layout->addWidget(fixed);
    layout->addWidget(wide);
    row.resize(300, 40);
    kit::renderView(row);
    EXPECT_EQ(fixed->size(), QSize(44, 28));
    EXPECT_EQ(wide->width(), 300 - 44 - layout->spacing());
    EXPECT_EQ(wide->height(), 28);
    press(*fixed, {22, 14});
    release(*fixed, {22, 14});
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(wide->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(OnboardingComponents, GalleryPicture)
{
    KitEnvironment env;
    QWidget gallery;
    gallery.setFixedSize(980, 520);
    auto* columns = new QHBoxLayout(&gallery);
    columns->setContentsMargins(28, 28, 28, 28);
    columns->setSpacing(32);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(12);
    auto* controls = new QVBoxLayout;
    controls->setSpacing(14);
    columns->addLayout(texts, 1);
    columns->addLayout(controls, 1);
    const auto row = [](const QList<QWidget*>& widgets) {
        auto* line = new QHBoxLayout;
        for (QWidget* w : widgets) {
            line->addWidget(w);
        }
        line->addStretch(1);
        return line;
    };

    texts->addWidget(
        EyebrowLabel{QStringLiteral("Your screen, mid-share"), OBTokens::textTertiary(), 0.24}.view());
    texts->addWidget(
        HeadlineText{QStringLiteral("What do you want"), QStringLiteral("to protect?"), 34}.view());
    texts->addWidget(
        SubheadlineText{QStringLiteral("Pick the one that keeps you up at night."), false}.view());
    auto* dots = new QWidget;
    dots->setLayout(
        row({StatusDot{StatusDotKind::Live}.view(),
             StatusDot{StatusDotKind::Sunset}.view(),
             StatusDot{StatusDotKind::Idle}.view(),
             StatusDot{StatusDotKind::Rose}.view(),
             EyebrowLabel{QStringLiteral("live sunset idle rose"), OBTokens::textMuted(), 0.16}.view()}));
    auto* panel = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 20, dots);
    texts->addWidget(panel);
    QList<SelectableRow*> rows;
    for (const bool selected : {true, false, false}) {
        rows << selectableRow(selected, [] {});
        texts->addWidget(rows.last());
    }
    hover(*rows.at(1), true);
    texts->addStretch(1);

    auto* continueOn = pill(QStringLiteral("Continue"), ContinueButtonStyle{true}.pill());
    auto* continueOff = pill(QStringLiteral("Continue"), ContinueButtonStyle{false}.pill());
    continueOff->setEnabled(false);
    auto* sunset =
        new OnboardingPill({QStringLiteral("Test it now"), QStringLiteral("bolt.fill"), 12, {}, true},
                           SunsetButtonStyle{40, true}.pill());
    controls->addLayout(row({continueOn, continueOff}));
    controls->addWidget(sunset);
    controls->addLayout(row(
        {new OnboardingPill({QStringLiteral("Grant permission"), QStringLiteral("lock.open"), 11, {}, true},
                            SunsetButtonStyle{36, false}.pill()),
         new OnboardingPill({QStringLiteral("Recheck"), QString()}, QuietButtonStyle{36, true}.pill()),
         pill(QStringLiteral("Continue without granting"), QuietButtonStyle{40, false}.pill())}));
    auto* staticLit = new KeyCap(QStringLiteral("⌘"), 44, KeyCap::Tone::Letter, true);
    auto* pressable = new KeyCap(QStringLiteral("G"), 44, KeyCap::Tone::Letter, false, [] {});
    auto* lit = new KeyCap(QStringLiteral("H"), 44, KeyCap::Tone::Letter, true, [] {});
    auto* keys =
        row({new KeyCap(QStringLiteral("⇧"), 44, KeyCap::Tone::Letter, false), staticLit, pressable, lit});
    keys->insertWidget(4, new KeyCap(QStringLiteral("space"), std::nullopt, KeyCap::Tone::Space, false), 1);
    controls->addLayout(keys);
    controls->addLayout(row({OBKbd{QStringLiteral("⇧"), false}.view(),
                             OBKbd{QStringLiteral("⌘"), false}.view(),
                             OBKbd{QStringLiteral("H"), true}.view()}));
    double transparency = 75;
    controls->addWidget(makeOBOpacitySlider({[&] { return transparency; },
                                             [&](const double& v) {
                                                 transparency = v;
                                             }},
                                            50,
                                            100,
                                            {}));
    controls->addStretch(1);

    env.advance(0.5);
    const QImage image = kit::renderView(gallery, 2.0, OBTokens::canvas());
    ASSERT_TRUE(image.save(picturePath(QStringLiteral("onboarding-components"))));
    const auto at = [&](const QWidget* w, QPointF offset) {
        return colorAt(image, QPointF(w->mapTo(&gallery, QPoint(0, 0))) + offset);
    };
    const QPointF inRow(rows.at(0)->width() - 60.0, 6);
    EXPECT_TRUE(near(at(rows.at(0), inRow), OBTokens::selectedFill()));
    EXPECT_TRUE(near(at(rows.at(1), inRow), OBTokens::hoverFill()));
    EXPECT_TRUE(near(at(rows.at(2), inRow), OBTokens::surface()));
    EXPECT_TRUE(near(at(panel, {panel->width() - 10.0, 10}), OBTokens::surface()));
    EXPECT_TRUE(near(at(continueOn, {8, 20}), Qt::white));
    EXPECT_TRUE(near(at(continueOff, {8, 20}), over(kit::white(0.4))));
    EXPECT_TRUE(flameLike(at(sunset, {sunset->width() - 30.0, 20})));
    EXPECT_TRUE(near(at(staticLit, {6, 14}), OBTokens::surfaceRaised())) << "a static lit cap keeps its fill";
    EXPECT_TRUE(flameLike(at(lit, {8, 14}))) << "a pressable lit cap is flame";
    EXPECT_TRUE(near(at(pressable, {8, 14}), OBTokens::surfaceRaised()));
}

namespace {

// The ink of a label on a cap: the bounding box, in pixels of the picture, of those that differ
// clearly from the cap's fill, clear of its border and corners by `inset` pixels.
QRect labelInk(const QImage& image, QPoint inset)
{
    const QColor fill = image.pixelColor(inset.x(), image.height() / 2);
    QRect ink;
    for (int y = inset.y(); y < image.height() - inset.y(); ++y) {
        for (int x = inset.x(); x < image.width() - inset.x(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - fill.red()) + std::abs(c.green() - fill.green())
                    + std::abs(c.blue() - fill.blue())
                > 150) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

} // namespace

// The key symbols are drawn at the size of the letters beside them, on the caps and chips alike
// (the Geist faces lack most of them; the system's fallback drew "⌘" and "⌥" a size smaller).
TEST(KeyCap, KeySymbolsAreAsLargeAsTheLettersBesideThem)
{
    KitEnvironment env;
    ASSERT_TRUE(QFontDatabase::hasFamily(QString::fromLatin1(kit::kKeySymbolsFamily)))
        << kit::kKeySymbolsFamily << " is not installed: scripts/setup.sh installs it";
    const auto capInk = [](const QString& label, bool accented) {
        KeyCap cap(label, 44, KeyCap::Tone::Letter, accented, [] {});
        cap.resize(cap.sizeHint());
        return labelInk(kit::renderView(cap, 2.0, OBTokens::canvas()), {14, 10});
    };
    const auto chipInk = [](const QString& label) {
        std::unique_ptr<QWidget> chip(OBKbd{label, false}.view());
        chip->resize(chip->sizeHint());
        return labelInk(kit::renderView(*chip, 2.0, OBTokens::canvas()), {3, 3});
    };
    const auto asLarge = [](const QRect& symbol, const QRect& letter, double height) {
        return symbol.width() >= 0.9 * letter.width() && symbol.height() >= height * letter.height();
    };
    for (const bool accented : {false, true}) {
        const QRect letter = capInk(QStringLiteral("H"), accented);
        ASSERT_GT(letter.height(), 10) << accented;
        // ⌥ stands a little lower than a capital, as it does in the Mac's own font.
        for (const auto& [symbol, height] : {std::pair("⇧", 0.9), {"⌘", 0.9}, {"⌥", 0.75}, {"⌫", 0.9}}) {
            const QRect ink = capInk(QString::fromUtf8(symbol), accented);
            EXPECT_TRUE(asLarge(ink, letter, height))
                << symbol << (accented ? " lit: " : ": ") << ink.width() << " x " << ink.height()
                << " against H " << letter.width() << " x " << letter.height();
        }
    }
    const QRect letter = chipInk(QStringLiteral("H"));
    for (const auto& [symbol, height] : {std::pair("⇧", 0.9), {"⌘", 0.9}, {"⌥", 0.75}}) {
        const QRect ink = chipInk(QString::fromUtf8(symbol));
        EXPECT_TRUE(asLarge(ink, letter, height))
            << symbol << " chip: " << ink.width() << " x " << ink.height() << " against H " << letter.width()
            << " x " << letter.height();
    }
}
