#include "capture/SurfaceView.h"
#include "popover/AppListView.h"
#include "popover/AppRowModel.h"
#include "popover/AppRowView.h"
#include "popover/PinButton.h"
#include "popover/TapArea.h"
#include "popover/WindowRowView.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/TextView.h"
#include "shell/kit/VeiledBadge.h"
#include "tests/popover/RowFixture.h"

#include <functional>

using namespace testing_support;

namespace {

const QString kA = QStringLiteral("com.example.a");
const QString kB = QStringLiteral("com.example.b");

// The popover's app list over two apps: A with three windows (the second untitled), B with one.
struct AppRows : RowFixture
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
        std::function<void(WindowManager&)> arrange;
        bool canExpand;
        std::optional<QString> badge;
        QString count;
    };
    const Case cases[] = {
        {"one plain window", kC, [](WindowManager&) {}, false, std::nullopt, "1 WINDOW"},
        {"its one window hidden alone",
         kC,
         [only](WindowManager& m) {
             m.setHiddenWindows({{only, kC}});
         },
         true,
         "1/1 hidden",
         "1 WINDOW"},
        {"its one window pinned alone",
         kC,
         [only](WindowManager& m) {
             m.setPinnedWindows({{only, kC}});
         },
         true,
         std::nullopt,
         "1 WINDOW"},
        {"pinned whole",
         kC,
         [](WindowManager& m) { m.setPinnedBundleIDs({kC}); },
         false,
         std::nullopt,
         "1 WINDOW"},
        {"one of three hidden",
         kA,
         [this](WindowManager& m) {
             m.setHiddenWindows({{a[1], kA}});
         },
         true,
         "1/3 hidden",
         "3 WINDOWS"},
        {"more hidden than listed",
         kA,
         [this](WindowManager& m) {
             m.setHiddenWindows({{a[0], kA}, {a[1], kA}, {a[2], kA}, {9999, kA}});
         },
         true,
         "4/4 hidden",
         "3 WINDOWS"},
        {"hidden whole",
         kA,
         [this](WindowManager& m) {
             m.setHiddenBundleIDs({kA});
             m.setHiddenWindows({{a[1], kA}});
         },
         true,
         "Hidden",
         "3 WINDOWS"},
    };
    for (const Case& c : cases) {
        manager->setHiddenBundleIDs({});
        manager->setPinnedBundleIDs({});
        manager->setHiddenWindows({});
        manager->setPinnedWindows({});
        c.arrange(*manager);
        const AppRowModel m = AppRowModel::make(*manager, c.app, navigation, false);
        EXPECT_EQ(m.canExpand, c.canExpand) << c.name;
        EXPECT_EQ(m.badgeText(), c.badge) << c.name;
        EXPECT_EQ(m.windowCountText(), c.count) << c.name;
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
