#include "shell/kit/SymbolView.h"

#include "shell/kit/Symbols.h"

#include <QPainter>

#include <cmath>

namespace kit {

SymbolView::SymbolView(
    QString name, double pointSize, ColorProvider color, FontWeight weight, QWidget* parent)
    : QWidget(parent)
    , m_name(std::move(name))
    , m_pointSize(pointSize)
    , m_color(std::move(color))
    , m_weight(weight)
{
    setObjectName(QStringLiteral("SymbolView"));
    const int side = static_cast<int>(std::ceil(symbolSide(pointSize)));
    setFixedSize(side, side);
}

SymbolView::SymbolView(
    const QString& name, double pointSize, const QColor& color, FontWeight weight, QWidget* parent)
    : SymbolView(
        name, pointSize, [color] { return color; }, weight, parent)
{}

void SymbolView::setName(const QString& name)
{
    m_name = name;
    update();
}

void SymbolView::setColor(ColorProvider color)
{
    m_color = std::move(color);
    update();
}

void SymbolView::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintSymbol(painter, m_name, QRectF(rect()).center(), m_pointSize, m_color(), m_weight);
}

} // namespace kit
