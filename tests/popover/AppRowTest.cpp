// The popover's app list, app rows and window rows driven through their controls against the
// state object on the simulated desktop: hiding and pinning, the transparency panel and its
// slider, the recording note, rows kept across refreshes, and pictures of a row.
#include "capture/SurfaceView.h"
#include "popover/AppListView.h"
#include "popover/AppRowModel.h"
#include "popover/AppRowView.h"
#include "popover/PinButton.h"
#include "popover/RowBatches.h"
#include "popover/TapArea.h"
#include "popover/WindowRowView.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/VeiledBadge.h"
#include "tests/popover/PopoverFixture.h"

#include <QCursor>
#include <QPointer>
#include <QTest>
#include <QWindow>

#include <functional>

using namespace testing_support;

namespace {

const QString kA = QStringLiteral("com.example.a");
const QString kB = QStringLiteral("com.example.b");

// The popover's app list over two apps: A with three windows (the second untitled), B with one.
struct AppRows : PopoverTest
{
    QList<quint32> a;
    QList<quint32> b;
    AppListView* list = nullptr;

    void SetUp() override
    {
        a = launch(kA, QStringLiteral("Atlas"), {"Inbox", "", "Draft"});
        b = launch(kB, QStringLiteral("Beacon"), {"Notes"});
        start();
        list = &static_cast<AppListView&>(host(new AppListView(*manager, navigation)));
    }

    AppRowView& row(const QString& bundleID) const { return *list->row(bundleID); }
    WindowRowView& windowRow(const QString& bundleID, int index) const
    {
        return *row(bundleID).windowRows().at(index);
    }
    static kit::FlameToggle& hideSwitch(const QWidget& row)
    {
        return named<kit::FlameToggle>(row, "hideSwitch");
    }
    void clickPin(const QWidget& row) { testing_support::click(named<PinButton>(row, "pinButton")); }
    void expand(const QString& bundleID)
    {
        click(named(row(bundleID), "windowCountButton"));
        settle();
    }
    QString badge(const QString& bundleID) const
    {
        const auto& view = named<kit::VeiledBadge>(row(bundleID), "appBadge");
        return view.isVisible() ? view.text() : QString();
    }
};

} // namespace

TEST_F(AppRows, TheRowModelDerivesBadgesCountsHintsAndPercentages)
{
    static const QString kC = QStringLiteral("com.example.c");
    launch(kC, QStringLiteral("Cirrus"), {"Only"});
    refresh();
    const quint32 only = manager->windowsByApp().value(kC).first().id;
    struct Case
    {
        const char* name;
        QString app;
        QSet<QString> hiddenApps, pinnedApps;
        QList<quint32> hiddenWindows, pinnedWindows; // of the app
        bool canExpand;
        std::optional<QString> badge;
        QString count;
    };
    const Case cases[] = {
        {"one plain window", kC, {}, {}, {}, {}, false, std::nullopt, "1 WINDOW"},
        {"its one window hidden alone", kC, {}, {}, {only}, {}, true, "1/1 hidden", "1 WINDOW"},
        {"its one window pinned alone", kC, {}, {}, {}, {only}, true, std::nullopt, "1 WINDOW"},
        {"pinned whole", kC, {}, {kC}, {}, {}, false, std::nullopt, "1 WINDOW"},
        {"one of three hidden", kA, {}, {}, {a[1]}, {}, true, "1/3 hidden", "3 WINDOWS"},
        {"more hidden than listed",
         kA,
         {},
         {},
         {a[0], a[1], a[2], 9999},
         {},
         true,
         "4/4 hidden",
         "3 WINDOWS"},
        {"hidden whole", kA, {kA}, {}, {a[1]}, {}, true, "Hidden", "3 WINDOWS"},
    };
    for (const Case& c : cases) {
        const auto windows = [&c](const QList<quint32>& ids) {
            WindowManager::WindowMap map;
            for (const quint32 id : ids) {
                map.insert(id, c.app);
            }
            return map;
        };
        manager->setHiddenBundleIDs(c.hiddenApps);
        manager->setPinnedBundleIDs(c.pinnedApps);
        manager->setHiddenWindows(windows(c.hiddenWindows));
        manager->setPinnedWindows(windows(c.pinnedWindows));
        const AppRowModel m = AppRowModel::make(*manager, c.app, navigation, false);
        EXPECT_EQ(std::tuple(m.canExpand, m.badgeText(), m.windowCountText()),
                  std::tuple(c.canExpand, c.badge, c.count))
            << c.name;
        EXPECT_EQ(row(c.app).model(), m) << c.name;
    }

    // The hint shows on hover only while the app is neither hidden nor holding pinned content.
    manager->setPinnedBundleIDs({});
    EXPECT_TRUE(AppRowModel::make(*manager, kB, navigation, true).showsPinHint);
    EXPECT_FALSE(AppRowModel::make(*manager, kB, navigation, false).showsPinHint);
    manager->setHiddenBundleIDs({kB});
    EXPECT_FALSE(AppRowModel::make(*manager, kB, navigation, true).showsPinHint);

    const std::pair<double, const char*> percents[] = {
        {0, "0%"}, {0.125, "13%"}, {0.5, "50%"}, {0.85, "85%"}, {qQNaN(), "0%"}};
    for (const auto& [fraction, text] : percents) {
        EXPECT_EQ(percentText(fraction), QString::fromLatin1(text)) << fraction;
    }
}

