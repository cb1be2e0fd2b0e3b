// The panel as the user sees it, rendered to PNG files (see picturesFolder): collapsed while a
// share is live, expanded with a hidden app under the pointer, paused, and signed out. Each is
// checked at a few sentinel pixels.
#include "pip/PiPAppGrid.h"
#include "platform/sim/SimCompositor.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/pip/PiPFixture.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A small app icon: a rounded square of one colour with a white letter.
QImage icon(const QColor& colour, QChar letter)
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(34);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, 64, 64), Qt::AlignCenter, QString(letter));
    return image;
}

// What the audience sees: a desktop of a blue wallpaper, a grey window and a mask.
QImage audienceFrame()
{
    QImage frame(3024, 1964, QImage::Format_ARGB32_Premultiplied);
    frame.fill(QColor(0x1f, 0x3b, 0x5c));
    QPainter painter(&frame);
    painter.fillRect(QRect(300, 260, 1800, 1200), QColor(0xe8, 0xe8, 0xea));
    painter.fillRect(QRect(300, 260, 1800, 70), QColor(0xc8, 0xc8, 0xcc));
    painter.fillRect(QRect(1400, 500, 500, 300), QColor(23, 24, 28));
    return frame;
}

struct Scene : PiPTest
{
    void launchApps()
    {
        const QList<std::tuple<QString, QString, QColor>> apps = {
            {"com.tinyspeck.slackmacgap", "Slack", QColor(0x4a, 0x15, 0x4b)},
            {"com.apple.mail", "Mail", QColor(0x1e, 0x88, 0xe5)},
            {"com.apple.Notes", "Notes", QColor(0xf5, 0xc5, 0x18)},
            {"com.microsoft.Excel", "Excel", QColor(0x1d, 0x6f, 0x42)},
            {"com.apple.Safari", "Safari", QColor(0x0f, 0x9d, 0xd8)},
            {"com.spotify.client", "Spotify", QColor(0x1d, 0xb9, 0x54)},
            {"com.apple.MobileSMS", "Messages", QColor(0x34, 0xc7, 0x59)},
            {"com.figma.Desktop", "Figma", QColor(0xf2, 0x4e, 0x1e)},
        };
        for (const auto& [bundleID, name, colour] : apps) {
            platform::sim::SimDesktop::AppSpec setup;
            setup.bundleID = bundleID;
            setup.name = name;
            setup.icon = icon(colour, name.front());
            t.desktop.launchApp(setup);
        }
        // An app without an icon shows the grey square.
        t.desktop.launchApp(QStringLiteral("com.example.Ledger"), QStringLiteral("Ledger"));
    }

    quint32 addWindow(const QString& bundleID, const QRectF& bounds, const QColor& colour)
    {
        platform::sim::SimDesktop::WindowSpec setup;
        setup.owner = t.desktop.launchApp(bundleID, bundleID.section(QLatin1Char('.'), -1));
        setup.bounds = bounds;
        setup.color = colour;
        return t.desktop.addWindow(setup);
    }

    PiPView& shown()
    {
        makePip();
        showSettled();
        return *view();
    }

    QImage picture(const QString& name)
    {
        t.scheduler.advance(1);
        const QImage image = kit::renderView(*view(), 2.0, kit::Palette::canvas());
        EXPECT_TRUE(image.save(picturePath(name)));
        return image;
    }
};

bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 190 && c.blue() < 100;
}

} // namespace

TEST_F(Scene, CollapsedWhileTheShareIsLive)
{
    store(PiPController::expandedKey, false);
    launchApps();
    const QString notes = QStringLiteral("com.apple.TextEdit");
    const quint32 window = t.launchAppWithWindow(notes, QStringLiteral("TextEdit")).second;
    startMeetingShare();
    start();
    manager->toggleHidden(QStringLiteral("com.tinyspeck.slackmacgap"));
    manager->toggleHidden(QStringLiteral("com.apple.MobileSMS"));
    manager->addShareMask(ShareMask{QUuid::createUuid(), window, notes, {0, 0, 50, 50}});
    manager->setVirtualDisplayPreviewImage(audienceFrame());
    PiPView& v = shown();
    EXPECT_EQ(v.size(), QSize(256, 6 + 153 + 6));
    const QImage image = picture(QStringLiteral("pip-collapsed"));
    // The frame is narrower than the preview: black bars at its sides, the wallpaper inside.
    EXPECT_EQ(colorAt(image, {8, 80}), QColor(Qt::black));
    EXPECT_TRUE(near(colorAt(image, {220, 130}), QColor(0x1f, 0x3b, 0x5c), 3));
    // The panel's fill at its bottom edge, under the preview.
    EXPECT_TRUE(near(colorAt(image, {128, 162}), kit::Palette::surface()));
}

