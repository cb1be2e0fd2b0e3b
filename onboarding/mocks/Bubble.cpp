#include "onboarding/mocks/Bubble.h"

#include "shell/kit/Palette.h"

using namespace mock;

Item Bubble::item() const
{
    const Shape card = Shape::rounded(8);
    Item bubble =
        mock::text(
            text, OBFont::geist(kit::FontWeight::regular, size), kit::white(emphasis), {.lineSpacing = 3})
            .fixedSize(false, true)
            .padding(8);
    if (widthFraction) {
        bubble = bubble.frame(FlexBounds{.maxWidth = kInfinity}, Qt::AlignLeft);
    }
    return bubble.fillWidth(Qt::AlignLeft)
        .background(kit::white(0.05))
        .clip(card)
        .border(OBTokens::hairline(), card);
}
