// Views inside kit buttons, and effects on kit controls and on what holds them.
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/ViewEffect.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAccessible>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace kit;
using namespace testing_support;

namespace {

bool isRed(const QColor& c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

TEST(CompoundButton, DrawsItsLabelAndViewsWithThePressKeepsTheHitsAndSpeaksForThem)
{
    KitEnvironment env;
    int painted = 0;
    PressFeedbackButton button([&](QPainter&, const QRectF&) { ++painted; }, QSize());
    auto* row = new QHBoxLayout(&button);
    row->setContentsMargins(20, 10, 20, 10);
    row->addWidget(swatch(Qt::red, QSize(40, 20)));
    auto* label = new TextLabel(QStringLiteral("Slack"), monoLabel(9, Palette::textPrimary()));
    row->addWidget(label);
    EXPECT_EQ(button.sizeHint().height(), 40) << "the layout's size";
    button.resize(140, 40);

    // The swatch runs from x 20 to 60; a pressed button shrinks it to 0.97 about its centre.
    const QPointF insideLeftEdge(20.25, 20);
    QImage image = renderView(button, 4.0, Palette::canvas());
    EXPECT_TRUE(isRed(colorAt(image, QPointF(40, 20))));
    EXPECT_TRUE(isRed(colorAt(image, insideLeftEdge)));

    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    press(button, QPointF(40, 20));
    env.advance(0.06);
    EXPECT_GT(button.currentScale(), 0.97) << "still shrinking";
    env.advance(0.06);
    EXPECT_DOUBLE_EQ(button.currentScale(), 0.97);
    image = renderView(button, 4.0, Palette::canvas());
    EXPECT_TRUE(isRed(colorAt(image, QPointF(40, 20))));
    EXPECT_FALSE(isRed(colorAt(image, insideLeftEdge))) << "the label shrinks with the button";
    EXPECT_EQ(button.childAt(40, 20), nullptr) << "hits stay on the button";
    release(button, QPointF(40, 20));
    env.advance(0.12);
    EXPECT_EQ(std::tuple(button.currentScale(), clicked.count()), std::tuple(1.0, 1));
    // A disabled one draws its label and views as they are.
    button.setEnabled(false);
    painted = 0;
    EXPECT_TRUE(isRed(colorAt(renderView(button, 4.0, Palette::canvas()), insideLeftEdge)));
    EXPECT_GT(painted, 0);

    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Slack"));
    EXPECT_EQ(accessible->childCount(), 0);
    button.setAccessibleName(QStringLiteral("Hide Slack"));
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Hide Slack"));
}

TEST(ViewEffect, OpacityBlurAndShadowOnAControlOrWhatHoldsItKeepItsLook)
{
    KitEnvironment env;
    QColor faded = Palette::textPrimary();
    faded.setAlphaF(0.9F);
    // Each setting on a white pill: the colour of its capsule clear of the text, and of a point
    // just outside the capsule.
    const std::tuple<const char*, std::function<void(QWidget&, QWidget&)>, QColor, QColor> cases[] = {
        {"a plain Qt effect on the pill",
         [](QWidget&, QWidget& pill) {
             auto* effect = new QGraphicsOpacityEffect;
             effect->setOpacity(0.9);
             pill.setGraphicsEffect(effect);
         },
         over(faded),
         Palette::canvas()},
        {"the kit's effect on the pill",
         [](QWidget&, QWidget& pill) { ViewEffect::on(&pill).setOpacity(0.9); },
         over(faded),
         Palette::canvas()},
        {"the kit's effect on what holds it",
         [](QWidget& holder, QWidget&) { ViewEffect::on(&holder).setOpacity(0.9); },
         over(faded),
         Palette::canvas()},
        {"a shadow on what holds it",
         [](QWidget& holder, QWidget&) {
             Shadow shadow;
             shadow.color = Qt::red;
             shadow.radius = 4;
             shadow.offset = QPointF(0, 6);
             ViewEffect::on(&holder).setShadow(shadow);
         },
         Palette::textPrimary(),
         QColor(Qt::red)},
    };
    for (const auto& [what, setting, fill, outside] : cases) {
        QWidget holder;
        holder.resize(200, 100);
        auto* pill = new PillButton(
            QStringLiteral("Hide"), PillButtonStyle::Kind::Primary, ControlSize::Regular, &holder);
        pill->setGeometry(50, 30, 100, 30);
        setting(holder, *pill);
        const QImage image = renderView(holder, 2.0, Palette::canvas());
        EXPECT_TRUE(near(colorAt(image, QPointF(62, 45)), fill, 3)) << what;
        EXPECT_TRUE(near(colorAt(image, QPointF(100, 63)), outside, 40)) << what;
    }

    // Blurred, the capsule's edge spreads onto the canvas and its inside darkens a little.
    QWidget holder;
    holder.resize(200, 100);
    auto* pill =
        new PillButton(QStringLiteral("Hide"), PillButtonStyle::Kind::Primary, ControlSize::Regular, &holder);
    pill->setGeometry(50, 30, 100, 30);
    ViewEffect::on(&holder).setBlurRadius(8);
    const QImage blurred = renderView(holder, 2.0, Palette::canvas());
    EXPECT_GT(colorAt(blurred, QPointF(47, 45)).lightness(), Palette::canvas().lightness() + 10);
    EXPECT_GT(colorAt(blurred, QPointF(62, 45)).lightness(), 150);
}
