#include "shell/kit/Tooltips.h"

#include "shell/kit/Palette.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>

namespace kit {

namespace {

// Lays the text out at most 220 points wide, breaking inside a word only when the word alone is
// too long. Returns the widest line's width and the total height.
QSizeF layOut(QTextLayout& layout, double maxWidth)
{
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    double widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(maxWidth);
        line.setPosition(QPointF(0, y));
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {std::min(widest, maxWidth), y};
}

} // namespace

TextLook TooltipStyle::textLook()
{
    TextLook look;
    look.face = geistFontName(FontWeight::medium);
    look.size = 11;
    look.color = Palette::textPrimary();
    return look;
}

Shadow TooltipStyle::shadow()
{
    Shadow s;
    s.color = QColor(0, 0, 0);
    s.color.setAlphaF(0.45F);
    s.radius = 10;
    s.offset = QPointF(0, 4);
    return s;
}

Animation TooltipStyle::transition()
{
    return respectingReduceMotion(Animation::timingCurve(0.16, 1.0, 0.3, 1.0, kTransitionDuration));
}

QSizeF TooltipStyle::bubbleSize(const QString& text, const QPaintDevice* device)
{
    QTextLayout layout(text, textLook().font(device), device);
    const QSizeF textSize = layOut(layout, kMaxTextWidth);
    return {std::ceil(textSize.width()) + 2 * kHorizontalPadding,
            std::ceil(textSize.height()) + 2 * kVerticalPadding};
}

QPointF TooltipStyle::bubbleOrigin(
    const QRectF& target, const QSizeF& container, const QSizeF& size, double gap, double margin)
{
    const double w = size.width();
    const double h = size.height();
    const double x = std::min(std::max(target.center().x() - w / 2, margin),
                              std::max(container.width() - w - margin, margin));
    double y = 0;
    if (target.bottom() + gap + h <= container.height() - margin) {
        y = target.bottom() + gap;
    } else {
        y = std::max(target.top() - gap - h, margin);
    }
    return {x, y};
}

// ---- TooltipSource

TooltipSource::TooltipSource(QWidget* control, const QString& text)
    : QObject(control)
    , m_text(text)
{
    setObjectName(QStringLiteral("TooltipSource"));
    control->setAccessibleDescription(text);
    control->installEventFilter(this);
}

TooltipSource::~TooltipSource()
{
    if (m_showing && m_host) {
        // Collect again once this source is gone (skipped when the host is gone by then).
        TooltipHost* host = m_host.data();
        platform::Scheduler::current().post(host, [host] { host->refresh(); });
    }
}

TooltipSource* TooltipSource::attach(QWidget* control, const QString& text)
{
    if (control == nullptr) {
        return nullptr;
    }
    delete of(control);
    return new TooltipSource(control, text);
}

TooltipSource* TooltipSource::of(const QWidget* control)
{
    return control != nullptr ? control->findChild<TooltipSource*>(QString(), Qt::FindDirectChildrenOnly)
                              : nullptr;
}

QWidget* TooltipSource::control() const
{
    return static_cast<QWidget*>(parent());
}

QList<TooltipItem> TooltipSource::items() const
{
    if (!m_showing || m_text.isEmpty()) {
        return {};
    }
    return {TooltipItem{m_text, QPointer<QWidget>(control())}};
}

bool TooltipSource::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent()) {
        switch (event->type()) {
        case QEvent::Enter:
            hoverChanged(true);
            break;
        case QEvent::Leave:
            hoverChanged(false);
            break;
        case QEvent::Hide:
            m_pending.cancel();
            setShowing(false);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TooltipSource::hoverChanged(bool entered)
{
    m_pending.cancel();
    if (entered) {
        m_pending = platform::Scheduler::current().after(TooltipStyle::kDelay, [this] { setShowing(true); });
    } else {
        setShowing(false);
    }
}

void TooltipSource::setShowing(bool showing)
{
    if (showing == m_showing) {
        return;
    }
    m_showing = showing;
    if (TooltipHost* host = TooltipHost::hostFor(control())) {
        m_host = host;
        host->refresh();
    }
}

// ---- TooltipBubble

TooltipBubble::TooltipBubble(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TooltipBubble"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hostLook(this);
}

void TooltipBubble::paintEvent(QPaintEvent* /*e*/)
{
    paintLookIfUnhosted(this);
}

void TooltipBubble::setText(const QString& text)
{
    m_text = text;
    m_size = TooltipStyle::bubbleSize(text, this);
    resize(static_cast<int>(std::ceil(m_size.width())), static_cast<int>(std::ceil(m_size.height())));
    update();
}

void TooltipBubble::setOpacity(double opacity)
{
    m_opacity = opacity;
    update();
}

void TooltipBubble::paintLook(QPainter& painter)
{
    // Nothing until measured, so the bubble never flashes at a wrong place.
    if (m_size.isEmpty()) {
        return;
    }
    painter.setOpacity(m_opacity);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), m_size);
    const QPainterPath shape = continuousRoundedRect(r, TooltipStyle::kCornerRadius);
    drawShadow(painter, shape, TooltipStyle::shadow());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::surfaceHigh());
    painter.drawPath(shape);
    strokeInnerBorder(painter, r, TooltipStyle::kCornerRadius, white(0.14));

    const TextLook look = TooltipStyle::textLook();
    QTextLayout layout(m_text, look.font(painter.device()), painter.device());
    layOut(layout, TooltipStyle::kMaxTextWidth);
    painter.setPen(look.color);
    layout.draw(&painter, QPointF(TooltipStyle::kHorizontalPadding, TooltipStyle::kVerticalPadding));
}