TEST_F(Scene, ExpandedWithAHiddenAppUnderThePointer)
{
    launchApps();
    start();
    manager->toggleHidden(QStringLiteral("com.apple.Notes"));
    manager->setVirtualDisplayPreviewImage(audienceFrame());
    PiPView& v = shown();
    hover(v, true);
    const QImage image = picture(QStringLiteral("pip-expanded"));
    EXPECT_EQ(v.width(), 320);
    // The hidden tile (the apps go by name: Notes is the last of the first row) with its flame
    // badge at the corner.
    const auto tiles = v.findChild<PiPAppGrid*>()->tiles();
    ASSERT_EQ(tiles.size(), 9);
    PiPAppTile* notes = tiles[5];
    ASSERT_EQ(notes->app().name, QStringLiteral("Notes"));
    // Inside the ring, above the glyph.
    const QPointF badge = notes->mapTo(&v, QPointF(42 - 1 - 7.5, 42 - 1 - 15 + 2.2));
    EXPECT_TRUE(flameLike(colorAt(image, badge))) << colorAt(image, badge).name().toStdString();
}

TEST_F(Scene, PausedWithTheFrozenFrame)
{
    store(PiPController::expandedKey, false);
    startMeetingShare();
    start();
    manager->setVirtualDisplayPreviewImage(audienceFrame());
    manager->setSharePaused(true);
    shown();
    const QImage image = picture(QStringLiteral("pip-paused"));
    // The orange border runs along the preview's edge.
    const QColor border = colorAt(image, {128, 6.5});
    EXPECT_GT(border.red(), border.blue() + 40) << border.name().toStdString();
}

TEST_F(Scene, SignedOut)
{
    launchApps();
    start(false);
    shown();
    const QImage image = picture(QStringLiteral("pip-signed-out"));
    EXPECT_EQ(colorAt(image, {20, 150}), QColor(Qt::black));
}

// The preview hides what lies behind the panel to its last pixel, compact and full size alike:
// on the display as the user sees it, with a white window and then a black one behind the panel,
// the preview comes out the same.
TEST_F(Scene, ThePreviewHidesWhatLiesBehindThePanelToItsEdges)
{
    const QRectF behind(900, 400, 612, 582);
    const quint32 white = addWindow(QStringLiteral("com.example.Pages"), behind, Qt::white);
    const quint32 black = addWindow(QStringLiteral("com.example.Keynote"), behind, Qt::black);
    start();
    manager->setVirtualDisplayPreviewImage(audienceFrame());
    makePip();
    for (const bool expanded : {false, true}) {
        SCOPED_TRACE(expanded ? "full size" : "compact");
        pip->setIsExpanded(expanded);
        showSettled();
        const QRectF panel = panelFrame();
        ASSERT_TRUE(behind.contains(panel));
        // The preview, 6 points in from the panel's edges at 1.6:1, between its rounded corners.
        const double width = panel.width() - 12;
        const QRectF preview(panel.x() + 6,
                             panel.y() + 6 + PiPView::kPreviewRadius,
                             width,
                             width / 1.6 - 2 * PiPView::kPreviewRadius);
        QList<QImage> seen;
        for (const quint32 front : {white, black}) {
            t.desktop.orderFront(front);
            const QImage display =
                platform::sim::SimCompositor(t.desktop).renderSeen(t.mainDisplay, QSize(3024, 1964));
            seen.append(display.copy(QRectF(preview.topLeft() * 2, preview.size() * 2).toAlignedRect())
                            .convertToFormat(QImage::Format_RGB32));
        }
        EXPECT_TRUE(seen[0] == seen[1]) << "a pixel of the preview shows what lies behind the panel";
    }
}
