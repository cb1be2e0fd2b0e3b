#include "shell/AppDelegate.h"

#include "account/OnboardingAnalytics.h"
#include "onboarding/OnboardingServices.h"
#include "onboarding/OnboardingView.h"
#include "pip/PiPController.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Events.h"
#include "platform/Layer.h"
#include "platform/Popover.h"
#include "platform/Scheduler.h"
#include "platform/Screens.h"
#include "platform/StatusBar.h"
#include "platform/Updates.h"
#include "platform/UserDefaults.h"
#include "platform/Window.h"
#include "platform/Workspace.h"
#include "popover/MenuBarView.h"
#include "shell/HUDOverlayController.h"
#include "shell/UpdaterManager.h"
#include "shell/kit/Fonts.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Tooltips.h"
#include "state/WindowManager.h"

#include <QPainter>

#include <algorithm>

namespace {

AppDelegate* g_shared = nullptr;

// The site whose opener is the user's default browser.
const QString kAccountServiceURLKey = QStringLiteral("ACCOUNT_SERVICE_URL");

const platform::Bundle& emptyBundle()
{
    static const platform::Bundle bundle;
    return bundle;
}

platform::StatusImage statusImage()
{
    constexpr double kScale = 2; // drawn for Retina menu bars
    const QSize pixels = (AppDelegate::kStatusImageSize * kScale).toSize();
    platform::StatusImage image;
    image.size = AppDelegate::kStatusImageSize;
    image.isTemplate = true;
    if (kit::hasImageAsset(QStringLiteral("MenuBarIcon"))) {
        image.image = kit::imageAsset(QStringLiteral("MenuBarIcon"), pixels);
    } else {
        QImage symbol(pixels, QImage::Format_ARGB32_Premultiplied);
        symbol.fill(Qt::transparent);
        QPainter painter(&symbol);
        kit::paintSymbol(
            painter, QStringLiteral("eye.slash.fill"), QRectF(QPointF(), QSizeF(pixels)), Qt::black);
        painter.end();
        image.image = symbol;
        image.accessibilityDescription = QStringLiteral("Veilmox");
    }
    image.image.setDevicePixelRatio(kScale);
    return image;
}

} // namespace

// The onboarding window and the delegate that tells the application delegate which window is
// closing.
struct AppDelegate::OnboardingWindow final : platform::WindowDelegate
{
    OnboardingWindow(AppDelegate& owner, std::unique_ptr<platform::Window> w)
        : delegate(&owner)
        , window(std::move(w))
    {
        window->setDelegate(this);
    }
    ~OnboardingWindow() override { window->setDelegate(nullptr); }
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    void windowWillClose() override
    {
        if (delegate) {
            delegate->windowWillClose(window.get());
        }
    }

    QPointer<AppDelegate> delegate;
    std::unique_ptr<platform::Window> window;
};

AppDelegate::Environment AppDelegate::Environment::process()
{
    Environment environment;
    environment.services = platform::Services::current();
    environment.windowManager = []() -> WindowManager& {
        return WindowManager::shared();
    };
    environment.pipController = []() -> PiPController& {
        return PiPController::shared();
    };
    environment.hud = []() -> HUDPresenter& {
        return HUDOverlayController::shared();
    };
    environment.onboardingAnalytics = []() -> OnboardingAnalytics* {
        return &OnboardingAnalytics::shared();
    };
    environment.registerFonts = [] {
        kit::registerAppFonts();
    };
    return environment;
}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
    g_shared = this;
}

AppDelegate::~AppDelegate()
{
    if (m_windowManager && m_windowManager->appDelegate() == this) {
        m_windowManager->setAppDelegate(nullptr);
    }
    if (m_onboardingWindow) {
        m_onboardingWindow->delegate = nullptr;
    }
    if (g_shared == this) {
        g_shared = nullptr;
    }
}

AppDelegate* AppDelegate::shared()
{
    return g_shared;
}

WindowManager& AppDelegate::windowManager()
{
    if (!m_windowManager) {
        m_windowManager = &m_environment.windowManager();
    }
    return *m_windowManager;
}

platform::Scheduler& AppDelegate::scheduler() const
{
    return m_environment.services.scheduler != nullptr ? *m_environment.services.scheduler
                                                       : platform::Scheduler::current();
}

