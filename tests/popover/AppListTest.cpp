#include "popover/AppListView.h"
#include "popover/AppRowView.h"
#include "popover/WindowRowView.h"
#include "shell/kit/FlameSlider.h"
#include "tests/popover/RowFixture.h"

#include <QCursor>
#include <QPointer>

using namespace testing_support;

namespace {

const QString kBeta = QStringLiteral("com.example.beta");
const QString kDelta = QStringLiteral("com.example.delta");

// Every row widget of the list, and how many of them have been destroyed since.
struct RowCensus
{
    QList<QPointer<QWidget>> rows;
    int destroyed = 0;
    QObject context; // ends the counting with the census

    explicit RowCensus(const QWidget& list)
    {
        QList<QWidget*> all;
        for (QWidget* w : list.findChildren<AppRowView*>()) {
            all.append(w);
        }
        for (QWidget* w : list.findChildren<WindowRowView*>()) {
            all.append(w);
        }
        for (QWidget* w : all) {
            rows.append(w);
            QObject::connect(w, &QObject::destroyed, &context, [this] { ++destroyed; });
        }
    }
    static qsizetype count(const QWidget& list)
    {
        return list.findChildren<AppRowView*>().size() + list.findChildren<WindowRowView*>().size();
    }
};

} // namespace

using AppList = RowFixture;

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

    RowCensus census(list);
    const qsizetype rowCount = RowCensus::count(list);
    ASSERT_EQ(rowCount, 6);

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
    EXPECT_EQ(census.destroyed, 0);
    EXPECT_EQ(RowCensus::count(list), rowCount + 1);
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
    EXPECT_EQ(census.destroyed, 1);
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
