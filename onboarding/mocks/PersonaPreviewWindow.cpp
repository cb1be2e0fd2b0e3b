#include "onboarding/mocks/PersonaPreviewWindow.h"

#include "onboarding/MockWindowChrome.h"
#include "onboarding/mocks/Bubble.h"
#include "shell/kit/Palette.h"

#include <QStringList>

#include <array>

using namespace mock;
using kit::FontWeight;
using kit::white;

namespace {

OBFont geist(FontWeight weight, double size)
{
    return OBFont::geist(weight, size);
}

Item heading(const QString& title)
{
    return text(title, geist(FontWeight::semibold, 10), OBTokens::textPrimary());
}

// A paragraph that wraps and grows the window rather than being cut.
Item paragraph(const QString& words, double size, double emphasis)
{
    return text(words, geist(FontWeight::regular, size), white(emphasis), {.lineSpacing = 2})
        .fixedSize(false, true);
}

Item email()
{
    const Shape box = Shape::rounded(8);
    const Shape chip = Shape::rounded(6);
    const QColor indigo = OBTokens::indigo();
    return vstack(Qt::AlignLeft,
                  6,
                  {hstack(Qt::AlignVCenter,
                          6,
                          {Avatar{QStringLiteral("JR"), indigo, 14}.item(),
                           text(QStringLiteral("You → Client team"),
                                geist(FontWeight::semibold, 10),
                                OBTokens::textPrimary(),
                                {.lineLimit = 1})}),
                   text(QStringLiteral("Acme Corp — Renewal pricing (confidential)"),
                        geist(FontWeight::semibold, 10),
                        OBTokens::textPrimary(),
                        {.lineSpacing = 2})
                       .fixedSize(false, true),
                   vstack(Qt::AlignLeft,
                          4,
                          {Rule{90, 4, 999, OBTokens::hairlineHover()}.item(),
                           Rule{70, 4, 999, OBTokens::hairline()}.item(),
                           paragraph(
                               QStringLiteral("Here's the renewal pricing ahead of Monday's call — keep this "
                                              "off their screen until we've reviewed it."),
                               9,
                               0.7)})
                       .padding(7)
                       .fillWidth(Qt::AlignLeft)
                       .background(white(0.05))
                       .clip(box)
                       .border(OBTokens::hairline(), box),
                   hstack(Qt::AlignVCenter,
                          6,
                          {symbol(QStringLiteral("paperclip"), 9, indigo),
                           text(QStringLiteral("Acme_Renewal_Pricing_Q4.pdf"),
                                OBFont::mono(FontWeight::regular, 9),
                                kit::rgb(0xA5B4FC),
                                {.lineLimit = 1})})
                       .padding(7, 5)
                       .background(mockwindow::faded(indigo, 0.1))
                       .clip(chip)
                       .border(mockwindow::faded(indigo, 0.22), chip)})
        .padding(11);
}

Item notes()
{
    QList<Item> rows{heading(QStringLiteral("Launch notes — core team only"))};
    for (const char* entry :
         {"Launch pushed two weeks", "Public roadmap: cut entirely", "Don't share outside the core team"}) {
        rows << hstack(Qt::AlignTop,
                       6,
                       {fill(Shape::circle(), kit::rgb(0xFBBF24)).frame(4, 4).padding(QMarginsF(0, 4, 0, 0)),
                        paragraph(QString::fromUtf8(entry), 9, 0.75)});
    }
    rows << Rule{std::nullopt, 20, 6, OBTokens::hairline()}.item();
    return vstack(Qt::AlignLeft, 6, rows).padding(11);
}

Item sheet()
{
    const auto cell = [](const QString& value, const OBFont& font, const QColor& color) {
        return text(value, font, color).fillWidth(Qt::AlignLeft);
    };
    const OBFont figures = OBFont::mono(FontWeight::medium, 9);
    QList<Item> cells;
    for (const char* column : {"NAME", "ROLE", "SALARY"}) {
        cells << cell(QString::fromLatin1(column), figures, OBTokens::textMuted());
    }
    QList<Item> table{hstack(Qt::AlignVCenter, 0, cells)
                          .padding(QMarginsF(0, 0, 0, 4))
                          .overlay(mockwindow::underline(), Qt::AlignBottom)};
    const std::array<QStringList, 3> records{
        QStringList{QStringLiteral("M. Alvarez"), QStringLiteral("Director, Ops"), QStringLiteral("$158k")},
        QStringList{QStringLiteral("J. Okafor"), QStringLiteral("VP Engineering"), QStringLiteral("$212k")},
        QStringList{QStringLiteral("R. Lindqvist"), QStringLiteral("Sr. PM"), QStringLiteral("$141k")}};
    for (const QStringList& record : records) {
        table << hstack(Qt::AlignVCenter,
                        0,
                        {cell(record[0], geist(FontWeight::semibold, 9), white(0.8)),
                         cell(record[1], geist(FontWeight::regular, 9), white(0.7)),
                         cell(record[2], figures, OBTokens::textPrimary())})
                     .padding(QMarginsF(0, 5, 0, 5))
                     .overlay(mockwindow::underline(), Qt::AlignBottom);
    }
    return vstack(Qt::AlignLeft,
                  6,
                  {heading(QStringLiteral("Q3 Planning — Salaries (internal)")),
                   vstack(Qt::AlignHCenter, 0, table)})
        .padding(11);
}

Item chat()
{
    const Item sidebar =
        vstack(Qt::AlignHCenter,
               6,
               {Avatar{QStringLiteral("A"), OBTokens::indigo(), 16}.item(),
                Avatar{QStringLiteral("D"), kit::rgb(0x10B981), 16}.item(),
                Avatar{QStringLiteral("K"), kit::rgb(0xF59E0B), 16}.item(),
                spacer()})
            .padding(0, 10)
            .frame(36, std::nullopt)
            .background(kit::rgb(0x171A24))
            .overlay(fill(Shape::rect(), OBTokens::hairline()).frame(1, std::nullopt), Qt::AlignRight);
    const Item header = hstack(Qt::AlignVCenter,
                               6,
                               {symbol(QStringLiteral("number"), 10, OBTokens::indigo(), FontWeight::bold),
                                text(QStringLiteral("Personal Messages"),
                                     geist(FontWeight::semibold, 11),
                                     OBTokens::textPrimary(),
                                     {.lineLimit = 1})})
                            .padding(QMarginsF(0, 0, 0, 6))
                            .overlay(mockwindow::underline(), Qt::AlignBottom);
    const Item sender = hstack(
        Qt::AlignVCenter,
        6,
        {Avatar{QStringLiteral("M"), OBTokens::sky(), 14}.item(),
         text(QStringLiteral("Mom"), geist(FontWeight::semibold, 10), OBTokens::textPrimary()),
         spacer(),
         text(QStringLiteral("10:42 AM"), OBFont::mono(FontWeight::regular, 9), OBTokens::textMuted())});
    const Item conversation =
        vstack(
            Qt::AlignLeft,
            6,
            {header,
             sender,
             Bubble{
                 QStringLiteral("Call me when you're out of class — nothing urgent!"), 10, 0.9, std::nullopt}
                 .item(),
             Bubble{QStringLiteral("You: On it — grabbing a quiet spot now."), 9, 0.55, 0.8}.item(),
             Rule{std::nullopt, 20, 10, OBTokens::hairline()}.item()})
            .padding(11)
            .fillWidth(Qt::AlignLeft);
    return hstack(Qt::AlignVCenter, 0, {sidebar, conversation});
}

} // namespace

