#include "shell/kit/TextLabel.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace kit {

TextLabel::TextLabel(const QString& text, LookProvider look, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_look(std::move(look))
{
    setObjectName(QStringLiteral("TextLabel"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(text);
}

TextLabel::TextLabel(const QString& text, const TextLook& look, QWidget* parent)
    : TextLabel(
        text, [look] { return look; }, parent)
{}

void TextLabel::setText(const QString& text)
{
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void TextLabel::setLook(LookProvider look)
{
    m_look = std::move(look);
    updateGeometry();
    update();
}

QSize TextLabel::sizeHint() const
{
    const QFontMetricsF metrics(m_look().font(this), this);
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text))),
            static_cast<int>(std::ceil(metrics.height()))};
}

QSize TextLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void TextLabel::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const TextLook look = m_look();
    const QFont font = look.font(this);
    const QFontMetricsF metrics(font, this);
    painter.setFont(font);
    painter.setPen(look.color);
    painter.drawText(QRectF(rect()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(m_text, Qt::ElideRight, width()));
}

} // namespace kit
