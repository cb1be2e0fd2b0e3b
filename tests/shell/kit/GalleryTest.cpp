// Renders every control of the kit in its states to PNG files (see picturesFolder), for looking
// at, and checks that each picture was made and is not blank.
#include "shell/kit/Backgrounds.h"
#include "shell/kit/ButtonBase.h"
#include "shell/kit/Collapsible.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/PageStack.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "shell/kit/VeiledBadge.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace kit;
using namespace testing_support;

namespace {

// Writes a picture of the widget on the canvas colour, checks it is not blank and returns it.
QImage writePicture(QWidget& widget, const char* name)
{
    const QString path = picturePath(QString::fromLatin1(name));
    EXPECT_TRUE(writeViewPng(widget, path, 2.0, Palette::canvas())) << name;
    QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    EXPECT_FALSE(image.isNull());
    QImage blank(image.size(), image.format());
    blank.fill(image.pixel(0, 0));
    EXPECT_NE(image, blank) << name << " is blank";
    image.setDevicePixelRatio(2);
    return image;
}

// The lightness of the brightest point in an area of the picture.
int brightest(const QImage& image, const QRectF& area)
{
    int most = 0;
    for (double y = area.top(); y < area.bottom(); y += 0.5) {
        for (double x = area.left(); x < area.right(); x += 0.5) {
            most = std::max(most, colorAt(image, QPointF(x, y)).lightness());
        }
    }
    return most;
}

// An app row as the popover draws one: icon, name and count, a badge and a chevron, all inside
// one press-feedback button.
PressFeedbackButton* appRow(const QString& name, const QString& detail)
{
    auto* row = new PressFeedbackButton;
    row->setAccessibleName(name);
    row->setLabel(
        [](QPainter& p, const QRectF& r) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(Palette::surfaceRaised());
            p.drawPath(continuousRoundedRect(r, 10));
            strokeInnerBorder(p, r, 10, Palette::hairline());
        },
        QSize());
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 9, 12, 9);
    layout->setSpacing(10);
    layout->addWidget(new SymbolView(QStringLiteral("app.fill"), 18, SecondaryWhite::symbol(false)));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(
        new TextLabel(name, TextLook{geistFontName(FontWeight::semibold), 13, 0, Palette::textPrimary()}));
    texts->addWidget(new TextLabel(detail, monoMutedLabel(8.5)));
    layout->addLayout(texts, 1);
    layout->addWidget(new VeiledBadge(QStringLiteral("Hidden")));
    layout->addWidget(new SymbolView(
        QStringLiteral("chevron.right"), 10, SecondaryWhite::symbol(false), FontWeight::semibold));
    row->setFixedWidth(250);
    return row;
}

// A sheet laid out as a grid with room around each cell for glows.
struct Sheet
{
    Sheet()
    {
        grid->setContentsMargins(24, 24, 24, 24);
        grid->setSpacing(28);
    }

    void caption(int row, int column, const char* text) const
    {
        grid->addWidget(new TextLabel(QString::fromLatin1(text), monoMutedLabel(9)), row, column);
    }

    template <typename W>
    W* add(W* control, int row, int column, int columns = 1, Qt::Alignment alignment = {}) const
    {
        grid->addWidget(control, row, column, 1, columns, alignment);
        return control;
    }

    void write(const char* name)
    {
        // Not adjustSize(): that caps a window at a share of the (small offscreen) screen.
        widget.resize(widget.sizeHint());
        writePicture(widget, name);
    }

    QWidget widget;
    QGridLayout* grid = new QGridLayout(&widget);
};

} // namespace

