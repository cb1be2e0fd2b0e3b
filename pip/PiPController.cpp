#include "pip/PiPController.h"

#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Typography.h"

#include <QPainter>
#include <QWidget>

namespace {

// Stands in for the preview until the view is built: the floating surface and a caption.
class PiPPlaceholderView final : public QWidget
{
public:
    PiPPlaceholderView() { setObjectName(QStringLiteral("pipView")); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF surface = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        kit::FloatingBackgroundStyle::paint(painter, surface, 16);
        const kit::TextLook look = kit::monoMutedLabel(8.5);
        painter.setFont(look.font(this));
        painter.setPen(look.color);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("AUDIENCE PREVIEW"));
    }
};

} // namespace

PiPController::PiPController(const platform::Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    m_alpha.setOnChange([this] {
        if (!m_panel) {
            return;
        }
        m_panel->setAlphaValue(m_alpha.value());
        // The end of a hide's fade orders the panel out, unless it was shown again meanwhile.
        if (!m_isVisible && !m_alpha.isAnimating() && m_alpha.value() == 0) {
            m_panel->orderOut();
        }
    });
    if (m_services.defaults != nullptr && m_services.defaults->hasObject(autoShowKey)) {
        m_autoShowOnShare = m_services.defaults->boolForKey(autoShowKey);
    }
}

PiPController::~PiPController() = default;

PiPController& PiPController::shared()
{
    // Lives until the process ends.
    static auto* instance = new PiPController(platform::Services::current());
    return *instance;
}

void PiPController::setIsVisible(bool value)
{
    m_isVisible = value;
    emit isVisibleChanged(value);
}

void PiPController::setAutoShowOnShare(bool value)
{
    m_autoShowOnShare = value;
    emit autoShowOnShareChanged(value);
}

void PiPController::makePanel()
{
    m_panel = std::make_unique<platform::Window>(m_services,
                                                 QRectF(QPointF(), kContentSize),
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
    // The audience must never see the preview of itself.
    m_panel->setSharingType(platform::WindowSharingType::None);
    m_panel->setContentView(new PiPPlaceholderView);
}

QRectF PiPController::cornerFrame() const
{
    QRectF frame(QPointF(), kContentSize);
    if (m_services.screens == nullptr || m_services.screens->screens().isEmpty()) {
        return frame;
    }
    const platform::Screen screen = m_services.screens->screens().front();
    const QRectF visible = screen.visibleFrame.isEmpty() ? screen.frame : screen.visibleFrame;
    frame.moveBottomRight(visible.bottomRight() - QPointF(kCornerInset, kCornerInset));
    return frame;
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
    if (!m_panel->isVisible()) {
        m_alpha.set(0);
        m_panel->setAlphaValue(0);
        m_panel->setFrame(cornerFrame(), true);
    }
    m_panel->orderFrontRegardless();
    // Panel fades are applied at once under Reduce Motion.
    if (kit::reduceMotion()) {
        m_alpha.set(1);
    } else {
        m_alpha.animate(1, kit::Animation::easeInOut(kFadeDuration));
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
    if (kit::reduceMotion()) {
        m_alpha.set(0);
    } else {
        m_alpha.animate(0, kit::Animation::easeInOut(kHideDuration));
    }
}
