// The onboarding's text pieces, cards, pills, key caps, chips and slider: behaviour through their
// widgets, and a gallery picture with sentinel pixels.
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

OnboardingPill* pill(const QString& text, const OnboardingPillStyle& style, QWidget* parent = nullptr)
{
    return new OnboardingPill({text, QStringLiteral("chevron.right"), 12}, style, parent);
}

bool flameLike(const QColor& c)
{
    return c.red() > 220 && c.green() > 90 && c.green() < 160 && c.blue() < 70;
}

} // namespace

TEST(OnboardingPill, SizeClassesFollowTheHeight)
{
    KitEnvironment env;
    const std::tuple<double, double, double> cases[] = {{39, 12.5, 14}, {40, 13.5, 20}, {44, 13.5, 20}, {36, 12.5, 14}};
    for (const auto& [height, font, padding] : cases) {
        const OnboardingPillStyle style = SunsetButtonStyle{height, false}.pill();
        EXPECT_EQ(style.appearance(false, false).fontSize, font) << height;
        EXPECT_EQ(style.appearance(false, false).horizontalPadding, padding) << height;
        std::unique_ptr<OnboardingPill> button(pill(QStringLiteral("Grant permission"), style));
        EXPECT_EQ(button->sizeHint().height(), height);
    }
    // The same label is 2 × 6 points wider in padding, plus its larger text, from 40 on.
    std::unique_ptr<OnboardingPill> small(pill(QStringLiteral("Continue"), QuietButtonStyle{39, false}.pill()));
    std::unique_ptr<OnboardingPill> large(pill(QStringLiteral("Continue"), QuietButtonStyle{40, false}.pill()));
    EXPECT_GE(large->sizeHint().width() - small->sizeHint().width(), 12);
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

TEST(OnboardingPill, FlameGlowsBrighterOnHoverAndAHighlightedQuietPillLooksHovered)
{
    const auto flame = SunsetButtonStyle{40, false}.pill();
    EXPECT_EQ(flame.appearance(false, false).glowColor, kit::rgb(0xFF7A17, 0.3));
    EXPECT_EQ(flame.appearance(false, false).glowRadius, 10);
    EXPECT_EQ(flame.appearance(true, false).glowColor, kit::rgb(0xFF7A17, 0.45));
    EXPECT_EQ(flame.appearance(true, false).glowRadius, 14);

    const auto highlighted = QuietButtonStyle{36, true}.pill().appearance(false, false);
    const auto hovered = QuietButtonStyle{36, false}.pill().appearance(true, false);
    EXPECT_EQ(highlighted.textColor, OBTokens::textPrimary());
    EXPECT_EQ(highlighted.border, kit::white(0.28));
    EXPECT_EQ(highlighted.fill, kit::white(0.06));
    EXPECT_EQ(highlighted.textColor, hovered.textColor);
    EXPECT_EQ(highlighted.offsetY, 0) << "only the pointer lifts";
}

TEST(SelectableRow, AClickAnywhereActsOnceAndSelectionWinsOverHover)
{
    KitEnvironment env;
    int presses = 0;
    SelectableRow row(false, 16, [&] { ++presses; });
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(new kit::TextView(QStringLiteral("Work Chat"), textLook(OBFont::geist({}, 15), Qt::white)));
    layout->addStretch(1);
    row.resize(400, 60);
    press(row, QPointF(380, 30)); // blank space right of the text
    release(row, QPointF(380, 30));
    EXPECT_EQ(presses, 1);

    row.setSelected(true);
    hover(row, true);
    env.advance(0.5);
    EXPECT_EQ(row.currentFill(), OBTokens::selectedFill());
    EXPECT_EQ(row.currentBorder(), OBTokens::selectedBorder());
    row.setSelected(false);
    EXPECT_EQ(row.currentFill(), OBTokens::hoverFill());
    EXPECT_EQ(row.currentBorder(), OBTokens::hairlineHover());
}

TEST(TextPieces, HeadlinesBreakBeforeTheTailAndEyebrowsAreCapitalisedAndTracked)
{
    KitEnvironment env;
    std::unique_ptr<kit::TextView> headline(HeadlineText{QStringLiteral("Hi"), QStringLiteral("there."), 28}.view());
    EXPECT_EQ(headline->layoutAt(900).lineTexts(), (QStringList{"Hi", "there."}));
    EXPECT_DOUBLE_EQ(headline->look().tracking, -0.7);

    std::unique_ptr<kit::TextView> eyebrow(
        EyebrowLabel{QStringLiteral("Your screen, mid-share"), OBTokens::textTertiary(), 0.24}.view());
    EXPECT_EQ(eyebrow->text(), QStringLiteral("YOUR SCREEN, MID-SHARE"));
    EXPECT_DOUBLE_EQ(eyebrow->look().tracking, 2.28);
    EXPECT_EQ(eyebrow->look().face, QStringLiteral("GeistMono-Regular"));

    std::unique_ptr<kit::TextView> sub(SubheadlineText{QStringLiteral("Pick one."), false}.view());
    EXPECT_EQ(sub->options().alignment, kit::TextAlignment::Leading);
    EXPECT_EQ(sub->options().lineSpacing, 4);

    std::unique_ptr<kit::PulseDot> rose(StatusDot{StatusDotKind::Rose}.view());
    std::unique_ptr<kit::PulseDot> live(StatusDot{StatusDotKind::Live}.view());
    EXPECT_TRUE(rose->pulses());
    EXPECT_FALSE(live->pulses());
    EXPECT_EQ(live->color(), OBTokens::live());
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
    EXPECT_EQ(KeyCap::font(KeyCap::Tone::Function, false).size, 8.5);
    EXPECT_EQ(KeyCap::font(KeyCap::Tone::Function, true).faceName(), QStringLiteral("GeistMono-Medium"));
}

TEST(OnboardingComponents, GalleryPicture)
{
    KitEnvironment env;
    QWidget gallery;
    gallery.setFixedWidth(980);
    auto* columns = new QHBoxLayout(&gallery);
    columns->setContentsMargins(28, 28, 28, 28);
    columns->setSpacing(32);

    // Text and cards.
    auto* texts = new QVBoxLayout;
    texts->setSpacing(12);
    texts->addWidget(EyebrowLabel{QStringLiteral("Your screen, mid-share"), OBTokens::textTertiary(), 0.24}.view());
    texts->addWidget(HeadlineText{QStringLiteral("What do you want"), QStringLiteral("to protect?"), 34}.view());
    texts->addWidget(SubheadlineText{
        QStringLiteral("Pick the one that keeps you up at night. We'll build everything around it."), false}
                         .view());
    auto* dots = new QWidget;
    auto* dotRow = new QHBoxLayout(dots);
    dotRow->setContentsMargins(0, 0, 0, 0);
    dotRow->setSpacing(8);
    for (const StatusDotKind kind : {StatusDotKind::Live, StatusDotKind::Sunset, StatusDotKind::Idle, StatusDotKind::Rose}) {
        dotRow->addWidget(StatusDot{kind}.view());
    }
    dotRow->addWidget(EyebrowLabel{QStringLiteral("live · sunset · idle · rose"), OBTokens::textMuted(), 0.16}.view());
    dotRow->addStretch(1);
    auto* panel = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 20, dots);
    panel->setObjectName(QStringLiteral("galleryPanel"));
    texts->addWidget(panel);
    QList<SelectableRow*> rows;
    for (const auto& [label, selected] : {std::pair{"Protect Client Confidentiality", true},
                                          std::pair{"Maintain Deep Work & Privacy", false},
                                          std::pair{"Hide Sensitive Internal Data", false}}) {
        auto* row = new SelectableRow(selected, 16, [] {});
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(15, 15, 15, 15);
        layout->addWidget(new kit::TextView(QString::fromUtf8(label),
                                            textLook(OBFont::geist(kit::FontWeight::semibold, 15), OBTokens::textPrimary())));
        layout->addWidget(new kit::SymbolView(QStringLiteral("chevron.right"), 12, OBTokens::textMuted(), kit::FontWeight::semibold));
        texts->addWidget(row);
        rows << row;
    }
    hover(*rows.at(1), true);
    texts->addStretch(1);
    columns->addLayout(texts, 1);

    // Controls.
    auto* controls = new QVBoxLayout;
    controls->setSpacing(14);
    auto* continueOn = pill(QStringLiteral("Continue"), ContinueButtonStyle{true}.pill());
    auto* continueOff = pill(QStringLiteral("Continue"), ContinueButtonStyle{false}.pill());
    continueOff->setEnabled(false);
    auto* sunset = new OnboardingPill({QStringLiteral("Test it now"), QStringLiteral("bolt.fill"), 12, {}, true},
                                      SunsetButtonStyle{40, true}.pill());
    auto* grant = new OnboardingPill({QStringLiteral("Grant permission"), QStringLiteral("lock.open"), 11, {}, true},
                                     SunsetButtonStyle{36, false}.pill());
    auto* recheck = new OnboardingPill({QStringLiteral("Recheck"), QString()}, QuietButtonStyle{36, true}.pill());
    auto* skip = pill(QStringLiteral("Continue without granting"), QuietButtonStyle{40, false}.pill());
    auto* pillRow = new QHBoxLayout;
    pillRow->addWidget(continueOn);
    pillRow->addWidget(continueOff);
    pillRow->addStretch(1);
    controls->addLayout(pillRow);
    controls->addWidget(sunset);
    auto* quietRow = new QHBoxLayout;
    quietRow->addWidget(grant);
    quietRow->addWidget(recheck);
    quietRow->addStretch(1);
    controls->addLayout(quietRow);
    controls->addWidget(skip, 0, Qt::AlignLeft);

    auto* keys = new QHBoxLayout;
    keys->setSpacing(6);
    auto* staticCap = new KeyCap(QStringLiteral("⇧"), 44, KeyCap::Tone::Letter, false);
    auto* staticLit = new KeyCap(QStringLiteral("⌘"), 44, KeyCap::Tone::Letter, true);
    auto* pressable = new KeyCap(QStringLiteral("G"), 44, KeyCap::Tone::Letter, false, [] {});
    auto* lit = new KeyCap(QStringLiteral("H"), 44, KeyCap::Tone::Letter, true, [] {});
    for (KeyCap* cap : {staticCap, staticLit, pressable, lit}) {
        keys->addWidget(cap);
    }
    keys->addWidget(new KeyCap(QStringLiteral("space"), std::nullopt, KeyCap::Tone::Space, false));
    controls->addLayout(keys);
    auto* chips = new QHBoxLayout;
    chips->setSpacing(4);
    chips->addWidget(OBKbd{QStringLiteral("⇧"), false}.view());
    chips->addWidget(OBKbd{QStringLiteral("⌘"), false}.view());
    chips->addWidget(OBKbd{QStringLiteral("H"), true}.view());
    chips->addStretch(1);
    controls->addLayout(chips);
    double transparency = 75;
    controls->addWidget(makeOBOpacitySlider(
        {[&] { return transparency; }, [&](const double& v) { transparency = v; }}, 50, 100, {}));
    controls->addStretch(1);
    columns->addLayout(controls, 1);

    env.advance(0.5);
    const QImage image = kit::renderView(gallery, 2.0, OBTokens::canvas());
    ASSERT_TRUE(image.save(picturePath(QStringLiteral("onboarding-components"))));

    const auto at = [&](const QWidget* w, QPointF offset) {
        return colorAt(image, QPointF(w->mapTo(&gallery, QPoint(0, 0))) + offset);
    };
    EXPECT_TRUE(near(at(rows.at(0), {rows.at(0)->width() - 60.0, 6}), OBTokens::selectedFill()));
    EXPECT_TRUE(near(at(rows.at(1), {rows.at(1)->width() - 60.0, 6}), OBTokens::hoverFill()));
    EXPECT_TRUE(near(at(rows.at(2), {rows.at(2)->width() - 60.0, 6}), OBTokens::surface()));
    EXPECT_TRUE(near(at(panel, {panel->width() - 10.0, 10}), OBTokens::surface()));
    EXPECT_TRUE(near(at(continueOn, {8, 20}), Qt::white));
    EXPECT_TRUE(near(at(continueOff, {8, 20}), over(kit::white(0.4))));
    EXPECT_TRUE(flameLike(at(sunset, {sunset->width() - 30.0, 20})));
    EXPECT_TRUE(near(at(staticLit, {6, 14}), OBTokens::surfaceRaised())) << "a static lit cap keeps its fill";
    EXPECT_TRUE(flameLike(at(lit, {8, 14}))) << "a pressable lit cap is flame";
    EXPECT_TRUE(near(at(pressable, {8, 14}), OBTokens::surfaceRaised()));
}