platform::Window* AppDelegate::onboardingWindow() const
{
    return m_onboardingWindow ? m_onboardingWindow->window.get() : nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    const platform::Services& services = m_environment.services;
    // 1. No Dock icon and no menu bar of its own.
    if (services.application != nullptr) {
        services.application->setActivationPolicy(platform::ActivationPolicy::Accessory);
    }
    // 2.
    if (services.defaults != nullptr) {
        services.defaults->registerDefaults({{QStringLiteral("AppleFontSmoothing"), qint64{2}}});
    }
    // 3. Before the first view is built.
    if (m_environment.registerFonts) {
        m_environment.registerFonts();
    }
    // 4.
    if (services.updates != nullptr) {
        m_updaterController = services.updates->makeStandardUpdaterController(true);
    }

    // 5. The popover's root view; making it makes the picture-in-picture controller. Then the
    // state object, whose start begins all monitoring, with the shell installed on it first.
    m_menuBarView = new MenuBarView(m_environment.pipController());
    WindowManager& manager = windowManager();
    manager.setAppDelegate(this);
    manager.setHUDPresenter(&m_environment.hud());
    manager.start();
    m_updaterManager =
        std::make_unique<UpdaterManager>(services.bundle != nullptr ? *services.bundle : emptyBundle());
    m_menuBarView->setWindowManager(manager);
    m_menuBarView->setUpdaterManager(*m_updaterManager);
    m_menuBarView->setFixedSize(kPopoverSize.toSize());
    kit::TooltipHost::attach(m_menuBarView);

    // 6, 7. A transient, dark popover that keeps its size whatever the view asks for.
    m_popover = std::make_unique<platform::Popover>(services);
    m_popover->setContentSize(kPopoverSize);
    m_popover->setBehavior(platform::PopoverBehavior::Transient);
    m_popover->setContentView(m_menuBarView);
    m_popover->setAppearance(platform::Appearance::DarkAqua);

    // 8, 9.
    if (services.statusBar != nullptr) {
        m_statusItem = services.statusBar->statusItem(platform::StatusBar::kVariableLength);
    }
    if (m_statusItem && m_statusItem->button() != nullptr) {
        QPointer<AppDelegate> self(this);
        m_statusItem->button()->setAction([self] {
            if (self) {
                self->togglePopover();
            }
        });
        // The icon counts nothing while the user is signed out.
        updateStatusIcon(manager.isAuthenticated() ? manager.veiledCount() : 0);
    }

    // 10.
    PiPController& pip = m_environment.pipController();
    if (services.defaults != nullptr && services.defaults->boolForKey(PiPController::visibleKey)) {
        pip.setOpenedBySharing(false);
        pip.show();
    }

    // 11.
    if (services.defaults == nullptr || !services.defaults->boolForKey(onboardingCompletedKey)) {
        showOnboarding();
    }
}

QString AppDelegate::statusToolTip(int veiledCount)
{
    if (veiledCount < 1) {
        return QStringLiteral("Veilmox \u2014 All apps visible");
    }
    return QStringLiteral("Veilmox \u2014 %1 app%2 veiled")
        .arg(veiledCount)
        .arg(veiledCount == 1 ? QString() : QStringLiteral("s"));
}

QPointF AppDelegate::badgeDotOrigin(const QRectF& buttonBounds)
{
    return {std::max(buttonBounds.width() - 7, 14.0), std::max(buttonBounds.height() - 8, 14.0)};
}

void AppDelegate::updateStatusIcon(int veiledCount)
{
    platform::StatusBarButton* button = m_statusItem ? m_statusItem->button() : nullptr;
    if (button == nullptr) {
        return;
    }
    button->setImage(statusImage());
    button->setWantsLayer(true);
    platform::Layer* layer = button->layer();
    if (layer == nullptr) {
        return;
    }
    button->setToolTip(statusToolTip(veiledCount));
    if (veiledCount < 1) {
        if (m_badgeDotLayer != nullptr) {
            m_badgeDotLayer->setHidden(true);
        }
        return;
    }
    if (m_badgeDotLayer == nullptr) {
        auto dot = std::make_unique<platform::Layer>();
        dot->setCornerRadius(3);
        dot->setBackgroundColor(QColor::fromRgbF(1.0F, 122.0F / 255, 23.0F / 255, 1.0F));
        dot->setBorderColor(QColor::fromRgbF(0, 0, 0, 0.85F));
        dot->setBorderWidth(0.75);
        m_badgeDotLayer = layer->addSublayer(std::move(dot));
    }
    m_badgeDotLayer->setFrame(QRectF(badgeDotOrigin(button->bounds()), QSizeF(kBadgeDotSide, kBadgeDotSide)));
    m_badgeDotLayer->setHidden(false);
}

