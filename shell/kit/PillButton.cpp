#include "shell/kit/PillButton.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace kit {

QColor mixColors(const QColor& a, const QColor& b, double t)
{
    if (t <= 0) {
        return a;
    }
    if (t >= 1) {
        return b;
    }
    const double aa = a.alphaF();
    const double ba = b.alphaF();
    const double alpha = aa + (ba - aa) * t;
    if (alpha <= 0) {
        return {0, 0, 0, 0};
    }
    auto channel = [&](double ac, double bc) {
        return (ac * aa + (bc * ba - ac * aa) * t) / alpha;
    };
    QColor c = QColor::fromRgbF(static_cast<float>(channel(a.redF(), b.redF())),
                                static_cast<float>(channel(a.greenF(), b.greenF())),
                                static_cast<float>(channel(a.blueF(), b.blueF())));
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

PillButtonStyle::Appearance PillButtonStyle::appearance(
    Kind kind, ControlSize size, bool isHovered, bool isPressed, bool isEnabled, bool increaseContrast)
{
    Appearance a;
    const bool small = size == ControlSize::Small;
    a.fontFace = QStringLiteral("Geist-SemiBold");
    a.fontSize = small ? 11.5 : 12.5;
    a.horizontalPadding = small ? 12 : 16;
    a.verticalPadding = small ? 6 : 8;
    const QColor clear(0, 0, 0, 0);
    a.fill = clear;
    a.border = clear;
    switch (kind) {
    case Kind::Primary:
        a.textColor = Palette::inkOnLight();
        a.fill = white(isHovered ? 0.92 : 1.0);
        break;
    case Kind::Flame:
        a.textColor = Palette::inkOnFlame();
        a.gradientFill = true;
        break;
    case Kind::Outline:
        a.textColor = isHovered ? Palette::textPrimary() : SecondaryWhite::body(increaseContrast);
        a.fill = isHovered ? white(0.06) : white(0);
        a.border = isHovered ? Palette::hairlineStrong() : white(0.14);
        break;
    case Kind::Quiet:
        a.textColor = isHovered ? Palette::textPrimary() : SecondaryWhite::caption(increaseContrast);
        break;
    }
    QColor glow = Palette::flame();
    glow.setAlphaF(isHovered ? 0.45F : 0.3F);
    a.glowColor = kind == Kind::Flame && isEnabled ? glow : clear;
    a.glowRadius = isHovered ? 14 : 10;
    a.glowOffsetY = 4;
    a.offsetY = isHovered && isEnabled && !isPressed ? -1 : 0;
    a.scale = isPressed ? 0.97 : 1;
    a.opacity = isEnabled ? 1 : 0.4;
    return a;
}

PillButtonStyle::Appearance PillButtonStyle::blend(const Appearance& a, const Appearance& b, double t)
{
    auto mix = [t](double x, double y) {
        return x + (y - x) * t;
    };
    Appearance r = t < 0.5 ? a : b;
    r.textColor = mixColors(a.textColor, b.textColor, t);
    r.fill = mixColors(a.fill, b.fill, t);
    r.border = mixColors(a.border, b.border, t);
    r.glowColor = mixColors(a.glowColor, b.glowColor, t);
    r.glowRadius = mix(a.glowRadius, b.glowRadius);
    r.glowOffsetY = mix(a.glowOffsetY, b.glowOffsetY);
    r.offsetY = mix(a.offsetY, b.offsetY);
    r.scale = mix(a.scale, b.scale);
    r.opacity = mix(a.opacity, b.opacity);
    return r;
}

PillButton::PillButton(const QString& text, PillButtonStyle::Kind kind, ControlSize size, QWidget* parent)
    : ButtonBase(parent)
    , m_kind(kind)
    , m_size(size)
{
    setObjectName(QStringLiteral("PillButton"));
    setText(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_hover.setOnChange([this] { update(); });
    m_press.setOnChange([this] { update(); });
}

void PillButton::setKind(PillButtonStyle::Kind kind)
{
    m_kind = kind;
    update();
}

void PillButton::setControlSize(ControlSize size)
{
    m_size = size;
    updateGeometry();
    update();
}

void PillButton::setLeadingSymbol(const QString& name, double pointSize, double spacing)
{
    m_symbol = name;
    m_symbolSize = pointSize;
    m_symbolSpacing = spacing;
    updateGeometry();
    update();
}

QSize PillButton::sizeHint() const
{
    if (layout() != nullptr) {
        return ButtonBase::sizeHint();
    }
    const auto a = PillButtonStyle::appearance(m_kind, m_size, false, false, true, false);
    const QFontMetricsF metrics(customFont(a.fontFace, a.fontSize, this), this);
    double width = metrics.horizontalAdvance(text());
    double height = metrics.height();
    if (!m_symbol.isEmpty()) {
        width += symbolSide(m_symbolSize) + (text().isEmpty() ? 0 : m_symbolSpacing);
        height = std::max(height, symbolSide(m_symbolSize));
    }
    return {static_cast<int>(std::ceil(width + 2 * a.horizontalPadding)),
            static_cast<int>(std::ceil(height + 2 * a.verticalPadding))};
}

PillButtonStyle::Appearance PillButton::currentAppearance() const
{
    const bool enabled = isEnabled();
    const bool contrast = increaseContrast();
    using S = PillButtonStyle;
    const double h = m_hover.value();
    const auto rest = S::blend(S::appearance(m_kind, m_size, false, false, enabled, contrast),
                               S::appearance(m_kind, m_size, true, false, enabled, contrast),
                               h);
    const auto pressed = S::blend(S::appearance(m_kind, m_size, false, true, enabled, contrast),
                                  S::appearance(m_kind, m_size, true, true, enabled, contrast),
                                  h);
    return S::blend(rest, pressed, m_press.value());
}

QMarginsF PillButton::overflow() const
{
    Shadow widest;
    widest.radius = 14;
    widest.offset = QPointF(0, 4);
    return widest.reach() + QMarginsF(0, 1, 0, 0);
}

void PillButton::interactionChanged()
{
    followInteraction(m_hover, m_press, PillButtonStyle::kDuration);
}

bool PillButton::hitButton(const QPoint& pos) const
{
    return capsule(QRectF(rect())).contains(QPointF(pos));
}

void PillButton::changeEvent(QEvent* e)
{
    ButtonBase::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) {
        update();
    }
}

QTransform pillPlacement(const QRectF& rect, const PillButtonStyle::Appearance& appearance)
{
    return scaleAbout(rect.center(), appearance.scale, QPointF(0, appearance.offsetY));
}

void paintPillBody(QPainter& painter, const QRectF& rect, const PillButtonStyle::Appearance& appearance)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(appearance.opacity);
    painter.setTransform(pillPlacement(rect, appearance), true);
    const QPainterPath shape = capsule(rect);
    Shadow glow;
    glow.color = appearance.glowColor;
    glow.radius = appearance.glowRadius;
    glow.offset = QPointF(0, appearance.glowOffsetY);
    drawShadow(painter, shape, glow);
    painter.setPen(Qt::NoPen);
    if (appearance.gradientFill) {
        painter.setBrush(Palette::flameGradient());
    } else {
        painter.setBrush(appearance.fill);
    }
    painter.drawPath(shape);
    strokeInnerBorder(painter, rect, capsuleRadius(rect), appearance.border, PillButtonStyle::kBorderWidth);
}

