#include "onboarding/OnboardingView.h"

#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingServices.h"
#include "onboarding/OnboardingStepDemo.h"
#include "onboarding/OnboardingStepGoal.h"
#include "onboarding/steps/OnboardingStepHide.h"
#include "onboarding/steps/OnboardingStepHotkey.h"
#include "onboarding/steps/OnboardingStepPermissions.h"
#include "onboarding/steps/OnboardingStepSetup.h"
#include "onboarding/steps/OnboardingStepShare.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/PageStack.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "shell/kit/VeilSound.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <array>

namespace {

class Logo final : public QWidget
{
public:
    Logo() { setFixedSize(18, 18); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        kit::paintImageAsset(painter, QStringLiteral("veilmoxOfficialLogo"), QRectF(rect()));
    }
};

// Seven thin capsules, one per step, that ease to their new colours when the step changes. One
// element for assistive technologies: "Step 5 of 7: Your setup".
class StepCounter final : public QWidget
{
public:
    StepCounter()
    {
        setObjectName(QStringLiteral("stepCounter"));
        setMaximumWidth(560);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(static_cast<int>(kSegmentHeight));
        for (Segment& segment : m_segments) {
            segment.progress.setOnChange([this] { update(); });
        }
    }

    void setStep(int step)
    {
        setAccessibleName(QStringLiteral("Step %1 of %2: %3")
                              .arg(step + 1)
                              .arg(OnboardingFlow::kStepCount)
                              .arg(OnboardingFlow::stepTitles().value(step)));
        for (int i = 0; i < OnboardingFlow::kStepCount; ++i) {
            Segment& segment = m_segments.at(static_cast<size_t>(i));
            const QColor target = OnboardingView::segmentColor(i, step);
            if (target == segment.to) {
                continue;
            }
            const bool first = !segment.to.isValid();
            segment.from = first ? target : segment.color();
            segment.to = target;
            segment.progress.set(0);
            segment.progress.change(1, first ? std::nullopt : std::optional(OBMotion::curve(kDuration)));
        }
    }

    static constexpr double kSegmentHeight = 3;
    static constexpr double kSpacing = 6;
    static constexpr double kDuration = 0.3;

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const double count = OnboardingFlow::kStepCount;
        const double width = (this->width() - kSpacing * (count - 1)) / count;
        for (int i = 0; i < OnboardingFlow::kStepCount; ++i) {
            const QRectF segment(i * (width + kSpacing), 0, width, kSegmentHeight);
            painter.fillPath(kit::capsule(segment), m_segments.at(static_cast<size_t>(i)).color());
        }
    }

private:
    struct Segment
    {
        QColor from;
        QColor to;
        kit::AnimatedValue progress{1.0};

        QColor color() const { return kit::mixColors(from, to, progress.value()); }
    };

    std::array<Segment, OnboardingFlow::kStepCount> m_segments;
};

// A still picture of a step on its way out: it shows what the step showed and takes no input,
// so nothing on a leaving step can be pressed twice.
class StepPicture final : public QWidget
{
public:
    explicit StepPicture(QImage image)
        : m_image(std::move(image))
    {
        setObjectName(QStringLiteral("leavingStep"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(), m_image.deviceIndependentSize()), m_image);
    }

private:
    QImage m_image;
};

template <typename T, typename Get, typename Set>
Binding<T> bind(OnboardingFlow* flow, Get get, Set set)
{
    return {[flow, get] { return (flow->*get)(); },
            [flow, set](const T& value) {
                (flow->*set)(value);
            }};
}

} // namespace