TEST_F(AppRows, AppAndWindowSwitchesHideAndSplitAnAppHiddenWhole)
{
    AppRowView& atlas = row(kA);
    click(hideSwitch(atlas));
    EXPECT_EQ(manager->hiddenBundleIDs(), QSet<QString>{kA});
    EXPECT_TRUE(hideSwitch(atlas).isOn());
    EXPECT_EQ(badge(kA), QStringLiteral("Hidden"));
    click(named<TapArea>(atlas, "tapArea"));
    EXPECT_TRUE(manager->hiddenBundleIDs().isEmpty());
    EXPECT_FALSE(hideSwitch(atlas).isOn());

    click(hideSwitch(atlas));
    expand(kA);
    ASSERT_EQ(atlas.windowRows().size(), 3);
    for (WindowRowView* windowView : atlas.windowRows()) {
        EXPECT_TRUE(hideSwitch(*windowView).isOn());
    }
    // Showing one window of an app hidden whole leaves the others hidden one by one.
    click(hideSwitch(windowRow(kA, 1)));
    EXPECT_TRUE(manager->hiddenBundleIDs().isEmpty());
    EXPECT_EQ(manager->hiddenWindows(), (WindowManager::WindowMap{{a[0], kA}, {a[2], kA}}));
    EXPECT_EQ(badge(kA), QStringLiteral("2/3 hidden"));
    EXPECT_EQ((std::vector<bool>{hideSwitch(windowRow(kA, 0)).isOn(),
                                 hideSwitch(windowRow(kA, 1)).isOn(),
                                 hideSwitch(windowRow(kA, 2)).isOn()}),
              (std::vector<bool>{true, false, true}));
    click(named<TapArea>(windowRow(kA, 0), "tapArea"));
    EXPECT_EQ(manager->hiddenWindows(), (WindowManager::WindowMap{{a[2], kA}}));

    // An untitled window is shown and spoken under its place in the list.
    EXPECT_EQ(windowRow(kA, 1).displayTitle(), QStringLiteral("Window 2"));
    EXPECT_EQ(hideSwitch(windowRow(kA, 1)).accessibleName(), QStringLiteral("Window 2"));
    EXPECT_EQ(hideSwitch(atlas).accessibleName(), QStringLiteral("Atlas"));

    // Pinning one window opens the app's panel; the app's pin shows it partly pinned.
    clickPin(windowRow(kA, 2));
    EXPECT_EQ(manager->pinnedWindows(), (WindowManager::WindowMap{{a[2], kA}}));
    EXPECT_EQ(navigation.transparencyAppID(), kA);
    EXPECT_TRUE(atlas.model().isTransparencyOpen);
    const auto& pin = *atlas.findChildren<PinButton*>().first();
    EXPECT_EQ(std::pair(pin.isPinned(), pin.isPartial()), std::pair(false, true));
    EXPECT_TRUE(named(atlas, "transparencyChip").isVisible());
}

