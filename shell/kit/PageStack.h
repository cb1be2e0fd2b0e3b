#pragma once

#include "shell/kit/Transition.h"

#include <QPointer>
#include <QWidget>

namespace kit {

// Shows one of its pages at a time, each filling it. A switch takes the old page out with its
// removal and brings the new one in with its insertion, both animated by the transaction's
// animation (at once outside one); the entering page is drawn above the leaving one. Pages keep
// their state while hidden. Main thread only.
class PageStack final : public QWidget
{
    Q_OBJECT

public:
    explicit PageStack(QWidget* parent = nullptr);

    // Adds a page with the transition it enters and leaves with; the first page shows at once.
    void addPage(QWidget* page, const Transition& transition);
    void setCurrentPage(QWidget* page);
    // Shows a new page in place of the current one, which is deleted once it has left (views
    // made anew for each step).
    void replaceCurrentPage(QWidget* page, const Transition& transition);
    QWidget* currentPage() const { return m_current; }
    QList<QWidget*> pages() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QPointer<QWidget> m_current;
};

} // namespace kit
