#include "onboarding/OBControls.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/Palette.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

using kit::Palette;
using kit::PillButtonStyle;

PillButtonStyle::Appearance OnboardingPillStyle::appearance(bool isHovered, bool isPressed) const
{
    // The kit's pill of the same kind, sized by the height's class.
    const auto kitKind = kind == Kind::Primary ? PillButtonStyle::Kind::Primary
                         : kind == Kind::Flame ? PillButtonStyle::Kind::Flame
                                               : PillButtonStyle::Kind::Outline;
    const bool contrast = kit::increaseContrast();
    auto a = PillButtonStyle::appearance(
        kitKind, kit::ControlSize::Regular, isHovered, isPressed, enabled, contrast);
    a.fontSize = fontSize();
    a.horizontalPadding = horizontalPadding();
    a.verticalPadding = 0;
    if (kind == Kind::Outline) {
        // A highlighted outline pill shows its hover colours without the pointer (but no lift).
        const auto lit = PillButtonStyle::appearance(
            kitKind, kit::ControlSize::Regular, isHovered || highlight, isPressed, enabled, contrast);
        a.textColor = isHovered || highlight ? OBTokens::textPrimary() : OBTokens::textSecondary();
        a.fill = lit.fill;
        a.border = lit.border;
    }
    if (kind == Kind::Primary && !enabled) {
        // A disabled Continue keeps its white fill under the pointer; it only dims.
        a.fill = kit::white(1.0);
    }
    return a;
}