TEST_F(AppRows, OnlyTheIconAndTextsOfAnAppTakeItsTapAndEveryRowKeepsItsGaps)
{
    const QString kLong = QStringLiteral("com.example.long");
    launch(kLong, QStringLiteral("An App Whose Name Runs On Far Past The Row"), {"One", "Two"});
    refresh();
    settle();
    // From a view's right edge to another's left edge, in the row.
    const auto gap = [](const QWidget& row, const QWidget& left, const QWidget& right) {
        return right.mapTo(&row, QPoint(0, 0)).x() - left.mapTo(&row, QPoint(left.width(), 0)).x();
    };
    AppRowView& atlas = row(kA);
    const QWidget& area = named<TapArea>(atlas, "tapArea");
    const QWidget& pin = named(atlas, "pinButton");
    EXPECT_LT(area.width(), 120) << "the icon and the name, not the row's middle";
    EXPECT_GE(gap(atlas, area, pin), 12 + 4 + 12);
    AppRowView& longRow = row(kLong);
    EXPECT_EQ(gap(longRow, named<TapArea>(longRow, "tapArea"), named(longRow, "pinButton")), 12 + 4 + 12);
    EXPECT_TRUE(
        named<kit::TextView>(longRow, "appName").layoutAt(named(longRow, "appName").width()).isTruncated());

    // A click in the row's empty middle changes nothing, nor does a press on the name released
    // there; a click on the name hides the app. (Points of the row: 10 + 28 + 12 to the name, the
    // main line 8 + 30 + 8 high.)
    const QPointF onName(60, 16);
    const QPointF middle(160, 23);
    ASSERT_LT(atlas.mapTo(atlas.window(), middle).x(), pin.mapTo(atlas.window(), QPoint(0, 0)).x());
    ASSERT_GT(atlas.mapTo(atlas.window(), middle).x(),
              area.mapTo(atlas.window(), QPoint(area.width(), 0)).x());
    click(atlas, middle);
    EXPECT_TRUE(manager->hiddenBundleIDs().isEmpty());
    QWindow* handle = atlas.window()->windowHandle();
    const auto inWindow = [&atlas](QPointF at) {
        return atlas.mapTo(atlas.window(), at).toPoint();
    };
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, inWindow(onName));
    QTest::mouseMove(handle, inWindow(middle));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, inWindow(middle));
    EXPECT_TRUE(manager->hiddenBundleIDs().isEmpty());
    click(atlas, onName);
    EXPECT_EQ(manager->hiddenBundleIDs(), QSet<QString>{kA});

    // With its chip shown, the gap stays before the chip.
    clickPin(longRow);
    settle();
    EXPECT_EQ(gap(longRow, named<TapArea>(longRow, "tapArea"), named(longRow, "transparencyChip")),
              12 + 4 + 12);

    // A window row's tap reaches across its free width; its title keeps 8 + 4 + 8 before the pin.
    expand(kLong);
    manager->setHiddenBundleIDs({});
    t.desktop.setWindowTitle(manager->windowsByApp().value(kLong).first().id,
                             QStringLiteral("A window title long enough to run past the pin of its row"));
    refresh();
    settle();
    WindowRowView& windowView = windowRow(kLong, 0);
    const QWidget& title = named(windowView, "windowTitle");
    const QWidget& windowArea = named<TapArea>(windowView, "tapArea");
    const QWidget& windowPin = named(windowView, "pinButton");
    EXPECT_EQ(gap(windowView, title, windowPin), 8 + 4 + 8);
    EXPECT_EQ(gap(windowView, windowArea, windowPin), 8);
    const QPointF beside =
        windowArea.mapTo(&windowView, QPointF(windowArea.width() - 4, windowArea.height() / 2.0));
    click(windowView, beside);
    EXPECT_TRUE(manager->isHidden(manager->windowsByApp().value(kLong).first().id, kLong));
}

