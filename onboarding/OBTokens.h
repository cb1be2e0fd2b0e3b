#pragma once

#include "shell/kit/Motion.h"
#include "shell/kit/Typography.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QString>

#include <mutex>

class QPaintDevice;

// A colour that depends on Increase Contrast. The setting is read when the token is first used
// and the result kept for the life of the process, so text never changes shade mid-run.
class ContrastToken
{
public:
    using Choice = QColor (*)(bool increaseContrast);

    explicit ContrastToken(Choice choice)
        : m_choice(choice)
    {}

    const QColor& value() const;

private:
    Choice m_choice;
    mutable std::once_flag m_once;
    mutable QColor m_value;
};

// The onboarding window's colour tokens. Most alias the kit's palette (the same colour object);
// the rest are made once, on first use. Safe to read from any thread.
struct OBTokens
{
    static const QColor& canvas();
    static const QColor& surface();
    static const QColor& surfaceRaised();
    static const QColor& surfaceHigh();
    static const QColor& hairline();       // white at 0.08
    static const QColor& hairlineStrong(); // white at 0.14
    static const QColor& hairlineHover();  // white at 0.28
    static const QColor& textPrimary();
    static const QColor& textSecondary(); // white at 0.55, 0.9 with Increase Contrast
    static const QColor& textTertiary();  // white at 0.52, 0.78 with Increase Contrast
    static const QColor& textMuted();     // white at 0.46, 0.68 with Increase Contrast
    static const QColor& flame();
    static const QColor& flameSoft();
    static const QColor& flameWash();
    static const QColor& selectedBorder();
    static const QLinearGradient& flameGradient();
    static const QColor& selectedFill();
    static const QColor& tileBorderSelected();
    static const QColor& tileBorder();
    static const QColor& hoverFill();
    static const QColor& live();
    static const QColor& rose();
    static const QColor& indigo();
    static const QColor& sky();
    static const QColor& blue();
};

// A font in the onboarding's notation: a Geist face by weight, a mono face ("GeistMono-Regular"
// for the regular weight, "GeistMono-Medium" for any other) or the system font, at a size in
// points, scaled relative to the text style of that size, with optional tracking.
struct OBFont
{
    enum class Family
    {
        Geist,
        Mono,
        System
    };

    Family family = Family::Geist;
    kit::FontWeight weight = kit::FontWeight::regular;
    double size = 13;
    double tracking = 0;

    static OBFont geist(kit::FontWeight weight, double size) { return {Family::Geist, weight, size}; }
    static OBFont mono(kit::FontWeight weight, double size) { return {Family::Mono, weight, size}; }
    static OBFont system(double size, kit::FontWeight weight = kit::FontWeight::regular)
    {
        return {Family::System, weight, size};
    }
    OBFont tracked(double points) const;

    // The custom face's name; empty for the system font.
    QString faceName() const;
    kit::TextStyle relativeTo() const { return kit::textStyle(size); }
    // One point is one device-independent pixel on `device` (the primary screen's when null).
    QFont font(const QPaintDevice* device = nullptr) const;

    bool operator==(const OBFont&) const = default;
};

// Animations of the onboarding: the fast ease-out curve of the given duration, or the shared
// reduce-motion animation while Reduce Motion is on (read at the call).
struct OBMotion
{
    static kit::Animation curve(double duration);
    static kit::Animation spring(double response, double dampingFraction);
};

// A two-line headline: the lead in white, the tail from the next line on in the secondary
// white, both Geist SemiBold at the size, tracked tighter as the size grows.
struct HeadlineLook
{
    static double tracking(double size) { return size * -0.025; }
    static OBFont font(double size);
    static const QColor& leadColor() { return OBTokens::textPrimary(); }
    static const QColor& tailColor() { return OBTokens::textSecondary(); }
};

// The sub-headline under a headline: Geist Regular 14 in the secondary white, 4 points between
// lines.
struct SubheadlineLook
{
    static constexpr double kLineSpacing = 4;
    static OBFont font() { return OBFont::geist(kit::FontWeight::regular, 14); }
    static const QColor& color() { return OBTokens::textSecondary(); }
};

// A small capitalised mono label; `spacing` is the tracking as a share of the 9.5-point size.
struct EyebrowLook
{
    static constexpr double kSize = 9.5;
    static OBFont font(double spacing);
    static QString text(const QString& text) { return text.toUpper(); }
};

// A card that selects on a click: selection wins over hover for both fill and border.
struct SelectableRowLook
{
    static const QColor& fill(bool isSelected, bool isHovering);
    static const QColor& border(bool isSelected, bool isHovering);
    static kit::Animation hoverAnimation() { return OBMotion::curve(0.18); }
};

// The small status dots; only the rose one pulses.
enum class StatusDotKind
{
    Live,
    Sunset,
    Idle,
    Rose
};

struct StatusDotLook
{
    static const QColor& color(StatusDotKind kind);
    static bool pulses(StatusDotKind kind) { return kind == StatusDotKind::Rose; }
};
