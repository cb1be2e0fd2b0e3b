#include "shell/kit/Palette.h"

namespace kit {

QColor rgb(unsigned hex, double opacity)
{
    QColor c = QColor::fromRgbF(static_cast<float>(((hex >> 16) & 0xFF) / 255.0),
                                static_cast<float>(((hex >> 8) & 0xFF) / 255.0),
                                static_cast<float>((hex & 0xFF) / 255.0));
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}

QColor white(double opacity)
{
    return rgb(0xFFFFFF, opacity);
}

// Function-local statics: made once on first use, thread-safe by the language.
const QColor& Palette::canvas()
{
    static const QColor c = rgb(0x0B0C0E);
    return c;
}
const QColor& Palette::surface()
{
    static const QColor c = rgb(0x121316);
    return c;
}
const QColor& Palette::surfaceRaised()
{
    static const QColor c = rgb(0x17181C);
    return c;
}
const QColor& Palette::surfaceHigh()
{
    static const QColor c = rgb(0x212227);
    return c;
}
const QColor& Palette::hairline()
{
    static const QColor c = white(0.08);
    return c;
}
const QColor& Palette::hairlineStrong()
{
    static const QColor c = white(0.28);
    return c;
}
const QColor& Palette::textPrimary()
{
    static const QColor c = white(1.0);
    return c;
}
const QColor& Palette::flame()
{
    static const QColor c = rgb(0xFF7A17);
    return c;
}
const QColor& Palette::flameSoft()
{
    static const QColor c = rgb(0xFFB37A);
    return c;
}
const QColor& Palette::flameShade()
{
    static const QColor c = rgb(0x1D1104);
    return c;
}
const QColor& Palette::flameBorder()
{
    static const QColor c = rgb(0xFF6D00, 0.45);
    return c;
}
const QColor& Palette::inkOnLight()
{
    static const QColor c = rgb(0x050506);
    return c;
}
const QColor& Palette::inkOnFlame()
{
    static const QColor c = rgb(0x160B02);
    return c;
}
const QColor& Palette::blue()
{
    static const QColor c = rgb(0x60A5FA);
    return c;
}
const QColor& Palette::blueTint()
{
    static const QColor c = rgb(0x3B82F6, 0.12);
    return c;
}
const QColor& Palette::red()
{
    static const QColor c = rgb(0xFF5F56);
    return c;
}

const QLinearGradient& Palette::flameGradient()
{
    static const QLinearGradient g = [] {
        QLinearGradient gradient(0, 0, 1, 1);
        gradient.setCoordinateMode(QGradient::ObjectMode);
        gradient.setColorAt(0, rgb(0xFF8C33));
        gradient.setColorAt(1, rgb(0xF06D00));
        return gradient;
    }();
    return g;
}

QColor SecondaryWhite::caption(bool increaseContrast)
{
    return white(increaseContrast ? 0.78 : 0.52);
}

QColor SecondaryWhite::body(bool increaseContrast)
{
    return white(increaseContrast ? 0.9 : 0.55);
}

QColor SecondaryWhite::symbol(bool increaseContrast)
{
    return white(increaseContrast ? 0.68 : 0.46);
}

} // namespace kit