void AppDelegate::checkForUpdates()
{
    if (m_updaterController) {
        m_updaterController->checkForUpdates();
    }
}

void AppDelegate::application(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        windowManager().handleCallbackURL(url);
    }
}

void AppDelegate::returnFocusToBrowser()
{
    if (platform::Window* window = onboardingWindow()) {
        window->setLevel(platform::kNormalWindowLevel);
    }
    const platform::Services& services = m_environment.services;
    if (services.application == nullptr || !services.application->isActive() || services.workspace == nullptr
        || services.bundle == nullptr) {
        return;
    }
    const auto site = services.bundle->stringForInfoDictionaryKey(kAccountServiceURLKey);
    if (!site) {
        return;
    }
    const auto browser = services.workspace->bundleIdentifierOfApplicationToOpen(QUrl(*site));
    if (!browser) {
        return;
    }
    for (const auto& app : services.workspace->runningApplications()) {
        if (app->bundleIdentifier() == browser) {
            app->activate();
            return;
        }
    }
}

void AppDelegate::resetOnboarding()
{
    if (m_environment.services.defaults != nullptr) {
        m_environment.services.defaults->removeObject(onboardingCompletedKey);
    }
    if (isPopoverShown()) {
        m_popover->performClose();
    }
    closeOnboardingWindow();
    showOnboarding();
}

void AppDelegate::showOnboarding()
{
    if (!m_onboardingWindow) {
        QPointer<AppDelegate> self(this);
        auto* view = new OnboardingView(makeOnboardingServices(), [self] {
            if (self) {
                self->onboardingFinished();
            }
        });
        const std::uint64_t style = platform::kWindowStyleMaskTitled | platform::kWindowStyleMaskClosable
                                    | platform::kWindowStyleMaskFullSizeContentView;
        auto window = std::make_unique<platform::Window>(m_environment.services,
                                                         kOnboardingContentRect,
                                                         style,
                                                         platform::BackingStoreType::Buffered,
                                                         false);
        window->center();
        window->setTitle(QStringLiteral("Welcome to Veilmox"));
        window->setTitlebarAppearsTransparent(true);
        window->setTitleVisibility(platform::WindowTitleVisibility::Hidden);
        window->setMovableByWindowBackground(false);
        window->setBackgroundColor(kit::Palette::canvas());
        window->setContentView(view);
        kit::TooltipHost::attach(view);
        window->setLevel(platform::kFloatingWindowLevel);
        window->setReleasedWhenClosed(false);
        m_onboardingWindow = std::make_shared<OnboardingWindow>(*this, std::move(window));
    }
    platform::Window* window = m_onboardingWindow->window.get();
    window->setLevel(platform::kFloatingWindowLevel);
    if (m_environment.services.application != nullptr) {
        m_environment.services.application->activate(true);
    }
    window->makeKeyAndOrderFront();
    window->orderFrontRegardless();
}

void AppDelegate::onboardingFinished()
{
    // Later, so that the view's completion call returns before its window closes.
    QPointer<AppDelegate> self(this);
    scheduler().post(this, [self] {
        if (!self) {
            return;
        }
        if (self->m_environment.services.defaults != nullptr) {
            self->m_environment.services.defaults->setObject(true, onboardingCompletedKey);
        }
        self->closeOnboardingWindow();
        platform::StatusBarButton* button = self->m_statusItem ? self->m_statusItem->button() : nullptr;
        if (button == nullptr) {
            return;
        }
        self->windowManager().refreshScreenRecordingPermission();
        if (const auto rect = self->statusButtonRect()) {
            self->presentPopover(*rect);
        }
    });
}

