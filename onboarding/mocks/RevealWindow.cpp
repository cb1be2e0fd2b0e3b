#include "onboarding/mocks/RevealWindow.h"

#include "onboarding/MockWindowChrome.h"
#include "onboarding/mocks/Bubble.h"
#include "onboarding/mocks/PersonaPreviewWindow.h"
#include "shell/kit/Palette.h"

#include <algorithm>

using namespace mock;
using kit::FontWeight;
using kit::white;

namespace {

OBFont geist(FontWeight weight, double size)
{
    return OBFont::geist(weight, size);
}

// Mono text is regular unless a weight is asked for.
OBFont mono(double size, FontWeight weight = FontWeight::regular)
{
    return OBFont::mono(weight, size);
}

Item time()
{
    return text(QStringLiteral("10:42"), mono(9), OBTokens::textMuted());
}

// The colour of a letter of the search engine's word mark.
QColor wordMarkColor(QChar letter)
{
    if (letter == QLatin1Char('G') || letter == QLatin1Char('l')) {
        return kit::rgb(0x4285F4);
    }
    if (letter == QLatin1Char('o') || letter == QLatin1Char('e')) {
        return kit::rgb(0xEA4335);
    }
    if (letter == QLatin1Char('g')) {
        return kit::rgb(0x34A853);
    }
    return kit::rgb(0xFBBC05);
}

Item search()
{
    const Shape smallTab = Shape::topRounded(6);
    const Shape activeTab = Shape::topRounded(8);
    const Item tabs = hstack(Qt::AlignBottom,
                             4,
                             {text(QStringLiteral("Dating"), mono(9), OBTokens::textMuted())
                                  .padding(6, 0)
                                  .frame(std::nullopt, 20)
                                  .background(white(0.06), smallTab)
                                  .border(OBTokens::hairline(), smallTab),
                              hstack(Qt::AlignVCenter,
                                     4,
                                     {symbol(QStringLiteral("lock.fill"), 8, OBTokens::flame()),
                                      text(QStringLiteral("how to look busy"), mono(9.5), white(0.9))})
                                  .padding(6, 0)
                                  .frame(std::nullopt, 24)
                                  .fillWidth(Qt::AlignLeft)
                                  .background(mockwindow::surface(), activeTab)
                                  .border(OBTokens::hairlineStrong(), activeTab)})
                          .padding(QMarginsF(6, 6, 6, 0))
                          .background(mockwindow::titleBar());
    const Item address =
        hstack(Qt::AlignVCenter,
               6,
               {symbol(QStringLiteral("lock.fill"), 9, OBTokens::flame()),
                text(QStringLiteral("how to look busy at work"), geist(FontWeight::regular, 11), white(0.9))})
            .padding(8, 5)
            .fillWidth(Qt::AlignLeft)
            .background(white(0.05), Shape::capsule())
            .border(OBTokens::hairline(), Shape::capsule())
            .padding(8)
            .background(mockwindow::surface())
            .overlay(fill(Shape::rect(), OBTokens::hairline()).frame(std::nullopt, 1), Qt::AlignBottom);
    QList<Item> mark;
    for (const QChar letter : QStringLiteral("Google")) {
        mark << text(QString(letter), geist(FontWeight::bold, 11), wordMarkColor(letter));
    }
    mark << text(QStringLiteral("howtodo.net › look-busy"), mono(9.5), OBTokens::textMuted())
                .padding(QMarginsF(6, 0, 0, 0));
    const Item results = vstack(Qt::AlignLeft,
                                3,
                                {hstack(Qt::AlignVCenter, 0, mark),
                                 text(QStringLiteral("How to Fake Being Productive"),
                                      geist(FontWeight::semibold, 12),
                                      kit::rgb(0x8AB4F8))})
                             .fillWidth(Qt::AlignLeft)
                             .padding(10, 8)
                             .background(kit::rgb(0x16181F));
    const Shape corners = Shape::rounded(12);
    return vstack(Qt::AlignHCenter, 0, {tabs, address, results})
        .clip(corners)
        .border(OBTokens::hairlineStrong(), corners)
        .shadow({kit::rgb(0x000000, 0.55), 24, QPointF(0, 18)});
}

Item workchat()
{
    return vstack(
               Qt::AlignLeft,
               6,
               {hstack(Qt::AlignVCenter,
                       5,
                       {symbol(QStringLiteral("number"), 9, OBTokens::indigo(), FontWeight::bold),
                        text(QStringLiteral("leadership-confidential"),
                             geist(FontWeight::bold, 10),
                             OBTokens::textPrimary()),
                        spacer(4),
                        time()}),
                hstack(
                    Qt::AlignTop,
                    6,
                    {Avatar{QStringLiteral("DK"), OBTokens::indigo(), 16}.item(),
                     Bubble{
                         QStringLiteral("Keep the Acme price at 12%. Internal only."), 10, 0.9, std::nullopt}
                         .item()})})
        .padding(10, 8);
}

Item banking()
{
    return vstack(
               Qt::AlignLeft,
               5,
               {hstack(
                    Qt::AlignBaseline,
                    6,
                    {text(QStringLiteral("$28,450.00"), mono(17, FontWeight::bold), OBTokens::textPrimary()),
                     text(QStringLiteral("+3.4%"), geist(FontWeight::medium, 9), kit::rgb(0x34D399))}),
                text(QStringLiteral("•••• 4821 · Personal"), mono(9.5), white(0.45)),
                hstack(
                    Qt::AlignVCenter,
                    kDefaultSpacing,
                    {text(QStringLiteral("Payroll — Acme Corp"), geist(FontWeight::regular, 10), white(0.8)),
                     spacer(4),
                     text(
                         QStringLiteral("+$6,120"), mono(10, FontWeight::semibold), OBTokens::textPrimary())})
                    .padding(QMarginsF(0, 5, 0, 0))
                    .overlay(mockwindow::underline(), Qt::AlignTop)})
        .padding(10, 8);
}

Item files()
{
    const auto row = [](const char* glyph,
                        const QColor& glyphColor,
                        const char* name,
                        const OBFont& font,
                        double opacity) {
        return hstack(Qt::AlignVCenter,
                      6,
                      {symbol(QString::fromLatin1(glyph), 11, glyphColor),
                       text(QString::fromLatin1(name), font, white(opacity))});
    };
    return vstack(Qt::AlignLeft,
                  5,
                  {row("folder.fill",
                       OBTokens::flame(),
                       "Acme_Renewal_Pricing_Q4.pdf",
                       geist(FontWeight::semibold, 10),
                       0.9),
                   row("doc.text",
                       OBTokens::textMuted(),
                       "Competitor_Proposal_Draft.docx",
                       geist(FontWeight::regular, 10),
                       0.8),
                   text(QStringLiteral("2 items · confidential"), mono(9), white(0.35))})
        .padding(10, 8);
}

Item messages()
{
    return vstack(
               Qt::AlignLeft,
               6,
               {hstack(Qt::AlignVCenter,
                       6,
                       {Avatar{QStringLiteral("M"), OBTokens::sky(), 16}.item(),
                        text(QStringLiteral("Mom"), geist(FontWeight::bold, 10), OBTokens::textPrimary()),
                        spacer(4),
                        time()}),
                Bubble{
                    QStringLiteral("Call me when you're off work — nothing urgent!"), 10, 0.9, std::nullopt}
                    .item()})
        .padding(10, 8);
}

} // namespace

