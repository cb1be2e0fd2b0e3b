#include "onboarding/steps/HideStepPictures.h"

#include "onboarding/MockWindowChrome.h"
#include "onboarding/steps/StepLook.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"

using namespace mock;

namespace hidestep {
namespace {

// An app icon of side `size`: a rounded square of `fill` with the symbol in white.
Item appGlyph(double size, const QString& symbolName, const QBrush& fillBrush)
{
    return zstack(Qt::AlignCenter,
                  {fill(Shape::rounded(0.28 * size), fillBrush),
                   symbol(symbolName, 0.52 * size, kit::white(1), kit::FontWeight::bold)})
        .frame(size, size);
}

struct MiniWindow
{
    QString symbol;
    QColor tint;
};

MiniWindow miniWindow(HideCategory category)
{
    switch (category) {
    case HideCategory::WorkChat:
        return {QStringLiteral("number"), OBTokens::indigo()};
    case HideCategory::Finance:
        return {QStringLiteral("landmark"), OBTokens::blue()};
    case HideCategory::Files:
        return {QStringLiteral("desktopcomputer"), OBTokens::flame()};
    case HideCategory::Personal:
        break;
    }
    return {QStringLiteral("bubble.left"), OBTokens::sky()};
}

// A miniature window of the category, `hidden` 0 … 1 of the way to gone (faded, shrunk to 0.75,
// blurred by 4).
Item mockWindow(HideCategory category, double hidden)
{
    const MiniWindow look = miniWindow(category);
    const Shape corners = Shape::rounded(8);
    return vstack(
               Qt::AlignLeft,
               kDefaultSpacing,
               {appGlyph(12, look.symbol, look.tint),
                spacer(),
                vstack(Qt::AlignLeft,
                       3,
                       {Rule{40, 4, 999, kit::white(0.2)}.item(), Rule{56, 4, 999, kit::white(0.1)}.item()})})
        .padding(6)
        .fillSize(Qt::AlignTop | Qt::AlignLeft)
        .background(kit::rgb(0x141824))
        .clip(corners)
        .border(faded(look.tint, 0.3), corners)
        .opacity(1 - hidden)
        .scale(1 - 0.25 * hidden)
        .blur(4 * hidden);
}

// An overlay that comes in faded and scaled from 0.96.
Item entering(const Item& item, double presence)
{
    return item.scale(0.96 + 0.04 * presence).opacity(presence);
}

Item shareStartedBanner()
{
    const Shape corners = Shape::rounded(8);
    return hstack(Qt::AlignVCenter,
                  8,
                  {symbol(QStringLiteral("video.fill"), 12, OBTokens::flame()),
                   text(QStringLiteral("Share started"),
                        OBFont::mono(kit::FontWeight::semibold, 11),
                        OBTokens::flameSoft(),
                        {.lineLimit = 1})})
        .padding(QMarginsF(10, 0, 10, 0))
        .fillWidth(Qt::AlignLeft)
        .background(kit::rgb(0x17110A, 0.92), corners)
        .clip(corners)
        .border(faded(OBTokens::flame(), 0.45), corners)
        .padding(8);
}

Item cleanScreenCover()
{
    const Item check =
        zstack(Qt::AlignCenter,
               {fill(Shape::circle(), OBTokens::flameGradient()),
                symbol(QStringLiteral("checkmark"), 13, kit::Palette::flameInk(), kit::FontWeight::black)})
            .frame(28, 28);
    return vstack(Qt::AlignHCenter,
                  6,
                  {check,
                   text(QStringLiteral("Your screen is clean"),
                        OBFont::geist(kit::FontWeight::semibold, 11),
                        kit::white(1),
                        {.alignment = Qt::AlignHCenter})})
        .fillSize()
        .background(kit::rgb(0x07080A, 0.9));
}

Item audienceMock(const AudienceLook& look)
{
    const auto window = [&look](HideCategory category) {
        return mockWindow(category, look.hidden.at(static_cast<size_t>(category)));
    };
    QList<Item> layers{
        vstack(Qt::AlignHCenter,
               8,
               {hstack(Qt::AlignVCenter, 8, {window(HideCategory::WorkChat), window(HideCategory::Finance)}),
                hstack(Qt::AlignVCenter, 8, {window(HideCategory::Files), window(HideCategory::Personal)})})
            .fillSize()};
    if (look.banner > 0) {
        layers.append(entering(shareStartedBanner(), look.banner));
    }
    if (look.clean > 0) {
        layers.append(entering(cleanScreenCover(), look.clean));
    }
    const Shape corners = Shape::rounded(12);
    return zstack(Qt::AlignCenter, layers)
        .frame(std::nullopt, 112)
        .background(OBTokens::canvas())
        .clip(corners)
        .border(OBTokens::hairlineStrong(), corners);
}

} // namespace

QString footerText(int selectedCount)
{
    if (selectedCount == 0) {
        return QStringLiteral("Nothing hidden yet");
    }
    return QStringLiteral("%1 hidden on every share").arg(selectedCount);
}

Item audiencePanel(const AudienceLook& look)
{
    const Item header = hstack(Qt::AlignVCenter,
                               6,
                               {fill(Shape::circle(), OBTokens::flame()).frame(6, 6),
                                text(QStringLiteral("What your audience sees"),
                                     OBFont::geist(kit::FontWeight::semibold, 10),
                                     OBTokens::textPrimary())});
    const bool any = look.selectedCount > 0;
    const QColor shield =
        kit::mixColors(faded(OBTokens::textSecondary(), 0.5), OBTokens::flame(), look.guarded);
    const Item footer =
        hstack(Qt::AlignVCenter,
               8,
               {symbol(QStringLiteral("shield.lefthalf.filled"), 13, shield),
                text(footerText(look.selectedCount),
                     OBFont::geist(any ? kit::FontWeight::semibold : kit::FontWeight::regular, 11),
                     any ? OBTokens::flameSoft() : OBTokens::textSecondary())})
            .padding(QMarginsF(0, 2, 0, 0));
    const Shape corners = Shape::rounded(16);
    return vstack(Qt::AlignLeft, 8, {header, audienceMock(look), footer})
        .padding(12)
        .fillWidth(Qt::AlignLeft)
        .background(OBTokens::surface(), corners)
        .clip(corners)
        .border(kit::mixColors(OBTokens::hairline(), OBTokens::selectedBorder(), look.guarded), corners);
}

QString cardTitle(HideCategory category)
{
    switch (category) {
    case HideCategory::WorkChat:
        return QStringLiteral("Work & team chat");
    case HideCategory::Finance:
        return QStringLiteral("Banking & financial accounts");
    case HideCategory::Files:
        return QStringLiteral("Desktop & sensitive files");
    case HideCategory::Personal:
        break;
    }
    return QStringLiteral("Personal messages & private chats");
}

namespace {

Item chatLine(const QColor& avatar, double width)
{
    return hstack(
        Qt::AlignVCenter,
        7,
        {fill(Shape::circle(), avatar).frame(14, 14), Rule{width, 5, 999, kit::white(0.16)}.item()});
}

Item fileIcon(const QString& name, const QColor& colour)
{
    return vstack(Qt::AlignHCenter, 5, {symbol(name, 20, colour), Rule{26, 3, 999, kit::white(0.14)}.item()});
}

Item bubble(double width, const QColor& colour, Qt::Alignment side)
{
    return fill(Shape::rounded(8), colour).frame(width, 16).fillWidth(side);
}

} // namespace

Item cardPreview(HideCategory category)
{
    unsigned background = 0x0A0F16;
    Item glyph;
    Item content;
    switch (category) {
    case HideCategory::WorkChat:
        background = 0x16171C;
        glyph = appGlyph(26, QStringLiteral("number"), kit::rgb(0x4F46E5));
        content = vstack(Qt::AlignLeft,
                         8,
                         {chatLine(kit::white(0.14), 120), chatLine(faded(OBTokens::indigo(), 0.5), 84)});
        break;
    case HideCategory::Finance:
        background = 0x0C121E;
        glyph = appGlyph(26, QStringLiteral("landmark"), kit::rgb(0x2563EB));
        content = vstack(Qt::AlignLeft,
                         6,
                         {text(QStringLiteral("$28,450"),
                               OBFont::mono(kit::FontWeight::bold, 20),
                               OBTokens::textPrimary()),
                          Rule{70, 4, 999, kit::white(0.12)}.item()});
        break;
    case HideCategory::Files:
        background = 0x0D0E12;
        glyph = appGlyph(26, QStringLiteral("desktopcomputer"), OBTokens::flame());
        content = hstack(Qt::AlignVCenter,
                         14,
                         {fileIcon(QStringLiteral("folder.fill"), OBTokens::flame()),
                          fileIcon(QStringLiteral("doc.text.fill"), OBTokens::textTertiary()),
                          fileIcon(QStringLiteral("doc.richtext.fill"), OBTokens::textTertiary())});
        break;
    case HideCategory::Personal:
        glyph = appGlyph(26, QStringLiteral("bubble.left.fill"), OBTokens::sky());
        content = vstack(Qt::AlignHCenter,
                         6,
                         {bubble(96, kit::white(0.08), Qt::AlignLeft),
                          bubble(72, faded(OBTokens::sky(), 0.22), Qt::AlignRight)});
        break;
    }
    return hstack(Qt::AlignVCenter, 14, {glyph, content.fillWidth(Qt::AlignLeft)})
        .padding(16, 0)
        .fillSize()
        .background(kit::rgb(background));
}

Item autoHideBadge(bool on)
{
    const QColor colour = on ? OBTokens::flameSoft() : OBTokens::textTertiary();
    QColor edge = on ? faded(OBTokens::flame(), 0.22) : OBTokens::hairlineStrong();
    return hstack(Qt::AlignVCenter,
                  5,
                  {symbol(QStringLiteral("bolt.fill"), 9, colour),
                   text(on ? QStringLiteral("AUTO-HIDE ON") : QStringLiteral("AUTO-HIDE"),
                        OBFont::mono(kit::FontWeight::medium, 9).tracked(1.44),
                        colour,
                        {.lineLimit = 1})})
        .padding(9, 0)
        .frame(std::nullopt, 22)
        .background(on ? OBTokens::flameWash() : QColor(Qt::transparent), Shape::capsule())
        .border(edge, Shape::capsule(), 1, true);
}

} // namespace hidestep