TEST(Gallery, PillButtonsInEveryKindAndState)
{
    KitEnvironment env;
    Sheet sheet;
    const char* states[] = {"REST", "HOVERED", "PRESSED", "DISABLED", "SMALL"};
    const char* kinds[] = {"PRIMARY", "FLAME", "OUTLINE", "QUIET"};
    for (int c = 0; c < 5; ++c) {
        sheet.caption(0, c + 1, states[c]);
    }
    for (int r = 0; r < 4; ++r) {
        sheet.caption(r + 1, 0, kinds[r]);
        for (int c = 0; c < 5; ++c) {
            auto* pill = sheet.add(new PillButton(QStringLiteral("Hide apps"),
                                                  static_cast<PillButtonStyle::Kind>(r),
                                                  c == 4 ? ControlSize::Small : ControlSize::Regular),
                                   r + 1,
                                   c + 1,
                                   1,
                                   Qt::AlignCenter);
            if (c == 0 && r == 1) {
                pill->setLeadingSymbol(QStringLiteral("bolt.fill"), 12);
                pill->setText(QStringLiteral("Auto-hide"));
            }
            pill->setEnabled(c != 3);
            pill->setDown(c == 2);
            if (c >= 1 && c <= 3) {
                hover(*pill, true);
            }
        }
    }
    env.advance(1.0);
    sheet.write("pill-buttons");
}

TEST(Gallery, IconButtonsTogglesAndSliders)
{
    KitEnvironment env;
    Sheet sheet;
    sheet.caption(0, 0, "ICON");
    sheet.add(new IconButton(QStringLiteral("gearshape")), 0, 1);
    hover(*sheet.add(new IconButton(QStringLiteral("gearshape")), 0, 2), true);
    sheet.add(new IconButton(QStringLiteral("pip.enter"), true), 0, 3);
    auto* pressedIcon = sheet.add(new IconButton(QStringLiteral("xmark")), 0, 4);
    pressedIcon->setDown(true);
    hover(*pressedIcon, true);

    sheet.caption(1, 0, "SWITCH");
    sheet.add(new FlameToggle(false), 1, 1);
    sheet.add(new FlameToggle(true), 1, 2);
    auto* pressedToggle = sheet.add(new FlameToggle(true), 1, 3);
    pressedToggle->setDown(true);
    hover(*pressedToggle, true);

    sheet.caption(2, 0, "SLIDER");
    FlameSlider* dragging = nullptr;
    for (const double value : {0.0, 0.425, 0.7}) {
        dragging = sheet.add(new FlameSlider(value, 0, 0.85), value == 0 ? 2 : sheet.grid->rowCount(), 1, 2);
        dragging->setFixedWidth(200);
    }
    sheet.widget.resize(sheet.widget.sizeHint());
    renderView(sheet.widget);
    press(*dragging, QPointF(dragging->geometryNow().knobCenter(), 9));
    env.advance(1.0);
    sheet.write("icons-switches-sliders");
}

TEST(Gallery, BackgroundsBadgesAndDots)
{
    KitEnvironment env;
    Sheet sheet;
    for (const bool active : {false, true}) {
        auto* card = sheet.add(new CardBackground(14, active), active ? 1 : 0, 0, 2);
        card->contentLayout()->addWidget(
            new TextLabel(active ? QStringLiteral("Active card") : QStringLiteral("Card"),
                          monoLabel(10, active ? Palette::flameSoft() : Palette::textPrimary())));
        card->setFixedWidth(240);
    }

    auto* floatingContent = new QWidget;
    floatingContent->setFixedSize(220, 90);
    auto* panelRow = new QHBoxLayout(floatingContent);
    panelRow->setContentsMargins(16, 0, 16, 0);
    panelRow->addWidget(new PillButton(QStringLiteral("Resume"), PillButtonStyle::Kind::Flame));
    panelRow->addStretch();
    panelRow->addWidget(new FlameToggle(true));
    auto* floating = new FloatingBackground(16);
    floating->contentLayout()->addWidget(floatingContent);
    auto* floatingHolder = new QWidget;
    auto* holderLayout = new QVBoxLayout(floatingHolder);
    holderLayout->setContentsMargins(40, 20, 40, 60);
    holderLayout->addWidget(floating);
    sheet.grid->addWidget(floatingHolder, 0, 2, 3, 1);

    auto* chip = sheet.add(new ChipBackground, 2, 0);
    chip->contentLayout()->setContentsMargins(10, 6, 10, 6);
    chip->contentLayout()->addWidget(
        new TextLabel(QStringLiteral("  DRAG TO DRAW A MASK  "), monoLabel(9, Palette::textPrimary())));
    auto* badges = sheet.add(new QWidget, 2, 1);
    auto* badgeRow = new QHBoxLayout(badges);
    badgeRow->setSpacing(12);
    badgeRow->addWidget(new VeiledBadge(QStringLiteral("veiled")));
    badgeRow->addWidget(new VeiledBadge(QStringLiteral("Auto")));
    badgeRow->addWidget(new PulseDot(Palette::flame(), true));
    badgeRow->addWidget(new PulseDot(Palette::blue(), false));
    badgeRow->addWidget(new PulseDot(Palette::red(), true));
    env.advance(0.4);
    sheet.write("backgrounds-badges-dots");
}

