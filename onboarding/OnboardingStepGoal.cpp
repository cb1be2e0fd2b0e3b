#include "onboarding/OnboardingStepGoal.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OnboardingPersona.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

using namespace mock;
using kit::FontWeight;

namespace {

// The card's icon tile, `selected` from 0 to 1 (its colours ease between the two looks).
Item iconTile(PersonaIcon icon, double selected)
{
    return zstack(Qt::AlignCenter,
                  {fill(Shape::circle(),
                        kit::mixColors(OBTokens::surfaceRaised(), OBTokens::surfaceHigh(), selected)),
                   stroke(Shape::circle(),
                          kit::mixColors(OBTokens::tileBorder(), OBTokens::tileBorderSelected(), selected)),
                   symbol(symbolName(icon),
                          16,
                          kit::mixColors(OBTokens::textTertiary(), OBTokens::textSecondary(), selected))})
        .frame(40, 40);
}

// The chevron, or the check disc once selected; between the two (`selected` from 0 to 1) the one
// fades out as the other fades in, both at the card's trailing edge.
Item indicator(double selected)
{
    const Item chevron =
        symbol(QStringLiteral("chevron.right"), 12, OBTokens::textMuted(), FontWeight::semibold);
    const Item check =
        zstack(Qt::AlignCenter,
               {fill(Shape::circle(), OBTokens::flameGradient()),
                symbol(QStringLiteral("checkmark"), 11, kit::Palette::flameInk(), FontWeight::bold)})
            .frame(24, 24);
    if (selected <= 0) {
        return chevron;
    }
    if (selected >= 1) {
        return check;
    }
    return zstack(Qt::AlignRight | Qt::AlignVCenter,
                  {chevron.opacity(1 - selected), check.opacity(selected)});
}

Item tagChip(const QString& tag)
{
    return text(tag, OBFont::geist(FontWeight::medium, 10), mockwindow::faded(OBTokens::textPrimary(), 0.85))
        .padding(8, 2)
        .background(OBTokens::surfaceHigh(), Shape::capsule())
        .padding(QMarginsF(0, 6, 0, 0));
}

// Geist SemiBold 17, tracked −0.4, centred: the caption under the screen.
kit::TextView* caption(const QString& words, const QColor& color)
{
    return new kit::TextView(words,
                             textLook(OBFont::geist(FontWeight::semibold, 17).tracked(-0.4), color),
                             kit::TextOptions{0, kit::TextAlignment::Center, 0});
}

} // namespace

