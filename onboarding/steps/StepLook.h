#pragma once

#include <QColor>

class QLayout;
class QWidget;

// Small pieces the setup steps share.

// A colour at a further opacity ("flame at 0.45").
inline QColor faded(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

// A column at most `maxWidth` points wide whose content sits in the middle of the height it gets.
QWidget* centredColumn(int maxWidth, QLayout* content);
