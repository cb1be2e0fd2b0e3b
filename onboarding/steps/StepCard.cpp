#include "onboarding/steps/StepCard.h"

#include "onboarding/OBComponents.h"
#include "shell/kit/TextView.h"

#include <QChildEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The card's border, as a child kept above the content.
class CardBorder final : public QWidget
{
public:
    CardBorder(const QColor& color, double corner, QWidget* parent)
        : QWidget(parent)
        , m_color(color)
        , m_corner(corner)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        kit::strokeInnerBorder(painter, QRectF(rect()), m_corner, m_color);
    }

private:
    QColor m_color;
    double m_corner;
};

} // namespace

StepCard::StepCard(const QColor& fill, const QColor& border, double corner, QWidget* parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_corner(corner)
{
    // Made here rather than in the initialiser list: the card hears of the child while it is
    // made, and must see a null border then.
    m_border = new CardBorder(border, corner, this); // NOLINT(cppcoreguidelines-prefer-member-initializer)
    hostLook(this);
}

void StepCard::setShadow(const kit::Shadow& shadow)
{
    const QMarginsF reach = lookOverflow();
    m_shadow = shadow;
    // Within the reach set beforehand, a glow that flares repaints the card and its glow only.
    if (lookOverflow() != reach) {
        lookChanged();
    }
    update();
}

void StepCard::setShadowReach(const QMarginsF& reach)
{
    m_reach = reach;
    lookChanged();
}

void StepCard::paintLook(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = kit::continuousRoundedRect(QRectF(rect()), m_corner);
    if (m_shadow.color.alpha() > 0) {
        kit::drawShadow(painter, shape, m_shadow);
    }
    painter.fillPath(shape, m_fill);
}

QMarginsF StepCard::lookOverflow() const
{
    const QMarginsF now = m_shadow.color.alpha() > 0 ? m_shadow.reach() : QMarginsF();
    return {std::max(now.left(), m_reach.left()),
            std::max(now.top(), m_reach.top()),
            std::max(now.right(), m_reach.right()),
            std::max(now.bottom(), m_reach.bottom())};
}

void StepCard::paintEvent(QPaintEvent* /*event*/)
{
    paintLookIfUnhosted(this);
}

void StepCard::resizeEvent(QResizeEvent* /*event*/)
{
    m_border->setGeometry(rect());
    m_border->raise();
}

void StepCard::childEvent(QChildEvent* event)
{
    QWidget::childEvent(event);
    if (m_border != nullptr && event->added() && event->child() != m_border
        && event->child()->isWidgetType()) {
        m_border->raise();
    }
}

CardBand::CardBand(const Look& look, QWidget* parent)
    : QWidget(parent)
    , m_look(look)
{}

void CardBand::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF band(rect());
    if (m_look.background.isValid()) {
        // Rounded like the card where the band meets the card's bottom edge: the card's corner
        // shapes, cut to the band.
        QPainterPath shape;
        shape.addRect(band);
        if (m_look.bottomCorner > 0) {
            shape = shape.intersected(kit::continuousRoundedRect(band.adjusted(0, -m_look.bottomCorner, 0, 0),
                                                                 m_look.bottomCorner));
        }
        painter.fillPath(shape, m_look.background);
    }
    if (m_look.bottomRule.isValid()) {
        painter.fillRect(QRectF(0, band.height() - 1, band.width(), 1), m_look.bottomRule);
    }
}

void layOutStepColumns(QWidget* step, QWidget* left, QWidget* right)
{
    auto* row = new QHBoxLayout(step);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // The columns grow to their widest first; what is left goes to both sides equally.
    row->addStretch(1);
    row->addWidget(left, 1000, Qt::AlignVCenter);
    row->addSpacing(60);
    row->addWidget(right, 1000, Qt::AlignVCenter);
    row->addStretch(1);
}

QWidget* makeStepColumn(int maxWidth, int spacing, const QList<QWidget*>& views)
{
    auto* column = new QWidget;
    column->setMaximumWidth(maxWidth);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    for (QWidget* view : views) {
        stack->addWidget(view);
    }
    return column;
}

QColor faded(QColor color, double opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

kit::TextView* wrappingText(const QString& text, const OBFont& font, const QColor& color, double lineSpacing)
{
    return new kit::TextView(text, textLook(font, color), kit::TextOptions{lineSpacing});
}
