#include "shell/HUDOverlayController.h"

#include "platform/Events.h"
#include "platform/WindowServer.h"
#include "shell/HUDToastView.h"
#include "shell/kit/Accessibility.h"

HUDOverlayController::HUDOverlayController(const platform::Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_panelAlpha(1.0)
{
    m_panelAlpha.setOnChange([this] {
        if (m_window) {
            m_window->setAlphaValue(m_panelAlpha.value());
        }
    });
}

HUDOverlayController::~HUDOverlayController() = default;

HUDOverlayController& HUDOverlayController::shared()
{
    // Lives until the process ends.
    static auto* instance = new HUDOverlayController(platform::Services::current());
    return *instance;
}

void HUDOverlayController::setIsVisible(bool value)
{
    m_isVisible = value;
    emit isVisibleChanged(value);
}

void HUDOverlayController::setAppName(const QString& value)
{
    m_appName = value;
    emit appNameChanged(value);
}

void HUDOverlayController::setAppIcon(const QImage& value)
{
    m_appIcon = value;
    emit appIconChanged(value);
}

void HUDOverlayController::setIsVeiled(bool value)
{
    m_isVeiled = value;
    emit isVeiledChanged(value);
}

void HUDOverlayController::setSubtitle(const std::optional<QString>& value)
{
    m_subtitle = value;
    emit subtitleChanged(value);
}

double HUDOverlayController::displayTime(const std::optional<QString>& subtitle)
{
    return subtitle ? kSubtitleDisplayTime : kShortDisplayTime;
}

std::optional<QRectF> HUDOverlayController::panelFrame(const QList<platform::Screen>& screens,
                                                       QPointF mouse,
                                                       std::optional<quint32> mainDisplayID)
{
    const platform::Screen* chosen = nullptr;
    for (const platform::Screen& screen : screens) {
        // The top and left edges belong to the screen, the bottom and right ones to the next.
        const QRectF f = screen.frame;
        if (mouse.x() >= f.left() && mouse.x() < f.right() && mouse.y() >= f.top()
            && mouse.y() < f.bottom()) {
            chosen = &screen;
            break;
        }
    }
    if (chosen == nullptr && mainDisplayID) {
        for (const platform::Screen& screen : screens) {
            if (screen.displayID() == mainDisplayID) {
                chosen = &screen;
                break;
            }
        }
    }
    if (chosen == nullptr && !screens.isEmpty()) {
        chosen = &screens.front();
    }
    if (chosen == nullptr) {
        return std::nullopt;
    }
    const QRectF visible = chosen->visibleFrame.isEmpty() ? chosen->frame : chosen->visibleFrame;
    return QRectF(visible.center().x() - kPanelSize.width() / 2,
                  visible.top() + kTopInset,
                  kPanelSize.width(),
                  kPanelSize.height());
}

kit::Animation HUDOverlayController::entranceAnimation()
{
    return kit::respectingReduceMotion(kit::Animation::spring(0.3, 1.0, 0));
}

kit::Animation HUDOverlayController::exitAnimation()
{
    return kit::respectingReduceMotion(kit::Animation::timingCurve(0.16, 1.0, 0.3, 1.0, kFadeDuration));
}

void HUDOverlayController::makePanel()
{
    m_window = std::make_unique<platform::Window>(m_services,
                                                  QRectF(QPointF(), kPanelSize),
                                                  platform::kWindowStyleMaskNonactivatingPanel,
                                                  platform::BackingStoreType::Buffered,
                                                  false);
    m_window->setOpaque(false);
    m_window->setBackgroundColor(Qt::transparent);
    m_window->setHasShadow(false);
    m_window->setLevel(kPanelLevel);
    m_window->setIgnoresMouseEvents(true);
    m_window->setCollectionBehavior(platform::kWindowCollectionBehaviorCanJoinAllSpaces
                                    | platform::kWindowCollectionBehaviorTransient
                                    | platform::kWindowCollectionBehaviorFullScreenAuxiliary);
    m_window->setReleasedWhenClosed(false);
    m_window->setContentView(new HUDToastView(*this));
}

void HUDOverlayController::show(const QString& appName,
                                const QImage& icon,
                                bool isVeiled,
                                const std::optional<QString>& subtitle)
{
    setAppName(appName);
    setAppIcon(icon);
    setIsVeiled(isVeiled);
    setSubtitle(subtitle);
    if (!m_window) {
        makePanel();
    }

    const QList<platform::Screen> screens =
        m_services.screens != nullptr ? m_services.screens->screens() : QList<platform::Screen>();
    const QPointF mouse = m_services.events != nullptr ? m_services.events->mouseLocation() : QPointF();
    const std::optional<quint32> mainDisplay =
        m_services.windowServer != nullptr ? std::optional<quint32>(m_services.windowServer->mainDisplayID())
                                           : std::nullopt;
    if (const auto frame = panelFrame(screens, mouse, mainDisplay)) {
        m_window->setFrame(*frame, true);
    }

    m_dismissWorkItem.cancel();
    setIsVisible(true);
    // A fade still running would take the toast away again: stop it with its completion.
    m_fadeCompletion.cancel();
    m_panelAlpha.set(1);
    m_window->setAlphaValue(1);
    m_window->orderFrontRegardless();

    QPointer<HUDOverlayController> self(this);
    m_dismissWorkItem = platform::Scheduler::current().after(displayTime(subtitle), [self] {
        if (self) {
            self->dismiss();
        }
    });
}

void HUDOverlayController::dismiss()
{
    m_dismissWorkItem.cancel();
    setIsVisible(false);
    if (!m_window) {
        return;
    }
    if (kit::reduceMotion()) {
        m_fadeCompletion.cancel();
        m_panelAlpha.set(0);
        m_window->setAlphaValue(0);
        m_window->orderOut();
        return;
    }
    m_panelAlpha.animate(0, kit::Animation::easeInOut(kFadeDuration));
    QPointer<HUDOverlayController> self(this);
    m_fadeCompletion = platform::Scheduler::current().after(kFadeDuration, [self] {
        if (self) {
            self->fadeFinished();
        }
    });
}

void HUDOverlayController::fadeFinished()
{
    if (!m_isVisible && m_window) {
        m_panelAlpha.set(0);
        m_window->orderOut();
    }
}
