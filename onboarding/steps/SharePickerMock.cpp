#include "onboarding/steps/SharePickerMock.h"

#include "onboarding/MockWindowChrome.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/Palette.h"

using namespace mock;

namespace {

// A private window of the real screen, edged in its accent.
Item miniWindow(const QColor& accent)
{
    const Shape shape = Shape::rounded(3);
    return vstack(Qt::AlignLeft,
                  3,
                  {fill(Shape::rounded(2), accent).frame(8, 8),
                   Rule{26, 3, 999, kit::white(0.25)}.item(),
                   Rule{18, 3, 999, kit::white(0.12)}.item()})
        .padding(5)
        .frame(42, 34, Qt::AlignTop | Qt::AlignLeft)
        .background(kit::rgb(0x1A1D29))
        .clip(shape)
        .border(faded(accent, 0.5), shape)
        .shadow({kit::rgb(0x000000, 0.5), 4, QPointF(0, 2)});
}

// The window being presented: a small bar chart whose last bar is flame.
Item sharedWindow()
{
    QList<Item> bars;
    for (const double height : {0.4, 0.6, 0.8, 1.0}) {
        bars << fill(Shape::rounded(1), height == 1.0 ? OBTokens::flame() : kit::white(0.2))
                    .frame(7, 22 * height);
    }
    return fill(Shape::rounded(3), OBTokens::surfaceHigh())
        .frame(70, 44)
        .overlay(hstack(Qt::AlignBottom, 3, bars).padding(7), Qt::AlignBottom | Qt::AlignLeft);
}

Item label(const QString& title, bool selected)
{
    QList<Item> parts;
    if (selected) {
        parts << symbol(QStringLiteral("checkmark.shield.fill"), 9, OBTokens::flame());
    }
    parts << text(title,
                  OBFont::geist(selected ? kit::FontWeight::semibold : kit::FontWeight::regular, 10),
                  selected ? OBTokens::textPrimary() : OBTokens::textMuted());
    return hstack(Qt::AlignVCenter, 4, parts);
}

} // namespace

Item SharePickerMock::stepBadge(int number)
{
    return text(QString::number(number), OBFont::geist(kit::FontWeight::bold, 9), kit::Palette::flameInk())
        .frame(16, 16)
        .background(fill(Shape::circle(), OBTokens::flame()));
}

Item SharePickerMock::thumbnail(const QString& title, bool selected)
{
    QList<Item> layers{fill(Shape::rect(), kit::rgb(0x0B0C10)), sharedWindow().offset(9, 10)};
    if (!selected) {
        // The real screen still shows what the audience must not see.
        layers << miniWindow(OBTokens::indigo()).offset(54, 30) << miniWindow(OBTokens::blue()).offset(70, 8);
    }
    const Shape shape = Shape::rounded(6);
    Item preview =
        zstack(Qt::AlignTop | Qt::AlignLeft, layers)
            .frame(kThumbnailWidth, kThumbnailHeight, Qt::AlignTop | Qt::AlignLeft)
            .clip(shape)
            .overlay(
                stroke(shape, selected ? OBTokens::flame() : OBTokens::hairlineStrong(), selected ? 1.5 : 1));
    if (selected) {
        preview = preview.shadow({faded(OBTokens::flame(), 0.25), 10, QPointF()});
    }
    Item thumb = vstack(Qt::AlignHCenter, 6, {preview, label(title, selected)});
    if (selected) {
        const Item pointer = symbol(QStringLiteral("cursorarrow"), 15, Qt::white, kit::FontWeight::semibold)
                                 .shadow({kit::rgb(0x000000, 0.6), 2, QPointF(0, 1)});
        thumb = thumb.overlay(stepBadge(2).offset(7, -7), Qt::AlignTop | Qt::AlignRight)
                    .overlay(pointer.offset(-18, -22), Qt::AlignBottom | Qt::AlignRight);
    }
    return thumb;
}

Item SharePickerMock::picker()
{
    const OBFont tabFont = OBFont::geist(kit::FontWeight::regular, 10);
    const Item chosenTab = hstack(Qt::AlignVCenter,
                                  5,
                                  {vstack(Qt::AlignHCenter,
                                          4,
                                          {text(QStringLiteral("Entire Screen"),
                                                OBFont::geist(kit::FontWeight::semibold, 10),
                                                OBTokens::textPrimary()),
                                           fill(Shape::capsule(), OBTokens::flame()).frame(std::nullopt, 2)})
                                       .fixedSize(),
                                   stepBadge(1)});
    const Item tabs = hstack(Qt::AlignVCenter,
                             18,
                             {text(QStringLiteral("Tab"), tabFont, OBTokens::textMuted()),
                              text(QStringLiteral("Window"), tabFont, OBTokens::textMuted()),
                              chosenTab})
                          .fillWidth();
    const Item screens =
        hstack(Qt::AlignTop,
               12,
               {thumbnail(QStringLiteral("Screen 1"), false), thumbnail(QStringLiteral("Veilmox"), true)});
    const Item share =
        hstack(Qt::AlignVCenter,
               kDefaultSpacing,
               {spacer(),
                text(QStringLiteral("Share"), OBFont::geist(kit::FontWeight::semibold, 10), Qt::black)
                    .padding(14, 5)
                    .background(fill(Shape::capsule(), Qt::white))});
    return vstack(Qt::AlignHCenter, 14, {tabs, screens, share}).padding(14);
}

Item SharePickerMock::item() const
{
    return MockWindowShell{QStringLiteral("Share your screen"),
                           faded(OBTokens::textPrimary(), 0.75),
                           kit::rgb(0x16171C),
                           kit::rgb(0x1D1E24),
                           OBTokens::hairlineStrong(),
                           Item(),
                           picker()}
        .item();
}
