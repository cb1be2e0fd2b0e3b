#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

using namespace kit;
using namespace testing_support;
using Kind = PillButtonStyle::Kind;

namespace {
const Kind kAllKinds[] = {Kind::Primary, Kind::Flame, Kind::Outline, Kind::Quiet};

double opacityOf(const QColor& c)
{
    return c.alphaF();
}
} // namespace

TEST(PillButtonStyle, TextFillAndBorderByKindHoverAndContrast)
{
    struct Case
    {
        Kind kind = Kind::Primary;
        bool hovered = false;
        bool contrast = false;
        QColor text;
        QColor fill;
        QColor border;
    };
    const QColor clear(0, 0, 0, 0);
    const Case cases[] = {
        {Kind::Primary, false, false, Palette::inkOnLight(), white(1), clear},
        {Kind::Primary, true, false, Palette::inkOnLight(), white(0.92), clear},
        {Kind::Flame, false, false, Palette::inkOnFlame(), clear, clear},
        {Kind::Outline, false, false, white(0.55), white(0), white(0.14)},
        {Kind::Outline, false, true, white(0.9), white(0), white(0.14)},
        {Kind::Outline, true, true, white(1), white(0.06), Palette::hairlineStrong()},
        {Kind::Quiet, false, false, white(0.52), clear, clear},
        {Kind::Quiet, false, true, white(0.78), clear, clear},
        {Kind::Quiet, true, false, white(1), clear, clear},
    };
    for (const Case& c : cases) {
        const auto a =
            PillButtonStyle::appearance(c.kind, ControlSize::Regular, c.hovered, false, true, c.contrast);
        const std::string label = std::to_string(static_cast<int>(c.kind)) + (c.hovered ? " hovered" : "");
        EXPECT_TRUE(near(a.textColor, c.text, 1)) << label;
        EXPECT_EQ(a.gradientFill, c.kind == Kind::Flame) << label;
        if (!a.gradientFill) {
            EXPECT_TRUE(near(a.fill, c.fill, 1)) << label;
        }
        EXPECT_TRUE(near(a.border, c.border, 1)) << label;
    }
}

TEST(PillButtonStyle, OnlySmallHasItsOwnMetrics)
{
    for (const ControlSize size :
         {ControlSize::Mini, ControlSize::Small, ControlSize::Regular, ControlSize::Large}) {
        const auto a = PillButtonStyle::appearance(Kind::Primary, size, false, false, true, false);
        const bool small = size == ControlSize::Small;
        EXPECT_EQ(a.fontFace, QStringLiteral("Geist-SemiBold"));
        EXPECT_DOUBLE_EQ(a.fontSize, small ? 11.5 : 12.5);
        EXPECT_DOUBLE_EQ(a.horizontalPadding, small ? 12 : 16);
        EXPECT_DOUBLE_EQ(a.verticalPadding, small ? 6 : 8);
    }
}

TEST(PillButtonStyle, DisablingDimsAndDropsOnlyTheLiftAndTheFlameGlow)
{
    for (const Kind kind : kAllKinds) {
        for (const bool hovered : {false, true}) {
            for (const bool pressed : {false, true}) {
                const auto on =
                    PillButtonStyle::appearance(kind, ControlSize::Regular, hovered, pressed, true, false);
                const auto off =
                    PillButtonStyle::appearance(kind, ControlSize::Regular, hovered, pressed, false, false);
                EXPECT_EQ(off.textColor, on.textColor);
                EXPECT_EQ(off.fill, on.fill);
                EXPECT_EQ(off.gradientFill, on.gradientFill);
                EXPECT_EQ(off.border, on.border);
                EXPECT_DOUBLE_EQ(off.scale, on.scale);
                EXPECT_DOUBLE_EQ(on.opacity, 1);
                EXPECT_DOUBLE_EQ(off.opacity, 0.4);
                EXPECT_DOUBLE_EQ(off.offsetY, 0);
                EXPECT_EQ(off.glowColor.alpha(), 0);
            }
        }
    }
    const auto flame =
        PillButtonStyle::appearance(Kind::Flame, ControlSize::Regular, false, false, true, false);
    EXPECT_NEAR(opacityOf(flame.glowColor), 0.3, 1e-3);
    EXPECT_DOUBLE_EQ(flame.glowRadius, 10);
    EXPECT_DOUBLE_EQ(flame.glowOffsetY, 4);
    const auto hot = PillButtonStyle::appearance(Kind::Flame, ControlSize::Regular, true, false, true, false);
    EXPECT_NEAR(opacityOf(hot.glowColor), 0.45, 1e-3);
    EXPECT_DOUBLE_EQ(hot.glowRadius, 14);
    EXPECT_DOUBLE_EQ(hot.offsetY, -1);
    EXPECT_EQ(PillButtonStyle::appearance(Kind::Primary, ControlSize::Regular, true, false, true, false)
                  .glowColor.alpha(),
              0);
    const auto pressedHovered =
        PillButtonStyle::appearance(Kind::Flame, ControlSize::Regular, true, true, true, false);
    EXPECT_DOUBLE_EQ(pressedHovered.offsetY, 0);
    EXPECT_DOUBLE_EQ(pressedHovered.scale, 0.97);
}

