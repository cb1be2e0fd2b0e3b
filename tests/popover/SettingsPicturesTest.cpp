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
#include <QPainter>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A point of a control, in the page's coordinates.
QPointF at(const QWidget& page, const QWidget* control, QPointF offsetFromCenter = {})
{
    return QPointF(control->mapTo(&page, QPoint(0, 0))) + QRectF(control->rect()).center() + offsetFromCenter;
}

// Makes the page tall enough to show all of its scrolling content.
void fitContent(QWidget& page, const char* scrollName)
{
    // Pending layout changes first: they climb one level of views per round.
    for (int level = 0; level < 12; ++level) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    const auto* scroll = page.findChild<QScrollArea*>(QString::fromLatin1(scrollName));
    const QWidget* content = scroll->widget();
    const int height =
        content->hasHeightForWidth() ? content->heightForWidth(page.width()) : content->sizeHint().height();
    page.resize(page.width(), page.height() - scroll->height() + height);
}

QImage picture(QWidget& page, const char* scrollName, const QString& name)
{
    fitContent(page, scrollName);
    const QImage image = kit::renderView(page, 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

bool reddish(const QColor& c)
{
    return c.red() > 200 && c.green() < 140 && c.blue() < 140;
}

QImage icon(const QColor& color)
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 13, 13);
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

    QImage image = picture(page, "settingsScroll", QStringLiteral("settings-page"));
    const QWidget* card = child(page, "permissionsCard");
    EXPECT_TRUE(near(colorAt(image, at(page, card, QPointF(-card->width() / 2.0 + 0.25, 0))),
                     over(kit::CardBackgroundStyle::border(true), kit::Palette::surface()),
                     3))
        << "the permissions card is highlighted";
    const QWidget* general = child(page, "generalCard");
    EXPECT_TRUE(near(colorAt(image, at(page, general, QPointF(-general->width() / 2.0 + 0.25, 0))),
                     over(kit::CardBackgroundStyle::border(false), kit::Palette::surface()),
                     3));
    // The primary "System Settings" pill is white, the outline "Recheck" is not.
    const QWidget* systemSettings = child(page, "systemSettingsButton");
    EXPECT_TRUE(near(colorAt(image, at(page, systemSettings, QPointF(-systemSettings->width() / 2.0 + 4, 0))),
                     Qt::white,
                     20));
    const QWidget* recheck = child(page, "recheckButton");
    EXPECT_LT(colorAt(image, at(page, recheck, QPointF(-recheck->width() / 2.0 + 4, 0))).lightness(), 80);

    // The recorder recording, then refusing.
    ShortcutRecorder* recorder = page.panicShortcutRecorder();
    const QWidget* protection = child(page, "shareProtectionCard");
    click(*recorder);
    advance();
    image = kit::renderView(*const_cast<QWidget*>(protection), 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(QStringLiteral("shortcut-recorder-recording"))));
    const QPointF capsuleEdge = at(*protection, recorder, QPointF(-recorder->width() / 2.0 + 5, 0));
    EXPECT_TRUE(near(colorAt(image, capsuleEdge), kit::Palette::flameShade(), 6));

    QTest::keyClick(&page, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    advance(0.5);
    fitContent(page, "settingsScroll");
    image = kit::renderView(*const_cast<QWidget*>(protection), 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(QStringLiteral("shortcut-recorder-refused"))));
    EXPECT_TRUE(near(colorAt(image, capsuleEdge), kit::Palette::surfaceRaised(), 6));
    bool redText = false;
    const QRectF text = QRectF(recorder->mapTo(protection, QPoint(0, 0)), QSizeF(recorder->size()));
    for (double x = text.left(); x < text.right() && !redText; x += 0.5) {
        redText = reddish(colorAt(image, QPointF(x, text.center().y())));
    }
    EXPECT_TRUE(redText) << "the refusal is written in red";
}

TEST_F(PopoverTest, PictureOfTheAutoHidePageDuringAShare)
{
    t.desktop.launchApp({QStringLiteral("com.tinyspeck.slackmacgap"),
                         QStringLiteral("Slack"),
                         {},
                         icon(QColor(0x4a, 0x15, 0x4b)),
                         {}});
    t.desktop.launchApp(
        {QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"), {}, icon(QColor(0xf5, 0xc5, 0x42)), {}});
    t.desktop.installApp({QStringLiteral("com.hnc.Discord"),
                          QStringLiteral("/Applications/Discord.app"),
                          QStringLiteral("Discord"),
                          icon(QColor(0x58, 0x65, 0xf2))});
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
    const QImage image = picture(page, "autoHideScroll", QStringLiteral("auto-hide-page"));

    const QWidget* card = child(page, "autoHideCard");
    EXPECT_TRUE(near(colorAt(image, at(page, card, QPointF(-card->width() / 2.0 + 0.25, 0))),
                     over(kit::CardBackgroundStyle::border(true), kit::Palette::surface()),
                     3))
        << "the card is active while hiding is in force";
    // The listed app that is installed nowhere has the placeholder tile; a running one its icon.
    const QWidget* numbers = child(page, "autoHideAppRow:com.apple.Numbers");
    EXPECT_TRUE(near(colorAt(image, QPointF(numbers->mapTo(&page, QPoint(8 + 3, numbers->height() / 2)))),
                     kit::Palette::surfaceHigh(),
                     3));
    const QWidget* slack = child(page, "autoHideAppRow:com.tinyspeck.slackmacgap");
    EXPECT_TRUE(near(colorAt(image, QPointF(slack->mapTo(&page, QPoint(8 + 12, slack->height() / 2)))),
                     QColor(0x4a, 0x15, 0x4b),
                     3));
    // The hovered row's background.
    const QWidget* notes = child(page, "autoHideAppRow:com.apple.Notes");
    EXPECT_TRUE(near(colorAt(image, QPointF(notes->mapTo(&page, QPoint(3, notes->height() / 2)))),
                     kit::Palette::surfaceRaised(),
                     3));
}
