#pragma once

#include <QColor>

// A colour at a further opacity ("flame at 0.45").
inline QColor faded(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}
