#include "popover/MenuBarView.h"

#include "capture/VirtualDisplayManager.h"
#include "pip/PiPController.h"
#include "platform/Application.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "popover/AutoHideView.h"
#include "popover/MainPageView.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingsPageView.h"
#include "popover/SharingGuideView.h"
#include "popover/UpdaterManagerInterface.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/PageStack.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <functional>

namespace {

// The pages, each made once when the root has its state object and updater manager.
QWidget* makeMainPage(WindowManager& windowManager, PiPController& pip, PopoverNavigation& navigation)
{
    return new MainPageView(windowManager, pip, navigation);
}

QWidget* makeSettingsPage(WindowManager& windowManager,
                          PiPController& pip,
                          const UpdaterManagerInterface& updaterManager,
                          PopoverNavigation& navigation)
{
    return new SettingsPageView(windowManager, pip, updaterManager, navigation);
}

QWidget* makeAutoHidePage(WindowManager& windowManager, const std::function<void()>& onBack)
{
    return new AutoHideView(windowManager, onBack);
}

// The product's logo, drawn at 20 x 20 points.
class Logo final : public QWidget
{
public:
    Logo()
    {
        setObjectName(QStringLiteral("menuBarLogo"));
        setFixedSize(20, 20);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        kit::paintImageAsset(painter, QStringLiteral("veilmoxOfficialLogo"), QRectF(rect()));
    }
};

// The dimmed page under the open guide; a tap on it closes the guide.
class Scrim final : public QWidget
{
public:
    explicit Scrim(std::function<void()> onTap)
        : m_onTap(std::move(onTap))
    {
        setObjectName(QStringLiteral("guideScrim"));
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), kit::rgb(0x0B0C0E, 0.72));
    }
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
            m_onTap();
        }
    }

private:
    std::function<void()> m_onTap;
};

// The area under the header: the account switch fills it; the guide's scrim covers it and its
// card hangs from the top, 12 points in from the sides and 2 down, as tall as its content.
class OverlayArea final : public QWidget
{
public:
    QWidget* base = nullptr;
    QWidget* scrim = nullptr;
    QWidget* card = nullptr;

protected:
    void resizeEvent(QResizeEvent* /*e*/) override
    {
        for (QWidget* filling : {base, scrim}) {
            if (filling != nullptr) {
                filling->setGeometry(rect());
            }
        }
        if (card != nullptr) {
            const int width = std::max(this->width() - 24, 0);
            const int height =
                card->hasHeightForWidth() ? card->heightForWidth(width) : card->sizeHint().height();
            card->setGeometry(12, 2, width, height);
        }
    }
};

kit::TextLook geist(kit::FontWeight weight, double size, const QColor& color, double tracking = 0)
{
    kit::TextLook look;
    look.face = kit::geistFontName(weight);
    look.size = size;
    look.tracking = tracking;
    look.color = color;
    return look;
}

} // namespace

MenuBarView::MenuBarView(QWidget* parent)
    : MenuBarView(PiPController::shared(), parent)
{}