namespace mockwindow {

QColor surface()
{
    return kit::rgb(0x131722);
}

QColor titleBar()
{
    return kit::rgb(0x191A22);
}

Item shell(const QString& app, const Item& content)
{
    return MockWindowShell{
        app, white(0.75), surface(), titleBar(), OBTokens::hairlineStrong(), Item(), content}
        .item();
}

Item underline()
{
    return Rule{std::nullopt, 1, 999, OBTokens::hairline()}.item();
}

QColor faded(const QColor& color, double opacity)
{
    QColor c = color;
    c.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return c;
}

} // namespace mockwindow

QString PersonaPreviewWindow::app(PersonaPreview preview)
{
    switch (preview) {
    case PersonaPreview::Email:
        return QStringLiteral("Mail");
    case PersonaPreview::Notes:
        return QStringLiteral("Notes");
    case PersonaPreview::Finance:
        return QStringLiteral("Sheets");
    case PersonaPreview::Chat:
        break;
    }
    return QStringLiteral("Messages");
}

Item PersonaPreviewWindow::item() const
{
    switch (preview) {
    case PersonaPreview::Email:
        return mockwindow::shell(app(preview), email());
    case PersonaPreview::Notes:
        return mockwindow::shell(app(preview), notes());
    case PersonaPreview::Finance:
        return mockwindow::shell(app(preview), sheet());
    case PersonaPreview::Chat:
        break;
    }
    return mockwindow::shell(app(preview), chat());
}