TEST(PillButton, HoverAnimatesWithTheStandardCurveOrTheReducedMotionEase)
{
    KitEnvironment env;
    PillButton pill(QStringLiteral("Hide"), Kind::Flame);
    pill.resize(pill.sizeHint());
    hover(pill, true);
    EXPECT_TRUE(pill.isHovered());
    env.advance(0.05);
    // 0.05 of 0.18 s along the fast ease-out is ~86 % of the way; the glow follows.
    EXPECT_NEAR(pill.currentAppearance().glowRadius, 10 + 4 * 0.8565, 0.1);
    env.advance(0.2);
    EXPECT_DOUBLE_EQ(pill.currentAppearance().glowRadius, 14);
    EXPECT_DOUBLE_EQ(pill.currentAppearance().offsetY, -1);

    env.accessibility().setReduceMotion(true);
    hover(pill, false);
    env.advance(0.05);
    // Now the 0.15 s ease-in-out: a third of the time is ~23 % of the way.
    EXPECT_NEAR(pill.currentAppearance().glowRadius, 14 - 4 * 0.2318, 0.1);
    env.advance(0.11);
    EXPECT_DOUBLE_EQ(pill.currentAppearance().glowRadius, 10);
}

TEST(PillButton, ClickingEmitsClickedOnlyWhileEnabled)
{
    KitEnvironment env;
    PillButton pill(QStringLiteral("Show"), Kind::Outline, ControlSize::Small);
    pill.resize(pill.sizeHint());
    EXPECT_EQ(pill.objectName(), QStringLiteral("PillButton"));
    QSignalSpy clicked(&pill, &QAbstractButton::clicked);
    const QPointF centre = QRectF(pill.rect()).center();
    press(pill, centre);
    EXPECT_TRUE(pill.isPressed());
    env.advance(0.3);
    EXPECT_DOUBLE_EQ(pill.currentAppearance().scale, 0.97);
    release(pill, centre);
    EXPECT_EQ(clicked.count(), 1);
    // The corners outside the capsule are not the button.
    press(pill, QPointF(0.5, 0.5));
    release(pill, QPointF(0.5, 0.5));
    EXPECT_EQ(clicked.count(), 1);
    pill.setEnabled(false);
    press(pill, centre);
    release(pill, centre);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_DOUBLE_EQ(pill.currentAppearance().opacity, 0.4);
}

TEST(PressFeedbackButton, ShrinksWhilePressedAndDrawsOnlyItsLabel)
{
    KitEnvironment env;
    int painted = 0;
    PressFeedbackButton button([&](QPainter&, const QRectF&) { ++painted; }, QSize(80, 30));
    button.resize(button.sizeHint());
    EXPECT_EQ(button.sizeHint(), QSize(80, 30));
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    press(button, QPointF(40, 15));
    env.advance(0.06);
    EXPECT_LT(button.currentScale(), 1.0);
    EXPECT_GT(button.currentScale(), 0.97);
    env.advance(0.06);
    EXPECT_DOUBLE_EQ(button.currentScale(), 0.97);
    release(button, QPointF(40, 15));
    env.advance(0.12);
    EXPECT_DOUBLE_EQ(button.currentScale(), 1.0);
    EXPECT_EQ(clicked.count(), 1);
    button.setEnabled(false);
    const QImage image = renderView(button);
    EXPECT_GT(painted, 0) << "a disabled one draws its label as it is";
    EXPECT_DOUBLE_EQ(button.currentScale(), 1.0);
    EXPECT_FALSE(image.isNull());
}