OnboardingPill::OnboardingPill(const PillLabel& label, const OnboardingPillStyle& style, QWidget* parent)
    : kit::ButtonBase(parent)
    , m_style(style)
{
    setObjectName(QStringLiteral("OnboardingPill"));
    setText(label.text);
    m_hover.setOnChange([this] { update(); });
    m_press.setOnChange([this] { update(); });

    auto* row = new QHBoxLayout(this);
    row->setSpacing(static_cast<int>(PillLabel::kSpacing));
    // The label stays centred when the pill stretches.
    row->addStretch(1);
    auto* text = new kit::TextView(
        label.text,
        [this] {
            const auto a = currentAppearance();
            return textLook(OBFont::geist(kit::FontWeight::semibold, a.fontSize), a.textColor);
        },
        kit::TextOptions{0, kit::TextAlignment::Center, 1});
    if (!label.symbol.isEmpty()) {
        auto* symbol = new kit::SymbolView(
            label.symbol,
            label.symbolSize,
            [this] { return currentAppearance().textColor; },
            label.symbolWeight);
        row->addWidget(label.symbolLeading ? static_cast<QWidget*>(symbol) : text, 0, Qt::AlignVCenter);
        row->addWidget(label.symbolLeading ? static_cast<QWidget*>(text) : symbol, 0, Qt::AlignVCenter);
    } else {
        row->addWidget(text, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    applyStyle();
}

void OnboardingPill::setStyle(const OnboardingPillStyle& style)
{
    m_style = style;
    applyStyle();
}

void OnboardingPill::applyStyle()
{
    const int padding = static_cast<int>(m_style.horizontalPadding());
    layout()->setContentsMargins(padding, 0, padding, 0);
    setSizePolicy(m_style.fullWidth ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedHeight(static_cast<int>(std::lround(m_style.height)));
    updateGeometry();
    update();
}

QSize OnboardingPill::sizeHint() const
{
    return {kit::ButtonBase::sizeHint().width(), static_cast<int>(std::lround(m_style.height))};
}

QSize OnboardingPill::minimumSizeHint() const
{
    return sizeHint();
}

PillButtonStyle::Appearance OnboardingPill::currentAppearance() const
{
    const double h = m_hover.value();
    const auto rest =
        PillButtonStyle::blend(m_style.appearance(false, false), m_style.appearance(true, false), h);
    const auto pressed =
        PillButtonStyle::blend(m_style.appearance(false, true), m_style.appearance(true, true), h);
    return PillButtonStyle::blend(rest, pressed, m_press.value());
}

void OnboardingPill::paintControl(QPainter& painter)
{
    kit::paintPillBody(painter, QRectF(rect()), currentAppearance());
}

QMarginsF OnboardingPill::overflow() const
{
    kit::Shadow widest;
    widest.radius = 14;
    widest.offset = QPointF(0, 4);
    return widest.reach() + QMarginsF(0, 1, 0, 0);
}

kit::ContentPlacement OnboardingPill::labelPlacement() const
{
    const auto a = currentAppearance();
    return {kit::pillPlacement(QRectF(rect()), a), a.opacity};
}

void OnboardingPill::interactionChanged()
{
    followInteraction(m_hover, m_press, OnboardingPillStyle::kDuration);
}

bool OnboardingPill::hitButton(const QPoint& pos) const
{
    return kit::capsule(QRectF(rect())).contains(QPointF(pos));
}

KeyCap::KeyCap(const QString& label,
               std::optional<double> width,
               Tone tone,
               bool accented,
               std::function<void()> onPress,
               QWidget* parent)
    : kit::PressFeedbackButton(parent)
    , m_label(label)
    , m_tone(tone)
    , m_accented(accented)
    , m_pressable(static_cast<bool>(onPress))
{
    setObjectName(QStringLiteral("KeyCap"));
    setText(label);
    setFixedHeight(static_cast<int>(kHeight));
    if (width) {
        setFixedWidth(static_cast<int>(std::lround(*width)));
    } else {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    if (m_pressable) {
        connect(this, &QAbstractButton::clicked, this, [press = std::move(onPress)] { press(); });
    } else {
        // A picture of a key: the pointer and the keyboard pass through it.
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
}

void KeyCap::setAccented(bool accented)
{
    if (accented != m_accented) {
        m_accented = accented;
        // A lit key sits a point lower: where its shadow reached is drawn again when it rises.
        overflowChanged();
        update();
    }
}

OBFont KeyCap::font(Tone tone, bool accented)
{
    if (accented) {
        return OBFont::mono(kit::FontWeight::heavy, 10);
    }
    switch (tone) {
    case Tone::Function:
        return OBFont::mono(kit::FontWeight::regular, 8.5);
    case Tone::Number:
        return OBFont::mono(kit::FontWeight::regular, 9);
    case Tone::Letter:
        return OBFont::mono(kit::FontWeight::regular, 9.5);
    case Tone::Space:
        break;
    }
    return OBFont::mono(kit::FontWeight::regular, 8);
}

mock::Item KeyCap::item() const
{
    using namespace mock;
    const Shape shape = Shape::rounded(kCorner);
    const QColor textColor = m_accented ? Palette::inkOnFlame() : kit::white(0.6);
    const Item label = mock::text(m_label, font(m_tone, m_accented), textColor, {1, 0, Qt::AlignCenter})
                           .fillWidth()
                           .frame(std::nullopt, kHeight);
    kit::Shadow edge;
    edge.color = QColor(0, 0, 0, 204);
    edge.offset = QPointF(0, 2);
    if (!m_pressable) {
        return label.background(OBTokens::surfaceRaised(), shape)
            .clip(shape)
            .border(OBTokens::hairline(), shape)
            .shadow(edge);
    }
    const QBrush fill = m_accented ? QBrush(OBTokens::flameGradient()) : QBrush(OBTokens::surfaceRaised());
    return label.background(fill, shape)
        .clip(shape)
        .border(m_accented ? QColor(0, 0, 0, 0) : OBTokens::selectedBorder(), shape, 1, true)
        .shadow(edge)
        .scale(m_accented ? 0.96 : 1)
        .offset(0, m_accented ? 1 : 0);
}

QSize KeyCap::sizeHint() const
{
    const QSizeF ideal = item().sizeThatFits({});
    return {static_cast<int>(std::ceil(ideal.width())) + 12, static_cast<int>(kHeight)};
}

void KeyCap::paintLabel(QPainter& painter, const QRectF& rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    item().paint(painter, rect);
}

QMarginsF KeyCap::overflow() const
{
    return item().overflow();
}

mock::Item OBKbd::item() const
{
    using namespace mock;
    const Shape shape = Shape::rounded(4);
    QColor edge = OBTokens::flame();
    edge.setAlphaF(0.22F);
    return text(label,
                OBFont::mono(accented ? kit::FontWeight::bold : kit::FontWeight::medium, 10),
                accented ? OBTokens::flameSoft() : OBTokens::textSecondary(),
                {1, 0, Qt::AlignCenter})
        .padding(5, 0)
        .padding(0, 2)
        .background(accented ? OBTokens::flameWash() : OBTokens::surfaceRaised(), shape)
        .clip(shape)
        .border(accented ? edge : OBTokens::hairline(), shape, 1, true);
}

QWidget* OBKbd::view(QWidget* parent) const
{
    auto* chip = new MockPicture(item(), parent);
    chip->setObjectName(QStringLiteral("OBKbd"));
    chip->setAccessibleName(label);
    chip->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return chip;
}

kit::FlameSlider* makeOBOpacitySlider(
    const Binding<double>& value, double lower, double upper, const StateObserver& observe, QWidget* parent)
{
    auto* slider = new kit::FlameSlider(value(), lower, upper, parent);
    slider->setObjectName(QStringLiteral("OBOpacitySlider"));
    QObject::connect(slider, &kit::FlameSlider::valueChangeRequested, slider, [slider, value](double v) {
        value.set(v);
        slider->setValue(value());
    });
    if (observe) {
        observe(slider, [slider, get = value.get] { slider->setValue(get()); });
    }
    return slider;
}
