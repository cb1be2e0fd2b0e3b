#include "popover/AppListView.h"
#include "popover/AppRowView.h"
#include "popover/WindowRowView.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/popover/RowFixture.h"

using namespace testing_support;

using RowPictures = RowFixture;

// An app row collapsed, expanded with one window pinned, and with its transparency panel open.
TEST_F(RowPictures, CollapsedExpandedWithAPinnedWindowAndWithTheTransparencyPanel)
{
    const QString bundleID = QStringLiteral("com.example.mail");
    launch(bundleID, QStringLiteral("Mail"), {"Inbox — 3 unread", "", "Quarterly numbers draft"});
    launch(QStringLiteral("com.example.notes"), QStringLiteral("Notes"), {"Shopping"});
    start();
    auto& list = static_cast<AppListView&>(host(new AppListView(*manager, navigation)));
    AppRowView& row = *list.row(bundleID);
    const auto picture = [&](const char* name) {
        settle();
        EXPECT_TRUE(
            kit::writeViewPng(row, picturePath(QString::fromLatin1(name)), 2.0, kit::Palette::canvas()));
        return kit::renderView(row, 2.0, kit::Palette::canvas());
    };
    // Inside the row's rounded background, clear of its content.
    const QPointF inside(4, 20);

    const QImage collapsed = picture("app-row-collapsed");
    EXPECT_TRUE(near(colorAt(collapsed, inside), kit::Palette::canvas()));

    click(named(row, "windowCountButton"));
    click(named(*row.windowRows().at(2), "pinButton"));
    navigation.setTransparencyAppID(std::nullopt);
    const QImage expanded = picture("app-row-expanded-pinned-window");
    EXPECT_TRUE(near(colorAt(expanded, inside), kit::Palette::surfaceRaised()));
    // The pinned window's pin sits on its dark disc, below the pin's own glyph.
    const QWidget& pin = named(*row.windowRows().at(2), "pinButton");
    const QPointF disc = pin.mapTo(&row, QPointF(11, 19));
    EXPECT_TRUE(near(colorAt(expanded, disc), kit::Palette::surfaceHigh()));

    click(named(row, "transparencyChip"));
    click(named(row, "windowCountButton"));
    manager->setPinnedTransparency(0.3, bundleID);
    const QImage panel = picture("app-row-transparency-panel");
    // The recording note's card under its text.
    const QWidget& note = named(row, "recordingNoteText");
    const QPointF card = note.mapTo(&row, QPointF(-9, -5));
    EXPECT_TRUE(near(colorAt(panel, card), kit::Palette::surfaceHigh()));
    EXPECT_TRUE(near(colorAt(panel, inside), kit::Palette::surfaceRaised()));
}
