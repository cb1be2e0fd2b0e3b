#include "shell/kit/TextView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

constexpr QStringView kEllipsis = u"\u2026";
constexpr QStringView kMarker = u"**";

struct Styled
{
    QString text; // with line breaks as the layout wants them
    QList<QTextLayout::FormatRange> formats;
};

QTextCharFormat formatOf(const TextRun& run, const TextLook& look, const QPaintDevice* device)
{
    const TextLook runLook = run.emphasized ? emphasizedLook(look) : look;
    QTextCharFormat format;
    format.setFont(runLook.font(device));
    format.setForeground(run.color.value_or(look.color));
    return format;
}

Styled style(const QList<TextRun>& runs, const TextLook& look, const QPaintDevice* device)
{
    Styled styled;
    for (const TextRun& run : runs) {
        if (run.text.isEmpty()) {
            continue;
        }
        QString text = run.text;
        // A written line break starts a new line within the same paragraph.
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        styled.formats.append({static_cast<int>(styled.text.size()),
                               static_cast<int>(text.size()),
                               formatOf(run, look, device)});
        styled.text += text;
    }
    return styled;
}

// The formats of the characters [from, from + length), shifted to start at 0.
QList<QTextLayout::FormatRange> slice(const QList<QTextLayout::FormatRange>& formats, int from, int length)
{
    QList<QTextLayout::FormatRange> sliced;
    for (const QTextLayout::FormatRange& f : formats) {
        const int start = std::max(f.start, from);
        const int end = std::min(f.start + f.length, from + length);
        if (end > start) {
            sliced.append({start - from, end - start, f.format});
        }
    }
    return sliced;
}

std::shared_ptr<QTextLayout> makeLayout(const QString& text,
                                        const QList<QTextLayout::FormatRange>& formats,
                                        const QFont& font,
                                        const QPaintDevice* device,
                                        QTextOption::WrapMode wrap)
{
    auto layout = std::make_shared<QTextLayout>(text, font, const_cast<QPaintDevice*>(device));
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(wrap);
    layout->setTextOption(option);
    layout->setFormats(formats);
    return layout;
}

// The one line that replaces the lines past the limit: the rest of the text on one line, cut
// to the width with "…".
std::shared_ptr<QTextLayout>
elidedLine(const Styled& styled, int from, const QFont& font, double width, const QPaintDevice* device)
{
    QString rest = styled.text.mid(from);
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    const QList<QTextLayout::FormatRange> formats =
        slice(styled.formats, from, static_cast<int>(rest.size()));
    const auto whole = makeLayout(rest, formats, font, device, QTextOption::NoWrap);
    whole->beginLayout();
    QTextLine line = whole->createLine();
    line.setLineWidth(width);
    whole->endLayout();

    int cut = static_cast<int>(rest.size());
    const auto fits = [&](int position) {
        QFont at = font;
        for (const QTextLayout::FormatRange& f : formats) {
            if (position - 1 >= f.start && position - 1 < f.start + f.length) {
                at = f.format.font();
            }
        }
        return line.cursorToX(position) + QFontMetricsF(at, device).horizontalAdvance(kEllipsis.toString())
               <= width;
    };
    while (cut > 0 && !fits(cut)) {
        --cut;
    }
    while (cut > 0 && rest.at(cut - 1).isSpace()) {
        --cut;
    }
    QList<QTextLayout::FormatRange> kept = slice(formats, 0, cut);
    const QTextCharFormat ellipsisFormat =
        kept.isEmpty() ? (formats.isEmpty() ? QTextCharFormat() : formats.front().format)
                       : kept.back().format;
    kept.append({cut, static_cast<int>(kEllipsis.size()), ellipsisFormat});
    auto elided = makeLayout(rest.left(cut).append(kEllipsis), kept, font, device, QTextOption::NoWrap);
    elided->beginLayout();
    QTextLine shown = elided->createLine();
    shown.setLineWidth(width);
    shown.setPosition(QPointF());
    elided->endLayout();
    return elided;
}

double offsetFor(TextAlignment alignment, double room)
{
    switch (alignment) {
    case TextAlignment::Leading:
        return 0;
    case TextAlignment::Center:
        return room / 2;
    case TextAlignment::Trailing:
        return room;
    }
    return 0;
}

} // namespace

QList<TextRun> parseEmphasis(const QString& text)
{
    QList<TextRun> runs;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype open = text.indexOf(kMarker, at);
        const qsizetype close = open < 0 ? -1 : text.indexOf(kMarker, open + kMarker.size());
        if (close < 0) {
            runs.append({text.mid(at), false, std::nullopt});
            break;
        }
        if (open > at) {
            runs.append({text.mid(at, open - at), false, std::nullopt});
        }
        runs.append({text.mid(open + kMarker.size(), close - open - kMarker.size()), true, std::nullopt});
        at = close + kMarker.size();
    }
    return runs;
}

TextLook emphasizedLook(const TextLook& look)
{
    TextLook bold = look;
    bold.face = look.face.startsWith(QLatin1String("GeistMono")) ? geistMonoFontName(FontWeight::bold)
                                                                 : geistFontName(FontWeight::bold);
    return bold;
}

// ---- TextBlock

