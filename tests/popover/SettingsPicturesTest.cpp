// Renders the settings page, its shortcut recorder recording and refusing, and the auto-hide page
// to PNG files (see picturesFolder) and checks sentinel pixels of each.
#include "pip/PiPController.h"
#include "popover/AutoHideView.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingsPageView.h"
#include "popover/ShortcutRecorder.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/popover/PopoverFixture.h"

#include <QApplication>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A point of a control in the coordinates of a view above it, from the control's left edge.
QPointF at(const QWidget& view, const QWidget* control, double fromLeft)
{
    return QPointF(control->mapTo(&view, QPoint(0, 0))) + QPointF(fromLeft, control->height() / 2.0);
}

// Renders `view` once `page` is tall enough to show all of its scrolling content.
QImage picture(QWidget& page, QWidget& view, const QString& name)
{
    // Pending layout changes first: they climb one level of views per round.
    for (int level = 0; level < 12; ++level) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    const auto* scroll = page.findChild<QScrollArea*>();
    const QWidget* content = scroll->widget();
    page.resize(page.width(), page.height() - scroll->height() + content->heightForWidth(page.width()));
    const QImage image = kit::renderView(view, 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

// A card's left border, drawn over its surface.
bool cardBorder(const QImage& image, const QWidget& view, const QWidget* card, bool active)
{
    return near(colorAt(image, at(view, card, 0.25)),
                over(kit::CardBackgroundStyle::border(active), kit::Palette::surface()));
}

QImage tile(const QColor& color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace

TEST_F(PopoverTest, PicturesOfTheSettingsPageAndItsRecorder)
{
    t.desktop.setScreenRecordingPermission(false);
    start();
    t.scheduler.runPending();
    PiPController pip(t.services());
    RecordingUpdater updater;
    PopoverNavigation navigation;
    SettingsPageView page(*manager, pip, updater, navigation);
    page.resize(350, 680);
    page.show();
    advance();

    QImage image = picture(page, page, QStringLiteral("settings-page"));
    EXPECT_TRUE(cardBorder(image, page, child(page, "permissionsCard"), true))
        << "highlighted without permission";
    EXPECT_TRUE(near(colorAt(image, at(page, child(page, "systemSettingsButton"), 4)), Qt::white, 20))
        << "a primary pill while the permission is missing";

    ShortcutRecorder* recorder = page.panicShortcutRecorder();
    QWidget& card = *child(page, "shareProtectionCard");
    click(*recorder);
    advance();
    image = picture(page, card, QStringLiteral("shortcut-recorder-recording"));
    EXPECT_TRUE(near(colorAt(image, at(card, recorder, 5)), kit::Palette::flameShade(), 6));

    QTest::keyClick(&page, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    advance(0.5);
    image = picture(page, card, QStringLiteral("shortcut-recorder-refused"));
    EXPECT_TRUE(near(colorAt(image, at(card, recorder, 5)), kit::Palette::surfaceRaised(), 6));
    bool redText = false;
    for (double x = 10; x < recorder->width() - 10 && !redText; x += 0.5) {
        const QColor c = colorAt(image, at(card, recorder, x));
        redText = c.red() > 200 && c.green() < 140 && c.blue() < 140;
    }
    EXPECT_TRUE(redText) << "the refusal is written in red";
}

TEST_F(PopoverTest, PictureOfTheAutoHidePageDuringAShare)
{
    const QColor slack(0x4a, 0x15, 0x4b);
    t.desktop.launchApp(
        {QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("Slack"), {}, tile(slack), {}});
    t.desktop.launchApp(
        {QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"), {}, tile(QColor(0xf5c542)), {}});
    t.desktop.installApp({QStringLiteral("com.hnc.Discord"),
                          QStringLiteral("/Applications/Discord.app"),
                          QStringLiteral("Discord"),
                          tile(QColor(0x5865f2))});
    t.defaults.setObject(QStringList{"com.tinyspeck.slackmacgap", "com.apple.Numbers"},
                         WindowManager::autoHideListKey);
    t.defaults.setObject(true, WindowManager::autoHideEnabledKey);
    const auto zoom = t.desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
    t.desktop.addWindow(zoom, QStringLiteral("Zoom Share Toolbar"), QRectF(500, 0, 400, 60));
    start();
    manager->refreshWindows();
    ASSERT_TRUE(manager->autoHideActive());

    AutoHideView page(*manager, [] {});
    page.resize(350, 680);
    page.show();
    hover(*child(page, "autoHideAppRow:com.apple.Notes"), true);
    advance();
    const QImage image = picture(page, page, QStringLiteral("auto-hide-page"));

    EXPECT_TRUE(cardBorder(image, page, child(page, "autoHideCard"), true))
        << "active while hiding is in force";
    // The listed app installed nowhere has the placeholder tile, a running one its icon; the
    // hovered row lights up.
    EXPECT_TRUE(near(colorAt(image, at(page, child(page, "autoHideAppRow:com.apple.Numbers"), 11)),
                     kit::Palette::surfaceHigh()));
    EXPECT_TRUE(
        near(colorAt(image, at(page, child(page, "autoHideAppRow:com.tinyspeck.slackmacgap"), 20)), slack));
    EXPECT_TRUE(near(colorAt(image, at(page, child(page, "autoHideAppRow:com.apple.Notes"), 3)),
                     kit::Palette::surfaceRaised()));
}
