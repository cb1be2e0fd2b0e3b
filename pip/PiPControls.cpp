#include "pip/PiPControls.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"

#include <QHBoxLayout>
#include <QPainter>

GlassPill::GlassPill(std::optional<QColor> tint, QWidget* parent)
    : QWidget(parent)
    , m_tint(std::move(tint))
    , m_layout(new QHBoxLayout(this))
{
    setObjectName(QStringLiteral("GlassPill"));
    // Pills only show; the panel under them takes the clicks and drags.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_layout->setContentsMargins(static_cast<int>(kHorizontalPadding),
                                 static_cast<int>(kVerticalPadding),
                                 static_cast<int>(kHorizontalPadding),
                                 static_cast<int>(kVerticalPadding));
    m_layout->setSpacing(static_cast<int>(kSpacing));
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
}

kit::SymbolView* GlassPill::addSymbol(const QString& name)
{
    auto* symbol = new kit::SymbolView(name, kSymbolPointSize, textLook().color);
    m_layout->addWidget(symbol, 0, Qt::AlignVCenter);
    return symbol;
}

kit::TextLabel* GlassPill::addText(const QString& text)
{
    auto* label = new kit::TextLabel(text, textLook());
    m_layout->addWidget(label, 0, Qt::AlignVCenter);
    return label;
}

kit::TextLook GlassPill::textLook()
{
    return {kit::geistMonoFontName(kit::FontWeight::medium), 8, 1.6, kit::white(0.92)};
}

QColor GlassPill::outline(std::optional<QColor> tint)
{
    if (!tint) {
        return kit::white(0.14);
    }
    QColor colour = *tint;
    colour.setAlphaF(0.4F);
    return colour;
}

void GlassPill::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    // The capsule is drawn once per size and look: pills lie over the preview, which is painted
    // anew with every frame.
    const bool solid = kit::reduceTransparency();
    const double scale = painter.deviceTransform().m11();
    if (m_capsule.isNull() || m_capsule.devicePixelRatio() != scale || m_capsuleSolid != solid
        || m_capsule.deviceIndependentSize() != QSizeF(size())) {
        m_capsule = QImage((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_capsule.setDevicePixelRatio(scale);
        m_capsule.fill(Qt::transparent);
        QPainter capsule(&m_capsule);
        capsule.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect();
        capsule.fillPath(kit::capsule(r), kit::ChipBackgroundStyle::fill(solid));
        kit::strokeInnerBorder(capsule, r, kit::capsuleRadius(r), outline(m_tint));
        m_capsuleSolid = solid;
    }
    painter.drawImage(QPointF(), m_capsule);
}

ChromeButton::ChromeButton(
    const QString& icon, const QString& help, bool isActive, std::function<void()> action, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_icon(icon)
    , m_help(help)
    , m_isActive(isActive)
{
    setObjectName(QStringLiteral("ChromeButton"));
    setFixedSize(static_cast<int>(kSide), static_cast<int>(kSide));
    setAccessibleName(help);
    kit::TooltipSource::attach(this, help);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) {
            action();
        }
    });
}

void ChromeButton::setLook(const QString& icon, const QString& help, bool isActive)
{
    m_icon = icon;
    m_isActive = isActive;
    if (help != m_help) {
        m_help = help;
        setAccessibleName(help);
        kit::TooltipSource::attach(this, help);
    }
    update();
}

QColor ChromeButton::glyphColor(bool isActive)
{
    return isActive ? kit::Palette::inkOnFlame() : kit::Palette::textPrimary();
}

QColor ChromeButton::outline(bool isHovered)
{
    return kit::white(isHovered ? 0.3 : 0.14);
}

void ChromeButton::paintLabel(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(rect.center() - QPointF(kSide / 2, kSide / 2), QSizeF(kSide, kSide));
    painter.setPen(Qt::NoPen);
    if (m_isActive) {
        // Behind the glass, which tints it.
        painter.setBrush(kit::Palette::flame());
        painter.drawEllipse(disc);
    }
    // The solid disc that replaces the glass under Reduce Transparency would hide the flame, and
    // the dark glyph with it: an active button keeps its flame then.
    const bool solid = kit::reduceTransparency();
    if (!(m_isActive && solid)) {
        painter.setBrush(kit::ChipBackgroundStyle::fill(solid));
        painter.drawEllipse(disc);
    }
    const QColor border = outline(isHovered());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(border, 1));
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
    kit::paintSymbol(
        painter, m_icon, disc.center(), kSymbolPointSize, glyphColor(m_isActive), kit::FontWeight::semibold);
}
