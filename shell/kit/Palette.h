#pragma once

#include <QColor>
#include <QLinearGradient>

namespace kit {

// The one dark palette every view draws with. Each colour is made once, on first use, from exact
// sRGB components n/255, and never changes; read-only and safe to share.
struct Palette
{
    static const QColor& canvas();         // #0B0C0E
    static const QColor& surface();        // #121316
    static const QColor& surfaceRaised();  // #17181C
    static const QColor& surfaceHigh();    // #212227
    static const QColor& hairline();       // white at 0.08
    static const QColor& hairlineStrong(); // white at 0.28
    static const QColor& textPrimary();    // white
    static const QColor& flame();          // #FF7A17
    static const QColor& flameSoft();      // #FFB37A
    static const QColor& flameShade();     // #1D1104
    static const QColor& flameBorder();    // #FF6D00 at 0.45
    static const QColor& inkOnLight();     // #050506
    static const QColor& inkOnFlame();     // #160B02
    static const QColor& blue();           // #60A5FA
    static const QColor& blueTint();       // #3B82F6 at 0.12
    static const QColor& red();            // #FF5F56

    // The same colours under the names the onboarding's views use.
    static const QColor& windowBackground() { return canvas(); }
    static const QColor& hairlineBright() { return hairlineStrong(); }
    static const QColor& flameWash() { return flameShade(); }
    static const QColor& ink() { return inkOnLight(); }
    static const QColor& flameInk() { return inkOnFlame(); }
    static const QColor& live() { return blue(); }
    static const QColor& rose() { return red(); }

    // #FF8C33 to #F06D00 from the top-leading to the bottom-trailing corner of whatever it fills
    // (object-bounding coordinates, so one value serves every shape).
    static const QLinearGradient& flameGradient();
};

// An sRGB colour from 0xRRGGBB and an opacity.
QColor rgb(unsigned hex, double opacity = 1.0);
// White at an opacity.
QColor white(double opacity);

// The secondary whites that rise with Increase Contrast.
struct SecondaryWhite
{
    // Captions and mono muted labels: 0.52, or 0.78 with Increase Contrast.
    static QColor caption(bool increaseContrast);
    // Body text and the resting glyphs of outline pills and icon buttons: 0.55, or 0.9.
    static QColor body(bool increaseContrast);
    // Symbols and placeholders: 0.46, or 0.68.
    static QColor symbol(bool increaseContrast);
};

} // namespace kit
