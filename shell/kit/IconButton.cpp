#include "shell/kit/IconButton.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Symbols.h"

#include <QPainter>

namespace kit {

IconButtonStyle::Appearance
IconButtonStyle::appearance(bool isActive, bool isHovered, bool isPressed, bool increaseContrast)
{
    Appearance a;
    if (isActive) {
        a.glyphColor = Palette::flameSoft();
    } else if (isHovered) {
        a.glyphColor = Palette::textPrimary();
    } else {
        a.glyphColor = SecondaryWhite::body(increaseContrast);
    }
    const bool raised = isActive || isHovered;
    a.disc = raised ? Palette::surfaceRaised() : QColor(0, 0, 0, 0);
    a.border = raised ? Palette::hairline() : QColor(0, 0, 0, 0);
    a.scale = isPressed ? kPressedScale : 1;
    return a;
}

IconButtonStyle::Appearance IconButtonStyle::blend(const Appearance& a, const Appearance& b, double t)
{
    Appearance r;
    r.glyphColor = mixColors(a.glyphColor, b.glyphColor, t);
    r.disc = mixColors(a.disc, b.disc, t);
    r.border = mixColors(a.border, b.border, t);
    r.scale = a.scale + (b.scale - a.scale) * t;
    return r;
}

IconButton::IconButton(QString symbolName, bool isActive, QWidget* parent)
    : ButtonBase(parent)
    , m_symbol(std::move(symbolName))
    , m_active(isActive)
{
    setObjectName(QStringLiteral("IconButton"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_hover.setOnChange([this] { update(); });
    m_press.setOnChange([this] { update(); });
}

void IconButton::setSymbolName(const QString& name)
{
    m_symbol = name;
    update();
}

void IconButton::setActive(bool active)
{
    m_active = active;
    update();
}

QSize IconButton::sizeHint() const
{
    return {static_cast<int>(IconButtonStyle::kSide), static_cast<int>(IconButtonStyle::kSide)};
}

IconButtonStyle::Appearance IconButton::currentAppearance() const
{
    using S = IconButtonStyle;
    const bool contrast = increaseContrast();
    const double h = m_hover.value();
    const auto rest = S::blend(
        S::appearance(m_active, false, false, contrast), S::appearance(m_active, true, false, contrast), h);
    const auto pressed = S::blend(
        S::appearance(m_active, false, true, contrast), S::appearance(m_active, true, true, contrast), h);
    return S::blend(rest, pressed, m_press.value());
}

void IconButton::interactionChanged()
{
    followInteraction(m_hover, m_press, IconButtonStyle::kDuration);
}

bool IconButton::hitButton(const QPoint& pos) const
{
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()));
    return circle.contains(QPointF(pos));
}

ContentPlacement IconButton::labelPlacement() const
{
    return {scaleAbout(QRectF(rect()).center(), currentAppearance().scale), 1};
}

void IconButton::paintControl(QPainter& painter)
{
    const auto a = currentAppearance();
    const QRectF r = rect();
    const double side = std::min(r.width(), r.height());
    const QRectF disc(r.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(scaleAbout(r.center(), a.scale), true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(a.disc);
    painter.drawEllipse(disc);
    strokeInnerBorder(painter, disc, side / 2, a.border);
    paintSymbol(painter,
                m_symbol,
                disc.center(),
                IconButtonStyle::kGlyphPointSize,
                a.glyphColor,
                IconButtonStyle::kGlyphWeight);
}

} // namespace kit
