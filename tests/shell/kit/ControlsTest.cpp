#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAccessible>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <tuple>

using namespace kit;
using namespace testing_support;
using Kind = PillButtonStyle::Kind;

namespace {
const Kind kAllKinds[] = {Kind::Primary, Kind::Flame, Kind::Outline, Kind::Quiet};
} // namespace

TEST(PillButtonStyle, TextFillAndBorderByKindHoverAndContrastAndOnlySmallHasItsOwnMetrics)
{
    const QColor clear(0, 0, 0, 0);
    const std::tuple<Kind, bool, bool, QColor, QColor, QColor> cases[] = {
        // kind, hovered, contrast: text, fill, border
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
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto& [kind, hovered, contrast, text, fill, border] = cases[row];
        const auto a =
            PillButtonStyle::appearance(kind, ControlSize::Regular, hovered, false, true, contrast);
        EXPECT_TRUE(near(a.textColor, text, 1)) << row;
        EXPECT_EQ(a.gradientFill, kind == Kind::Flame) << row;
        EXPECT_TRUE(a.gradientFill || near(a.fill, fill, 1)) << row;
        EXPECT_TRUE(near(a.border, border, 1)) << row;
        EXPECT_EQ(a.fontFace, QStringLiteral("Geist-SemiBold"));
    }
    for (const ControlSize size :
         {ControlSize::Mini, ControlSize::Small, ControlSize::Regular, ControlSize::Large}) {
        const auto a = PillButtonStyle::appearance(Kind::Primary, size, false, false, true, false);
        EXPECT_EQ(std::tuple(a.fontSize, a.horizontalPadding, a.verticalPadding),
                  size == ControlSize::Small ? std::tuple(11.5, 12.0, 6.0) : std::tuple(12.5, 16.0, 8.0));
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
                EXPECT_TRUE(std::tie(off.textColor, off.fill, off.gradientFill, off.border, off.scale)
                            == std::tie(on.textColor, on.fill, on.gradientFill, on.border, on.scale));
                EXPECT_EQ(std::tuple(on.opacity, off.opacity, off.offsetY, off.glowColor.alpha()),
                          std::tuple(1.0, 0.4, 0.0, 0));
            }
        }
    }
    // Enabled, the flame glows, brighter and wider under the pointer; a hovered pill lifts unless pressed.
    const std::tuple<Kind, bool, bool, double, double, double, double> cases[] = {
        // kind, hovered, pressed: glow opacity, glow radius, offset, scale
        {Kind::Flame, false, false, 0.3, 10, 0, 1},
        {Kind::Flame, true, false, 0.45, 14, -1, 1},
        {Kind::Flame, true, true, 0.45, 14, 0, 0.97},
        {Kind::Primary, true, false, 0, 14, -1, 1},
    };
    for (const auto& [kind, hovered, pressed, glow, radius, offsetY, scale] : cases) {
        const auto a = PillButtonStyle::appearance(kind, ControlSize::Regular, hovered, pressed, true, false);
        EXPECT_NEAR(a.glowColor.alphaF(), glow, 1e-3);
        EXPECT_EQ(std::tuple(a.glowRadius, a.glowOffsetY, a.offsetY, a.scale),
                  std::tuple(radius, 4.0, offsetY, scale));
    }
}

TEST(PillButton, HoverAnimatesWithTheStandardCurveOrTheReducedMotionEaseAndClicksOnlyWhileEnabled)
{
    KitEnvironment env;
    PillButton pill(QStringLiteral("Hide"), Kind::Flame);
    pill.resize(pill.sizeHint());
    hover(pill, true);
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

    // Clicking emits clicked only inside the capsule and while enabled.
    EXPECT_EQ(pill.objectName(), QStringLiteral("PillButton"));
    QSignalSpy clicked(&pill, &QAbstractButton::clicked);
    const QPointF centre = QRectF(pill.rect()).center();
    press(pill, centre);
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

TEST(IconButtonStyle, ActiveAndHoveredRaiseTheDiscAndPressingShrinks)
{
    const QColor clear(0, 0, 0, 0);
    const std::tuple<bool, bool, bool, bool, QColor, QColor, double> cases[] = {
        // active, hovered, pressed, contrast: glyph, disc, scale
        {true, false, false, false, Palette::flameSoft(), Palette::surfaceRaised(), 1},
        {true, true, false, false, Palette::flameSoft(), Palette::surfaceRaised(), 1},
        {false, false, false, false, white(0.55), clear, 1},
        {false, false, false, true, white(0.9), clear, 1},
        {false, true, false, false, Palette::textPrimary(), Palette::surfaceRaised(), 1},
        {false, true, true, false, Palette::textPrimary(), Palette::surfaceRaised(), 0.94},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto& [active, hovered, pressed, contrast, glyph, disc, scale] = cases[row];
        const auto a = IconButtonStyle::appearance(active, hovered, pressed, contrast);
        EXPECT_EQ(a.glyphColor, glyph) << row;
        EXPECT_EQ(a.disc, disc) << row;
        EXPECT_EQ(a.border, disc == clear ? clear : Palette::hairline()) << row;
        EXPECT_DOUBLE_EQ(a.scale, scale) << row;
    }
}

TEST(IconButton, IsA28PointCircleThatLooksTheSameDisabled)
{
    KitEnvironment env;
    IconButton disabled(QStringLiteral("gearshape"));
    EXPECT_EQ(disabled.sizeHint(), QSize(28, 28));
    disabled.setEnabled(false);
    hover(disabled, true);
    env.advance(0.2);
    EXPECT_EQ(disabled.currentAppearance().glyphColor, Palette::textPrimary());
    EXPECT_EQ(disabled.currentAppearance().disc, Palette::surfaceRaised());
}

TEST(FlameToggleStyle, OffAndOnLooks)
{
    // The knob never touches the track's edge.
    const auto off = FlameToggleStyle::appearance(0);
    EXPECT_EQ(std::tuple(off.knobX, off.border, off.glowColor.alpha()),
              std::tuple(2.0, Palette::hairline(), 0));
    EXPECT_NEAR(off.knobColor.alphaF(), 0.7, 1e-3);
    const auto on = FlameToggleStyle::appearance(1);
    EXPECT_EQ(std::tuple(on.knobX, on.knobColor, on.border.alpha(), on.glowColor.rgb() & 0xFFFFFF),
              std::tuple(32.0 - 14 - 2, white(1), 0, 0xFF7A17U));
    EXPECT_NEAR(on.glowColor.alphaF(), 0.3, 1e-3);
}

TEST(FlameToggle, AsksForTheFlipWithoutFlippingItselfAndAnimatesTheFlipTheModelMakes)
{
    KitEnvironment env;
    FlameToggle toggle(false);
    toggle.resize(toggle.sizeHint());
    EXPECT_EQ(toggle.sizeHint(), QSize(32, 18));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&toggle);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("Off"));
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
    toggle.setEnabled(true);

    // Once the model follows the request, a flip animates with the spring, the reduced ease or not at all.
    QObject::connect(&toggle, &FlameToggle::toggleRequested, &toggle, &FlameToggle::setOn);
    toggle.click();
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("On"));
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