OnboardingView::OnboardingView(std::unique_ptr<OnboardingServices> services,
                               std::function<void()> onComplete,
                               QWidget* parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_flow(std::make_unique<OnboardingFlow>(*m_services, std::move(onComplete)))
{
    setObjectName(QStringLiteral("onboardingView"));
    setFixedSize(kSize);
    setFocusPolicy(Qt::StrongFocus);
    auto* body = new QVBoxLayout(this);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(makeHeader());
    body->addWidget(makeStepArea(), 1);
    body->addWidget(makeFooter());

    m_stack->replaceCurrentPage(makeStep(m_flow->step()), stepTransition(false));
    connect(m_flow.get(), &OnboardingFlow::changed, this, &OnboardingView::sync);
    connect(m_flow.get(), &OnboardingFlow::stepChanged, this, &OnboardingView::switchStep);
    sync();
}

OnboardingView::~OnboardingView()
{
    handleDisappear();
    // The views go before the flow and the services they call into. A step may still write to
    // the flow as it goes (a pending pick, the keys it lit), so it goes first, while the rest of
    // the view stops listening to the flow.
    m_flow->disconnect(this);
    delete m_stack;
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void OnboardingView::handleDisappear()
{
    m_flow->disappear();
}

QWidget* OnboardingView::currentStepView() const
{
    return m_stack->currentPage();
}

QColor OnboardingView::segmentColor(int index, int step)
{
    if (index == step) {
        return OBTokens::textPrimary();
    }
    return index < step ? OBTokens::textSecondary() : OBTokens::surfaceHigh();
}

kit::Transition OnboardingView::stepTransition(bool goingBack)
{
    using kit::Transition;
    const Transition entering =
        Transition::offset(QPointF(goingBack ? -24 : 24, 0)).combined(Transition::opacity());
    return Transition::asymmetric(entering, Transition::opacity()).fadingUnderReduceMotion();
}

QWidget* OnboardingView::makeHeader()
{
    auto* header = new QWidget;
    header->setFixedHeight(kHeaderHeight);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(20, 0, 0, 0);
    row->setSpacing(12);

    auto* logo = new QWidget;
    logo->setFixedWidth(180);
    auto* logoRow = new QHBoxLayout(logo);
    logoRow->setContentsMargins(0, 0, 0, 0);
    logoRow->setSpacing(9);
    logoRow->addWidget(new Logo);
    logoRow->addWidget(new kit::TextView(
        QStringLiteral("Veilmox"),
        textLook(OBFont::geist(kit::FontWeight::semibold, 14).tracked(-0.35), OBTokens::textPrimary()),
        kit::TextOptions{0, kit::TextAlignment::Leading, 1}));
    logoRow->addStretch(1);
    row->addWidget(logo);

    m_back = new kit::IconButton(QStringLiteral("chevron.left"), false);
    m_back->setObjectName(QStringLiteral("onboardingBack"));
    m_back->setAccessibleName(QStringLiteral("Go back"));
    connect(m_back, &QAbstractButton::clicked, m_flow.get(), &OnboardingFlow::goBack);
    row->addWidget(m_back);
    m_counter = new StepCounter;
    // The counter and the spacer after it share what is left, the counter up to 560 points.
    row->addWidget(m_counter, 1);
    row->addStretch(1);
    return header;
}

QWidget* OnboardingView::makeStepArea()
{
    auto* area = new QScrollArea;
    area->setObjectName(QStringLiteral("stepArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    area->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(40 - kStepBleed, 8, 40 - kStepBleed, 8);
    m_stack = new kit::PageStack;
    m_stack->setFixedWidth(kStepWidth + 2 * kStepBleed);
    m_stack->setMinimumHeight(600);
    column->addWidget(m_stack, 1, Qt::AlignHCenter);
    area->setWidget(content);
    // The canvas shows through: the scroll area would fill its content with the window colour.
    content->setAutoFillBackground(false);
    return area;
}

QWidget* OnboardingView::makeFooter()
{
    auto* footer = new QWidget;
    footer->setObjectName(QStringLiteral("footer"));
    footer->setFixedHeight(kFooterHeight);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(20, 0, 20, 0);
    row->setSpacing(16);
    m_signOut = new kit::PillButton(
        QStringLiteral("Sign out"), kit::PillButtonStyle::Kind::Quiet, kit::ControlSize::Small);
    m_signOut->setObjectName(QStringLiteral("onboardingSignOut"));
    connect(m_signOut, &QAbstractButton::clicked, m_flow.get(), &OnboardingFlow::signOut);
    row->addWidget(m_signOut);
    row->addStretch(1);
    m_continue = new OnboardingPill({QStringLiteral("Continue"), QStringLiteral("chevron.right"), 12},
                                    ContinueButtonStyle{}.pill());
    m_continue->setObjectName(QStringLiteral("onboardingContinue"));
    connect(m_continue, &QAbstractButton::clicked, m_flow.get(), &OnboardingFlow::continueTapped);
    row->addWidget(m_continue);
    return footer;
}

QWidget* OnboardingView::makeStep(int step)
{
    QWidget* page = makeStepView(step);
    if (QLayout* layout = page->layout()) {
        layout->setContentsMargins(layout->contentsMargins() + QMargins(kStepBleed, 0, kStepBleed, 0));
    }
    return page;
}

QWidget* OnboardingView::makeStepView(int step)
{
    OnboardingFlow* flow = m_flow.get();
    const StateObserver observe = [flow](QObject* context, std::function<void()> handler) {
        connect(flow, &OnboardingFlow::changed, context, std::move(handler));
    };
    using F = OnboardingFlow;
    switch (step) {
    case F::kGoalStep:
        return new OnboardingStepGoal({bind<QString>(flow, &F::persona, &F::setPersona), observe});
    case F::kHideStep:
        return new OnboardingStepHide(
            {bind<QSet<HideCategory>>(flow, &F::selected, &F::setSelected), observe});
    case F::kDemoStep:
        return new OnboardingStepDemo({bind<QSet<HideCategory>>(flow, &F::selected, &F::setSelected),
                                       [flow] { return flow->persona(); },
                                       bind<bool>(flow, &F::isDemoVeiled, &F::setDemoVeiled),
                                       bind<bool>(flow, &F::isDemoPinned, &F::setDemoPinned),
                                       bind<double>(flow, &F::transparency, &F::setTransparency),
                                       bind<bool>(flow, &F::hasTriedVeil, &F::setHasTriedVeil),
                                       observe,
                                       [] {
                                           kit::VeilSound::play(kit::VeilSound::Cue::Veil);
                                       }});
    case F::kHotkeyStep:
        return new OnboardingStepHotkey(
            {bind<bool>(flow, &F::isCommandHeld, &F::setCommandHeld),
             bind<bool>(flow, &F::isShiftHeld, &F::setShiftHeld),
             bind<bool>(flow, &F::isHHeld, &F::setHHeld),
             bind<bool>(flow, &F::isHotkeyArmed, &F::setHotkeyArmed),
             bind<bool>(flow, &F::isHiddenByShortcut, &F::setHiddenByShortcut),
             bind<qint64>(flow, &F::shortcutTriggerCount, &F::setShortcutTriggerCount),
             [] {},
             observe,
             [](kit::VeilSound::Cue cue) {
                 kit::VeilSound::play(cue);
             }});
    case F::kSetupStep:
        return new OnboardingStepSetup({[flow] { return flow->persona(); },
                                        [flow] { return static_cast<qint64>(flow->selected().size()); },
                                        [flow] { return flow->transparency(); },
                                        [flow] { return flow->services().isAuthenticated(); },
                                        [flow] { flow->continueFromSignIn(); },
                                        observe});
    case F::kPermissionsStep:
        return new OnboardingStepPermissions(
            {[flow] { return flow->services().hasScreenRecordingPermission(); },
             [flow] { flow->grantPermission(); },
             [flow] { flow->recheckPermission(); },
             [flow] { flow->continueTapped(); },
             observe});
    default:
        return new OnboardingStepShare({[flow] {
            flow->finish();
        }});
    }
}

void OnboardingView::switchStep(int step, bool goingBack)
{
    QWidget* page = makeStep(step);
    const kit::Transition transition = stepTransition(goingBack);
    // The draft's step, restored as the window appears, shows at once.
    if (!m_appeared) {
        m_stack->replaceCurrentPage(page, transition);
        return;
    }
    // The leaving step becomes a picture of itself at once, so a second click or key press
    // during the slide cannot reach it.
    if (QWidget* leaving = m_stack->currentPage()) {
        m_stack->replaceCurrentPage(new StepPicture(kit::renderView(*leaving, 2.0)), transition);
    }
    kit::withAnimation(OBMotion::spring(0.4, 1.0), [&] { m_stack->replaceCurrentPage(page, transition); });
}

void OnboardingView::sync()
{
    const int step = m_flow->step();
    const bool hasHeaderNavigation = step <= OnboardingFlow::kSetupStep;
    m_back->setVisible(hasHeaderNavigation);
    m_counter->setVisible(hasHeaderNavigation);
    // On the first step the back button keeps its place but cannot be seen or pressed.
    m_back->setEnabled(step != OnboardingFlow::kGoalStep);
    kit::ViewEffect::on(m_back).setOpacity(step == OnboardingFlow::kGoalStep ? 0 : 1);
    static_cast<StepCounter*>(m_counter)->setStep(step);

    m_signOut->setVisible(step >= OnboardingFlow::kSetupStep && m_services->isAuthenticated());
    const bool canContinue = m_flow->canContinue();
    m_continue->setVisible(step <= OnboardingFlow::kHotkeyStep);
    m_continue->setEnabled(canContinue);
    if (m_continue->style().enabled != canContinue) {
        m_continue->setStyle(ContinueButtonStyle{canContinue}.pill());
    }
}

void OnboardingView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again after being taken off screen, the flow goes on as it was.
    if (!m_appeared) {
        m_flow->appear();
        m_appeared = true;
    }
}

void OnboardingView::keyPressEvent(QKeyEvent* event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (isReturn && modifiers == Qt::NoModifier) {
        if (m_continue->isVisible() && m_continue->isEnabled()) {
            m_continue->click();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OnboardingView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), OBTokens::canvas());
    // The footer's top rule.
    const int footerTop = height() - kFooterHeight;
    painter.fillRect(QRect(0, footerTop, width(), 1), OBTokens::hairline());
}