TEST_F(AppRows, AHoveredOneWindowRowShowsThePinHintUntilItsAppIsHiddenOrPinned)
{
    // Beacon has one window: its secondary line holds no window-count button, so the pointer
    // over the row brings the hint there.
    AppRowView& beacon = row(kB);
    const QWidget& hint = named(beacon, "pinHint");
    EXPECT_FALSE(named(beacon, "windowCountButton").isVisible());
    EXPECT_FALSE(hint.isVisible());
    QCursor::setPos(beacon.mapToGlobal(QPoint(160, 23)));
    hover(beacon, true);
    settle();
    EXPECT_TRUE(beacon.isHovered());
    EXPECT_TRUE(hint.isVisible());
    EXPECT_TRUE(
        named<kit::TextLabel>(beacon, "pinHint").text().contains(QStringLiteral("Pin to keep on top")));

    // Hidden, or pinned, the app has no use for the hint.
    manager->toggleHidden(kB);
    settle();
    EXPECT_FALSE(hint.isVisible());
    manager->toggleHidden(kB);
    settle();
    EXPECT_TRUE(hint.isVisible());
    clickPin(beacon);
    settle();
    EXPECT_FALSE(hint.isVisible());
    clickPin(beacon);
    settle();
    EXPECT_TRUE(hint.isVisible());

    // The pointer gone, the hint goes.
    hover(beacon, false);
    settle();
    EXPECT_FALSE(beacon.isHovered() || hint.isVisible());
}

TEST_F(AppRows, TheSliderWritesTheAppsTransparencyAndThePinnedOverlayFollows)
{
    AppRowView& beacon = row(kB);
    clickPin(beacon);
    settle();
    EXPECT_EQ(manager->pinnedBundleIDs(), QSet<QString>{kB});
    const auto& overlay = manager->pinnedWindowController().overlayEntries().at(b[0]);
    auto& slider = named<kit::FlameSlider>(beacon, "transparencySlider");
    const auto& description = named<kit::TextView>(beacon, "transparencyDescription");
    EXPECT_EQ(description.text(),
              QStringLiteral("Opaque. Drag to make Beacon's pinned windows see-through."));

    const kit::FlameSliderGeometry g = slider.geometryNow();
    press(slider, QPointF(g.knobCenter(), 9));
    moveMouse(slider, QPointF(g.knobCenter() + g.usable / 2, 9));
    const double value = manager->pinnedTransparency().value(kB);
    EXPECT_NEAR(value, 0.425, 0.01);
    EXPECT_DOUBLE_EQ(slider.value(), value);
    EXPECT_DOUBLE_EQ(overlay.view->alphaValue(), 1 - value);
    EXPECT_EQ(t.defaults.object(WindowManager::pinnedTransparencyKey).toMap().value(kB).toDouble(), value);
    EXPECT_EQ(beacon.model().transparencyPercentText(), percentText(value));
    EXPECT_EQ(description.text(),
              QStringLiteral("Pinned windows stay see-through, even while you use them."));

    moveMouse(slider, QPointF(-50, 9));
    release(slider, QPointF(-50, 9));
    EXPECT_FALSE(manager->pinnedTransparency().contains(kB));
    EXPECT_DOUBLE_EQ(overlay.view->alphaValue(), 1.0);
}