TEST(Gallery, TooltipBubbleBelowAndAboveItsControl)
{
    KitEnvironment env;
    QWidget container;
    container.resize(340, 200);
    auto* settings = new IconButton(QStringLiteral("gearshape"), false, &container);
    settings->move(150, 30);
    auto* bottom = new IconButton(QStringLiteral("info.circle"), false, &container);
    bottom->move(296, 160);
    TooltipSource::attach(settings, QStringLiteral("Preferences & Settings"));
    TooltipSource::attach(
        bottom,
        QStringLiteral("A longer explanation that wraps onto more than one line of the bubble "
                       "because it is wider than two hundred and twenty points."));
    TooltipHost::attach(&container);
    renderView(container);
    hover(*settings, true);
    env.advance(0.7);
    writePicture(container, "tooltip-below");
    hover(*settings, false);
    hover(*bottom, true);
    env.advance(0.7);
    writePicture(container, "tooltip-above-right");
}

TEST(Gallery, EverySymbolAndTheImageAssets)
{
    KitEnvironment env;
    const QStringList names =
        QDir(QStringLiteral(":/Images/Symbols")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    ASSERT_GE(names.size(), 60);
    const int columns = 8;
    const int cell = 64;
    const int rows = static_cast<int>((names.size() + columns - 1) / columns);
    QImage sheet(columns * cell * 2, (rows * cell + 140) * 2, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(2);
    sheet.fill(Palette::canvas());
    QPainter painter(&sheet);
    painter.setFont(customFont(QStringLiteral("GeistMono-Regular"), 6.5, &sheet));
    painter.setPen(SecondaryWhite::caption(false));
    for (int i = 0; i < names.size(); ++i) {
        const QString name = names[i].chopped(4);
        const QPointF centre((i % columns) * cell + cell / 2.0, (i / columns) * cell + 24.0);
        EXPECT_TRUE(paintSymbol(painter, name, centre, 16, Palette::textPrimary(), FontWeight::medium))
            << name.toStdString();
        painter.drawText(QRectF(centre.x() - cell / 2.0, centre.y() + 14, cell, 20),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere,
                         name);
    }
    const double top = rows * cell + 10;
    EXPECT_TRUE(paintImageAsset(painter, QStringLiteral("veilmoxOfficialLogo"), QRectF(20, top, 120, 120)));
    painter.fillRect(QRectF(170, top, 120, 120), Qt::white);
    EXPECT_TRUE(paintImageAsset(painter, QStringLiteral("MenuBarIcon"), QRectF(185, top + 15, 90, 90)));
    EXPECT_TRUE(paintSymbol(
        painter, QStringLiteral("checkmark.circle.fill"), QRectF(320, top, 120, 120), Palette::flame()));
    painter.end();
    ASSERT_TRUE(sheet.save(picturePath(QStringLiteral("symbols"))));
}

TEST(Gallery, CompoundButtonsAtRestAndPressed)
{
    KitEnvironment env;
    Sheet sheet;
    sheet.caption(0, 1, "REST");
    sheet.caption(0, 2, "PRESSED");
    QList<ButtonBase*> pressed;
    sheet.caption(1, 0, "ROW");
    PressFeedbackButton* restingRow =
        sheet.add(appRow(QStringLiteral("Slack"), QStringLiteral("3 WINDOWS")), 1, 1);
    pressed << sheet.add(appRow(QStringLiteral("Slack"), QStringLiteral("3 WINDOWS")), 1, 2);

    sheet.caption(2, 0, "PILL");
    for (const int column : {1, 2}) {
        auto* pill =
            sheet.add(new PillButton(QString(), PillButtonStyle::Kind::Flame), 2, column, 1, Qt::AlignLeft);
        auto* content = new QHBoxLayout(pill);
        content->setContentsMargins(14, 7, 14, 7);
        content->setSpacing(6);
        content->addWidget(
            new SymbolView(QStringLiteral("bolt.fill"), 11, Palette::inkOnFlame(), FontWeight::semibold));
        content->addWidget(
            new TextLabel(QStringLiteral("Auto-hide on"),
                          TextLook{geistFontName(FontWeight::semibold), 12.5, 0, Palette::inkOnFlame()}));
        if (column == 2) {
            pressed << pill;
        }
    }

    sheet.widget.resize(sheet.widget.sizeHint());
    renderView(sheet.widget);
    for (ButtonBase* button : pressed) {
        press(*button, QRectF(button->rect()).center());
    }
    env.advance(0.5);
    const QImage image = writePicture(sheet.widget, "compound-buttons");
    // The rows' names are drawn inside their buttons.
    for (const QWidget* row : {static_cast<QWidget*>(restingRow), static_cast<QWidget*>(pressed.front())}) {
        EXPECT_GT(brightest(image, QRectF(row->mapTo(&sheet.widget, QPoint(44, 6)), QSizeF(30, 16))), 200);
    }
}

TEST(Gallery, WrappedTextWithSpacingAlignmentLimitsAndBoldRuns)
{
    KitEnvironment env;
    QWidget sheet;
    sheet.setFixedWidth(360);
    auto* column = new QVBoxLayout(&sheet);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    const auto caption = [&](const char* text) {
        column->addWidget(new TextLabel(QString::fromLatin1(text), monoMutedLabel(9)));
    };
    caption("LEADING, LINE SPACING 2, BOLD RUNS");
    auto* step =
        new TextView(QString(),
                     TextLook{geistFontName(FontWeight::regular), 12.5, 0, SecondaryWhite::body(false)},
                     {2, TextAlignment::Leading, 0});
    step->setMarkdown(
        QStringLiteral("Pick the **Veilmox** screen — Screen 2 with one monitor, otherwise the last "
                       "screen listed."));
    column->addWidget(step);
    caption("CENTRED, LINE SPACING 4");
    column->addWidget(
        new TextView(QStringLiteral("Tomorrow's call is already safe. Your setup is ready and waiting. "
                                    "Save it to your account so you don't lose it when you close the app."),
                     TextLook{geistFontName(FontWeight::regular), 14, 0, SecondaryWhite::body(false)},
                     {4, TextAlignment::Center, 0}));
    caption("TWO LINES AT MOST");
    auto* limited =
        new TextView(QStringLiteral("Veilmox doesn't work with apps in macOS native Full Screen (green "
                                    "button). Keep them windowed, and hidden apps stay invisible to others."),
                     TextLook{geistFontName(FontWeight::regular), 11.5, 0, SecondaryWhite::body(false)},
                     {2, TextAlignment::Leading, 2});
    column->addWidget(limited);
    caption("LEAD AND TAIL");
    auto* headline = new TextView(
        QString(), TextLook{geistFontName(FontWeight::semibold), 28, -0.7, Palette::textPrimary()});
    headline->setRuns({{QStringLiteral("Your shield is"), false, std::nullopt},
                       {QStringLiteral("\narmed."), false, SecondaryWhite::body(false)}});
    column->addWidget(headline);
    sheet.resize(360, sheet.heightForWidth(360) > 0 ? sheet.heightForWidth(360) : sheet.sizeHint().height());
    const QImage image = writePicture(sheet, "wrapped-text");
    EXPECT_EQ(limited->layoutAt(limited->width()).lineCount(), 2);
    EXPECT_TRUE(limited->layoutAt(limited->width()).lineTexts().back().endsWith(QStringLiteral("…")));
    EXPECT_GE(step->layoutAt(step->width()).lineCount(), 2);
    // The headline's tail is on its own line, in the secondary white.
    const int tail =
        brightest(image, QRectF(headline->x(), headline->y() + headline->height() * 0.6, 100, 8));
    EXPECT_GT(tail, 100);
    EXPECT_LT(tail, 200);
}

TEST(Gallery, TransitionsHalfWay)
{
    KitEnvironment env;
    Sheet sheet;
    const auto filled = [](const QColor& color, const QString& text) {
        auto* card = new CardBackground(14);
        card->contentLayout()->addWidget(new TextLabel(text, monoLabel(10, color)));
        return card;
    };
    sheet.caption(0, 0, "PAGE SWITCH");
    auto* stack = sheet.add(new PageStack, 0, 1);
    stack->setFixedSize(240, 80);
    QWidget* main = filled(Palette::textPrimary(), QStringLiteral("MAIN PAGE"));
    QWidget* settings = filled(Palette::flameSoft(), QStringLiteral("SETTINGS"));
    stack->addPage(main, Transition::move(Edge::Leading).fadingUnderReduceMotion());
    stack->addPage(settings, Transition::move(Edge::Trailing).fadingUnderReduceMotion());

    sheet.caption(1, 0, "EXPANDING ROW");
    auto* holder = sheet.add(new QWidget, 1, 1);
    holder->setFixedSize(240, 110);
    auto* rows = new QVBoxLayout(holder);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    rows->addWidget(filled(Palette::textPrimary(), QStringLiteral("SLACK · 3 WINDOWS")));
    auto* windows = new QWidget;
    auto* list = new QVBoxLayout(windows);
    list->setContentsMargins(20, 0, 0, 0);
    for (const char* title : {"General", "Direct messages"}) {
        list->addWidget(new TextLabel(QString::fromLatin1(title), monoMutedLabel(9)));
    }
    auto* collapsible = new Collapsible(windows);
    collapsible->setTransition(
        Transition::move(Edge::Top).combined(Transition::opacity()).fadingUnderReduceMotion());
    rows->addWidget(collapsible);
    rows->addWidget(filled(Palette::textPrimary(), QStringLiteral("ZOOM")));
    rows->addStretch();

    sheet.caption(2, 0, "SCALE AND FADE");
    auto* chip = sheet.add(new VeiledBadge(QStringLiteral("Live")), 2, 1, 1, Qt::AlignLeft);
    chip->hide();
    Presence::of(chip).setTransition(Transition::scale(0.5).combined(Transition::opacity()));

    sheet.caption(3, 0, "FADE, SHRINK, BLUR");
    auto* window = sheet.add(filled(Palette::textPrimary(), QStringLiteral("PRIVATE WINDOW")), 3, 1);
    window->setFixedWidth(240);
    Presence::of(window).setTransition(
        Transition::opacity().combined(Transition::scale(0.9)).combined(Transition::blur(12)));

    sheet.widget.resize(sheet.widget.sizeHint());
    renderView(sheet.widget);
    withAnimation(Animation::easeInOut(1.0), [&] {
        stack->setCurrentPage(settings);
        collapsible->setExpanded(true);
        Presence::of(chip).setPresent(true);
        Presence::of(window).setPresent(false);
    });
    env.advance(0.5);
    const QImage image = writePicture(sheet.widget, "transitions-half-way");
    // Half-way, both pages show: the main page's card leaves by the left, the settings card comes
    // from the right; the row below the expanding list has moved down part of the way.
    EXPECT_NEAR(ViewEffect::of(settings)->pose().offset.x(), 120, 10);
    const int open = collapsible->height();
    EXPECT_GT(open, 0);
    EXPECT_LT(open, collapsible->content()->height());
    EXPECT_TRUE(window->isVisible()) << "still leaving";
}
