// The auto-hide page: its candidates from the list, the running apps and the installed
// suggestions, its switches, and what they do during a share, with the page's picture.
#include "popover/AutoHideView.h"

#include "popover/RowBatches.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QStringList ids(const QList<AutoHideView::Candidate>& candidates)
{
    QStringList list;
    for (const auto& c : candidates) {
        list << c.id;
    }
    return list;
}

struct AutoHideTest : PopoverTest
{
    std::unique_ptr<AutoHideView> page;

    void install(const QString& bundleID, const QString& displayName, const QImage& icon = tile(Qt::green))
    {
        t.desktop.installApp({bundleID, "/Applications/" + displayName, displayName, icon});
    }
    AutoHideView& open()
    {
        page = std::make_unique<AutoHideView>(*manager, [] {});
        holdWindowSize(*page, QSize(350, 680));
        page->show();
        return *page;
    }
    QString count(const char* section) const
    {
        const auto& label = named<kit::TextLabel>(named(*page, section), QStringLiteral("sectionCount"));
        return label.isVisibleTo(page.get()) ? label.text() : QString();
    }
    QWidget* row(const QString& bundleID) const
    {
        return page->findChild<QWidget*>(QStringLiteral("autoHideAppRow:") + bundleID);
    }
    kit::FlameToggle& rowSwitch(const QString& bundleID) const
    {
        return named<kit::FlameToggle>(*row(bundleID), QStringLiteral("autoHideAppSwitch"));
    }
    // The section a row sits in now (the row lies in the section's list of rows).
    QString sectionOf(const QString& bundleID) const
    {
        return row(bundleID)->parentWidget()->parentWidget()->objectName();
    }
};

} // namespace

