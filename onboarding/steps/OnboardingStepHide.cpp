#include "onboarding/steps/OnboardingStepHide.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/steps/HideStepPictures.h"
#include "onboarding/steps/StepLook.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/TextView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <utility>

// The "What your audience sees" panel: windows of newly selected categories fade, shrink and blur
// away over 0.3 s, the banner comes and goes over 0.15 s, the border and the shield follow
// whether anything is selected over 0.18 s, and the clean-screen cover shows with all four. Its
// accessible description says what it shows in words.
class HideAudiencePanel final : public QWidget
{
public:
    HideAudiencePanel()
        : m_picture(new MockPicture)
    {
        setObjectName(QStringLiteral("hide.audience"));
        setAccessibleName(QStringLiteral("What your audience sees"));
        setFixedWidth(320);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_picture);
        for (kit::AnimatedValue* value : values()) {
            value->setOnChange([this] { redraw(); });
        }
    }

    // The first showing is at once; later changes animate.
    void showSelection(const QSet<HideCategory>& selected, bool threat)
    {
        const bool first = !m_shown;
        m_shown = true;
        m_selectedCount = static_cast<int>(selected.size());
        const auto follow = [first](kit::AnimatedValue& value, bool on, double duration) {
            const double target = on ? 1 : 0;
            if (first) {
                value.set(target);
            } else if (target != value.target()) {
                value.animate(target, OBMotion::curve(duration));
            }
        };
        for (const HideCategory category : HideCategory::allCases()) {
            follow(m_hidden.at(static_cast<size_t>(category)), selected.contains(category), 0.3);
        }
        follow(m_banner, threat, 0.15);
        follow(m_guarded, !selected.isEmpty(), 0.18);
        m_clean.set(m_selectedCount == static_cast<int>(HideCategory::allCases().size()) ? 1 : 0);
        redraw();
    }

private:
    std::array<kit::AnimatedValue*, 7> values()
    {
        return {&m_hidden[0], &m_hidden[1], &m_hidden[2], &m_hidden[3], &m_banner, &m_clean, &m_guarded};
    }

    void redraw()
    {
        hidestep::AudienceLook look;
        look.selectedCount = m_selectedCount;
        for (size_t i = 0; i < m_hidden.size(); ++i) {
            look.hidden.at(i) = m_hidden.at(i).value();
        }
        look.banner = m_banner.value();
        look.clean = m_clean.value();
        look.guarded = m_guarded.value();
        m_picture->setItem(hidestep::audiencePanel(look));

        QStringList said;
        if (m_banner.target() > 0) {
            said << QStringLiteral("Share started");
        }
        if (m_clean.target() > 0) {
            said << QStringLiteral("Your screen is clean");
        }
        said << hidestep::footerText(m_selectedCount);
        setAccessibleDescription(said.join(QLatin1Char('\n')));
    }

    MockPicture* m_picture;
    bool m_shown = false;
    int m_selectedCount = 0;
    std::array<kit::AnimatedValue, 4> m_hidden;
    kit::AnimatedValue m_banner;
    kit::AnimatedValue m_clean;
    kit::AnimatedValue m_guarded;
};

