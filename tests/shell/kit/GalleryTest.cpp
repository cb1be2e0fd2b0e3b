// Renders every control of the kit in its states to PNG files under the build tree, for looking
// at, and checks that each picture was made and is not blank.
#include "shell/kit/Backgrounds.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/VeiledBadge.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kit;
using namespace testing_support;

namespace {

// A canvas-coloured sheet laid out as a grid with room around each cell for glows.
struct Sheet
{
    Sheet()
    {
        widget.setObjectName(QStringLiteral("sheet"));
        widget.setAutoFillBackground(true);
        QPalette p;
        p.setColor(QPalette::Window, Palette::canvas());
        widget.setPalette(p);
        grid = new QGridLayout(&widget);
        grid->setContentsMargins(24, 24, 24, 24);
        grid->setHorizontalSpacing(28);
        grid->setVerticalSpacing(28);
    }

    void caption(int row, int column, const QString& text) const
    {
        grid->addWidget(
            new TextLabel(text, monoMutedLabel(9)), row, column, Qt::AlignLeft | Qt::AlignVCenter);
    }

    // Writes the sheet and checks it is not blank.
    void write(const QString& name)
    {
        // Not adjustSize(): that caps a window at a share of the (small offscreen) screen.
        widget.resize(widget.sizeHint());
        const QString path = picturesFolder() + QLatin1Char('/') + name + QStringLiteral(".png");
        ASSERT_TRUE(writeViewPng(widget, path, 2.0, Palette::canvas())) << path.toStdString();
        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        bool varied = false;
        const QRgb first = image.pixel(0, 0);
        for (int y = 0; y < image.height() && !varied; y += 3) {
            for (int x = 0; x < image.width() && !varied; x += 3) {
                varied = image.pixel(x, y) != first;
            }
        }
        EXPECT_TRUE(varied) << name.toStdString() << " is blank";
    }

    QWidget widget;
    QGridLayout* grid = nullptr;
};

} // namespace

TEST(Gallery, PillButtonsInEveryKindAndState)
{
    KitEnvironment env;
    Sheet sheet;
    const std::pair<PillButtonStyle::Kind, const char*> kinds[] = {
        {PillButtonStyle::Kind::Primary, "PRIMARY"},
        {PillButtonStyle::Kind::Flame, "FLAME"},
        {PillButtonStyle::Kind::Outline, "OUTLINE"},
        {PillButtonStyle::Kind::Quiet, "QUIET"}};
    const char* states[] = {"REST", "HOVERED", "PRESSED", "DISABLED", "SMALL"};
    for (int c = 0; c < 5; ++c) {
        sheet.caption(0, c + 1, QString::fromLatin1(states[c]));
    }
    std::vector<PillButton*> hovered;
    std::vector<PillButton*> pressed;
    for (int r = 0; r < 4; ++r) {
        sheet.caption(r + 1, 0, QString::fromLatin1(kinds[r].second));
        for (int c = 0; c < 5; ++c) {
            auto* pill = new PillButton(QStringLiteral("Hide apps"),
                                        kinds[r].first,
                                        c == 4 ? ControlSize::Small : ControlSize::Regular);
            if (c == 0 && r == 1) {
                pill->setLeadingSymbol(QStringLiteral("bolt.fill"), 12);
                pill->setText(QStringLiteral("Auto-hide"));
            }
            pill->setEnabled(c != 3);
            sheet.grid->addWidget(pill, r + 1, c + 1, Qt::AlignCenter);
            if (c == 1 || c == 3) {
                hovered.push_back(pill);
            }
            if (c == 2) {
                pressed.push_back(pill);
            }
        }
    }
    for (PillButton* p : hovered) {
        hover(*p, true);
    }
    for (PillButton* p : pressed) {
        hover(*p, true);
        p->setDown(true);
        hover(*p, true);
    }
    env.advance(1.0);
    sheet.write(QStringLiteral("pill-buttons"));
}

TEST(Gallery, IconButtonsTogglesAndSliders)
{
    KitEnvironment env;
    Sheet sheet;
    sheet.caption(0, 0, QStringLiteral("ICON"));
    auto* rest = new IconButton(QStringLiteral("gearshape"));
    auto* hoveredIcon = new IconButton(QStringLiteral("gearshape"));
    auto* active = new IconButton(QStringLiteral("pip.enter"), true);
    auto* pressedIcon = new IconButton(QStringLiteral("xmark"));
    sheet.grid->addWidget(rest, 0, 1);
    sheet.grid->addWidget(hoveredIcon, 0, 2);
    sheet.grid->addWidget(active, 0, 3);
    sheet.grid->addWidget(pressedIcon, 0, 4);
    hover(*hoveredIcon, true);
    hover(*pressedIcon, true);
    pressedIcon->setDown(true);
    hover(*pressedIcon, true);

    sheet.caption(1, 0, QStringLiteral("SWITCH"));
    sheet.grid->addWidget(new FlameToggle(false), 1, 1);
    sheet.grid->addWidget(new FlameToggle(true), 1, 2);
    auto* pressedToggle = new FlameToggle(true);
    sheet.grid->addWidget(pressedToggle, 1, 3);
    pressedToggle->setDown(true);
    hover(*pressedToggle, true);

    sheet.caption(2, 0, QStringLiteral("SLIDER"));
    auto* empty = new FlameSlider(0, 0, 0.85);
    auto* half = new FlameSlider(0.425, 0, 0.85);
    auto* dragging = new FlameSlider(0.7, 0, 0.85);
    for (auto* s : {empty, half, dragging}) {
        s->setFixedWidth(200);
    }
    sheet.grid->addWidget(empty, 2, 1, 1, 2);
    sheet.grid->addWidget(half, 3, 1, 1, 2);
    sheet.grid->addWidget(dragging, 4, 1, 1, 2);
    sheet.widget.resize(sheet.widget.sizeHint());
    renderView(sheet.widget);
    const double knob = dragging->geometryNow().knobCenter();
    press(*dragging, QPointF(knob, 9));
    env.advance(1.0);
    sheet.write(QStringLiteral("icons-switches-sliders"));
}