ContentPlacement PillButton::labelPlacement() const
{
    const auto a = currentAppearance();
    return {pillPlacement(QRectF(rect()), a), a.opacity};
}

void PillButton::paintControl(QPainter& painter)
{
    const auto a = currentAppearance();
    const QRectF r = rect();
    paintPillBody(painter, r, a);

    // The label: one line, elided when the pill is narrower than its text.
    const QFont font = customFont(a.fontFace, a.fontSize, painter.device());
    const QFontMetricsF metrics(font, painter.device());
    const QRectF content =
        r.adjusted(a.horizontalPadding, a.verticalPadding, -a.horizontalPadding, -a.verticalPadding);
    double symbolWidth = 0;
    if (!m_symbol.isEmpty()) {
        symbolWidth = symbolSide(m_symbolSize) + (text().isEmpty() ? 0 : m_symbolSpacing);
    }
    const QString label =
        metrics.elidedText(text(), Qt::ElideRight, std::max(content.width() - symbolWidth, 0.0));
    const double labelWidth = symbolWidth + metrics.horizontalAdvance(label);
    double x = content.center().x() - labelWidth / 2;
    if (!m_symbol.isEmpty()) {
        const double side = symbolSide(m_symbolSize);
        paintSymbol(painter,
                    m_symbol,
                    QRectF(x, r.center().y() - side / 2, side, side),
                    a.textColor,
                    FontWeight::semibold);
        x += symbolWidth;
    }
    painter.setFont(font);
    painter.setPen(a.textColor);
    painter.drawText(QRectF(x, r.top(), r.right() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter, label);
}

} // namespace kit
