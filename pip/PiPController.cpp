#include "pip/PiPController.h"

#include "capture/ShareMaskEditor.h"
#include "pip/PiPView.h"
#include "platform/Events.h"
#include "platform/UserDefaults.h"
#include "platform/Values.h"
#include "platform/WindowServer.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "state/WindowManager.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// The name under which the system lists the virtual display the user shares.
const QString kVirtualDisplayName = QStringLiteral("Veilmox");

QRectF visibleFrameOf(const platform::Screen& screen)
{
    return screen.visibleFrame.isEmpty() ? screen.frame : screen.visibleFrame;
}

bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

} // namespace

// The running spring: where it goes, how fast the panel moves and when it last stepped.
struct PiPController::FrameAnimation
{
    QRectF target;
    QPointF velocity;
    double dampingRatio = 1;
    double previousTime = 0;
    platform::TimerHandle link;
};

PiPController::PiPController(const platform::Services& services,
                             WindowManager& windowManager,
                             ShareMaskEditor& maskEditor,
                             QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_windowManager(windowManager)
    , m_maskEditor(maskEditor)
{
    m_alpha.setOnChange([this] {
        if (m_panel) {
            m_panel->setAlphaValue(m_alpha.value());
        }
    });

    if (platform::UserDefaults* defaults = m_services.defaults) {
        if (defaults->hasObject(expandedKey)) {
            m_isExpanded = defaults->boolForKey(expandedKey);
        }
        if (defaults->hasObject(autoShowKey)) {
            m_autoShowOnShare = defaults->boolForKey(autoShowKey);
        }
        if (const auto raw = platform::stringValue(defaults->object(cornerKey))) {
            m_corner = PiPPlacement::cornerFromRawValue(*raw).value_or(m_corner);
        }
        // Only a whole number that can name a display counts.
        m_displayID = platform::uint32Value(defaults->object(displayKey));
    }

    // The share already detected now is not news: only later changes open or close the panel.
    m_shareDetected = windowManager.detectedShare().has_value();
    connect(&windowManager,
            &WindowManager::detectedShareChanged,
            this,
            [this](const std::optional<ScreenShareDetector::Source>& source) {
                const bool detected = source.has_value();
                if (detected == m_shareDetected) {
                    return;
                }
                m_shareDetected = detected;
                scheduler().post(this, [this, detected] { shareStateChanged(detected); });
            });
    if (m_services.screens != nullptr) {
        QPointer<PiPController> self(this);
        m_cancellables.push_back(m_services.screens->defaultCenter().addObserver(
            platform::kApplicationDidChangeScreenParameters, [self](const platform::Notification&) {
                if (self) {
                    self->scheduler().post(self, [self] { self->screensChanged(); });
                }
            }));
    }
}

PiPController::~PiPController()
{
    stopFrameAnimation();
}

PiPController& PiPController::shared()
{
    // Lives until the process ends.
    static auto* instance =
        new PiPController(platform::Services::current(), WindowManager::shared(), ShareMaskEditor::shared());
    return *instance;
}

platform::Scheduler& PiPController::scheduler() const
{
    return m_services.scheduler != nullptr ? *m_services.scheduler : platform::Scheduler::current();
}

void PiPController::setIsVisible(bool value)
{
    m_isVisible = value;
    emit isVisibleChanged(value);
}

void PiPController::setIsExpanded(bool value)
{
    m_isExpanded = value;
    emit isExpandedChanged(value);
}

void PiPController::setIsPresented(bool value)
{
    m_isPresented = value;
    emit isPresentedChanged(value);
}

void PiPController::setCorner(Corner value)
{
    m_corner = value;
    emit cornerChanged(value);
}

void PiPController::setAutoShowOnShare(bool value)
{
    m_autoShowOnShare = value;
    emit autoShowOnShareChanged(value);
}

void PiPController::makePanel()
{
    m_panel = std::make_unique<PiPPanel>(m_services,
                                         QRectF(QPointF(), m_contentSize),
                                         platform::kWindowStyleMaskNonactivatingPanel,
                                         platform::BackingStoreType::Buffered,
                                         false);
    m_panel->setOpaque(false);
    m_panel->setBackgroundColor(Qt::transparent);
    m_panel->setHasShadow(true);
    m_panel->setLevel(kPanelLevel);
    m_panel->setCollectionBehavior(platform::kWindowCollectionBehaviorCanJoinAllSpaces
                                   | platform::kWindowCollectionBehaviorIgnoresCycle
                                   | platform::kWindowCollectionBehaviorFullScreenAuxiliary);
    m_panel->setHidesOnDeactivate(false);
    m_panel->setReleasedWhenClosed(false);
    // Only the drag moves the panel.
    m_panel->setMovableByWindowBackground(false);
    // The audience must never see the preview of itself.
    m_panel->setSharingType(platform::WindowSharingType::None);
    auto* view = new PiPView(m_windowManager, *this, m_maskEditor);
    m_panel->setContentView(view);
    kit::TooltipHost::attach(view);
}

void PiPController::show()
{
    if (!m_panel) {
        makePanel();
    }
    setIsVisible(true);
    if (m_services.defaults != nullptr) {
        m_services.defaults->setObject(true, visibleKey);
    }
    // A panel still fading out keeps its place and its alpha.
    if (!m_panel->isVisible()) {
        m_alpha.set(0);
        m_panel->setAlphaValue(0);
        if (const auto screen = targetScreen()) {
            m_panel->setFrame(frame(m_corner, *screen), true);
        }
    }
    m_panel->orderFrontRegardless();
    scheduler().post(this, [this] {
        if (m_isVisible) {
            kit::withAnimation(kit::respectingReduceMotion(kit::Animation::spring(0.3, 1.0, 0)),
                               [this] { setIsPresented(true); });
        }
    });
    if (kit::reduceMotion()) {
        m_alpha.set(1);
    } else {
        m_alpha.animate(1, kit::Animation::timingCurve(0.16, 1.0, 0.3, 1.0, kFadeDuration));
    }
}

void PiPController::hide()
{
    if (!m_panel) {
        return;
    }
    setIsVisible(false);
    if (m_services.defaults != nullptr) {
        m_services.defaults->setObject(false, visibleKey);
    }
    kit::withAnimation(kit::respectingReduceMotion(kit::Animation::timingCurve(0.16, 1.0, 0.3, 1.0, 0.16)),
                       [this] { setIsPresented(false); });
    if (kit::reduceMotion()) {
        m_hideCompletion.cancel();
        m_alpha.set(0);
        m_panel->orderOut();
        return;
    }
    m_alpha.animate(0, kit::Animation::easeInOut(kHideFadeDuration));
    m_hideCompletion = scheduler().after(kHideFadeDuration, [this] { hideFinished(); });
}

void PiPController::hideFinished()
{
    // A show during the fade keeps the panel.
    if (!m_isVisible && m_panel) {
        m_panel->orderOut();
    }
}

QList<platform::Screen> PiPController::screens() const
{
    return m_services.screens != nullptr ? m_services.screens->screens() : QList<platform::Screen>();
}

std::optional<platform::Screen> PiPController::targetScreen() const
{
    const QList<platform::Screen> all = screens();
    QList<platform::Screen> eligible;
    for (const platform::Screen& screen : all) {
        if (screen.localizedName != kVirtualDisplayName) {
            eligible.append(screen);
        }
    }
    const auto find = [&eligible](std::optional<quint32> id) -> std::optional<platform::Screen> {
        if (!id) {
            return std::nullopt;
        }
        for (const platform::Screen& screen : eligible) {
            if (screen.displayID() == id) {
                return screen;
            }
        }
        return std::nullopt;
    };
    if (auto saved = find(m_displayID)) {
        return saved;
    }
    // The main screen too must be one the user can see: never the shared virtual display.
    if (m_services.windowServer != nullptr) {
        if (auto main = find(m_services.windowServer->mainDisplayID())) {
            return main;
        }
    }
    if (!eligible.isEmpty()) {
        return eligible.front();
    }
    // Only the shared display is left: the panel waits for one the user can see.
    return std::nullopt;
}

QRectF PiPController::frame(Corner corner, const platform::Screen& screen) const
{
    return PiPPlacement::cornerFrame(corner, visibleFrameOf(screen), m_contentSize);
}

void PiPController::shareStateChanged(bool isDetected)
{
    if (isDetected) {
        if (m_autoShowOnShare && !m_isVisible) {
            show();
            m_openedBySharing = true;
        }
        return;
    }
    if (m_openedBySharing) {
        m_openedBySharing = false;
        hide();
    }
}

void PiPController::screensChanged()
{
    if (!m_panel || !m_isVisible) {
        return;
    }
    if (const auto screen = targetScreen()) {
        stopFrameAnimation();
        m_panel->setFrame(frame(m_corner, *screen), true);
    }
}

void PiPController::contentSizeChanged(const QSizeF& size)
{
    const bool usable =
        std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0;
    if (!usable || size == m_contentSize) {
        return;
    }
    m_contentSize = size;
    if (!m_panel || !m_isVisible || m_dragStart) {
        return;
    }
    const auto screen = targetScreen();
    if (!screen) {
        m_panel->setFrame(QRectF(m_panel->frame().topLeft(), size), true);
        return;
    }
    const QRectF target = frame(m_corner, *screen);
    if (kit::reduceMotion()) {
        stopFrameAnimation();
        m_panel->setFrame(target, true);
    } else {
        animateFrame(target, QPointF(), PiPPlacement::kResizeDampingRatio);
    }
}

std::optional<platform::Screen> PiPController::screenContaining(QPointF point) const
{
    for (const platform::Screen& screen : screens()) {
        if (screen.frame.contains(point)) {
            return screen;
        }
    }
    return targetScreen();
}

void PiPController::setPanelOrigin(QPointF origin)
{
    if (!m_panel || !isFinite(origin)) {
        return;
    }
    m_panel->setFrame(QRectF(origin, m_panel->frame().size()), true);
}

QPointF PiPController::clampOrigin(QPointF origin, const QRectF& visibleFrame) const
{
    const QSizeF size = m_panel ? m_panel->frame().size() : m_contentSize;
    return PiPPlacement::clampOrigin(origin, size, visibleFrame);
}

void PiPController::dragChanged()
{
    if (!m_panel) {
        return;
    }
    stopFrameAnimation();
    const QPointF mouse = m_services.events != nullptr ? m_services.events->mouseLocation() : QPointF();
    const double now = scheduler().now();
    if (!m_dragStart) {
        m_dragStart = DragStart{mouse, m_panel->frame().topLeft()};
        m_dragSamples.clear();
    }
    const QPointF wanted = m_dragStart->origin + (mouse - m_dragStart->mouse);
    const auto screen = screenContaining(mouse);
    setPanelOrigin(screen ? clampOrigin(wanted, visibleFrameOf(*screen)) : wanted);
    m_dragSamples.append({mouse, now});
    m_dragSamples = PiPPlacement::recentSamples(m_dragSamples, now);
}

QPointF PiPController::releaseVelocity() const
{
    return PiPPlacement::releaseVelocity(m_dragSamples, scheduler().now());
}

void PiPController::dragEnded()
{
    if (!m_panel) {
        return;
    }
    m_dragStart.reset();
    const QPointF velocity = releaseVelocity();
    m_dragSamples.clear();
    const QPointF centre = m_panel->frame().center();
    if (const auto screen = screenContaining(centre)) {
        const QPointF projected = PiPPlacement::projectedPoint(centre, velocity);
        setCorner(PiPPlacement::cornerFor(projected, visibleFrameOf(*screen)));
        m_displayID = screen->displayID();
        if (platform::UserDefaults* defaults = m_services.defaults) {
            defaults->setObject(PiPPlacement::rawValue(m_corner), cornerKey);
            if (m_displayID) {
                defaults->setObject(qint64{*m_displayID}, displayKey);
            }
        }
    }
    snapToCorner(true, velocity);
}

void PiPController::snapToCorner(bool animated, QPointF velocity)
{
    if (!m_panel || !m_isVisible) {
        return;
    }
    const auto screen = targetScreen();
    if (!screen) {
        return;
    }
    const QRectF target = frame(m_corner, *screen);
    if (animated && !kit::reduceMotion()) {
        animateFrame(target, velocity, PiPPlacement::kSnapDampingRatio);
        return;
    }
    stopFrameAnimation();
    m_panel->setFrame(target, true);
}

void PiPController::animateFrame(const QRectF& target, QPointF velocity, double dampingRatio)
{
    if (!m_panel) {
        return;
    }
    stopFrameAnimation();
    m_panel->setFrame(QRectF(m_panel->frame().topLeft(), target.size()), true);
    m_frameAnimation = std::make_unique<FrameAnimation>();
    m_frameAnimation->target = target;
    m_frameAnimation->velocity = isFinite(velocity) ? velocity : QPointF();
    m_frameAnimation->dampingRatio = dampingRatio;
    m_frameAnimation->previousTime = scheduler().now();
    // Stepped at the display's rate; the handle stops it with the animation.
    m_frameAnimation->link = scheduler().every(kFrameInterval, [this] { stepFrameAnimation(); });
}

void PiPController::stopFrameAnimation()
{
    m_frameAnimation.reset();
}

void PiPController::stepFrameAnimation()
{
    if (!m_frameAnimation) {
        return;
    }
    if (!m_panel) {
        stopFrameAnimation();
        return;
    }
    FrameAnimation& spring = *m_frameAnimation;
    const double now = scheduler().now();
    const double dt = std::min(now - spring.previousTime, PiPPlacement::kLongestStep);
    spring.previousTime = now;
    const PiPPlacement::SpringStep step = PiPPlacement::stepSpring(
        m_panel->frame().topLeft(), spring.target.topLeft(), spring.velocity, spring.dampingRatio, dt);
    spring.velocity = step.velocity;
    if (step.settled) {
        const QRectF target = spring.target;
        stopFrameAnimation();
        m_panel->setFrame(target, true);
        return;
    }
    setPanelOrigin(step.origin);
}