TEST(Gallery, BackgroundsBadgesAndDots)
{
    KitEnvironment env;
    Sheet sheet;
    auto* card = new CardBackground(14);
    card->contentLayout()->addWidget(
        new TextLabel(QStringLiteral("Card"), monoLabel(10, Palette::textPrimary())));
    auto* activeCard = new CardBackground(14, true);
    activeCard->contentLayout()->addWidget(
        new TextLabel(QStringLiteral("Active card"), monoLabel(10, Palette::flameSoft())));
    card->setFixedWidth(240);
    activeCard->setFixedWidth(240);
    sheet.grid->addWidget(card, 0, 0, 1, 2);
    sheet.grid->addWidget(activeCard, 1, 0, 1, 2);

    auto* floating = new FloatingBackground(16);
    auto* floatingContent = new QWidget;
    floatingContent->setFixedSize(220, 90);
    auto* panelRow = new QHBoxLayout(floatingContent);
    panelRow->setContentsMargins(16, 0, 16, 0);
    panelRow->addWidget(new PillButton(QStringLiteral("Resume"), PillButtonStyle::Kind::Flame));
    panelRow->addStretch();
    panelRow->addWidget(new FlameToggle(true));
    floating->contentLayout()->addWidget(floatingContent);
    auto* floatingHolder = new QWidget;
    auto* holderLayout = new QVBoxLayout(floatingHolder);
    holderLayout->setContentsMargins(40, 20, 40, 60);
    holderLayout->addWidget(floating);
    sheet.grid->addWidget(floatingHolder, 0, 2, 3, 1);

    auto* chip = new ChipBackground;
    auto* chipText =
        new TextLabel(QStringLiteral("  DRAG TO DRAW A MASK  "), monoLabel(9, Palette::textPrimary()));
    chip->contentLayout()->setContentsMargins(10, 6, 10, 6);
    chip->contentLayout()->addWidget(chipText);
    sheet.grid->addWidget(chip, 2, 0);
    auto* badges = new QWidget;
    auto* badgeRow = new QHBoxLayout(badges);
    badgeRow->setSpacing(12);
    badgeRow->addWidget(new VeiledBadge(QStringLiteral("veiled")));
    badgeRow->addWidget(new VeiledBadge(QStringLiteral("Auto")));
    badgeRow->addWidget(new PulseDot(Palette::flame(), true));
    badgeRow->addWidget(new PulseDot(Palette::blue(), false));
    badgeRow->addWidget(new PulseDot(Palette::red(), true));
    sheet.grid->addWidget(badges, 2, 1);
    env.advance(0.4);
    sheet.write(QStringLiteral("backgrounds-badges-dots"));
}

TEST(Gallery, TooltipBubbleBesideItsControl)
{
    KitEnvironment env;
    QWidget container;
    container.setAutoFillBackground(true);
    QPalette p;
    p.setColor(QPalette::Window, Palette::canvas());
    container.setPalette(p);
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
    ASSERT_TRUE(writeViewPng(container, picturesFolder() + QStringLiteral("/tooltip-below.png"), 2.0));
    hover(*settings, false);
    hover(*bottom, true);
    env.advance(0.7);
    ASSERT_TRUE(writeViewPng(container, picturesFolder() + QStringLiteral("/tooltip-above-right.png"), 2.0));
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
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < names.size(); ++i) {
        const QString name = names[i].chopped(4);
        const int row = i / columns;
        const int column = i % columns;
        const QPointF centre(column * cell + cell / 2.0, row * cell + 24.0);
        EXPECT_TRUE(hasSymbol(name));
        EXPECT_TRUE(paintSymbol(painter, name, centre, 16, Palette::textPrimary(), FontWeight::medium))
            << name.toStdString();
        painter.setFont(customFont(QStringLiteral("GeistMono-Regular"), 6.5, &sheet));
        painter.setPen(SecondaryWhite::caption(false));
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
    ASSERT_TRUE(sheet.save(picturesFolder() + QStringLiteral("/symbols.png")));
}