PersonaStage::PersonaStage(const QString& persona, QWidget* parent)
    : QWidget(parent)
    , m_persona(persona)
{
    setObjectName(QStringLiteral("goal.stage"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    const QList<OnboardingPersona>& personas = OnboardingPersona::all();
    for (int i = 0; i < personas.size(); ++i) {
        m_previews.push_back(PersonaPreviewWindow{previewFor(personas.at(i).id)}.item());
        m_opacities.push_back(
            std::make_unique<kit::AnimatedValue>(restingOpacity(persona, i), [this] { update(); }));
    }
    hostLook(this);
}

void PersonaStage::setPersona(const QString& persona)
{
    if (persona == m_persona) {
        return;
    }
    m_persona = persona;
    const kit::Animation fade = OBMotion::curve(kDuration);
    for (int i = 0; i < static_cast<int>(m_opacities.size()); ++i) {
        m_opacities.at(static_cast<std::size_t>(i))->animate(restingOpacity(persona, i), fade);
    }
}

PersonaPreview PersonaStage::previewFor(const QString& personaID)
{
    if (personaID == QLatin1String("professional")) {
        return PersonaPreview::Email;
    }
    if (personaID == QLatin1String("remote")) {
        return PersonaPreview::Notes;
    }
    if (personaID == QLatin1String("curious")) {
        return PersonaPreview::Finance;
    }
    return PersonaPreview::Chat;
}

double PersonaStage::restingOpacity(const QString& persona, int index)
{
    const QList<OnboardingPersona>& personas = OnboardingPersona::all();
    if (index < 0 || index >= personas.size()) {
        return 0;
    }
    if (personas.at(index).id == persona) {
        return 1;
    }
    // Before any choice the first goal's window shows, a little dimmed.
    return persona.isEmpty() && index == 0 ? 0.7 : 0;
}

double PersonaStage::opacityNow(int index) const
{
    return index >= 0 && index < static_cast<int>(m_opacities.size())
               ? m_opacities.at(static_cast<std::size_t>(index))->value()
               : 0;
}

void PersonaStage::paintLook(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QList<Item> layers;
    for (std::size_t i = 0; i < m_previews.size(); ++i) {
        layers
            << m_previews.at(i).frame(FlexBounds{.maxWidth = kMaxWidth}).opacity(m_opacities.at(i)->value());
    }
    zstack(Qt::AlignCenter, layers).frame(FlexBounds{.maxWidth = kMaxWidth}).draw(painter, QRectF(rect()));
}

QMarginsF PersonaStage::lookOverflow() const
{
    return m_previews.empty() ? QMarginsF() : m_previews.front().overflow();
}

void PersonaStage::paintEvent(QPaintEvent* /*event*/)
{
    paintLookIfUnhosted(this);
}

OnboardingStepGoal::OnboardingStepGoal(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
{
    setObjectName(QStringLiteral("goalStep"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(48);
    columns->addWidget(makeCards(), 1, Qt::AlignVCenter);
    columns->addWidget(makeScreen(), 1, Qt::AlignVCenter);
    page->addLayout(columns);
    page->addStretch(1);

    sync();
    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
}

QWidget* OnboardingStepGoal::makeCards()
{
    auto* column = new QWidget;
    column->setMaximumWidth(448);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(24);

    auto* heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(
        HeadlineText{QStringLiteral("What do you want"), QStringLiteral("to protect?"), 40}.view());
    heading->addWidget(SubheadlineText{QStringLiteral("Pick the one that keeps you up at night. We'll build "
                                                      "everything around it."),
                                       false}
                           .view());
    stack->addLayout(heading);

    auto* cards = new QVBoxLayout;
    cards->setSpacing(10);
    const QString chosen = m_input.persona();
    for (const OnboardingPersona& persona : OnboardingPersona::all()) {
        const bool selected = chosen == persona.id;
        Card card{persona.id};
        card.selection = std::make_shared<kit::AnimatedValue>(selected ? 1 : 0);
        card.row = new SelectableRow(selected, 16, [this, id = persona.id] { select(id); });
        card.row->setObjectName(QStringLiteral("goal.persona.") + persona.id);
        auto* row = new QHBoxLayout(card.row);
        row->setContentsMargins(15, 15, 15, 15);
        row->setSpacing(14);
        card.tile = new MockPicture(iconTile(persona.icon, selected));
        row->addWidget(card.tile, 0, Qt::AlignVCenter);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(new kit::TextView(
            persona.label, textLook(OBFont::geist(FontWeight::semibold, 15), OBTokens::textPrimary())));
        texts->addWidget(
            new kit::TextView(persona.subtitle,
                              textLook(OBFont::geist(FontWeight::regular, 12), OBTokens::textTertiary()),
                              kit::TextOptions{2, kit::TextAlignment::Leading, 0}));
        if (persona.tag) {
            texts->addWidget(new MockPicture(tagChip(*persona.tag)), 0, Qt::AlignLeft);
        }
        row->addLayout(texts, 1);
        card.indicator = new MockPicture(indicator(selected));
        row->addWidget(card.indicator, 0, Qt::AlignVCenter);
        card.selection->setOnChange(
            [tile = card.tile, mark = card.indicator, icon = persona.icon, selection = card.selection.get()] {
                tile->setItem(iconTile(icon, selection->value()));
                mark->setItem(indicator(selection->value()));
            });
        cards->addWidget(card.row);
        m_cards.push_back(card);
    }
    stack->addLayout(cards);
    return column;
}

QWidget* OnboardingStepGoal::makeScreen()
{
    auto* column = new QWidget;
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(16);

    auto* screen = new QWidget;
    auto* layers = new QVBoxLayout(screen);
    layers->setContentsMargins(0, 0, 0, 0);
    layers->setSpacing(0);
    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(StatusDot{StatusDotKind::Live}.view());
    top->addWidget(
        EyebrowLabel{QStringLiteral("Your screen, mid-share"), OBTokens::textTertiary(), 0.24}.view());
    top->addStretch(1);
    layers->addLayout(top);
    m_stage = new PersonaStage(m_input.persona());
    layers->addWidget(m_stage, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->addStretch(1);
    bottom->addWidget(StatusDot{StatusDotKind::Sunset}.view());
    bottom->addWidget(
        new kit::TextView(QStringLiteral("Veilmox hides this"),
                          textLook(OBFont::geist(FontWeight::semibold, 10.5), OBTokens::flameSoft())));
    layers->addLayout(bottom);
    auto* panel = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 20, screen);
    panel->setFixedHeight(330);
    stack->addWidget(panel);

    auto* captionArea = new QWidget;
    captionArea->setObjectName(QStringLiteral("goal.caption"));
    captionArea->setFixedHeight(54);
    auto* lines = new QVBoxLayout(captionArea);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    lines->addStretch(1);
    m_prompt = new QWidget;
    auto* prompt = new QVBoxLayout(m_prompt);
    prompt->setContentsMargins(0, 0, 0, 0);
    prompt->setSpacing(4);
    prompt->addWidget(
        caption(QStringLiteral("This is how most leaks happen — one ⌘-Tab away."), OBTokens::textPrimary()));
    prompt->addWidget(caption(QStringLiteral("Pick a goal to see yours."), OBTokens::flameSoft()));
    lines->addWidget(m_prompt);
    m_description = caption(QString(), OBTokens::textPrimary());
    m_description->setObjectName(QStringLiteral("goal.description"));
    lines->addWidget(m_description);
    lines->addStretch(1);
    stack->addWidget(captionArea);
    return column;
}

void OnboardingStepGoal::select(const QString& id) const
{
    // Choosing the chosen card again sets the same id: a choice can move but never be cleared.
    kit::withAnimation(OBMotion::curve(kSelectionDuration), [&] { m_input.persona.set(id); });
}

void OnboardingStepGoal::sync()
{
    const QString persona = m_input.persona();
    // A choice made here comes inside its animation; a restored one shows at once.
    const std::optional<kit::Animation> animation = kit::transactionAnimation();
    for (Card& card : m_cards) {
        const bool selected = card.id == persona;
        if (selected == card.row->isSelected()) {
            continue;
        }
        card.row->setSelected(selected, animation);
        card.selection->change(selected ? 1 : 0, animation);
    }
    m_stage->setPersona(persona);
    m_prompt->setVisible(persona.isEmpty());
    m_description->setVisible(!persona.isEmpty());
    m_description->setText(OnboardingPersona::find(persona).desc);
}
