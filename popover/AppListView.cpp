#include "popover/AppListView.h"

#include "popover/AppRowView.h"
#include "shell/kit/TextLabel.h"
#include "state/WindowManager.h"

#include <QVBoxLayout>

AppListView::AppListView(WindowManager& windowManager, PopoverNavigation& navigation, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_navigation(navigation)
    , m_batches(windowManager.services().scheduler, [this] { makeMoreRows(); })
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
    m_batches.begin();
    qsizetype firstMissing = -1;
    bool keptAfterMissing = false;
    for (qsizetype i = 0; i < apps.size(); ++i) {
        const AppInfo& app = apps.at(i);
        if (kept.contains(app.bundleID)) {
            continue; // one row per app
        }
        AppRowView* row = m_rows.take(app.bundleID);
        if (row == nullptr) {
            if (!m_batches.take()) {
                firstMissing = firstMissing < 0 ? i : firstMissing;
                continue;
            }
            row = new AppRowView(m_windowManager, app, m_navigation);
            layout->addWidget(row);
        } else if (!(row->app() == app) || row->app().icon.cacheKey() != app.icon.cacheKey()) {
            row->setApp(app);
        }
        keptAfterMissing = keptAfterMissing || firstMissing >= 0;
        kept.insert(app.bundleID, row);
        order.append(app.bundleID);
    }
    m_appendFrom = keptAfterMissing ? -1 : firstMissing;
    for (AppRowView* gone : std::as_const(m_rows)) {
        delete gone;
    }
    m_rows = kept;
    if (order != m_order) {
        // Moves only: the rows themselves stay as they are.
        for (qsizetype i = 0; i < order.size(); ++i) {
            AppRowView* row = m_rows.value(order.at(i));
            if (layout->itemAt(static_cast<int>(i))->widget() != row) {
                layout->removeWidget(row);
                layout->insertWidget(static_cast<int>(i), row);
            }
        }
        m_order = order;
    }
    m_empty->parentWidget()->setVisible(apps.isEmpty());
    m_rowsView->setVisible(!apps.isEmpty());
    m_batches.end();
}

void AppListView::makeMoreRows()
{
    if (m_appendFrom < 0) {
        sync();
        return;
    }
    const QList<AppInfo>& apps = m_windowManager.runningApps();
    auto* layout = static_cast<QVBoxLayout*>(m_rowsView->layout());
    m_batches.begin();
    qsizetype i = m_appendFrom;
    for (; i < apps.size(); ++i) {
        const AppInfo& app = apps.at(i);
        if (m_rows.contains(app.bundleID)) {
            continue;
        }
        if (!m_batches.take()) {
            break;
        }
        auto* row = new AppRowView(m_windowManager, app, m_navigation);
        layout->addWidget(row);
        m_rows.insert(app.bundleID, row);
        m_order.append(app.bundleID);
    }
    m_appendFrom = i;
    m_batches.end();
}
