// Renders the settings page and its shortcut recorder recording and refusing to PNG files (see
// picturesFolder) and checks sentinel pixels of each.
#include "pip/PiPController.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingsPageView.h"
#include "popover/ShortcutRecorder.h"
#include "shell/kit/Palette.h"
#include "tests/popover/PagePictures.h"
#include "tests/popover/PopoverFixture.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

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
