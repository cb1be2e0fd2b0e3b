#include "onboarding/steps/OnboardingStepSetup.h"

#include "onboarding/OBComponents.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/PageStack.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "shell/kit/VeilSound.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr double kCardCorner = 16;

// The card's flame glow above it: soft at rest, stronger while flared.
kit::Shadow glow(double flare)
{
    QColor color = OBTokens::flame();
    color.setAlphaF(0.25 + (0.55 - 0.25) * flare);
    return {color, 20 + (34 - 20) * flare, QPointF(0, -12)};
}

} // namespace

OnboardingStepSetup::OnboardingStepSetup(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
    , m_card(new StepCard(OBTokens::surface(), OBTokens::selectedBorder(), kCardCorner))
    , m_faces(new kit::PageStack)
{
    setObjectName(QStringLiteral("OnboardingStepSetup"));

    auto* copy = makeStepColumn(
        420,
        12,
        {makeStepColumn(
             QWIDGETSIZE_MAX,
             10,
             {HeadlineText{QStringLiteral("Your shield is"), QStringLiteral("armed."), 48}.view(),
              SubheadlineText{
                  QStringLiteral("Tomorrow's call is already safe. Your setup is ready and waiting. Save "
                                 "it to your account so you don't lose it when you close the app."),
                  false}
                  .view()}),
         new kit::TextView(
             QStringLiteral("Next time you hit Share, your client sees only the deck. No more 15-tab "
                            "closing ritual."),
             textLook(OBFont::geist(kit::FontWeight::regular, 13), OBTokens::textTertiary()),
             kit::TextOptions{5})});

    m_card->setObjectName(QStringLiteral("setup.card"));
    m_card->setMaximumWidth(440);
    m_card->setMinimumHeight(460);
    m_card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_card->setShadowReach(glow(1).reach());
    m_card->setShadow(glow(0));
    m_flareLevel.setOnChange([this] { m_card->setShadow(glow(m_flareLevel.value())); });
    auto* cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->addWidget(m_faces);

    layOutStepColumns(this, copy, m_card);
    showPhase(SetupReceiptPhase::Compiling);
    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
}

QWidget* OnboardingStepSetup::currentCard() const
{
    return m_faces->currentPage();
}

void OnboardingStepSetup::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the Dock is not the step being shown again.
    if (!event->spontaneous()) {
        startSequence();
    }
}

void OnboardingStepSetup::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        cancelScheduled();
    }
}

void OnboardingStepSetup::startSequence()
{
    m_scheduled.cancel();
    if (kit::reduceMotion()) {
        if (m_phase != SetupReceiptPhase::Ready) {
            showPhase(SetupReceiptPhase::Ready);
        }
        return;
    }
    if (m_phase != SetupReceiptPhase::Compiling || m_revealedCount != 0) {
        m_revealedCount = 0;
        showPhase(SetupReceiptPhase::Compiling);
    }
    setFlare(false);
    m_scheduled.start({
        {kRevealTimes[0],
         [this] {
             revealRow(0);
         }},
        {kRevealTimes[1],
         [this] {
             revealRow(1);
         }},
        {kRevealTimes[2],
         [this] {
             revealRow(2);
         }},
        {kSuccessTime,
         [this] {
             showSuccess();
         }},
        {kFlareEndTime,
         [this] {
             setFlare(false);
         }},
        {kReadyTime,
         [this] {
             showReady();
         }},
    });
}

void OnboardingStepSetup::cancelScheduled()
{
    m_scheduled.cancel();
}

void OnboardingStepSetup::revealRow(int index)
{
    m_revealedCount = std::max(index + 1, m_revealedCount);
    if (m_compiling) {
        m_compiling->setRevealedCount(m_revealedCount);
    }
}

void OnboardingStepSetup::showSuccess()
{
    kit::withAnimation(OBMotion::curve(0.3), [this] { showPhase(SetupReceiptPhase::Success); });
    setFlare(true);
    kit::VeilSound::play(kit::VeilSound::Cue::Success);
}

void OnboardingStepSetup::showReady()
{
    kit::withAnimation(OBMotion::curve(0.3), [this] { showPhase(SetupReceiptPhase::Ready); });
}

void OnboardingStepSetup::setFlare(bool flare)
{
    m_flare = flare;
    const double level = flare ? 1 : 0;
    if (level != m_flareLevel.target()) {
        m_flareLevel.animate(level, OBMotion::curve(0.35));
    }
}

void OnboardingStepSetup::showPhase(SetupReceiptPhase phase)
{
    m_phase = phase;
    QWidget* face = nullptr;
    switch (phase) {
    case SetupReceiptPhase::Compiling:
        face = m_compiling = new SetupCompilingCard(m_revealedCount);
        break;
    case SetupReceiptPhase::Success:
        face = new SetupSuccessCard;
        break;
    case SetupReceiptPhase::Ready:
        face = m_receipt = new SetupReceipt(kCardCorner, [this] {
            if (m_input.onContinue) {
                m_input.onContinue();
            }
        });
        sync();
        break;
    }
    m_faces->replaceCurrentPage(face, kit::Transition::opacity());
}

void OnboardingStepSetup::sync()
{
    if (!m_receipt) {
        return;
    }
    const auto read = [](const auto& getter, auto fallback) {
        return getter ? getter() : fallback;
    };
    m_receipt->setValues({read(m_input.persona, QString()),
                          read(m_input.selectedCount, qint64(0)),
                          read(m_input.transparency, 100.0),
                          read(m_input.isAuthenticated, false)});
}
