#pragma once

#include <QColor>
#include <QPainter>
#include <QWidget>

namespace testing_support {

// A widget of one plain colour, standing in for one of the program's own windows.
class Swatch final : public QWidget
{
public:
    explicit Swatch(const QColor& colour)
        : m_colour(colour)
    {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

} // namespace testing_support
