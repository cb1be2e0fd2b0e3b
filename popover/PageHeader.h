#pragma once

#include <QScrollArea>
#include <QWidget>

#include <functional>

class QString;

// The header of the popover's secondary pages: the page's title centred over a row with a back
// chevron at the leading edge and "Done" at the trailing edge, both running `onBack`. Main thread
// only.
class PageHeader final : public QWidget
{
    Q_OBJECT

public:
    PageHeader(const QString& title, std::function<void()> onBack, QWidget* parent = nullptr);
};

// The scrolling body under a secondary page's header: no scroll bars, and the popover's own
// background showing through.
QScrollArea* pageScrollArea(const QString& objectName, QWidget* content);
