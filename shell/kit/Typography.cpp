#include "shell/kit/Typography.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QScreen>

#include <cmath>

namespace kit {

TextStyle textStyle(double pointSize)
{
    if (pointSize < 11) {
        return TextStyle::Caption2;
    }
    if (pointSize < 13) {
        return TextStyle::Caption;
    }
    if (pointSize < 17) {
        return TextStyle::Body;
    }
    if (pointSize < 22) {
        return TextStyle::Title3;
    }
    if (pointSize < 30) {
        return TextStyle::Title2;
    }
    if (pointSize < 38) {
        return TextStyle::Title;
    }
    return TextStyle::LargeTitle;
}

QString geistFontName(FontWeight weight)
{
    if (weight == FontWeight::semibold || weight == FontWeight::bold || weight == FontWeight::heavy
        || weight == FontWeight::black) {
        return QStringLiteral("Geist-SemiBold");
    }
    if (weight == FontWeight::medium) {
        return QStringLiteral("Geist-Medium");
    }
    return QStringLiteral("Geist-Regular");
}

QString geistMonoFontName(FontWeight weight)
{
    return weight == FontWeight::regular ? QStringLiteral("GeistMono-Regular")
                                         : QStringLiteral("GeistMono-Medium");
}

namespace {

double logicalDpi(const QPaintDevice* device)
{
    if (device != nullptr && device->logicalDpiY() > 0) {
        return device->logicalDpiY();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        if (screen->logicalDotsPerInchY() > 0) {
            return screen->logicalDotsPerInchY();
        }
    }
    return 96.0;
}

// Qt sizes fonts in typographic points of the device; ours are device-independent pixels.
void setSize(QFont& font, double points, const QPaintDevice* device)
{
    const double safe = std::isfinite(points) && points > 0.01 ? points : 0.01;
    font.setPointSizeF(safe * 72.0 / logicalDpi(device));
}

struct Face
{
    const char* postScriptName;
    const char* family;
    QFont::Weight weight;
};

constexpr Face kFaces[] = {
    {"Geist-Regular", "Geist", QFont::Normal},
    {"Geist-Medium", "Geist", QFont::Medium},
    {"Geist-SemiBold", "Geist", QFont::DemiBold},
    {"GeistMono-Regular", "Geist Mono", QFont::Normal},
    {"GeistMono-Medium", "Geist Mono", QFont::Medium},
};

QFont::Weight qtWeight(FontWeight weight)
{
    // Thresholds halfway between the named weights.
    const double v = weight.value;
    if (v < -0.7) {
        return QFont::ExtraLight;
    }
    if (v < -0.5) {
        return QFont::Thin;
    }
    if (v < -0.2) {
        return QFont::Light;
    }
    if (v < 0.115) {
        return QFont::Normal;
    }
    if (v < 0.265) {
        return QFont::Medium;
    }
    if (v < 0.35) {
        return QFont::DemiBold;
    }
    if (v < 0.48) {
        return QFont::Bold;
    }
    if (v < 0.59) {
        return QFont::ExtraBold;
    }
    return QFont::Black;
}

} // namespace

QFont customFont(const QString& faceName, double pointSize, const QPaintDevice* device)
{
    QFont font;
    QString family = faceName;
    font.setWeight(QFont::Normal);
    for (const Face& face : kFaces) {
        if (faceName == QLatin1String(face.postScriptName)) {
            family = QString::fromLatin1(face.family);
            font.setWeight(face.weight);
            break;
        }
    }
    font.setFamilies({family, QString::fromLatin1(kKeySymbolsFamily)});
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setKerning(true);
    setSize(font, pointSize, device);
    return font;
}

QFont systemFont(double pointSize, FontWeight weight, const QPaintDevice* device)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamilies({font.family(), QString::fromLatin1(kKeySymbolsFamily)});
    font.setWeight(qtWeight(weight));
    setSize(font, pointSize, device);
    return font;
}

QFont TextLook::font(const QPaintDevice* device) const
{
    QFont f = customFont(face, size, device);
    if (tracking != 0 && std::isfinite(tracking)) {
        f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    }
    return f;
}

TextLook monoLabel(double size, const QColor& color)
{
    TextLook look;
    look.face = QStringLiteral("GeistMono-Regular");
    look.size = size;
    look.tracking = 0.24 * size;
    look.color = color;
    return look;
}

TextLook monoMutedLabel(double size)
{
    TextLook look = monoLabel(size, SecondaryWhite::caption(increaseContrast()));
    look.tracking = 0.16 * size;
    return look;
}

} // namespace kit