MenuBarView::MenuBarView(PiPController& pip, QWidget* parent)
    : QWidget(parent)
    , m_pip(pip)
    , m_navigation(new PopoverNavigation(this))
{
    setObjectName(QStringLiteral("menuBarView"));
    setFixedSize(kSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new kit::PageStack;
    layout->addWidget(m_pages);
    connect(m_navigation, &PopoverNavigation::showingSettingsChanged, this, &MenuBarView::syncPage);
    connect(m_navigation, &PopoverNavigation::showingAutoHideChanged, this, &MenuBarView::syncPage);
    connect(m_navigation, &PopoverNavigation::showHelpGuideChanged, this, &MenuBarView::syncGuide);
}

MenuBarView::~MenuBarView() = default;

void MenuBarView::setWindowManager(WindowManager& windowManager)
{
    if (m_windowManager != nullptr) {
        return; // the pages are bound to the first one for their whole life
    }
    m_windowManager = &windowManager;
    makePages();
}

void MenuBarView::setUpdaterManager(const UpdaterManagerInterface& updaterManager)
{
    if (m_updaterManager != nullptr) {
        return;
    }
    m_updaterManager = &updaterManager;
    makePages();
}

QWidget* MenuBarView::currentPage() const
{
    return m_pages->currentPage();
}

void MenuBarView::makePages()
{
    if (m_windowManager == nullptr || m_updaterManager == nullptr || m_mainFrame != nullptr) {
        return;
    }
    WindowManager& state = *m_windowManager;
    // Settings and auto-hide come in from the trailing edge, the main frame from the leading
    // one; under Reduce Motion each only fades.
    const kit::Transition fromLeading = kit::Transition::move(kit::Edge::Leading).fadingUnderReduceMotion();
    const kit::Transition fromTrailing = kit::Transition::move(kit::Edge::Trailing).fadingUnderReduceMotion();
    m_mainFrame = makeMainFrame();
    m_autoHidePage = makeAutoHidePage(state, [navigation = m_navigation] { navigation->closeAutoHide(); });
    m_settingsPage = makeSettingsPage(state, m_pip, *m_updaterManager, *m_navigation);
    m_pages->addPage(m_mainFrame, fromLeading);
    m_pages->addPage(m_autoHidePage, fromTrailing);
    m_pages->addPage(m_settingsPage, fromTrailing);

    connect(&state, &WindowManager::isAuthenticatedChanged, this, &MenuBarView::syncAccount);
    connect(&state, &WindowManager::authInProgressChanged, this, &MenuBarView::syncSignIn);
    connect(&state, &WindowManager::authStatusMessageChanged, this, &MenuBarView::syncSignIn);
    syncPage();
    syncAccount();
    syncSignIn();
    syncGuide();
}

QWidget* MenuBarView::makeMainFrame()
{
    auto* frame = new QWidget;
    frame->setObjectName(QStringLiteral("mainFrame"));
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());

    auto* body = new OverlayArea;
    auto* faces = new QWidget(body);
    m_accountSwitch = new QStackedLayout(faces);
    m_signInPanel = makeSignInPanel();
    m_mainPage = makeMainPage(*m_windowManager, m_pip, *m_navigation);
    m_accountSwitch->addWidget(m_signInPanel);
    m_accountSwitch->addWidget(m_mainPage);
    makeGuide(body);
    body->base = faces;
    body->scrim = m_guideScrim;
    body->card = m_guideCard;
    column->addWidget(body, 1);
    return frame;
}

