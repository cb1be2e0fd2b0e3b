#include "onboarding/MockWindowChrome.h"

#include "shell/kit/Palette.h"

#include <cfloat>

using namespace mock;

Item MockWindowShell::item() const
{
    const Item titleBarItem =
        hstack(Qt::AlignVCenter,
               6,
               {TrafficLights{false}.item(),
                text(app, OBFont::mono(kit::FontWeight::medium, 9.5), titleColor, {.lineLimit = 1}),
                spacer(4),
                trailing})
            .padding(10, 0)
            .frame(std::nullopt, kTitleBarHeight)
            .background(titleBar)
            .overlay(fill(Shape::rect(), OBTokens::hairline()).frame(std::nullopt, 1), Qt::AlignBottom);
    const Item contentItem = content.fillWidth(Qt::AlignLeft).background(surface);
    const Shape corners = Shape::rounded(kCornerRadius);
    return vstack(Qt::AlignHCenter, 0, {titleBarItem, contentItem})
        .clip(corners)
        .border(border, corners)
        .shadow({kit::rgb(0x000000, 0.55), 24, QPointF(0, 18)});
}

Item TrafficLights::item() const
{
    const double opacity = dimmed ? 0.45 : 1.0;
    const auto light = [opacity](unsigned hex) {
        return fill(Shape::circle(), kit::rgb(hex)).opacity(opacity).frame(kDiameter, kDiameter);
    };
    return hstack(Qt::AlignVCenter, kSpacing, {light(0xFF5F57), light(0xFDBC2E), light(0x28C840)});
}

Item Rule::item() const
{
    Item bar = fill(Shape::rounded(radius), color);
    if (width) {
        bar = bar.frame(FlexBounds{.maxWidth = DBL_MAX});
    }
    return bar.frame(width, height);
}

Item Avatar::item() const
{
    return text(initials, OBFont::geist(kit::FontWeight::semibold, size * 0.5), kit::white(1.0))
        .frame(size, size)
        .background(background)
        .clip(Shape::circle());
}
