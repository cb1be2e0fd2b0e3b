#pragma once

#include "popover/RowBatches.h"
#include "state/Models.h"

#include <QHash>
#include <QWidget>

class AppRowView;
class PopoverNavigation;
class WindowManager;

namespace kit {
class TextLabel;
}

// The list of running apps on the popover's main page: one row per app of the state object's
// running apps, in their order, or a note when none runs. Rows are kept by bundle identifier, so
// the refreshes that republish the list neither rebuild nor reset them: a row's hover, expansion,
// open panel and a drag of its slider survive, also when the order changes. Main thread only.
class AppListView final : public QWidget
{
    Q_OBJECT

public:
    AppListView(WindowManager& windowManager, PopoverNavigation& navigation, QWidget* parent = nullptr);

    AppRowView* row(const QString& bundleID) const { return m_rows.value(bundleID); }
    // The rows in list order. With more apps than one batch of rows, the later rows come on the
    // following turns of the main loop.
    QList<AppRowView*> rows() const;
    bool showsEmptyNote() const;

private:
    void sync();
    // A later pass: the rows still missing at the end of the list, or a whole pass when rows were
    // left out within it.
    void makeMoreRows();

    WindowManager& m_windowManager;
    PopoverNavigation& m_navigation;
    QHash<QString, AppRowView*> m_rows;
    QList<QString> m_order;
    QWidget* m_rowsView;
    kit::TextLabel* m_empty;
    RowBatches m_batches;
    // The first app whose row is still to be appended, or -1 when a whole pass is due.
    qsizetype m_appendFrom = -1;
};
