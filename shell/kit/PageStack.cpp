#include "shell/kit/PageStack.h"

namespace kit {

PageStack::PageStack(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PageStack"));
}

QList<QWidget*> PageStack::pages() const
{
    return findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
}

void PageStack::addPage(QWidget* page, const Transition& transition)
{
    page->setParent(this);
    page->setGeometry(rect());
    const bool first = m_current == nullptr;
    if (first) {
        m_current = page;
        page->show();
    } else {
        page->hide();
    }
    Presence::of(page).setTransition(transition);
    updateGeometry();
}

void PageStack::setCurrentPage(QWidget* page)
{
    if (page == m_current || page == nullptr || page->parentWidget() != this) {
        return;
    }
    QWidget* leaving = m_current;
    m_current = page;
    page->setGeometry(rect());
    page->raise();
    if (leaving != nullptr) {
        Presence::of(leaving).setPresent(false);
    }
    Presence::of(page).setPresent(true);
}

void PageStack::replaceCurrentPage(QWidget* page, const Transition& transition)
{
    QPointer<QWidget> leaving = m_current;
    addPage(page, transition);
    if (leaving == nullptr) {
        return;
    }
    connect(&Presence::of(leaving), &Presence::removed, leaving, &QObject::deleteLater);
    setCurrentPage(page);
}

QSize PageStack::sizeHint() const
{
    QSize size;
    for (const QWidget* page : pages()) {
        size = size.expandedTo(page->sizeHint());
    }
    return size;
}

QSize PageStack::minimumSizeHint() const
{
    QSize size(0, 0);
    for (const QWidget* page : pages()) {
        size = size.expandedTo(page->minimumSizeHint());
    }
    return size;
}

void PageStack::resizeEvent(QResizeEvent* /*e*/)
{
    for (QWidget* page : pages()) {
        page->setGeometry(rect());
    }
}

} // namespace kit