TEST(IconButtonStyle, ActiveShowsTheSoftFlameOnTheRaisedDiscWhetherHoveredOrNot)
{
    for (const bool hovered : {false, true}) {
        const auto a = IconButtonStyle::appearance(true, hovered, false, false);
        EXPECT_EQ(a.glyphColor, Palette::flameSoft());
        EXPECT_EQ(a.disc, Palette::surfaceRaised());
        EXPECT_EQ(a.border, Palette::hairline());
    }
    const auto rest = IconButtonStyle::appearance(false, false, false, false);
    EXPECT_NEAR(rest.glyphColor.alphaF(), 0.55, 1e-3);
    EXPECT_EQ(rest.disc.alpha(), 0);
    EXPECT_EQ(rest.border.alpha(), 0);
    EXPECT_NEAR(IconButtonStyle::appearance(false, false, false, true).glyphColor.alphaF(), 0.9, 1e-3);
    const auto hovered = IconButtonStyle::appearance(false, true, false, false);
    EXPECT_EQ(hovered.glyphColor, Palette::textPrimary());
    EXPECT_EQ(hovered.disc, Palette::surfaceRaised());
    EXPECT_DOUBLE_EQ(IconButtonStyle::appearance(false, true, true, false).scale, 0.94);
}

TEST(IconButton, IsA28PointCircleThatLooksTheSameDisabled)
{
    KitEnvironment env;
    IconButton enabled(QStringLiteral("gearshape"));
    IconButton disabled(QStringLiteral("gearshape"));
    disabled.setEnabled(false);
    EXPECT_EQ(enabled.sizeHint(), QSize(28, 28));
    hover(enabled, true);
    hover(disabled, true);
    env.advance(0.2);
    EXPECT_EQ(enabled.currentAppearance().glyphColor, disabled.currentAppearance().glyphColor);
    EXPECT_EQ(enabled.currentAppearance().disc, disabled.currentAppearance().disc);
    EXPECT_EQ(enabled.currentAppearance().disc, Palette::surfaceRaised());
}

TEST(FlameToggleStyle, OffAndOnLooks)
{
    const auto off = FlameToggleStyle::appearance(0);
    EXPECT_DOUBLE_EQ(off.knobX, 2) << "the knob never touches the track's edge";
    EXPECT_NEAR(off.knobColor.alphaF(), 0.7, 1e-3);
    EXPECT_EQ(off.border, Palette::hairline());
    EXPECT_EQ(off.glowColor.alpha(), 0);
    const auto on = FlameToggleStyle::appearance(1);
    EXPECT_DOUBLE_EQ(on.knobX, 32 - 14 - 2);
    EXPECT_EQ(on.knobColor, white(1));
    EXPECT_EQ(on.border.alpha(), 0);
    EXPECT_NEAR(on.glowColor.alphaF(), 0.3, 1e-3);
    EXPECT_EQ(on.glowColor.rgb() & 0xFFFFFF, Palette::flame().rgb() & 0xFFFFFF);
}

TEST(FlameToggle, AsksForTheFlipWithoutFlippingItself)
{
    KitEnvironment env;
    FlameToggle toggle(false);
    toggle.resize(toggle.sizeHint());
    EXPECT_EQ(toggle.sizeHint(), QSize(32, 18));
    QSignalSpy requested(&toggle, &FlameToggle::toggleRequested);
    toggle.click();
    ASSERT_EQ(requested.count(), 1);
    EXPECT_TRUE(requested.at(0).at(0).toBool());
    EXPECT_FALSE(toggle.isOn());
    env.advance(1);
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 0);
    // Disabled switches look the same but, as buttons, do not click.
    toggle.setEnabled(false);
    toggle.click();
    EXPECT_EQ(requested.count(), 1);
}

TEST(FlameToggle, AFlipAnimatesWithTheSpringTheReducedEaseOrNotAtAll)
{
    KitEnvironment env;
    FlameToggle toggle(false);
    QObject::connect(&toggle, &FlameToggle::toggleRequested, &toggle, &FlameToggle::setOn);

    toggle.click();
    EXPECT_TRUE(toggle.isOn());
    env.advance(0.1);
    EXPECT_NEAR(toggle.currentOnness(), 0.6560, 1e-3) << "critically damped spring, response 0.28";
    env.advance(0.4);
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 1);

    // The view's flag follows the workspace setting unless the view was given its own.
    env.accessibility().setReduceMotion(true);
    toggle.click();
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 0);
    toggle.setEnvironmentReduceMotion(false);
    toggle.click();
    env.advance(0.05);
    EXPECT_NEAR(toggle.currentOnness(), 0.2318, 1e-3) << "the 0.15 s ease-in-out";
    env.advance(0.1);
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 1);

    env.accessibility().setReduceMotion(false);
    toggle.setEnvironmentReduceMotion(true);
    toggle.click();
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 0) << "at once, though the workspace setting is off";

    toggle.setEnvironmentReduceMotion(std::nullopt);
    toggle.setOn(true);
    EXPECT_DOUBLE_EQ(toggle.currentOnness(), 1) << "a change the user did not ask for is not animated";
}

