// Views inside kit buttons, and effects on kit controls and on what holds them.
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/ViewEffect.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/support/OnScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// A child whose look is asked of the button holding it at every paint, as kit rows do for hover.
class HoverSwatch final : public QWidget
{
public:
    explicit HoverSwatch(const ButtonBase& button)
        : m_button(button)
    {
        setFixedSize(20, 20);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter(this).fillRect(rect(), m_button.isHovered() ? Qt::green : Qt::red);
    }

private:
    const ButtonBase& m_button;
};

} // namespace

TEST(CompoundButton, AtRestOnScreenItsViewsLandInPlaceAndFollowHoverAndChanges)
{
    KitEnvironment env;
    QWidget window;
    window.resize(220, 90);
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, Qt::black);
    window.setPalette(dark);
    auto* holder = new QWidget(&window);
    holder->setGeometry(30, 20, 180, 60);
    auto* button = new PressFeedbackButton(holder);
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(10, 10, 10, 10);
    row->addWidget(new HoverSwatch(*button));
    auto* label = new TextLabel(QString(), monoLabel(12, Qt::white));
    row->addWidget(label, 1);
    button->setGeometry(20, 10, 140, 40);
    window.show();
    QApplication::processEvents();
    const auto screen = [&window] {
        return grabOnScreen(window);
    };
    // The swatch lies at 30 + 20 + 10 = 60 across and 20 + 10 + 10 = 40 down in the window.
    QImage shown = screen();
    EXPECT_TRUE(isRed(colorAt(shown, QPointF(70, 50))));
    EXPECT_FALSE(isRed(colorAt(shown, QPointF(120, 80)))) << "drawn once, where it belongs";

    hover(*button, true);
    shown = screen();
    EXPECT_TRUE(near(colorAt(shown, QPointF(70, 50)), Qt::green)) << "the hover reaches the child";

    // The label follows the swatch, from about 86 across.
    const auto brightest = [&shown] {
        int most = 0;
        for (int y = 42; y < 58; ++y) {
            for (int x = 86; x < 150; ++x) {
                most = std::max(most, colorAt(shown, QPointF(x, y)).lightness());
            }
        }
        return most;
    };
    EXPECT_LT(brightest(), 120);
    label->setText(QStringLiteral("MWMW"));
    shown = screen();
    EXPECT_GT(brightest(), 200) << "a changed label is drawn anew";
}

TEST(CompoundButton, KitViewsInsideKitViewsAndFilledViewsInsideButtonsDrawOnScreenAsInAPicture)
{
    KitEnvironment env;
    QWidget window;
    window.resize(300, 200);
    // A card holding a pill and a button whose view relies on Qt to fill its background.
    auto* card = new FloatingBackground(16, &window);
    card->setGeometry(20, 20, 260, 120);
    card->contentLayout()->setContentsMargins(16, 16, 16, 16);
    auto* pill = new PillButton(QStringLiteral("Got it"), PillButtonStyle::Kind::Primary, ControlSize::Small);
    card->contentLayout()->addWidget(pill, 0, Qt::AlignLeft);
    auto* button = new PressFeedbackButton;
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(0, 0, 0, 0);
    auto* filled = new QLabel;
    filled->setAutoFillBackground(true);
    QPalette red = filled->palette();
    red.setColor(QPalette::Window, Qt::red);
    filled->setPalette(red);
    filled->setFixedSize(30, 20);
    row->addWidget(filled);
    card->contentLayout()->addWidget(button, 0, Qt::AlignLeft);
    window.show();
    QApplication::processEvents();

    const QPointF pillInside = QPointF(pill->mapTo(&window, QPoint(0, 0))) + QPointF(6, pill->height() / 2.0);
    const QRectF swatch(filled->mapTo(&window, QPoint(0, 0)), QSizeF(filled->size()));
    for (const auto& [how, image] : {std::pair("on screen", grabOnScreen(window)),
                                     std::pair("rendered", renderView(window, 1.0, Palette::canvas()))}) {
        EXPECT_TRUE(near(colorAt(image, pillInside), Palette::textPrimary(), 8)) << how;
        EXPECT_TRUE(isRed(colorAt(image, swatch.center()))) << how;
        EXPECT_TRUE(isRed(colorAt(image, swatch.topLeft() + QPointF(1, 1)))) << how << ": in place";
        EXPECT_FALSE(isRed(colorAt(image, swatch.bottomLeft() + QPointF(1, 2)))) << how;
    }
}

TEST(KitTestSupport, AClickReachesOnlyWhatLiesUnderThePointer)
{
    KitEnvironment env;
    QWidget window;
    window.resize(200, 100);
    auto* button =
        new PillButton(QStringLiteral("Hide"), PillButtonStyle::Kind::Primary, ControlSize::Regular, &window);
    button->setGeometry(20, 30, 120, 30);
    // A view laid over the button's right half.
    auto* cover = new QWidget(&window);
    cover->setGeometry(80, 20, 100, 60);
    window.show();
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    click(*button, QPointF(100, 15));
    EXPECT_EQ(clicked.count(), 0) << "covered";
    click(*button, QPointF(30, 15));
    EXPECT_EQ(clicked.count(), 1);
    button->hide();
    click(*button, QPointF(30, 15));
    EXPECT_EQ(clicked.count(), 1) << "hidden";
}

// The app's windows are drawn into pictures by the window server and never mapped on the host,
// so their backing store never gets an image. With the host's screen scaled (CI runs this suite
// at QT_SCALE_FACTOR=2 under X as well), asking Qt whether such a view paints on screen must not
// read that missing image, and the picture is drawn at its own density, not the screen's.
TEST(ViewEffect, AViewOfAWindowNeverMappedIsDrawnIntoAPictureAtItsDensityOnAnyScreenScale)
{
    // Qt never paints it itself: its store is never sized.
    class NeverPainted final : public QWidget
    {
    protected:
        bool event(QEvent* event) override
        {
            return event->type() == QEvent::UpdateRequest || QWidget::event(event);
        }
    };
    KitEnvironment env;
    NeverPainted window;
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.resize(200, 100);
    auto* card = new FloatingBackground(16, &window);
    card->setGeometry(10, 10, 180, 80);
    card->contentLayout()->setContentsMargins(16, 16, 16, 16);
    auto* pill = new PillButton(QStringLiteral("Got it"), PillButtonStyle::Kind::Primary, ControlSize::Small);
    card->contentLayout()->addWidget(pill, 0, Qt::AlignLeft);
    window.show();
    QApplication::processEvents();
    ASSERT_NE(window.backingStore(), nullptr) << "a window of its own, as the app's windows have";

    const QPointF inside = QPointF(pill->mapTo(&window, QPoint(0, 0))) + QPointF(6, pill->height() / 2.0);
    for (const double density : {1.0, 1.5, 2.0, 3.0}) {
        SCOPED_TRACE(density);
        QImage picture(QSize(200, 100) * density, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(density);
        picture.fill(Palette::canvas());
        window.render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_TRUE(near(colorAt(picture, inside), Palette::textPrimary(), 8));
        EXPECT_TRUE(near(colorAt(picture, QPointF(3, 3)), Palette::canvas(), 8)) << "outside the card";
    }
}
