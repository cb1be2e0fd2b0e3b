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

using namespace kit;
using namespace testing_support;

namespace {

QWidget* swatch(const QColor& color, QSize size)
{
    auto* w = new QWidget;
    w->setFixedSize(size);
    w->setAutoFillBackground(true);
    w->setBackgroundRole(QPalette::Window);
    QPalette palette;
    palette.setColor(QPalette::Window, color);
    w->setPalette(palette);
    return w;
}

bool isRed(const QColor& c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

// What a colour at this opacity over the canvas comes to.
QColor overCanvas(const QColor& c, double opacity)
{
    const QColor& under = Palette::canvas();
    return QColor::fromRgbF(static_cast<float>(c.redF() * opacity + under.redF() * (1 - opacity)),
                            static_cast<float>(c.greenF() * opacity + under.greenF() * (1 - opacity)),
                            static_cast<float>(c.blueF() * opacity + under.blueF() * (1 - opacity)));
}

} // namespace

TEST(CompoundButton, DrawsItsViewsWithThePressKeepsTheHitsAndSpeaksForThem)
{
    KitEnvironment env;
    PressFeedbackButton button;
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
    env.advance(0.2);
    image = renderView(button, 4.0, Palette::canvas());
    EXPECT_TRUE(isRed(colorAt(image, QPointF(40, 20))));
    EXPECT_FALSE(isRed(colorAt(image, insideLeftEdge))) << "the label shrinks with the button";
    EXPECT_EQ(button.childAt(40, 20), nullptr) << "hits stay on the button";
    release(button, QPointF(40, 20));
    EXPECT_EQ(clicked.count(), 1);

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
    const QColor white = Palette::textPrimary();
    enum class Setting
    {
        ForeignOpacity, // a plain Qt effect on the pill itself
        KitOpacity,
        HolderOpacity,
        HolderBlur,
        HolderShadow,
    };
    for (const Setting setting : {Setting::ForeignOpacity,
                                  Setting::KitOpacity,
                                  Setting::HolderOpacity,
                                  Setting::HolderBlur,
                                  Setting::HolderShadow}) {
        const int row = static_cast<int>(setting);
        QWidget holder;
        holder.resize(200, 100);
        auto* pill = new PillButton(
            QStringLiteral("Hide"), PillButtonStyle::Kind::Primary, ControlSize::Regular, &holder);
        pill->setGeometry(50, 30, 100, 30);
        switch (setting) {
        case Setting::ForeignOpacity: {
            auto* effect = new QGraphicsOpacityEffect;
            effect->setOpacity(0.9);
            pill->setGraphicsEffect(effect);
            break;
        }
        case Setting::KitOpacity:
            ViewEffect::on(pill).setOpacity(0.9);
            break;
        case Setting::HolderOpacity:
            ViewEffect::on(&holder).setOpacity(0.9);
            break;
        case Setting::HolderBlur:
            ViewEffect::on(&holder).setBlurRadius(8);
            break;
        case Setting::HolderShadow: {
            Shadow shadow;
            shadow.color = QColor(255, 0, 0);
            shadow.radius = 4;
            shadow.offset = QPointF(0, 6);
            ViewEffect::on(&holder).setShadow(shadow);
            break;
        }
        }
        pill->update();
        const QImage image = renderView(holder, 2.0, Palette::canvas());
        // A point of the capsule clear of its text.
        const QColor fill = colorAt(image, QPointF(62, 45));
        switch (setting) {
        case Setting::ForeignOpacity:
        case Setting::KitOpacity:
        case Setting::HolderOpacity:
            EXPECT_TRUE(near(fill, overCanvas(white, 0.9), 3)) << row << " " << fill.name().toStdString();
            break;
        case Setting::HolderBlur:
            // Softened: lighter than the canvas just outside the capsule, darker than white inside.
            EXPECT_GT(colorAt(image, QPointF(47, 45)).lightness(), Palette::canvas().lightness() + 10) << row;
            EXPECT_GT(fill.lightness(), 150) << row;
            break;
        case Setting::HolderShadow:
            EXPECT_TRUE(near(fill, white, 2)) << row;
            EXPECT_TRUE(isRed(colorAt(image, QPointF(100, 63)))) << "the pill casts the shadow";
            EXPECT_TRUE(near(colorAt(image, QPointF(10, 10)), Palette::canvas(), 2)) << "nothing else does";
            break;
        }
    }
}