TextBlock::TextBlock(const QList<TextRun>& runs,
                     const TextLook& look,
                     const TextOptions& options,
                     double width,
                     const QPaintDevice* device)
    : m_options(options)
{
    width = std::isfinite(width) ? std::max(width, 0.0) : 1e6;
    const Styled styled = style(runs, look, device);
    const QFont font = look.font(device);
    const auto layout =
        makeLayout(styled.text, styled.formats, font, device, QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF());
    }
    layout->endLayout();

    const int count = layout->lineCount();
    const int limit = options.lineLimit > 0 ? std::min(options.lineLimit, count) : count;
    m_truncated = limit < count;
    const int whole = m_truncated ? limit - 1 : limit;
    double y = 0;
    double widest = 0;
    const auto add = [&](const std::shared_ptr<QTextLayout>& owner, int index) {
        const QTextLine line = owner->lineAt(index);
        if (!m_lines.isEmpty()) {
            y += options.lineSpacing;
        }
        m_lines.append({owner, index, y});
        // Not line.height(), which rounds up to whole pixels: lines sit as text metrics say.
        y += line.ascent() + line.descent();
        widest = std::max(widest, line.naturalTextWidth());
    };
    for (int i = 0; i < whole; ++i) {
        add(layout, i);
    }
    if (m_truncated) {
        add(elidedLine(styled, layout->lineAt(whole).textStart(), font, width, device), 0);
    }
    if (m_lines.isEmpty()) {
        // An empty text still takes one line, so a label does not collapse.
        y = QFontMetricsF(font, device).height();
    }
    m_size = QSizeF(std::min(widest, width), y);
}

int TextBlock::lineCount() const
{
    return static_cast<int>(m_lines.size());
}

QStringList TextBlock::lineTexts() const
{
    QStringList texts;
    for (const Line& line : m_lines) {
        const QTextLine l = line.layout->lineAt(line.index);
        QString text = line.layout->text().mid(l.textStart(), l.textLength());
        text.replace(QChar::LineSeparator, QString());
        texts.append(text.trimmed());
    }
    return texts;
}

double TextBlock::firstBaseline() const
{
    return m_lines.isEmpty() ? 0 : m_lines.front().layout->lineAt(m_lines.front().index).ascent();
}

void TextBlock::draw(QPainter& painter, const QRectF& rect) const
{
    for (const Line& line : m_lines) {
        const QTextLine l = line.layout->lineAt(line.index);
        const double x = rect.left() + offsetFor(m_options.alignment, rect.width() - l.naturalTextWidth());
        l.draw(&painter, QPointF(x, rect.top() + line.y));
    }
}

// ---- TextView

TextView::TextView(const QString& text, LookProvider look, const TextOptions& options, QWidget* parent)
    : QWidget(parent)
    , m_look(std::move(look))
    , m_options(options)
{
    setObjectName(QStringLiteral("TextView"));
    setText(text);
}

TextView::TextView(const QString& text, const TextLook& look, const TextOptions& options, QWidget* parent)
    : TextView(
        text, [look] { return look; }, options, parent)
{}

QString TextView::text() const
{
    QString text;
    for (const TextRun& run : m_runs) {
        text += run.text;
    }
    return text;
}

void TextView::setText(const QString& text)
{
    setRuns({TextRun{text, false, std::nullopt}});
}

void TextView::setMarkdown(const QString& text)
{
    setRuns(parseEmphasis(text));
}

void TextView::setRuns(const QList<TextRun>& runs)
{
    m_runs = runs;
    setAccessibleName(text());
    changed();
}

void TextView::setLook(LookProvider look)
{
    m_look = std::move(look);
    changed();
}

void TextView::setOptions(const TextOptions& options)
{
    m_options = options;
    changed();
}

void TextView::changed()
{
    QSizePolicy policy(QSizePolicy::Preferred,
                       m_options.lineLimit == 1 ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    policy.setHeightForWidth(hasHeightForWidth());
    setSizePolicy(policy);
    updateGeometry();
    update();
}

TextBlock TextView::layoutAt(double width) const
{
    return {m_runs, m_look(), m_options, width, this};
}

double TextView::firstBaseline() const
{
    const QRect area = contentsRect();
    const TextBlock block = layoutAt(area.width());
    return area.top() + std::max((area.height() - block.size().height()) / 2, 0.0) + block.firstBaseline();
}

QSize TextView::sizeHint() const
{
    // Its ideal size: every paragraph on one line, within its margins.
    const QMargins margins = contentsMargins();
    const double ideal = std::ceil(TextBlock(m_runs, m_look(), {}, 1e6, this).size().width());
    const int width = static_cast<int>(ideal) + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize TextView::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    TextOptions oneLine = m_options;
    oneLine.lineLimit = 1;
    const double line = std::ceil(TextBlock(m_runs, m_look(), oneLine, 1e6, this).size().height());
    return {margins.left() + margins.right(), static_cast<int>(line) + margins.top() + margins.bottom()};
}

bool TextView::hasHeightForWidth() const
{
    return m_options.lineLimit != 1;
}

int TextView::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const double text = layoutAt(width - margins.left() - margins.right()).size().height();
    return static_cast<int>(std::ceil(text)) + margins.top() + margins.bottom();
}

void TextView::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = contentsRect();
    const TextBlock block = layoutAt(area.width());
    const double top = area.top() + std::max((area.height() - block.size().height()) / 2, 0.0);
    block.draw(painter, QRectF(area.left(), top, area.width(), area.bottom() - top));
}

} // namespace kit