TEST(FlameToggle, ReportsOnOrOffAsItsAccessibleValue)
{
    KitEnvironment env;
    FlameToggle toggle(true);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&toggle);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("On"));
    toggle.setOn(false);
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("Off"));
}

TEST(FlameSliderGeometry, KnobAndFilledPart)
{
    const auto g = FlameSliderGeometry::make(0.425, 0, 0.85, 200);
    EXPECT_DOUBLE_EQ(g.usable, 186);
    EXPECT_DOUBLE_EQ(g.x, 93);
    EXPECT_DOUBLE_EQ(g.filledWidth(), 100);
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(0.5, 0, 1, 10).usable, 1) << "narrower than the knob";
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(0.5, 0.3, 0.3, 200).fraction, 0) << "equal bounds";
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(1.7, 0, 0.85, 200).fraction, 2) << "not clamped";
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(std::nan(""), 0, 0.85, 200).fraction, 0);
}

TEST(FlameSliderDrag, GrabbedKnobKeepsItsOffsetAndAPressElsewhereCentresIt)
{
    // Range 0 … 0.85 on 200 points, value 0.425: knob from 93 to 107, centre 100.
    const auto g = FlameSliderGeometry::make(0.425, 0, 0.85, 200);

    FlameSliderDrag near;
    double v = near.changed(105, 105, g);
    EXPECT_DOUBLE_EQ(*near.grabOffsetX(), 12);
    EXPECT_DOUBLE_EQ(v, 0.425) << "grabbing does not move the knob";
    v = near.changed(105, 125, g);
    EXPECT_NEAR(v, (113.0 / 186) * 0.85, 1e-12);
    near.ended();
    EXPECT_FALSE(near.isDragging());
    EXPECT_FALSE(near.grabOffsetX().has_value());

    FlameSliderDrag far;
    v = far.changed(130, 130, g);
    EXPECT_DOUBLE_EQ(*far.grabOffsetX(), 7);
    EXPECT_NEAR(v, (123.0 / 186) * 0.85, 1e-12) << "the knob's centre jumps under the pointer";

    FlameSliderDrag beyond;
    EXPECT_DOUBLE_EQ(beyond.changed(100, 900, g), 0.85);
    EXPECT_DOUBLE_EQ(beyond.changed(100, -900, g), 0.0);

    const auto flat = FlameSliderGeometry::make(0.3, 0.3, 0.3, 200);
    FlameSliderDrag equal;
    EXPECT_DOUBLE_EQ(equal.changed(10, 150, flat), 0.3);
    const auto tiny = FlameSliderGeometry::make(0.5, 0, 1, 6);
    FlameSliderDrag narrow;
    EXPECT_DOUBLE_EQ(narrow.changed(3, 50, tiny), 1.0);
}

TEST(FlameSlider, DraggingAsksForValuesWithoutMovingItself)
{
    KitEnvironment env;
    FlameSlider slider(0.425, 0, 0.85);
    slider.resize(200, 18);
    EXPECT_EQ(slider.objectName(), QStringLiteral("FlameSlider"));
    QSignalSpy requested(&slider, &FlameSlider::valueChangeRequested);
    press(slider, QPointF(130, 9));
    EXPECT_TRUE(slider.isDragging());
    moveMouse(slider, QPointF(150, 9));
    release(slider, QPointF(150, 9));
    EXPECT_FALSE(slider.isDragging());
    ASSERT_EQ(requested.count(), 2);
    EXPECT_NEAR(requested.at(0).at(0).toDouble(), (123.0 / 186) * 0.85, 1e-12);
    EXPECT_NEAR(requested.at(1).at(0).toDouble(), (143.0 / 186) * 0.85, 1e-12);
    EXPECT_DOUBLE_EQ(slider.value(), 0.425);
    slider.setValue(requested.at(1).at(0).toDouble());
    EXPECT_NEAR(slider.geometryNow().knobCenter(), 150, 1e-9);
}