// ---- TooltipHost

TooltipHost::TooltipHost(QWidget* container)
    : QObject(container)
    , m_overlay(new QWidget(container))
{
    setObjectName(QStringLiteral("TooltipHost"));
    m_overlay->setObjectName(QStringLiteral("TooltipOverlay"));
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlay->setGeometry(container->rect());
    m_overlay->hide();
    m_opacity.setOnChange([this] { opacityChanged(); });
    container->installEventFilter(this);
}

TooltipHost* TooltipHost::attach(QWidget* container)
{
    if (container == nullptr) {
        return nullptr;
    }
    if (auto* existing = container->findChild<TooltipHost*>(QString(), Qt::FindDirectChildrenOnly)) {
        return existing;
    }
    return new TooltipHost(container);
}

TooltipHost* TooltipHost::hostFor(const QWidget* widget)
{
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (auto* host = w->findChild<TooltipHost*>(QString(), Qt::FindDirectChildrenOnly)) {
            return host;
        }
    }
    return nullptr;
}

QWidget* TooltipHost::container() const
{
    return static_cast<QWidget*>(parent());
}

TooltipBubble* TooltipHost::bubble() const
{
    return m_bubble != nullptr && m_bubble->isVisibleTo(container()) && m_overlay->isVisibleTo(container())
               ? m_bubble
               : nullptr;
}

QList<TooltipItem> TooltipHost::collect() const
{
    QList<TooltipItem> items;
    // Depth first, a widget before the widgets inside it, siblings in order; a nested host's
    // subtree belongs to that host.
    std::function<void(const QWidget*)> visit = [&](const QWidget* w) {
        if (w == m_overlay) {
            return;
        }
        if (w != container()
            && w->findChild<TooltipHost*>(QString(), Qt::FindDirectChildrenOnly) != nullptr) {
            return;
        }
        if (const TooltipSource* source = TooltipSource::of(w)) {
            items += source->items();
        }
        for (const QObject* child : w->children()) {
            if (child->isWidgetType()) {
                visit(static_cast<const QWidget*>(child));
            }
        }
    };
    visit(container());
    return items;
}

void TooltipHost::refresh()
{
    const QList<TooltipItem> items = collect();
    const bool changed = items != m_items;
    const bool wasEmpty = m_items.isEmpty();
    m_items = items;
    if (!m_items.isEmpty()) {
        if (m_bubble == nullptr) {
            m_bubble = new TooltipBubble(m_overlay);
        }
        m_bubble->setText(m_items.last().text);
        m_bubble->show();
        m_overlay->setGeometry(container()->rect());
        m_overlay->show();
        m_overlay->raise();
        place();
    }
    if (changed) {
        if (m_items.isEmpty()) {
            m_opacity.animate(0, TooltipStyle::transition());
        } else if (wasEmpty) {
            m_opacity.animate(1, TooltipStyle::transition());
        }
    }
    opacityChanged();
}

void TooltipHost::place()
{
    if (m_bubble == nullptr || m_items.isEmpty()) {
        return;
    }
    const QWidget* anchor = m_items.last().anchor;
    if (anchor == nullptr) {
        return;
    }
    const QRectF target(QPointF(anchor->mapTo(container(), QPoint(0, 0))), QSizeF(anchor->size()));
    const QPointF origin =
        TooltipStyle::bubbleOrigin(target, QSizeF(container()->size()), m_bubble->measuredSize());
    m_bubble->move(static_cast<int>(std::lround(origin.x())), static_cast<int>(std::lround(origin.y())));
}

void TooltipHost::opacityChanged()
{
    if (m_bubble == nullptr) {
        return;
    }
    const double opacity = m_opacity.value();
    m_bubble->setOpacity(opacity);
    if (m_items.isEmpty() && !m_opacity.isAnimating()) {
        // Faded out.
        m_bubble->hide();
        m_overlay->hide();
    }
}

bool TooltipHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == container() && event->type() == QEvent::Resize) {
        m_overlay->setGeometry(container()->rect());
        place();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kit
