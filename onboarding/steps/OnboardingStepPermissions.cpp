#include "onboarding/steps/OnboardingStepPermissions.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/steps/ScreenRecordingSettingsMock.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

OnboardingPill* button(const QString& name,
                       const PillLabel& label,
                       const OnboardingPillStyle& style,
                       QObject* context,
                       const std::function<void()>& action)
{
    auto* pill = new OnboardingPill(label, style);
    pill->setObjectName(name);
    QObject::connect(pill, &QAbstractButton::clicked, context, [action] {
        if (action) {
            action();
        }
    });
    return pill;
}

QWidget* row(int spacing, const QList<QWidget*>& views, bool trailingSpace = true)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* view : views) {
        layout->addWidget(view, 0, Qt::AlignVCenter);
    }
    if (trailingSpace) {
        layout->addStretch(1);
    }
    return box;
}

} // namespace

OnboardingStepPermissions::OnboardingStepPermissions(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
{
    setObjectName(QStringLiteral("OnboardingStepPermissions"));
    layOutStepColumns(this, makeLeftColumn(), makeRightPanel());
    m_granted.setOnChange(
        [this] { m_settings->setItem(ScreenRecordingSettingsMock{m_granted.value()}.item()); });
    sync();
    if (m_input.observe) {
        m_input.observe(this, [this] { sync(); });
    }
}

QWidget* OnboardingStepPermissions::makeLeftColumn()
{
    auto* headline = makeStepColumn(
        QWIDGETSIZE_MAX,
        6,
        {HeadlineText{QStringLiteral("One permission,"), QStringLiteral("then you're invisible."), 40}.view(),
         SubheadlineText{
             QStringLiteral("To filter windows and create a secure virtual display feed, macOS requires "
                            "Screen Recording permission. Veilmox only processes your screen content "
                            "locally and never uploads it."),
             false}
             .view()});

    // Granted: the confirmation alone, in a flame-edged panel.
    auto* granted =
        row(8,
            {new kit::SymbolView(QStringLiteral("checkmark.circle.fill"), 18, OBTokens::flame()),
             new kit::TextView(QStringLiteral("Permission granted"),
                               textLook(OBFont::geist(kit::FontWeight::medium, 13), OBTokens::textPrimary()),
                               kit::TextOptions{0, kit::TextAlignment::Leading, 1})});
    granted->layout()->setContentsMargins(0, 4, 0, 4);
    m_grantedPanel = new Panel(OBTokens::surface(), OBTokens::selectedBorder(), 16, 14, granted);
    m_grantedPanel->setObjectName(QStringLiteral("permissions.granted"));

    // Waiting: the two actions and the way by hand.
    auto* actions = row(10,
                        {button(QStringLiteral("permissions.grant"),
                                {QStringLiteral("Grant permission"),
                                 QStringLiteral("lock.open"),
                                 11,
                                 kit::FontWeight::regular,
                                 true},
                                SunsetButtonStyle{36, false}.pill(),
                                this,
                                [this] { m_input.onGrant(); }),
                         button(QStringLiteral("permissions.recheck"),
                                {QStringLiteral("Recheck"), QString()},
                                QuietButtonStyle{36, true}.pill(),
                                this,
                                [this] { m_input.onRecheck(); })});
    auto* hint = wrappingText(
        QStringLiteral(
            "If the dialog does not open, toggle Screen Recording for Veilmox manually in System Settings."),
        OBFont::geist(kit::FontWeight::regular, 11),
        OBTokens::textMuted(),
        3);
    m_waitingPanel = new Panel(OBTokens::surface(),
                               OBTokens::hairline(),
                               16,
                               14,
                               makeStepColumn(QWIDGETSIZE_MAX, 10, {actions, hint}));
    m_waitingPanel->setObjectName(QStringLiteral("permissions.waiting"));

    // Either way the step never holds the user back.
    const auto onContinue = [this] {
        m_input.onContinue();
    };
    m_continue = button(QStringLiteral("permissions.continue"),
                        {QStringLiteral("Continue"), QStringLiteral("chevron.right"), 11},
                        ContinueButtonStyle{true}.pill(),
                        this,
                        onContinue);
    m_skip = button(QStringLiteral("permissions.skip"),
                    {QStringLiteral("Continue without granting"), QStringLiteral("chevron.right"), 11},
                    QuietButtonStyle{40, false}.pill(),
                    this,
                    onContinue);

    return makeStepColumn(480, 20, {headline, m_grantedPanel, m_waitingPanel, row(0, {m_continue, m_skip})});
}

QWidget* OnboardingStepPermissions::makeRightPanel()
{
    m_dot = StatusDot{StatusDotKind::Rose}.view();
    m_eyebrow = EyebrowLabel{QStringLiteral("Waiting for you"), OBTokens::rose(), 0.24}.view();
    m_eyebrow->setObjectName(QStringLiteral("permissions.status"));
    m_settings = new MockPicture(ScreenRecordingSettingsMock{0}.item());
    m_settings->setObjectName(QStringLiteral("permissions.settings"));
    m_caption =
        wrappingText(QString(), OBFont::geist(kit::FontWeight::regular, 11), OBTokens::textSecondary(), 3);
    m_caption->setObjectName(QStringLiteral("permissions.caption"));
    auto* content = makeStepColumn(QWIDGETSIZE_MAX, 14, {row(6, {m_dot, m_eyebrow}), m_settings, m_caption});
    // The panel's padding is the content's own margin, so the pane's shadow may fall into it.
    content->layout()->setContentsMargins(20, 20, 20, 20);
    auto* panel = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 0, content);
    panel->setFixedWidth(340);
    return panel;
}

void OnboardingStepPermissions::sync()
{
    const bool granted = m_input.hasPermission && m_input.hasPermission();
    m_grantedPanel->setVisible(granted);
    m_waitingPanel->setVisible(!granted);
    m_continue->setVisible(granted);
    m_skip->setVisible(!granted);

    m_dot->setColor(StatusDotLook::color(granted ? StatusDotKind::Sunset : StatusDotKind::Rose));
    m_dot->setPulses(StatusDotLook::pulses(granted ? StatusDotKind::Sunset : StatusDotKind::Rose));
    m_eyebrow->setText(
        EyebrowLook::text(granted ? QStringLiteral("Switched on") : QStringLiteral("Waiting for you")));
    kit::TextLook eyebrowLook =
        textLook(EyebrowLook::font(0.24), granted ? OBTokens::flameSoft() : OBTokens::rose());
    m_eyebrow->setLook([eyebrowLook] { return eyebrowLook; });
    m_caption->setText(
        granted ? QStringLiteral("Veilmox is on. You can switch it off any time in System Settings.")
                : QStringLiteral("In System Settings → Privacy & Security → Screen & System Audio "
                                 "Recording, switch Veilmox on."));

    // The pane's switch slides with a spring on every change; when the step is built it shows the
    // permission as it is.
    const double target = granted ? 1 : 0;
    if (target != m_granted.target()) {
        m_granted.change(target, m_synced ? std::optional(OBMotion::spring(0.4, 1.0)) : std::nullopt);
    }
    m_synced = true;
}