QWidget* MenuBarView::makeHeader()
{
    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("menuBarHeader"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(18, 14, 12, 12);
    row->setSpacing(9);
    header->setMinimumHeight(28 + 14 + 12);
    row->addWidget(new Logo);
    row->addWidget(new kit::TextLabel(
        QStringLiteral("Veilmox"), geist(kit::FontWeight::semibold, 16, kit::Palette::textPrimary(), -0.4)));
    row->addStretch(1);

    m_guideButton = new kit::IconButton(QStringLiteral("info.circle"));
    m_guideButton->setObjectName(QStringLiteral("guideButton"));
    kit::TooltipSource::attach(m_guideButton, QStringLiteral("How to share your screen in meetings"));
    connect(m_guideButton, &QAbstractButton::clicked, m_navigation, &PopoverNavigation::toggleHelpGuide);
    row->addWidget(m_guideButton);

    m_settingsButton = new kit::IconButton(QStringLiteral("gearshape"));
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    kit::TooltipSource::attach(m_settingsButton, QStringLiteral("Preferences & Settings"));
    connect(m_settingsButton, &QAbstractButton::clicked, m_navigation, &PopoverNavigation::openSettings);
    row->addWidget(m_settingsButton);
    return header;
}

QWidget* MenuBarView::makeSignInPanel()
{
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("signInPanel"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 14);
    column->setSpacing(0);

    auto* card = new kit::CardBackground(20, false);
    QVBoxLayout* content = card->contentLayout();
    content->addWidget(new kit::TextLabel(QStringLiteral("AUTHENTICATION"), [] {
        return kit::monoLabel(9.5, kit::SecondaryWhite::caption(kit::increaseContrast()));
    }));
    content->addSpacing(14);
    content->addWidget(
        new kit::TextView(QStringLiteral("Sign in to unlock"),
                          geist(kit::FontWeight::semibold, 24, kit::Palette::textPrimary(), -0.6)));
    content->addSpacing(8);
    kit::TextOptions description;
    description.lineSpacing = 3;
    content->addWidget(new kit::TextView(
        QStringLiteral("Sign in on the Veilmox website to unlock the desktop app."),
        [] {
            return geist(kit::FontWeight::regular, 13, kit::SecondaryWhite::body(kit::increaseContrast()));
        },
        description));
    content->addSpacing(18);

    m_signInButton =
        new kit::PillButton(QString(), kit::PillButtonStyle::Kind::Flame, kit::ControlSize::Regular);
    m_signInButton->setObjectName(QStringLiteral("signInButton"));
    m_signInButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(
        m_signInButton, &QAbstractButton::clicked, this, [this] { m_windowManager->startBrowserSignIn(); });
    content->addWidget(m_signInButton);

    m_statusRow = new QWidget;
    m_statusRow->setObjectName(QStringLiteral("signInStatus"));
    auto* status = new QHBoxLayout(m_statusRow);
    status->setContentsMargins(0, 14, 0, 0);
    status->setSpacing(7);
    m_statusDot = new kit::PulseDot(kit::Palette::flame(), false);
    m_statusDot->setObjectName(QStringLiteral("signInStatusDot"));
    m_statusText = new kit::TextView(QString(), [] { return kit::monoMutedLabel(9.5); });
    m_statusText->setObjectName(QStringLiteral("signInStatusText"));
    status->addWidget(m_statusDot, 0, Qt::AlignVCenter);
    status->addWidget(m_statusText, 1, Qt::AlignVCenter);
    content->addWidget(m_statusRow);

    auto* cardRow = new QHBoxLayout;
    cardRow->setContentsMargins(12, 0, 12, 0);
    cardRow->addWidget(card);
    column->addLayout(cardRow);
    column->addItem(new QSpacerItem(0, 20, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* quit = new kit::PillButton(
        QStringLiteral("Quit Veilmox"), kit::PillButtonStyle::Kind::Quiet, kit::ControlSize::Small);
    quit->setObjectName(QStringLiteral("quitButton"));
    connect(quit, &QAbstractButton::clicked, this, [] { MenuBarView::quit(); });
    column->addWidget(quit, 0, Qt::AlignHCenter);
    return panel;
}

void MenuBarView::makeGuide(QWidget* area)
{
    PopoverNavigation* navigation = m_navigation;
    auto* scrim = new Scrim([navigation] { navigation->dismissHelpGuide(); });
    scrim->setParent(area);
    auto* card = new kit::FloatingBackground(16, area);
    card->setObjectName(QStringLiteral("guideCard"));
    card->contentLayout()->setContentsMargins(16, 16, 16, 16);
    card->contentLayout()->addWidget(new SharingGuideView([navigation] { navigation->dismissHelpGuide(); }));
    // Both start closed: hidden before their presence is first asked for.
    scrim->hide();
    card->hide();
    kit::Presence::of(scrim).setTransition(kit::Transition::opacity());
    kit::Presence::of(card).setTransition(
        kit::Transition::move(kit::Edge::Top).combined(kit::Transition::opacity()).fadingUnderReduceMotion());
    m_guideScrim = scrim;
    m_guideCard = card;
}

void MenuBarView::syncPage()
{
    if (m_mainFrame == nullptr) {
        return;
    }
    // Settings win over auto-hide.
    QWidget* page = m_navigation->showingSettings()   ? m_settingsPage
                    : m_navigation->showingAutoHide() ? m_autoHidePage
                                                      : m_mainFrame;
    m_pages->setCurrentPage(page);
}

void MenuBarView::syncAccount()
{
    if (m_mainFrame == nullptr) {
        return;
    }
    const bool signedIn = m_windowManager->isAuthenticated();
    static_cast<QStackedLayout*>(m_accountSwitch->layout())
        ->setCurrentWidget(signedIn ? m_mainPage : m_signInPanel);
    m_guideButton->setVisible(signedIn);
    m_settingsButton->setVisible(signedIn);
}

void MenuBarView::syncSignIn()
{
    if (m_mainFrame == nullptr) {
        return;
    }
    const bool inProgress = m_windowManager->authInProgress();
    const QString& message = m_windowManager->authStatusMessage();
    m_signInButton->setText(inProgress ? QStringLiteral("Open sign-in again")
                                       : QStringLiteral("Sign in with Veilmox"));
    m_signInButton->updateGeometry();
    m_statusRow->setVisible(!message.isEmpty());
    m_statusText->setText(message.toUpper());
    m_statusDot->setPulses(inProgress);
}

void MenuBarView::syncGuide()
{
    if (m_mainFrame == nullptr) {
        return;
    }
    const bool open = m_navigation->showHelpGuide();
    m_guideButton->setActive(open);
    kit::Presence::of(m_guideScrim).setPresent(open);
    kit::Presence::of(m_guideCard).setPresent(open);
}

void MenuBarView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), kit::Palette::canvas());
}

