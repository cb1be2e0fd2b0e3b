#include "onboarding/steps/OnboardingStepShare.h"

#include "onboarding/MockPicture.h"
#include "onboarding/OBComponents.h"
#include "onboarding/OBControls.h"
#include "onboarding/steps/SharePickerMock.h"
#include "onboarding/steps/StepCard.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

// A view moved down by `top` points within a row of top-aligned views.
QWidget* loweredBy(QWidget* view, int top)
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, top, 0, 0);
    column->setSpacing(0);
    column->addWidget(view);
    column->addStretch(1);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return box;
}

} // namespace

const QList<OnboardingStepShare::Instruction>& OnboardingStepShare::instructions()
{
    static const QList<Instruction> lines{
        {QStringLiteral("Select Entire Screen (not a single window)."), false},
        {QStringLiteral(
             "Choose the Veilmox screen (Screen 2 with one monitor, the last one listed with more)."),
         false},
        {QStringLiteral("Hidden apps stay visible to you, but invisible on the call."), true},
    };
    return lines;
}

OnboardingStepShare::OnboardingStepShare(Input input, QWidget* parent)
    : QWidget(parent)
    , m_input(std::move(input))
{
    setObjectName(QStringLiteral("OnboardingStepShare"));

    auto* headline = makeStepColumn(
        480,
        6,
        {HeadlineText{QStringLiteral("Share Screen 2,"), QStringLiteral("not your whole life."), 40}.view(),
         SubheadlineText{QStringLiteral("Veilmox creates a secure virtual display. When presenting in Google "
                                        "Meet, Zoom, Slack, or Teams:"),
                         false}
             .view()});

    auto* finish = new OnboardingPill({QStringLiteral("Finish setup"), QStringLiteral("chevron.right"), 11},
                                      ContinueButtonStyle{true}.pill());
    finish->setObjectName(QStringLiteral("share.finish"));
    // Never disabled: every press is the flow's to judge (it ends once).
    connect(finish, &QAbstractButton::clicked, this, [this] {
        if (m_input.onComplete) {
            m_input.onComplete();
        }
    });
    auto* finishRow = new QWidget;
    auto* finishLayout = new QHBoxLayout(finishRow);
    finishLayout->setContentsMargins(0, 0, 0, 0);
    finishLayout->addWidget(finish);
    finishLayout->addStretch(1);

    auto* left = makeStepColumn(480, 20, {headline, makeInstructions(), makeWarning(), finishRow});

    auto* eyebrow = new QWidget;
    auto* eyebrowRow = new QHBoxLayout(eyebrow);
    eyebrowRow->setContentsMargins(0, 0, 0, 0);
    eyebrowRow->setSpacing(6);
    eyebrowRow->addWidget(StatusDot{StatusDotKind::Sunset}.view(), 0, Qt::AlignVCenter);
    eyebrowRow->addWidget(
        EyebrowLabel{QStringLiteral("In your meeting app"), OBTokens::textMuted(), 0.24}.view(),
        0,
        Qt::AlignVCenter);
    eyebrowRow->addStretch(1);
    auto* panelContent = makeStepColumn(
        QWIDGETSIZE_MAX,
        12,
        {eyebrow,
         makePicker(),
         wrappingText(QStringLiteral("The call sees your desktop, minus everything you've hidden."),
                      OBFont::geist(kit::FontWeight::regular, 11),
                      OBTokens::textSecondary(),
                      3)});
    // The panel's padding is the content's own margin, so the picker's shadow may fall into it.
    panelContent->layout()->setContentsMargins(16, 16, 16, 16);
    auto* right = new Panel(OBTokens::surface(), OBTokens::hairline(), 16, 0, panelContent);
    right->setFixedWidth(340);

    layOutStepColumns(this, left, right);
}

QWidget* OnboardingStepShare::makeInstructions() const
{
    auto* rows = new QWidget;
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    int number = 0;
    for (const Instruction& line : instructions()) {
        ++number;
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        auto* digits =
            new kit::TextView(QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')),
                              textLook(OBFont::mono(kit::FontWeight::medium, 10),
                                       line.dimmed ? OBTokens::textMuted() : OBTokens::textTertiary()),
                              kit::TextOptions{0, kit::TextAlignment::Leading, 1});
        digits->setObjectName(QStringLiteral("share.number.%1").arg(number));
        row->addWidget(loweredBy(digits, 2), 0, Qt::AlignTop);
        auto* text = wrappingText(line.text,
                                  OBFont::geist(kit::FontWeight::regular, 12.5),
                                  line.dimmed ? OBTokens::textSecondary() : OBTokens::textPrimary(),
                                  3);
        text->setObjectName(QStringLiteral("share.instruction.%1").arg(number));
        row->addWidget(text, 1, Qt::AlignTop);
        column->addLayout(row);
    }
    auto* card = new StepCard(OBTokens::surface(), OBTokens::hairline(), 16);
    card->setObjectName(QStringLiteral("share.instructions"));
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rows);
    return card;
}

QWidget* OnboardingStepShare::makeWarning() const
{
    auto* warning = new QWidget;
    warning->setObjectName(QStringLiteral("share.warning"));
    auto* row = new QHBoxLayout(warning);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(
        loweredBy(new kit::SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 12, OBTokens::flame()),
                  1),
        0,
        Qt::AlignTop);
    row->addWidget(
        wrappingText(QStringLiteral("Veilmox cannot filter windows in macOS native Full Screen mode (the "
                                    "green button). Keep apps in standard windowed mode."),
                     OBFont::geist(kit::FontWeight::regular, 11.5),
                     OBTokens::textSecondary(),
                     3),
        1,
        Qt::AlignTop);
    return warning;
}

QWidget* OnboardingStepShare::makePicker() const
{
    auto* picture = new MockPicture(SharePickerMock{}.item());
    picture->setObjectName(QStringLiteral("share.picker"));
    return picture;
}
