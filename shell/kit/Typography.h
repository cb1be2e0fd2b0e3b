#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPaintDevice;

namespace kit {

// The text styles a custom font scales relative to, like the nearest system text style.
enum class TextStyle
{
    LargeTitle,
    Title,
    Title2,
    Title3,
    Headline,
    Subheadline,
    Body,
    Callout,
    Footnote,
    Caption,
    Caption2
};

// The style a custom font of this point size scales relative to. A size that compares false
// with everything (NaN) gives `LargeTitle`.
TextStyle textStyle(double pointSize);

// A font weight on the system's scale from -1 (thinnest) to 1; custom values are allowed and
// weights are equal only when their values are.
struct FontWeight
{
    double value = 0;

    static const FontWeight ultraLight;
    static const FontWeight thin;
    static const FontWeight light;
    static const FontWeight regular;
    static const FontWeight medium;
    static const FontWeight semibold;
    static const FontWeight bold;
    static const FontWeight heavy;
    static const FontWeight black;

    friend bool operator==(FontWeight a, FontWeight b) { return a.value == b.value; }
};
inline constexpr FontWeight FontWeight::ultraLight{-0.8};
inline constexpr FontWeight FontWeight::thin{-0.6};
inline constexpr FontWeight FontWeight::light{-0.4};
inline constexpr FontWeight FontWeight::regular{0.0};
inline constexpr FontWeight FontWeight::medium{0.23};
inline constexpr FontWeight FontWeight::semibold{0.3};
inline constexpr FontWeight FontWeight::bold{0.4};
inline constexpr FontWeight FontWeight::heavy{0.56};
inline constexpr FontWeight FontWeight::black{0.62};

// The text face for a weight: "Geist-SemiBold" for semibold and bolder (there is no bolder face),
// "Geist-Medium" for medium, "Geist-Regular" for every other weight.
QString geistFontName(FontWeight weight);
// The mono face: "GeistMono-Regular" for regular, "GeistMono-Medium" for every other weight.
QString geistMonoFontName(FontWeight weight);

// The family that draws the key symbols the Geist faces lack ("⌘", "⌥", "⌃", "⎋", …) at the
// height of the letters beside them, as the Mac's system font does: DejaVu Sans, installed with
// the app (Debian's fonts-dejavu-core). Every font below tries it before the system's fallback.
inline constexpr const char* kKeySymbolsFamily = "DejaVu Sans";

// The font of a face (by PostScript name) at a size in points, where one point is one
// device-independent pixel on `device` (the primary screen's when null). A face that is not
// installed falls back to the system's font without a message.
QFont customFont(const QString& faceName, double pointSize, const QPaintDevice* device = nullptr);
// The system's own font (used where a Geist face is not wanted) at a size and weight.
QFont systemFont(double pointSize, FontWeight weight, const QPaintDevice* device = nullptr);

// How a run of text is drawn: face, size, tracking (extra points after each glyph) and colour.
struct TextLook
{
    QString face;
    double size = 0;
    double tracking = 0;
    QColor color;

    TextStyle relativeTo() const { return textStyle(size); }
    QFont font(const QPaintDevice* device = nullptr) const;
};

// A tracked mono label: "GeistMono-Regular" at `size`, tracking 0.24 × size, in `color`.
TextLook monoLabel(double size, const QColor& color);
// A muted mono label: the same face, tracking 0.16 × size, white at 0.52 (0.78 with Increase
// Contrast, read now).
TextLook monoMutedLabel(double size);

} // namespace kit
