#include "platform/Popover.h"

#include "platform/Events.h"
#include "platform/Screens.h"

#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {

QColor backgroundFor(Appearance appearance)
{
    return appearance == Appearance::DarkAqua ? QColor(0x1e, 0x1f, 0x22) : QColor(0xec, 0xec, 0xec);
}

// A popover's window has no title bar, yet takes typing: a click in it makes it key.
class PopoverWindow final : public Window
{
public:
    using Window::Window;
    bool canBecomeKeyWindow() const override { return true; }
};

} // namespace

Popover::Popover(const Services& services)
    : m_services(services)
{}

Popover::~Popover() = default;

void Popover::setContentSize(const QSizeF& size)
{
    m_contentSize = size;
    if (m_window) {
        QRectF frame = m_window->frame();
        frame.setSize(size);
        m_window->setFrame(frame, true);
    }
}

void Popover::setAppearance(Appearance appearance)
{
    m_appearance = appearance;
    applyAppearance();
}

void Popover::applyAppearance()
{
    if (m_window) {
        m_window->setBackgroundColor(backgroundFor(m_appearance));
    }
    QWidget* view = m_contentView.data();
    if (view == nullptr) {
        return;
    }
    QPalette palette = view->palette();
    const bool dark = m_appearance == Appearance::DarkAqua;
    palette.setColor(QPalette::Window, backgroundFor(m_appearance));
    palette.setColor(QPalette::WindowText, dark ? QColor(Qt::white) : QColor(Qt::black));
    palette.setColor(QPalette::Text, dark ? QColor(Qt::white) : QColor(Qt::black));
    palette.setColor(QPalette::ButtonText, dark ? QColor(Qt::white) : QColor(Qt::black));
    view->setPalette(palette);
}

void Popover::setContentView(QWidget* view)
{
    m_contentView = view;
    if (m_window) {
        m_window->setContentView(view);
    } else {
        m_pendingView.reset(view);
    }
    applyAppearance();
}

QRectF Popover::frameFor(const QSizeF& size,
                         const QRectF& positioningRect,
                         RectEdge edge,
                         const std::optional<QRectF>& visibleFrame)
{
    QRectF frame(QPointF(), size);
    const QPointF center = positioningRect.center();
    switch (edge) {
    case RectEdge::MinY:
        frame.moveTopLeft(QPointF(center.x() - size.width() / 2, positioningRect.bottom() + kArrowGap));
        break;
    case RectEdge::MaxY:
        frame.moveBottomLeft(QPointF(center.x() - size.width() / 2, positioningRect.top() - kArrowGap));
        break;
    case RectEdge::MinX:
        frame.moveTopRight(QPointF(positioningRect.left() - kArrowGap, center.y() - size.height() / 2));
        break;
    case RectEdge::MaxX:
        frame.moveTopLeft(QPointF(positioningRect.right() + kArrowGap, center.y() - size.height() / 2));
        break;
    }
    if (visibleFrame && !visibleFrame->isEmpty()) {
        // Slide along the edge to stay on the screen, where the screen is wide enough.
        if (edge == RectEdge::MinY || edge == RectEdge::MaxY) {
            const double right = std::max(visibleFrame->left(), visibleFrame->right() - size.width());
            frame.moveLeft(std::clamp(frame.left(), visibleFrame->left(), right));
        } else {
            const double bottom = std::max(visibleFrame->top(), visibleFrame->bottom() - size.height());
            frame.moveTop(std::clamp(frame.top(), visibleFrame->top(), bottom));
        }
    }
    return frame;
}

void Popover::show(const QRectF& positioningRect, RectEdge preferredEdge)
{
    if (!m_window) {
        m_window = std::make_unique<PopoverWindow>(m_services,
                                                   QRectF(QPointF(), m_contentSize),
                                                   kWindowStyleMaskBorderless,
                                                   BackingStoreType::Buffered,
                                                   false);
        m_window->setLevel(kDefaultLevel);
        m_window->setHasShadow(true);
        if (m_pendingView) {
            m_window->setContentView(m_pendingView.release());
        }
        applyAppearance();
    }
    std::optional<QRectF> visible;
    if (m_services.screens != nullptr) {
        const QList<Screen> screens = m_services.screens->screens();
        for (const Screen& screen : screens) {
            if (screen.frame.contains(positioningRect.center())) {
                visible = screen.visibleFrame.isEmpty() ? screen.frame : screen.visibleFrame;
                break;
            }
        }
        if (!visible && !screens.isEmpty()) {
            visible = screens.front().visibleFrame;
        }
    }
    m_window->setFrame(frameFor(m_contentSize, positioningRect, preferredEdge, visible), true);
    m_window->orderFrontRegardless();
    m_shown = true;
    if (m_behavior == PopoverBehavior::Transient && m_services.events != nullptr) {
        m_clickMonitor =
            m_services.events->addMouseDownMonitor([this](QPointF location) { mouseDown(location); });
    }
}

void Popover::mouseDown(QPointF location)
{
    if (!m_shown || !m_window || m_window->frame().contains(location)) {
        return;
    }
    m_closedByEvent = m_services.events != nullptr ? m_services.events->currentEventNumber() : 0;
    performClose();
}

void Popover::performClose()
{
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_clickMonitor.cancel();
    if (m_window) {
        m_window->orderOut();
    }
}

} // namespace platform