TEST_F(AutoHideTest, OffersEachAppOnceFromTheListTheRunningAppsAndTheInstalledSuggestions)
{
    install(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
    install(QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("Slack Installed"));
    install(QStringLiteral("com.microsoft.Excel"), QStringLiteral("Microsoft Excel.app"));
    install(QStringLiteral("com.hnc.Discord"), QStringLiteral("discord"));
    install(QStringLiteral("org.example.Unlisted"), QStringLiteral("Not Suggested"));
    // Notes runs twice; Finder is never offered.
    const std::pair<const char*, const char*> running[] = {{"com.tinyspeck.slackmacgap", "Slack"},
                                                           {"com.apple.Notes", "Notes"},
                                                           {"com.apple.Notes", "Notes"},
                                                           {"com.apple.finder", "Finder"},
                                                           {"us.zoom.xos", "zoom.us"}};
    for (const auto& [id, name] : running) {
        t.desktop.launchApp(QString::fromLatin1(id), QString::fromLatin1(name));
    }
    // Listed: one running (its running name wins over the installed one), one nowhere.
    t.defaults.setObject(QStringList{"com.tinyspeck.slackmacgap", "com.apple.Numbers"},
                         WindowManager::autoHideListKey);
    start();

    AutoHideView& view = open();
    EXPECT_EQ(ids(view.listedCandidates()), (QStringList{"com.apple.Numbers", "com.tinyspeck.slackmacgap"}));
    EXPECT_EQ(view.candidate(QStringLiteral("com.tinyspeck.slackmacgap")).name, QStringLiteral("Slack"));
    EXPECT_EQ(view.candidate(QStringLiteral("com.apple.Numbers")).name, QStringLiteral("com.apple.Numbers"));
    EXPECT_TRUE(view.candidate(QStringLiteral("com.apple.Numbers")).icon.isNull());
    EXPECT_EQ(ids(view.runningCandidates()), (QStringList{"com.apple.Notes", "us.zoom.xos"}));
    EXPECT_EQ(ids(view.suggestedCandidates()), (QStringList{"com.hnc.Discord", "com.microsoft.Excel"}));
    EXPECT_EQ(view.candidate(QStringLiteral("com.microsoft.Excel")).name, QStringLiteral("Microsoft Excel"));
    EXPECT_EQ(count("autoHideSectionListed"), QStringLiteral("2"));
    EXPECT_EQ(count("autoHideSectionRunning"), QStringLiteral("2"));
    EXPECT_EQ(count("autoHideSectionSuggested"), QStringLiteral("2"));
    EXPECT_EQ(row(QStringLiteral("com.apple.finder")), nullptr);

    // Eleven suggestions less Finder, plus the listed Numbers: looked up once per showing.
    const int lookups = t.desktop.applicationLookupCount();
    EXPECT_EQ(lookups, 11);
    manager->toggleAutoHide(true, QStringLiteral("com.apple.Notes"));
    manager->refreshRunningApps();
    EXPECT_EQ(t.desktop.applicationLookupCount(), lookups);
    page->hide();
    page->show();
    EXPECT_EQ(t.desktop.applicationLookupCount(), 2 * lookups + 1);
}

TEST_F(AutoHideTest, AppsOfTheSameNameKeepTheirPlacesByBundleIdentifier)
{
    const QStringList chats = {"com.hnc.Discord",
                               "com.microsoft.teams",
                               "com.microsoft.teams2",
                               "com.telegramx.macos",
                               "com.tinyspeck.slackmacgap",
                               "com.whatsapp.mac",
                               "org.whispersystems.signal-desktop"};
    for (int i = 0; i < chats.size(); ++i) {
        install(chats[i], i % 2 == 0 ? QStringLiteral("Chat") : QStringLiteral("chat"));
    }
    start();
    AutoHideView& view = open();
    EXPECT_EQ(ids(view.suggestedCandidates()), chats);
    manager->setAutoHideBundleIDs(QSet<QString>(chats.cbegin(), chats.cend()));
    EXPECT_EQ(ids(view.listedCandidates()), chats);
}

TEST_F(AutoHideTest, RowSwitchesMoveAppsOnAndOffTheList)
{
    install(QStringLiteral("com.hnc.Discord"), QStringLiteral("Discord"));
    t.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"));
    start();
    open();
    struct Step
    {
        const char* app;
        bool listed;
        const char* section;
    };
    const Step steps[] = {
        {"com.apple.Notes", true, "autoHideSectionListed"},
        {"com.hnc.Discord", true, "autoHideSectionListed"},
        {"com.apple.Notes", false, "autoHideSectionRunning"},
        {"com.hnc.Discord", false, "autoHideSectionSuggested"},
    };
    for (const Step& step : steps) {
        const QString id = QString::fromLatin1(step.app);
        click(rowSwitch(id));
        advance();
        EXPECT_EQ(manager->autoHideBundleIDs().contains(id), step.listed) << step.app;
        EXPECT_EQ(sectionOf(id), QString::fromLatin1(step.section)) << step.app;
        EXPECT_EQ(rowSwitch(id).isOn(), step.listed) << step.app;
    }
}

TEST_F(AutoHideTest, ARowKeepsItsGapBeforeTheSwitchAndTheEmptyTextLinesUpWithItsTitle)
{
    const QString id = QStringLiteral("com.example.long");
    t.desktop.launchApp(id, QStringLiteral("An App Whose Name Runs On Far Past The Row Of The Page"));
    start();
    open();
    layOut();
    const QWidget& name = named(*row(id), QStringLiteral("appName"));
    const QWidget& toggle = rowSwitch(id);
    EXPECT_EQ(toggle.mapTo(row(id), QPoint(0, 0)).x() - name.mapTo(row(id), QPoint(name.width(), 0)).x(),
              12 + 6 + 12);

    // The empty list's text is padded 8 points at the sides (where the title starts) and 6 above.
    QWidget& section = named(*page, "autoHideSectionListed");
    const QImage image = kit::renderView(section, 2.0, kit::Palette::canvas());
    // The first column and row with ink inside a view, in the section's points.
    const auto ink = [&](const QWidget& view) {
        const QRect r(view.mapTo(&section, QPoint(0, 0)), view.size());
        QPointF first(r.right() + 1, r.bottom() + 1);
        for (int y = 2 * r.top(); y < 2 * (r.bottom() + 1); ++y) {
            for (int x = 2 * r.left(); x < 2 * (r.right() + 1); ++x) {
                if (image.pixelColor(x, y).lightness() > 70) {
                    first = QPointF(std::min(first.x(), x / 2.0), std::min(first.y(), y / 2.0));
                }
            }
        }
        return first;
    };
    const auto& empty = named<kit::TextView>(section, "sectionEmptyText");
    const QPointF text = ink(empty);
    EXPECT_NEAR(text.x(), ink(named(section, "sectionTitle")).x(), 1) << "where the title starts";
    EXPECT_NEAR(text.x(), 8, 1);
    EXPECT_GE(text.y() - empty.y(), 6);
    EXPECT_EQ(empty.height(),
              static_cast<int>(std::ceil(empty.layoutAt(empty.width() - 16).size().height())) + 12);
}

TEST_F(AutoHideTest, DuringAShareTheSwitchesHideAndRestoreAtOnce)
{
    const QColor slack(0x4a, 0x15, 0x4b);
    t.desktop.launchApp(
        {QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("Slack"), {}, tile(slack), {}});
    t.desktop.launchApp(QStringLiteral("com.apple.MobileSMS"), QStringLiteral("Messages"));
    t.desktop.launchApp(
        {QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"), {}, tile(QColor(0xf5c542)), {}});
    install(QStringLiteral("com.hnc.Discord"), QStringLiteral("Discord"), tile(QColor(0x5865f2)));
    t.defaults.setObject(QStringList{"com.tinyspeck.slackmacgap", "com.apple.MobileSMS", "com.apple.Numbers"},
                         WindowManager::autoHideListKey);
    start();
    // The user hid Messages by hand; a meeting app is sharing.
    manager->toggleHidden(QStringLiteral("com.apple.MobileSMS"));
    const auto zoom = t.desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
    t.desktop.addWindow(zoom, QStringLiteral("Zoom Share Toolbar"), QRectF(500, 0, 400, 60));
    manager->refreshRunningApps();
    ASSERT_TRUE(manager->detectedShare());
    open();

    click(named(*page, QStringLiteral("autoHideEnabledSwitch")));
    EXPECT_TRUE(t.defaults.boolForKey(WindowManager::autoHideEnabledKey));
    EXPECT_EQ(manager->hiddenBundleIDs(),
              (QSet<QString>{"com.tinyspeck.slackmacgap", "com.apple.MobileSMS", "com.apple.Numbers"}));

    hover(*row(QStringLiteral("com.apple.Notes")), true);
    advance();
    const QImage image = picture(*page, *page, QStringLiteral("auto-hide-page"));
    EXPECT_TRUE(cardBorder(image, *page, named(*page, "autoHideCard"), true))
        << "active while hiding is in force";
    // The listed app installed nowhere has the placeholder tile, a running one its icon; the
    // hovered row lights up.
    EXPECT_TRUE(near(colorAt(image, at(*page, *row("com.apple.Numbers"), 11)), kit::Palette::surfaceHigh()));
    EXPECT_TRUE(near(colorAt(image, at(*page, *row("com.tinyspeck.slackmacgap"), 20)), slack));
    EXPECT_TRUE(near(colorAt(image, at(*page, *row("com.apple.Notes"), 3)), kit::Palette::surfaceRaised()));

    // A row switched on while hiding is in force hides its app at once.
    click(rowSwitch(QStringLiteral("com.apple.Notes")));
    EXPECT_TRUE(manager->hiddenBundleIDs().contains(QStringLiteral("com.apple.Notes")));

    // Off again: exactly what the automatic hiding hid comes back.
    click(named(*page, QStringLiteral("autoHideEnabledSwitch")));
    EXPECT_FALSE(t.defaults.boolForKey(WindowManager::autoHideEnabledKey));
    EXPECT_EQ(manager->hiddenBundleIDs(), QSet<QString>{"com.apple.MobileSMS"});
}

// Rows come a batch a turn, in order, also when more than a batch of apps arrives before the rows
// already made (made all in one turn, thousands took time growing with their square).
TEST_F(AutoHideTest, ManyRunningAppsGetTheirRowsABatchATurnInOrder)
{
    start();
    QList<AppInfo> apps;
    const auto add = [&apps](int at, const QString& name) {
        const QString id = QStringLiteral("com.example.") + QString(name).replace(' ', '-');
        apps.insert(at, AppInfo{id, id, name, {}});
    };
    for (int i = 0; i < RowBatches::kRowsPerTurn * 2 + 50; ++i) {
        add(i, QStringLiteral("M %1").arg(i, 4, 10, QLatin1Char('0')));
    }
    manager->setRunningApps(apps);
    // Not shown: the rows are made all the same, and nothing needs laying out.
    AutoHideView view(*manager, [] {});
    const auto& rows =
        *named(view, "autoHideSectionRunning").findChild<QWidget*>(QStringLiteral("sectionRows"));
    const auto inOrder = [&] {
        QStringList shown;
        for (int i = 0; i < rows.layout()->count(); ++i) {
            shown << rows.layout()->itemAt(i)->widget()->objectName();
        }
        QStringList expected;
        for (const AppInfo& app : manager->runningApps()) {
            expected << QStringLiteral("autoHideAppRow:") + app.bundleID;
        }
        return shown == expected;
    };
    EXPECT_EQ(rows.layout()->count(), RowBatches::kRowsPerTurn);
    t.scheduler.runPending();
    EXPECT_TRUE(inOrder());

    for (int i = 0; i < RowBatches::kRowsPerTurn + 20; ++i) {
        add(i, QStringLiteral("A %1").arg(i, 4, 10, QLatin1Char('0')));
    }
    manager->setRunningApps(apps);
    EXPECT_FALSE(inOrder());
    t.scheduler.runPending();
    EXPECT_TRUE(inOrder());
}