TEST_F(AppRows, SignedOutEveryControlLeavesTheModelAndTheSwitchesAsTheyAre)
{
    clickPin(row(kB));
    ASSERT_EQ(navigation.transparencyAppID(), kB);
    manager->setIsAuthenticated(false);
    const auto snapshot = [this] {
        return std::tuple(manager->hiddenBundleIDs(),
                          manager->hiddenWindows(),
                          manager->pinnedBundleIDs(),
                          manager->pinnedWindows());
    };
    const auto before = snapshot();

    AppRowView& atlas = row(kA);
    click(hideSwitch(atlas));
    click(named<TapArea>(atlas, "tapArea"));
    expand(kA);
    click(hideSwitch(windowRow(kA, 0)));
    click(named<TapArea>(windowRow(kA, 0), "tapArea"));
    clickPin(windowRow(kA, 0));
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(hideSwitch(atlas).isOn());
    EXPECT_FALSE(hideSwitch(windowRow(kA, 0)).isOn());
    EXPECT_FALSE(windowRow(kA, 0).findChild<PinButton*>()->isPinned());
    // The pin that did not take still moves the panel: Beacon's closes, Atlas's stays latent.
    EXPECT_EQ(navigation.transparencyAppID(), kA);
    EXPECT_FALSE(atlas.model().isTransparencyOpen);
    EXPECT_FALSE(row(kB).model().isTransparencyOpen);
}

TEST_F(AppRows, TheRecordingNoteShowsUntilDismissedOnceForEveryRowAndLaunch)
{
    clickPin(row(kA));
    EXPECT_TRUE(row(kA).showsRecordingNote());
    settle();
    click(named<kit::PillButton>(row(kA), "gotItButton"));
    settle();
    EXPECT_FALSE(row(kA).showsRecordingNote());
    EXPECT_EQ(t.defaults.object(AppRowView::seenPinRecordingNoteKey), QVariant(true));

    clickPin(row(kB));
    EXPECT_TRUE(row(kB).model().isTransparencyOpen);
    EXPECT_FALSE(row(kB).showsRecordingNote());
    // Rows made anew (the next launch) read the stored flag.
    AppListView again(*manager, navigation);
    EXPECT_TRUE(again.row(kB)->model().isTransparencyOpen);
    EXPECT_FALSE(again.row(kB)->showsRecordingNote());
}

TEST_F(AppRows, TheOpenPanelFollowsPinningUnpinningAndWindowsClosingElsewhere)
{
    expand(kA);
    const auto pinWindow = [this](int index) {
        return [this, index] {
            clickPin(windowRow(kA, index));
        };
    };
    struct Step
    {
        const char* name;
        std::function<void()> act;
        std::optional<QString> panelApp;
        bool atlasOpen;
    };
    const Step steps[] = {
        {"pin an Atlas window", pinWindow(0), kA, true},
        {"pin Beacon", [this] { clickPin(row(kB)); }, kB, false},
        {"pin a second Atlas window", pinWindow(2), kA, true},
        {"unpin one of two", pinWindow(2), kA, true},
        {"unpin the last", pinWindow(0), std::nullopt, false},
        {"pin it again", pinWindow(0), kA, true},
        {"the window closes elsewhere",
         [this] {
             t.desktop.removeWindow(a[0]);
             refresh();
         },
         kA,
         false},
        {"pinning the app reopens it", [this] { clickPin(row(kA)); }, kA, true},
        {"the chip closes it", [this] { click(named(row(kA), "transparencyChip")); }, std::nullopt, false},
        {"the chip opens it", [this] { click(named(row(kA), "transparencyChip")); }, kA, true},
    };
    for (const Step& step : steps) {
        step.act();
        settle();
        EXPECT_EQ(navigation.transparencyAppID(), step.panelApp) << step.name;
        EXPECT_EQ(row(kA).model().isTransparencyOpen, step.atlasOpen) << step.name;
        EXPECT_EQ(named(row(kA), "transparencyPanel").height() > 0, step.atlasOpen) << step.name;
    }
}

namespace {

const QString kBeta = QStringLiteral("com.example.beta");
const QString kDelta = QStringLiteral("com.example.delta");

// Every row widget of the list, watched: a destroyed one reads as null.
QList<QPointer<QWidget>> rowsOf(const QWidget& list)
{
    QList<QPointer<QWidget>> rows;
    for (QWidget* row : list.findChildren<AppRowView*>()) {
        rows << row;
    }
    for (QWidget* row : list.findChildren<WindowRowView*>()) {
        rows << row;
    }
    return rows;
}

} // namespace

