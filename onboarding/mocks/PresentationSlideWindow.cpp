#include "onboarding/mocks/PresentationSlideWindow.h"

#include "onboarding/MockWindowChrome.h"
#include "shell/kit/Palette.h"

#include <QLinearGradient>

using namespace mock;
using kit::FontWeight;

namespace {

QBrush barFill(bool highlighted)
{
    if (!highlighted) {
        return OBTokens::hairlineHover();
    }
    // Top to bottom over each bar's own rectangle.
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setColorAt(0, kit::rgb(0xFF8C33));
    gradient.setColorAt(1, kit::rgb(0xE66000));
    return gradient;
}

} // namespace

Item PresentationSlideWindow::item() const
{
    const Item badge = text(QStringLiteral("P"), OBFont::geist(FontWeight::bold, 8), Qt::black)
                           .frame(12, 12)
                           .background(OBTokens::flame(), Shape::rounded(3));
    const Item titleBar =
        hstack(Qt::AlignVCenter,
               5,
               {badge,
                text(QStringLiteral("Q4 Strategy"),
                     OBFont::geist(FontWeight::semibold, 10.5),
                     OBTokens::textSecondary())})
            .fillWidth(Qt::AlignLeft)
            .padding(QMarginsF(0, 0, 0, 7))
            .overlay(Rule{std::nullopt, 1, 999, OBTokens::hairline()}.item(), Qt::AlignBottom);
    QList<Item> bars;
    for (std::size_t i = 0; i < kBars.size(); ++i) {
        bars << fill(Shape::rounded(3), barFill(i + 1 == kBars.size()))
                    .frame(std::nullopt, kChartHeight * kBars[i]);
    }
    const Item chart = hstack(Qt::AlignBottom, 6, bars)
                           .frame(std::nullopt, kChartHeight, Qt::AlignBottom)
                           .padding(QMarginsF(0, 0, 0, 2));
    const Shape card = Shape::rounded(12);
    return vstack(Qt::AlignLeft,
                  10,
                  {titleBar,
                   text(QStringLiteral("Key Deliverables"),
                        OBFont::geist(FontWeight::bold, 14),
                        OBTokens::textPrimary()),
                   chart})
        .padding(13)
        .fillWidth(Qt::AlignLeft)
        .background(OBTokens::surfaceHigh(), card)
        .border(OBTokens::hairlineHover(), card)
        .shadow({kit::rgb(0x000000, 0.6), 20, QPointF(0, 14)});
}
