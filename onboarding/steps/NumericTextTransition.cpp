#include "onboarding/steps/NumericTextTransition.h"

#include "shell/kit/TextView.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace {

// Wider than any line is laid out.
constexpr double kUnbounded = 1e6;

} // namespace

NumericTextTransition::NumericTextTransition(kit::TextView& text)
    : QWidget(&text)
    , m_text(&text)
{
    setObjectName(QStringLiteral("NumericTextTransition"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(text.rect());
    text.installEventFilter(this);
    hide();
    m_progress.setOnChange([this] {
        if (m_progress.isAnimating()) {
            update();
        } else {
            finish();
        }
    });
}

void NumericTextTransition::start(const QString& from, const kit::Animation& animation, bool moving)
{
    finish();
    if (!m_text) {
        return;
    }
    const QString to = m_text->runs().value(0).text;
    const kit::TextLook look = m_text->look();
    const auto oneLine = [&](const QString& line) {
        return kit::TextBlock({{line, false, std::nullopt}}, look, {}, m_text->width(), m_text).lineCount()
               <= 1;
    };
    if (from == to || animation.duration() <= 0 || !oneLine(from) || !oneLine(to)) {
        return;
    }
    m_from = from;
    m_to = to;
    m_moving = moving;
    m_color = m_text->runs().value(0).color.value_or(look.color);
    m_progress.set(0);
    m_running = true;
    setFirstRunColor(Qt::transparent);
    raise();
    show();
    m_progress.animate(1, animation);
}

void NumericTextTransition::finish()
{
    if (!m_running) {
        return;
    }
    m_running = false;
    setFirstRunColor(m_color);
    hide();
}

void NumericTextTransition::setFirstRunColor(const QColor& color)
{
    if (!m_text || m_text->runs().isEmpty()) {
        return;
    }
    QList<kit::TextRun> runs = m_text->runs();
    runs.first().color = color;
    m_text->setRuns(runs);
}

bool NumericTextTransition::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text && event->type() == QEvent::Resize) {
        setGeometry(m_text->rect());
    }
    return false;
}

namespace {

// Where the character at `index` of a line set in one line of `font` begins.
double offsetOf(const QString& line, qsizetype index, const QFont& font, QPaintDevice* device)
{
    QTextLayout layout(line, font, device);
    layout.beginLayout();
    QTextLine text = layout.createLine();
    if (!text.isValid()) {
        layout.endLayout();
        return 0;
    }
    text.setLineWidth(kUnbounded);
    layout.endLayout();
    return text.cursorToX(static_cast<int>(index));
}

} // namespace

void NumericTextTransition::paintEvent(QPaintEvent* /*event*/)
{
    if (!m_running || !m_text) {
        return;
    }
    // What the two lines share at their start and at their end.
    qsizetype head = 0;
    while (head < m_from.size() && head < m_to.size() && m_from.at(head) == m_to.at(head)) {
        ++head;
    }
    qsizetype tail = 0;
    while (tail < m_from.size() - head && tail < m_to.size() - head
           && m_from.at(m_from.size() - 1 - tail) == m_to.at(m_to.size() - 1 - tail)) {
        ++tail;
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QPaintDevice* device = painter.device();
    const kit::TextLook look = m_text->look();
    const QFont font = look.font(device);
    // Each part is drawn from the whole line it belongs to, laid out as the view lays it out,
    // and cut to its own stretch of the line: the parts then meet exactly as the line does.
    const auto part = [&](const QString& line, double from, double to, QPointF moved, double opacity) {
        if (opacity <= 0 || to <= from) {
            return;
        }
        const kit::TextBlock block({{line, false, m_color}}, look, {}, kUnbounded, device);
        const double top = m_text->firstBaseline() - block.firstBaseline();
        painter.save();
        painter.setOpacity(opacity);
        painter.translate(moved);
        painter.setClipRect(QRectF(from, -kUnbounded / 2, to - from, kUnbounded));
        block.draw(painter, QRectF(0, top, kUnbounded, block.size().height()));
        painter.restore();
    };
    const double p = std::clamp(m_progress.value(), 0.0, 1.0);
    const double rise = m_moving ? kRise * QFontMetricsF(font, device).height() : 0;
    const double keptEnd = offsetOf(m_to, head, font, device);
    const double leavingStart = offsetOf(m_from, head, font, device);
    const double leavingEnd = offsetOf(m_from, m_from.size() - tail, font, device);
    const double comingEnd = offsetOf(m_to, m_to.size() - tail, font, device);
    part(m_to, -kUnbounded / 2, keptEnd, {}, 1);
    part(m_from, leavingStart, leavingEnd, {keptEnd - leavingStart, -rise * p}, 1 - p);
    part(m_to, keptEnd, comingEnd, {0, rise * (1 - p)}, p);
    part(m_to,
         comingEnd,
         kUnbounded / 2,
         {(leavingEnd - leavingStart - (comingEnd - keptEnd)) * (1 - p), 0},
         1);
}