void MenuBarView::quit()
{
    if (platform::Application* application = platform::Services::current().application) {
        application->terminate();
    }
}

void MenuBarView::setPanicMode(WindowManager& windowManager, WindowManager::PanicMode mode)
{
    windowManager.setPanicMode(mode);
}

bool MenuBarView::savePanicHotKey(WindowManager& windowManager, const HotKeyCombo& combo)
{
    return windowManager.setPanicShortcut(combo);
}

void MenuBarView::setHideNotifications(WindowManager& windowManager, bool on)
{
    windowManager.setHideNotificationsOnShare(on);
    if (platform::UserDefaults* defaults = windowManager.services().defaults) {
        defaults->setObject(on, WindowManager::hideNotificationsKey);
    }
    if (VirtualDisplayManager* display = windowManager.virtualDisplayManager()) {
        display->hideNotifications = on;
    }
}

void MenuBarView::setAutoHideEnabled(WindowManager& windowManager, bool on)
{
    windowManager.setAutoHideEnabled(on);
    if (platform::UserDefaults* defaults = windowManager.services().defaults) {
        defaults->setObject(on, WindowManager::autoHideEnabledKey);
    }
    windowManager.reconcileAutoHide();
}

void MenuBarView::setFocusStage(WindowManager& windowManager, bool /*on*/)
{
    windowManager.toggleFocusStage();
}

void MenuBarView::selectDisplay(WindowManager& windowManager, quint32 displayID)
{
    kit::withAnimation(kit::respectingReduceMotion(kit::Animation::standard(0.18)),
                       [&windowManager, displayID] { windowManager.selectSharedDisplay(displayID); });
}

void MenuBarView::setPiPShown(PiPController& pip, bool shown)
{
    pip.setOpenedBySharing(false);
    if (shown) {
        pip.show();
    } else {
        pip.hide();
    }
}

void MenuBarView::setPiPAutoShow(PiPController& pip, bool on)
{
    pip.setAutoShowOnShare(on);
    if (platform::UserDefaults* defaults = platform::Services::current().defaults) {
        defaults->setObject(on, PiPController::autoShowKey);
    }
}

void MenuBarView::popOutPreview(WindowManager& windowManager, PiPController& pip)
{
    pip.setOpenedBySharing(false);
    pip.show();
    if (AppDelegateInterface* shell = windowManager.appDelegate();
        shell != nullptr && shell->isPopoverShown()) {
        shell->closePopover();
    }
}

void MenuBarView::checkForUpdates(const UpdaterManagerInterface& updaterManager)
{
    updaterManager.checkForUpdates();
}