namespace reveal {

const QList<RevealVariant>& allCases()
{
    static const QList<RevealVariant> all{RevealVariant::Search,
                                          RevealVariant::Workchat,
                                          RevealVariant::Banking,
                                          RevealVariant::Files,
                                          RevealVariant::Messages};
    return all;
}

QString rawValue(RevealVariant variant)
{
    switch (variant) {
    case RevealVariant::Search:
        return QStringLiteral("search");
    case RevealVariant::Workchat:
        return QStringLiteral("workchat");
    case RevealVariant::Banking:
        return QStringLiteral("banking");
    case RevealVariant::Files:
        return QStringLiteral("files");
    case RevealVariant::Messages:
        break;
    }
    return QStringLiteral("messages");
}

std::optional<RevealVariant> fromRawValue(const QString& raw)
{
    for (const RevealVariant variant : allCases()) {
        if (rawValue(variant) == raw) {
            return variant;
        }
    }
    return std::nullopt;
}

} // namespace reveal

QString RevealWindow::app(RevealVariant variant)
{
    switch (variant) {
    case RevealVariant::Search:
        return {};
    case RevealVariant::Workchat:
        return QStringLiteral("Slack");
    case RevealVariant::Banking:
        return QStringLiteral("Online Banking");
    case RevealVariant::Files:
        return QStringLiteral("Finder");
    case RevealVariant::Messages:
        break;
    }
    return QStringLiteral("Messages");
}

Item RevealWindow::item() const
{
    switch (variant) {
    case RevealVariant::Search:
        return search();
    case RevealVariant::Workchat:
        return mockwindow::shell(app(variant), workchat());
    case RevealVariant::Banking:
        return mockwindow::shell(app(variant), banking());
    case RevealVariant::Files:
        return mockwindow::shell(app(variant), files());
    case RevealVariant::Messages:
        break;
    }
    return mockwindow::shell(app(variant), messages());
}

QList<RevealStack::Strip> RevealStack::strips() const
{
    const int count = std::clamp(static_cast<int>(variants.size()) - 1, 0, kMaxStrips);
    QList<Strip> list;
    for (int i = 0; i < count; ++i) {
        list.append({i * 10.0 + 4, i * 5.0, (count - 1 - i) * step});
    }
    return list;
}

Item RevealStack::item() const
{
    const Shape tab = Shape::topRounded(6);
    QList<Item> layers;
    for (const Strip& strip : strips()) {
        layers << fill(tab, kit::rgb(0x1C1F27))
                      .border(OBTokens::hairlineStrong(), tab)
                      .frame(std::nullopt, kStripHeight)
                      .fillWidth(Qt::AlignLeft)
                      .padding(QMarginsF(strip.leadingInset, 0, strip.trailingInset, 0))
                      .offset(0, strip.offsetY);
    }
    const Item backs = zstack(Qt::AlignTop, layers).frame(std::nullopt, stripAreaHeight(), Qt::AlignTop);
    return vstack(Qt::AlignHCenter, 0, {backs, RevealWindow{front()}.item()});
}