void AppDelegate::windowWillClose(platform::Window* window)
{
    if (window != nullptr && window == onboardingWindow()) {
        // The flow ends with its window; the next showing starts a new one from the draft.
        if (auto* view = qobject_cast<OnboardingView*>(window->contentView())) {
            view->handleDisappear();
        }
        forgetOnboardingWindow();
    }
}

std::unique_ptr<OnboardingServices> AppDelegate::makeOnboardingServices()
{
    static platform::InMemoryUserDefaults noDefaults;
    const platform::Services& services = m_environment.services;
    return std::make_unique<SystemOnboardingServices>(
        windowManager(),
        m_environment.onboardingAnalytics ? m_environment.onboardingAnalytics() : nullptr,
        scheduler(),
        services.defaults != nullptr ? *services.defaults : noDefaults);
}

void AppDelegate::closeOnboardingWindow()
{
    if (!m_onboardingWindow) {
        return;
    }
    const auto closing = m_onboardingWindow;
    closing->window->close();
    if (m_onboardingWindow == closing) {
        forgetOnboardingWindow();
    }
}

void AppDelegate::forgetOnboardingWindow()
{
    if (!m_onboardingWindow) {
        return;
    }
    auto retired = std::move(m_onboardingWindow);
    m_onboardingWindow.reset();
    retired->delegate = nullptr;
    // The window may be inside its own close(): it goes on a later turn, never in the middle of
    // that call, and is never left behind.
    scheduler().post(nullptr, [retired] {});
}

std::optional<QRectF> AppDelegate::statusButtonRect() const
{
    platform::StatusBarButton* button = m_statusItem ? m_statusItem->button() : nullptr;
    if (button == nullptr) {
        return std::nullopt;
    }
    if (const auto frame = button->screenFrame()) {
        return QRectF(frame->topLeft(), button->bounds().size());
    }
    // A button on no screen (only in the host's tray): under the right end of the menu bar.
    const platform::Services& services = m_environment.services;
    if (services.screens == nullptr || services.screens->screens().isEmpty()) {
        return std::nullopt;
    }
    const QRectF screen = services.screens->screens().front().frame;
    return QRectF(screen.right() - button->bounds().width(),
                  screen.top(),
                  button->bounds().width(),
                  services.screens->menuBarHeight());
}

void AppDelegate::presentPopover(const QRectF& buttonRect)
{
    m_popover->show(buttonRect, platform::RectEdge::MinY);
    if (platform::Window* window = m_popover->contentWindow()) {
        window->setLevel(kPopoverLevel);
        window->setHidesOnDeactivate(false);
        window->makeKeyAndOrderFront();
    }
}

void AppDelegate::showPopover()
{
    const auto rect = statusButtonRect();
    if (!rect || !m_popover || m_popover->isShown()) {
        return;
    }
    windowManager().refreshScreenRecordingPermission();
    windowManager().refreshLaunchAtLogin();
    presentPopover(*rect);
}

void AppDelegate::togglePopover()
{
    const auto rect = statusButtonRect();
    if (!rect || !m_popover) {
        return;
    }
    if (m_popover->isShown()) {
        m_popover->performClose();
        return;
    }
    // The click on the button that closed the transient popover is this same click: it stays
    // closed rather than opening again at once.
    const platform::Events* events = m_environment.services.events;
    if (events != nullptr && m_popover->closedByEventNumber() != 0
        && m_popover->closedByEventNumber() == events->currentEventNumber()) {
        return;
    }
    windowManager().refreshScreenRecordingPermission();
    windowManager().refreshLaunchAtLogin();
    presentPopover(*rect);
}

bool AppDelegate::isPopoverShown() const
{
    return m_popover && m_popover->isShown();
}

void AppDelegate::closePopover()
{
    if (isPopoverShown()) {
        m_popover->performClose();
    }
}

void AppDelegate::raiseOnboardingWindow()
{
    platform::Window* window = onboardingWindow();
    if (window == nullptr) {
        return;
    }
    window->setLevel(platform::kFloatingWindowLevel);
    if (m_environment.services.application != nullptr) {
        m_environment.services.application->activate(true);
    }
    window->makeKeyAndOrderFront();
}
