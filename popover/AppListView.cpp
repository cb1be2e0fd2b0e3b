#include "popover/AppListView.h"

#include "popover/AppRowView.h"
#include "shell/kit/TextLabel.h"
#include "state/WindowManager.h"

#include <QVBoxLayout>

AppListView::AppListView(WindowManager& windowManager, PopoverNavigation& navigation, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_navigation(navigation)
{
    setObjectName(QStringLiteral("appList"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_empty = new kit::TextLabel(QStringLiteral("NO RUNNING APPS DETECTED"),
                                 [] { return kit::monoMutedLabel(10); });
    m_empty->setObjectName(QStringLiteral("noRunningApps"));
    auto* emptyBox = new QWidget;
    auto* emptyLayout = new QVBoxLayout(emptyBox);
    emptyLayout->setContentsMargins(0, 28, 0, 0);
    emptyLayout->addWidget(m_empty, 0, Qt::AlignHCenter);
    column->addWidget(emptyBox);

    m_rowsView = new QWidget;
    auto* rows = new QVBoxLayout(m_rowsView);
    rows->setContentsMargins(8, 0, 8, 6);
    rows->setSpacing(1);
    column->addWidget(m_rowsView);
    column->addStretch(1);

    connect(&windowManager, &WindowManager::runningAppsChanged, this, &AppListView::sync);
    sync();
}

QList<AppRowView*> AppListView::rows() const
{
    QList<AppRowView*> list;
    for (const QString& bundleID : m_order) {
        list.append(m_rows.value(bundleID));
    }
    return list;
}

bool AppListView::showsEmptyNote() const
{
    return !m_empty->parentWidget()->isHidden();
}

void AppListView::sync()
{
    const QList<AppInfo>& apps = m_windowManager.runningApps();
    auto* layout = static_cast<QVBoxLayout*>(m_rowsView->layout());
    QHash<QString, AppRowView*> kept;
    QList<QString> order;
    for (const AppInfo& app : apps) {
        if (kept.contains(app.bundleID)) {
            continue; // one row per app
        }
        AppRowView* row = m_rows.take(app.bundleID);
        if (row == nullptr) {
            row = new AppRowView(m_windowManager, app, m_navigation);
            layout->addWidget(row);
        } else if (!(row->app() == app) || row->app().icon.cacheKey() != app.icon.cacheKey()) {
            row->setApp(app);
        }
        kept.insert(app.bundleID, row);
        order.append(app.bundleID);
    }
    for (AppRowView* gone : std::as_const(m_rows)) {
        delete gone;
    }
    m_rows = kept;
    if (order != m_order) {
        // Moves only: the rows themselves stay as they are.
        for (qsizetype i = 0; i < order.size(); ++i) {
            AppRowView* row = m_rows.value(order.at(i));
            if (layout->indexOf(row) != i) {
                layout->removeWidget(row);
                layout->insertWidget(static_cast<int>(i), row);
            }
        }
        m_order = order;
    }
    m_empty->parentWidget()->setVisible(apps.isEmpty());
    m_rowsView->setVisible(!apps.isEmpty());
}
