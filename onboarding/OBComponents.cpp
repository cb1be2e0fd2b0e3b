#include "onboarding/OBComponents.h"

#include "shell/kit/Drawing.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextView.h"

#include <QPainter>
#include <QVBoxLayout>

kit::TextLook textLook(const OBFont& font, const QColor& color)
{
    kit::TextLook look;
    look.face = font.faceName();
    look.size = font.size;
    look.tracking = font.tracking;
    look.color = color;
    return look;
}

kit::TextView* HeadlineText::view(QWidget* parent) const
{
    auto* text = new kit::TextView(
        QString(), textLook(HeadlineLook::font(size), HeadlineLook::leadColor()), {}, parent);
    // The tail always starts a line of its own, however short the lead.
    text->setRuns({{lead, false, HeadlineLook::leadColor()},
                   {QStringLiteral("\n"), false, std::nullopt},
                   {tail, false, HeadlineLook::tailColor()}});
    text->setObjectName(QStringLiteral("HeadlineText"));
    return text;
}

kit::TextView* SubheadlineText::view(QWidget* parent) const
{
    kit::TextOptions options;
    options.lineSpacing = SubheadlineLook::kLineSpacing;
    options.alignment = centering ? kit::TextAlignment::Center : kit::TextAlignment::Leading;
    auto* view =
        new kit::TextView(text, textLook(SubheadlineLook::font(), SubheadlineLook::color()), options, parent);
    view->setObjectName(QStringLiteral("SubheadlineText"));
    return view;
}

kit::TextView* EyebrowLabel::view(QWidget* parent) const
{
    auto* view =
        new kit::TextView(EyebrowLook::text(text), textLook(EyebrowLook::font(spacing), color), {}, parent);
    view->setObjectName(QStringLiteral("EyebrowLabel"));
    return view;
}

kit::PulseDot* StatusDot::view(QWidget* parent) const
{
    auto* dot = new kit::PulseDot(StatusDotLook::color(kind), StatusDotLook::pulses(kind), parent);
    dot->setObjectName(QStringLiteral("StatusDot"));
    return dot;
}

Panel::Panel(const QColor& background,
             const QColor& border,
             double corner,
             double padding,
             QWidget* content,
             QWidget* parent)
    : QWidget(parent)
    , m_background(background)
    , m_border(border)
    , m_corner(corner)
{
    setObjectName(QStringLiteral("Panel"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    const int inset = static_cast<int>(padding);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(0);
    if (content != nullptr) {
        layout->addWidget(content);
    }
    hostLook(this);
}

void Panel::setBorder(const QColor& border)
{
    if (border != m_border) {
        m_border = border;
        lookChanged();
        update();
    }
}

void Panel::paintLook(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = kit::continuousRoundedRect(QRectF(rect()), m_corner);
    painter.fillPath(shape, m_background);
    // Centred on the edge: half of the line lies outside the card.
    painter.strokePath(shape, QPen(m_border, 1));
}

QMarginsF Panel::lookOverflow() const
{
    return {0.5, 0.5, 0.5, 0.5};
}

void Panel::paintEvent(QPaintEvent* /*event*/)
{
    paintLookIfUnhosted(this);
}

SelectableRow::SelectableRow(bool isSelected, double corner, std::function<void()> onPress, QWidget* parent)
    : kit::PressFeedbackButton(parent)
    , m_selected(isSelected)
    , m_corner(corner)
    , m_selection(isSelected ? 1 : 0)
{
    setObjectName(QStringLiteral("SelectableRow"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_hover.setOnChange([this] { update(); });
    m_selection.setOnChange([this] { update(); });
    connect(this, &QAbstractButton::clicked, this, [press = std::move(onPress)] {
        if (press) {
            press();
        }
    });
}

void SelectableRow::setSelected(bool selected, const std::optional<kit::Animation>& animation)
{
    if (selected != m_selected) {
        m_selected = selected;
        m_selection.change(selected ? 1 : 0, animation);
        update();
    }
}

namespace {

// A look of the row between its four states: hover and selection each from 0 to 1.
QColor rowColor(const QColor& (*look)(bool, bool), double hover, double selection)
{
    return kit::mixColors(kit::mixColors(look(false, false), look(false, true), hover),
                          kit::mixColors(look(true, false), look(true, true), hover),
                          selection);
}

} // namespace

QColor SelectableRow::currentFill() const
{
    return rowColor(&SelectableRowLook::fill, m_hover.value(), m_selection.value());
}

QColor SelectableRow::currentBorder() const
{
    return rowColor(&SelectableRowLook::border, m_hover.value(), m_selection.value());
}

bool SelectableRow::hitButton(const QPoint& pos) const
{
    // The middle of the pixel under the pointer.
    return kit::continuousRoundedRect(QRectF(rect()), m_corner).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void SelectableRow::paintLabel(QPainter& painter, const QRectF& rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(kit::continuousRoundedRect(rect, m_corner), currentFill());
    kit::strokeInnerBorder(painter, rect, m_corner, currentBorder());
}

void SelectableRow::interactionChanged()
{
    kit::PressFeedbackButton::interactionChanged();
    const double hovered = isHovered() ? 1 : 0;
    if (hovered != m_hover.target()) {
        m_hover.animate(hovered, SelectableRowLook::hoverAnimation());
    }
}
