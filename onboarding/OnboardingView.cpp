#include "onboarding/OnboardingView.h"

#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Typography.h"

#include <QPainter>
#include <QVBoxLayout>

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

kit::TextLook headingLook()
{
    kit::TextLook look;
    look.face = kit::geistFontName(kit::FontWeight::semibold);
    look.size = 30;
    look.tracking = -0.6;
    look.color = kit::Palette::textPrimary();
    return look;
}

} // namespace

OnboardingView::OnboardingView(std::function<void()> onComplete, QWidget* parent)
    : QWidget(parent)
    , m_onComplete(std::move(onComplete))
{
    setObjectName(QStringLiteral("onboardingView"));
    setMinimumSize(kSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 48, 48, 48);
    layout->setSpacing(16);
    layout->addWidget(new Logo);
    layout->addStretch(1);
    layout->addWidget(
        new kit::TextLabel(QStringLiteral("Welcome to Veilmox"), headingLook()), 0, Qt::AlignHCenter);
    layout->addWidget(new kit::TextLabel(QStringLiteral("KEEP WHAT YOU HIDE OUT OF YOUR SHARE"),
                                         [] { return kit::monoMutedLabel(9); }),
                      0,
                      Qt::AlignHCenter);
    auto* finish = new kit::PillButton(QStringLiteral("Get started"), kit::PillButtonStyle::Kind::Flame);
    finish->setObjectName(QStringLiteral("onboardingComplete"));
    connect(finish, &kit::PillButton::clicked, this, [this] {
        if (m_onComplete) {
            m_onComplete();
        }
    });
    layout->addSpacing(12);
    layout->addWidget(finish, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void OnboardingView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), kit::Palette::canvas());
}