using AppList = PopoverTest;

TEST_F(AppList, RowsKeepHoverExpansionPanelAndSliderDragAcrossRefreshesThatReorderTheList)
{
    const QList<quint32> beta = launch(kBeta, QStringLiteral("Beta"), {"One", "Two"});
    const QList<quint32> delta = launch(kDelta, QStringLiteral("Delta"), {"Three", "Four"});
    start();
    auto& list = static_cast<AppListView&>(host(new AppListView(*manager, navigation)));
    AppRowView* betaRow = list.row(kBeta);
    AppRowView* deltaRow = list.row(kDelta);
    click(named(*betaRow, "windowCountButton"));
    click(named(*deltaRow, "windowCountButton"));
    settle();
    click(named(*deltaRow->windowRows().at(1), "pinButton"));
    settle();
    QCursor::setPos(betaRow->mapToGlobal(QPoint(20, 20)));
    hover(*betaRow, true);
    auto& slider = named<kit::FlameSlider>(*deltaRow, "transparencySlider");
    const kit::FlameSliderGeometry g = slider.geometryNow();
    press(slider, QPointF(g.knobCenter(), 9));

    const QList<QPointer<QWidget>> rows = rowsOf(list);
    ASSERT_EQ(rows.size(), 6);

    // A refresh that changes one title updates that row in place.
    t.desktop.setWindowTitle(beta[1], QStringLiteral("Two, renamed"));
    refresh();
    settle(0);
    EXPECT_EQ(betaRow->windowRows().at(1)->displayTitle(), QStringLiteral("Two, renamed"));
    EXPECT_TRUE(betaRow->isHovered());

    // A new app sorting first moves the rows without remaking them.
    const QString alpha = QStringLiteral("com.example.alpha");
    launch(alpha, QStringLiteral("Alpha"), {"Five"});
    refresh();
    settle(0);
    QStringList order;
    for (AppRowView* row : list.rows()) {
        order << row->app().name;
    }
    EXPECT_EQ(order, (QStringList{"Alpha", "Beta", "Delta"}));
    EXPECT_EQ(rows.count(nullptr), 0);
    EXPECT_EQ(rowsOf(list).size(), rows.size() + 1);
    EXPECT_EQ(list.row(kBeta), betaRow);
    EXPECT_EQ(list.row(kDelta), deltaRow);
    EXPECT_TRUE(betaRow->model().isExpanded);
    EXPECT_TRUE(deltaRow->model().isExpanded);
    EXPECT_TRUE(deltaRow->model().isTransparencyOpen);
    EXPECT_EQ(deltaRow->windowRows().at(1)->window().id, delta[1]);

    // The drag begun before the refreshes goes on.
    EXPECT_TRUE(slider.isDragging());
    moveMouse(slider, QPointF(g.knobCenter() + g.usable, 9));
    release(slider, QPointF(g.knobCenter() + g.usable, 9));
    EXPECT_DOUBLE_EQ(manager->pinnedTransparency().value(kDelta), WindowManager::maxPinnedTransparency);

    // A window gone and an app quit take only their own rows.
    t.desktop.removeWindow(beta[0]);
    t.desktop.terminateApp(pids.value(alpha));
    refresh();
    EXPECT_EQ(rows.count(nullptr), 1);
    EXPECT_EQ(list.rows(), (QList<AppRowView*>{betaRow, deltaRow}));
    EXPECT_EQ(betaRow->windowRows().size(), 1);
    EXPECT_EQ(betaRow->windowRows().first()->displayTitle(), QStringLiteral("Two, renamed"));
}

TEST_F(AppList, WithoutRunningAppsTheListSaysSo)
{
    start();
    AppListView list(*manager, navigation);
    EXPECT_TRUE(list.showsEmptyNote());
    launch(kBeta, QStringLiteral("Beta"), {"One"});
    refresh();
    EXPECT_FALSE(list.showsEmptyNote());
    EXPECT_EQ(list.rows().size(), 1);
}

