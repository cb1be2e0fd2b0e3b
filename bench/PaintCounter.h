#pragma once

#include <QEvent>
#include <QObject>

namespace bench {

// Counts the paints a view receives: a frame that repaints nothing would cost nothing, so the
// preview benchmarks report it beside their times, and tests check that nothing was repainted.
class PaintCounter final : public QObject
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

} // namespace bench
