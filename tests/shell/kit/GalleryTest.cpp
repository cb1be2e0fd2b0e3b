// Renders every control of the kit in its states to PNG files (see picturesFolder), for looking
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

using namespace kit;
using namespace testing_support;

namespace {

// Writes a picture of the widget on the canvas colour and checks it is not blank.
void writePicture(QWidget& widget, const char* name)
{
    const QString path = picturePath(QString::fromLatin1(name));
    ASSERT_TRUE(writeViewPng(widget, path, 2.0, Palette::canvas())) << name;
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull());
    QImage blank(image.size(), image.format());
    blank.fill(image.pixel(0, 0));
    EXPECT_NE(image, blank) << name << " is blank";
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
