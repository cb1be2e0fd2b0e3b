#include "onboarding/OBTokens.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Palette.h"

#include <cmath>

using kit::Palette;

const QColor& ContrastToken::value() const
{
    std::call_once(m_once, [this] { m_value = m_choice(kit::increaseContrast()); });
    return m_value;
}

const QColor& OBTokens::canvas()
{
    return Palette::canvas();
}
const QColor& OBTokens::surface()
{
    return Palette::surface();
}
const QColor& OBTokens::surfaceRaised()
{
    return Palette::surfaceRaised();
}
const QColor& OBTokens::surfaceHigh()
{
    return Palette::surfaceHigh();
}
const QColor& OBTokens::hairline()
{
    return Palette::hairline();
}
const QColor& OBTokens::hairlineStrong()
{
    static const QColor c = kit::white(0.14);
    return c;
}
const QColor& OBTokens::hairlineHover()
{
    return Palette::hairlineStrong();
}
const QColor& OBTokens::textPrimary()
{
    return Palette::textPrimary();
}
const QColor& OBTokens::textSecondary()
{
    static const ContrastToken token(&kit::SecondaryWhite::body);
    return token.value();
}
const QColor& OBTokens::textTertiary()
{
    static const ContrastToken token(&kit::SecondaryWhite::caption);
    return token.value();
}
const QColor& OBTokens::textMuted()
{
    static const ContrastToken token(&kit::SecondaryWhite::symbol);
    return token.value();
}
const QColor& OBTokens::flame()
{
    return Palette::flame();
}
const QColor& OBTokens::flameSoft()
{
    return Palette::flameSoft();
}
const QColor& OBTokens::flameWash()
{
    return Palette::flameShade();
}
const QColor& OBTokens::selectedBorder()
{
    return Palette::flameBorder();
}
const QLinearGradient& OBTokens::flameGradient()
{
    return Palette::flameGradient();
}
const QColor& OBTokens::selectedFill()
{
    static const QColor c = kit::rgb(0x17130F);
    return c;
}
const QColor& OBTokens::tileBorderSelected()
{
    return Palette::flameBorder();
}
const QColor& OBTokens::tileBorder()
{
    return Palette::hairline();
}
const QColor& OBTokens::hoverFill()
{
    return Palette::surfaceRaised();
}
const QColor& OBTokens::live()
{
    return Palette::blue();
}
const QColor& OBTokens::rose()
{
    return Palette::red();
}
const QColor& OBTokens::indigo()
{
    static const QColor c = kit::rgb(0x6366F1);
    return c;
}
const QColor& OBTokens::sky()
{
    static const QColor c = kit::rgb(0x0EA5E9);
    return c;
}
const QColor& OBTokens::blue()
{
    static const QColor c = kit::rgb(0x3B82F6);
    return c;
}

OBFont OBFont::tracked(double points) const
{
    OBFont copy = *this;
    copy.tracking = points;
    return copy;
}

QString OBFont::faceName() const
{
    switch (family) {
    case Family::Geist:
        return kit::geistFontName(weight);
    case Family::Mono:
        return kit::geistMonoFontName(weight);
    case Family::System:
        break;
    }
    return {};
}

QFont OBFont::font(const QPaintDevice* device) const
{
    QFont f = family == Family::System ? kit::systemFont(size, weight, device)
                                       : kit::customFont(faceName(), size, device);
    if (tracking != 0 && std::isfinite(tracking)) {
        f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    }
    return f;
}

kit::Animation OBMotion::curve(double duration)
{
    return kit::respectingReduceMotion(kit::Animation::standard(duration));
}

kit::Animation OBMotion::spring(double response, double dampingFraction)
{
    return kit::respectingReduceMotion(kit::Animation::spring(response, dampingFraction));
}

OBFont HeadlineLook::font(double size)
{
    return OBFont::geist(kit::FontWeight::semibold, size).tracked(tracking(size));
}

OBFont EyebrowLook::font(double spacing)
{
    return OBFont::mono(kit::FontWeight::regular, kSize).tracked(spacing * kSize);
}

const QColor& SelectableRowLook::fill(bool isSelected, bool isHovering)
{
    if (isSelected) {
        return OBTokens::selectedFill();
    }
    return isHovering ? OBTokens::hoverFill() : OBTokens::surface();
}

const QColor& SelectableRowLook::border(bool isSelected, bool isHovering)
{
    if (isSelected) {
        return OBTokens::selectedBorder();
    }
    return isHovering ? OBTokens::hairlineHover() : OBTokens::hairline();
}

const QColor& StatusDotLook::color(StatusDotKind kind)
{
    switch (kind) {
    case StatusDotKind::Live:
        return OBTokens::live();
    case StatusDotKind::Sunset:
        return OBTokens::flame();
    case StatusDotKind::Idle:
        return OBTokens::textMuted();
    case StatusDotKind::Rose:
        break;
    }
    return OBTokens::rose();
}
