#pragma once

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
    // The rows in list order.
    QList<AppRowView*> rows() const;
    bool showsEmptyNote() const;

private:
    void sync();

    WindowManager& m_windowManager;
    PopoverNavigation& m_navigation;
    QHash<QString, AppRowView*> m_rows;
    QList<QString> m_order;
    QWidget* m_rowsView;
    kit::TextLabel* m_empty;
};
