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
    const TextLook look = m_look();
    const QFont font = look.font(this);
    // The picture is made at the pixels the painter really reaches, which is more than the
    // widget's own pixel ratio when a window server draws the window for a denser display. Under
    // a painter that stretches or turns, the text is drawn straight, so it stays crisp.
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    if (device.type() > QTransform::TxScale || !(scale > 0) || !qFuzzyCompare(scale, device.m22())) {
        drawText(painter, font, look.color, elided(font));
        return;
    }
    const Drawn key{m_text, font, look.color, size(), scale};
    // Labels over live pictures are repainted with every frame; the text is laid out and
    // rasterised only when what it shows changes.
    if (m_picture.isNull() || !(m_pictureOf == key)) {
        m_pictureOf = key;
        m_picture = QImage((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_picture.setDevicePixelRatio(scale);
        m_picture.fill(Qt::transparent);
        if (!m_picture.isNull()) {
            QPainter p(&m_picture);
            drawText(p, look.font(&m_picture), look.color, elided(font));
        }
    }
    painter.drawImage(QPointF(), m_picture);
}

QString TextLabel::elided(const QFont& font) const
{
    return QFontMetricsF(font, this).elidedText(m_text, Qt::ElideRight, width());
}

void TextLabel::drawText(QPainter& painter,
                         const QFont& font,
                         const QColor& color,
                         const QString& shown) const
{
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(rect()), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

} // namespace kit