using RowPictures = PopoverTest;

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
    settle();
    click(named(*row.windowRows().at(2), "pinButton"));
    navigation.setTransparencyAppID(std::nullopt);
    const QImage expanded = picture("app-row-expanded-pinned-window");
    EXPECT_TRUE(near(colorAt(expanded, inside), kit::Palette::surfaceRaised()));
    // The pinned window's pin sits on its dark disc, below the pin's own glyph.
    const QWidget& pin = named(*row.windowRows().at(2), "pinButton");
    const QPointF disc = pin.mapTo(&row, QPointF(11, 19));
    EXPECT_TRUE(near(colorAt(expanded, disc), kit::Palette::surfaceHigh()));

    click(named(row, "transparencyChip"));
    settle();
    click(named(row, "windowCountButton"));
    manager->setPinnedTransparency(0.3, bundleID);
    const QImage panel = picture("app-row-transparency-panel");
    // The recording note's card under its text.
    const QWidget& note = named(row, "recordingNoteText");
    const QPointF card = note.mapTo(&row, QPointF(-9, -5));
    EXPECT_TRUE(near(colorAt(panel, card), kit::Palette::surfaceHigh()));
    EXPECT_TRUE(near(colorAt(panel, inside), kit::Palette::surfaceRaised()));
}

// Hundreds of rows made in one turn once took time growing with their square (Qt walks every
// waiting event for each layout request it posts): 20,000 apps took minutes to start. A batch of
// rows comes each turn now, every row in its place, and a row makes its transparency panel only
// when that first opens.
TEST_F(PopoverTest, AListOfManyAppsFillsABatchATurnInOrder)
{
    const auto id = [](int i) {
        return QStringLiteral("com.example.app%1").arg(i, 4, 10, QLatin1Char('0'));
    };
    const auto name = [](const QString& prefix, int i) {
        return prefix + QStringLiteral(" %1").arg(i, 4, 10, QLatin1Char('0'));
    };
    constexpr int kApps = RowBatches::kRowsPerTurn * 2 + 50;
    start();
    QList<AppInfo> apps;
    for (int i = 0; i < kApps; ++i) {
        apps.append(AppInfo{id(i), id(i), name(QStringLiteral("M"), i), {}});
    }
    manager->setRunningApps(apps);
    // Not shown: the rows are made all the same, and nothing needs laying out.
    AppListView list(*manager, navigation);
    const auto inOrder = [&] {
        QStringList shown;
        for (const AppRowView* row : list.rows()) {
            shown << row->app().bundleID;
        }
        QStringList expected;
        for (const AppInfo& app : manager->runningApps()) {
            expected << app.bundleID;
        }
        return shown == expected;
    };
    EXPECT_EQ(list.rows().size(), RowBatches::kRowsPerTurn);
    t.scheduler.runPending();
    EXPECT_TRUE(inOrder());

    // More than a batch of apps published at once before the rows already made: filled in place.
    for (int i = 0; i < RowBatches::kRowsPerTurn + 20; ++i) {
        apps.insert(i, AppInfo{id(5000 + i), id(5000 + i), name(QStringLiteral("A"), i), {}});
    }
    manager->setRunningApps(apps);
    EXPECT_FALSE(inOrder());
    t.scheduler.runPending();
    EXPECT_TRUE(inOrder());
    EXPECT_EQ(list.rows().size(), kApps + RowBatches::kRowsPerTurn + 20);

    AppRowView& first = *list.rows().front();
    EXPECT_EQ(first.findChild<QWidget*>(QStringLiteral("transparencyPanel")), nullptr);
    manager->togglePinned(first.app().bundleID);
    navigation.setTransparencyAppID(first.app().bundleID);
    EXPECT_NE(first.findChild<QWidget*>(QStringLiteral("transparencyPanel")), nullptr);
}
