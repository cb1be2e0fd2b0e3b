#pragma once

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