OnboardingStepHide::OnboardingStepHide(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
{
    setObjectName(QStringLiteral("OnboardingStepHide"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(16);
    root->addStretch(1);
    root->addWidget(makeHeader());
    root->addWidget(makeGrid());
    root->addStretch(1);

    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
    sync();
}

OnboardingStepHide::~OnboardingStepHide()
{
    // Picks of a running beat are not lost with the step; the beat's timer goes with it.
    commitOnDisappear();
}

QWidget* OnboardingStepHide::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(40);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(
        HeadlineText{QStringLiteral("Where does it"), QStringLiteral("usually hide?"), 40}.view());
    texts->addWidget(
        SubheadlineText{QStringLiteral("Pick them once. They'll auto-hide the second you hit Share."), false}
            .view());
    row->addWidget(centredColumn(448, texts), 1);
    m_panel = new HideAudiencePanel;
    row->addWidget(m_panel);
    row->addStretch(0);
    return header;
}

QWidget* OnboardingStepHide::makeGrid()
{
    auto* grid = new QWidget;
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    for (const HideCategory category : HideCategory::allCases()) {
        Card& card = m_cards.at(static_cast<size_t>(category));
        card.row = new SelectableRow(false, 16, [this, category] { toggle(category); });
        card.row->setObjectName(QStringLiteral("hide.category.") + category.rawValue());
        // The preview sits inside the card's 1-point border, its top corners following the card's.
        auto* stack = new QVBoxLayout(card.row);
        stack->setContentsMargins(1, 1, 1, 1);
        stack->setSpacing(0);
        auto* preview = new MockPicture(
            hidestep::cardPreview(category)
                .frame(std::nullopt, 92)
                .fillWidth()
                .clip(mock::Shape::topRounded(15))
                .overlay(mock::fill(mock::Shape::rect(), OBTokens::hairline()).frame(std::nullopt, 1),
                         Qt::AlignBottom));
        preview->setFixedHeight(92);
        stack->addWidget(preview);
        auto* titleRow = new QHBoxLayout;
        titleRow->setContentsMargins(14, 11, 14, 11);
        titleRow->setSpacing(12);
        titleRow->addWidget(
            new kit::TextView(hidestep::cardTitle(category),
                              textLook(OBFont::geist(kit::FontWeight::semibold, 13), OBTokens::textPrimary()),
                              kit::TextOptions{0, kit::TextAlignment::Leading, 1}),
            1);
        titleRow->addSpacing(6);
        card.badge = new MockPicture(hidestep::autoHideBadge(false));
        card.badge->setObjectName(QStringLiteral("hide.badge"));
        card.badge->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        titleRow->addWidget(card.badge);
        stack->addLayout(titleRow);
        const int index = static_cast<int>(category);
        layout->addWidget(card.row, index / 2, index % 2);
    }
    return grid;
}

bool OnboardingStepHide::isChosen(HideCategory category) const
{
    return m_pending.contains(category) || m_input.selected().contains(category);
}

void OnboardingStepHide::toggle(HideCategory category)
{
    QSet<HideCategory> selected = m_input.selected();
    if (selected.remove(category)) {
        m_input.selected.set(selected);
        sync();
        return;
    }
    if (m_pending.remove(category)) {
        if (m_pending.isEmpty()) {
            endBeat();
        } else {
            sync();
        }
        return;
    }
    m_pending.insert(category);
    m_isThreatVisible = true;
    // Each new pick starts the beat again; the handle is the widget's, so the beat never ends
    // after the step is gone.
    m_beatEnd = platform::Scheduler::current().after(kBeat, [this] { endBeat(); });
    sync();
}

void OnboardingStepHide::endBeat()
{
    m_beatEnd.cancel();
    m_isThreatVisible = false;
    const QSet<HideCategory> picked = std::exchange(m_pending, {});
    if (!picked.isEmpty()) {
        m_input.selected.set(m_input.selected().unite(picked));
    }
    sync();
}

void OnboardingStepHide::commitOnDisappear()
{
    if (!m_pending.isEmpty()) {
        endBeat();
    }
}

void OnboardingStepHide::hideEvent(QHideEvent* event)
{
    commitOnDisappear();
    QWidget::hideEvent(event);
}

void OnboardingStepHide::sync()
{
    const QSet<HideCategory> selected = m_input.selected();
    m_panel->showSelection(selected, m_isThreatVisible);
    for (const HideCategory category : HideCategory::allCases()) {
        Card& card = m_cards.at(static_cast<size_t>(category));
        const bool chosen = m_pending.contains(category) || selected.contains(category);
        card.row->setSelected(chosen);
        if (chosen != card.badgeOn) {
            card.badgeOn = chosen;
            card.badge->setItem(hidestep::autoHideBadge(chosen));
        }
        card.badge->setAccessibleName(chosen ? QStringLiteral("AUTO-HIDE ON") : QStringLiteral("AUTO-HIDE"));
    }
}
