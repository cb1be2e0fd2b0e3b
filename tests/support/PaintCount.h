#pragma once

#include <QEvent>
#include <QObject>

namespace testing_support {

// Counts the paint events of the views it is installed on.
class PaintCount final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace testing_support