TEST(FlameSliderDrag, GrabbedKnobKeepsItsOffsetAndAPressElsewhereCentresIt)
{
    // Range 0 … 0.85 on 200 points, value 0.425: knob from 93 to 107, centre 100.
    const auto g = FlameSliderGeometry::make(0.425, 0, 0.85, 200);
    EXPECT_EQ(std::tuple(g.usable, g.x, g.filledWidth()), std::tuple(186.0, 93.0, 100.0));
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(1.7, 0, 0.85, 200).fraction, 2) << "not clamped";
    EXPECT_DOUBLE_EQ(FlameSliderGeometry::make(std::nan(""), 0, 0.85, 200).fraction, 0);
    const auto flat = FlameSliderGeometry::make(0.3, 0.3, 0.3, 200); // equal bounds
    EXPECT_DOUBLE_EQ(flat.fraction, 0);
    const auto tiny = FlameSliderGeometry::make(0.5, 0, 1, 6); // narrower than the knob
    EXPECT_DOUBLE_EQ(tiny.usable, 1);

    const std::tuple<const char*, FlameSliderGeometry, double, double, double, double> cases[] = {
        // geometry, press, pointer: grab offset, value
        {"grabbing does not move the knob", g, 105, 105, 12, 0.425},
        {"the grabbed point follows the pointer", g, 105, 125, 12, (113.0 / 186) * 0.85},
        {"the knob's centre jumps under the pointer", g, 130, 130, 7, (123.0 / 186) * 0.85},
        {"held at the upper end", g, 100, 900, 7, 0.85},
        {"held at the lower end", g, 100, -900, 7, 0.0},
        {"equal bounds", flat, 10, 150, 10, 0.3},
        {"narrow", tiny, 3, 50, 2.5, 1.0},
    };
    for (const auto& [what, geometry, pressX, pointerX, offset, value] : cases) {
        FlameSliderDrag drag;
        EXPECT_NEAR(drag.changed(pressX, pointerX, geometry), value, 1e-12) << what;
        EXPECT_DOUBLE_EQ(*drag.grabOffsetX(), offset) << what;
        drag.ended();
        EXPECT_FALSE(drag.grabOffsetX().has_value()) << what;
    }
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

TEST(FlameSlider, ADragWhoseReleaseIsLostEndsAndTheNextPressStartsAfresh)
{
    KitEnvironment env;
    // The knob's centre is at 100 of 200 points and is grabbed 5 points right of it. A fresh
    // press at 150 puts the knob's centre there; a stale drag would keep the old grab.
    const double centred = (150.0 - 7) / 186 * 0.85;
    enum class Loss
    {
        Hidden,
        Disabled,
        PressedAgain,
    };
    for (const Loss loss : {Loss::Hidden, Loss::Disabled, Loss::PressedAgain}) {
        const int row = static_cast<int>(loss);
        FlameSlider slider(0.425, 0, 0.85);
        slider.resize(200, 18);
        renderView(slider);
        QSignalSpy requested(&slider, &FlameSlider::valueChangeRequested);
        press(slider, QPointF(105, 9));
        ASSERT_TRUE(slider.isDragging()) << row;
        switch (loss) {
        case Loss::Hidden:
            slider.hide();
            slider.show();
            break;
        case Loss::Disabled:
            slider.setEnabled(false);
            slider.setEnabled(true);
            break;
        case Loss::PressedAgain:
            break;
        }
        EXPECT_EQ(slider.isDragging(), loss == Loss::PressedAgain) << row;
        env.advance(0.3);
        press(slider, QPointF(150, 9));
        EXPECT_NEAR(requested.back().at(0).toDouble(), centred, 1e-12)
            << row << ": pressed away from the knob";
        moveMouse(slider, QPointF(150, 9));
        EXPECT_TRUE(slider.isDragging()) << row;
    }
}
