#include "popover/MenuBarView.h"

#include "pip/PiPController.h"
#include "popover/UpdaterManagerInterface.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Typography.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The product's logo, drawn at 20 x 20 points.
class Logo final : public QWidget
{
public:
    Logo() { setFixedSize(20, 20); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        kit::paintImageAsset(painter, QStringLiteral("veilmoxOfficialLogo"), QRectF(rect()));
    }
};

kit::TextLook titleLook()
{
    kit::TextLook look;
    look.face = kit::geistFontName(kit::FontWeight::semibold);
    look.size = 16;
    look.color = kit::Palette::textPrimary();
    return look;
}

} // namespace

MenuBarView::MenuBarView(QWidget* parent)
    : MenuBarView(PiPController::shared(), parent)
{}

MenuBarView::MenuBarView(PiPController& pip, QWidget* parent)
    : QWidget(parent)
    , m_pip(pip)
{
    setObjectName(QStringLiteral("menuBarView"));
    setFixedSize(kSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(10);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new Logo);
    header->addWidget(new kit::TextLabel(QStringLiteral("Veilmox"), titleLook()));
    header->addStretch(1);
    layout->addLayout(header);
    m_status = new kit::TextLabel(QString(), [] { return kit::monoMutedLabel(9); });
    m_status->setObjectName(QStringLiteral("menuBarStatus"));
    layout->addWidget(m_status);
    layout->addStretch(1);
    m_version = new kit::TextLabel(QString(), [] { return kit::monoMutedLabel(9); });
    m_version->setObjectName(QStringLiteral("menuBarVersion"));
    layout->addWidget(m_version);
    sync();
}

void MenuBarView::setWindowManager(WindowManager& windowManager)
{
    m_windowManager = &windowManager;
    connect(&windowManager, &WindowManager::hiddenBundleIDsChanged, this, &MenuBarView::sync);
    connect(&windowManager, &WindowManager::hiddenWindowsChanged, this, &MenuBarView::sync);
    connect(&windowManager, &WindowManager::isAuthenticatedChanged, this, &MenuBarView::sync);
    sync();
}

void MenuBarView::setUpdaterManager(const UpdaterManagerInterface& updaterManager)
{
    m_updaterManager = &updaterManager;
    sync();
}

void MenuBarView::sync()
{
    if (m_windowManager != nullptr) {
        const int count = m_windowManager->isAuthenticated() ? m_windowManager->veiledCount() : 0;
        m_status->setText(m_windowManager->isAuthenticated()
                              ? QStringLiteral("%1 HIDDEN FROM YOUR SHARE").arg(count)
                              : QStringLiteral("SIGN IN REQUIRED"));
    }
    m_version->setText(m_updaterManager != nullptr ? m_updaterManager->versionString() : QString());
}

void MenuBarView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), kit::Palette::canvas());
}
