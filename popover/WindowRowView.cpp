#include "popover/WindowRowView.h"

#include "popover/PinButton.h"
#include "popover/RowStyle.h"
#include "popover/TapArea.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transition.h"
#include "shell/kit/VeiledBadge.h"
#include "shell/kit/ViewEffect.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>

WindowRowView::WindowRowView(WindowManager& windowManager,
                             const WindowInfo& window,
                             const QString& fallbackTitle,
                             std::function<void(bool)> onPinned,
                             QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_window(window)
    , m_fallbackTitle(fallbackTitle)
    , m_onPinned(std::move(onPinned))
{
    setObjectName(QStringLiteral("windowRow:%1").arg(window.id));
    for (kit::AnimatedValue* value : {&m_hover, &m_hiddenness}) {
        value->setOnChange([this] { update(); });
    }

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(50, 4, 8, 4);
    row->setSpacing(8);

    m_tapArea = new TapArea;
    auto* area = new QHBoxLayout(m_tapArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(8);
    m_symbol = new kit::SymbolView(QStringLiteral("macwindow"), 10.5, [this] {
        return RowStyle::mix(RowStyle::secondary(), RowStyle::faint(), m_hiddenness.value());
    });
    m_symbol->setFixedWidth(14);
    area->addWidget(m_symbol);
    m_title = new kit::TextView(
        QString(),
        [this] {
            const QColor resting = RowStyle::mix(RowStyle::dim(), Qt::white, m_hover.value());
            return RowStyle::geist(12, RowStyle::mix(resting, RowStyle::secondary(), m_hiddenness.value()));
        },
        kit::TextOptions{0, kit::TextAlignment::Leading, 1});
    m_title->setObjectName(QStringLiteral("windowTitle"));
    area->addWidget(m_title);
    m_badge = new kit::VeiledBadge(QStringLiteral("Hidden"));
    m_badge->hide();
    kit::Presence::of(m_badge).setTransition(RowStyle::badgeTransition());
    area->addWidget(m_badge);
    // The tap reaches across the row's free width up to the pin.
    RowStyle::addSpacer(area, 4);
    row->addWidget(m_tapArea, 1);
    connect(m_tapArea, &TapArea::tapped, this, &WindowRowView::toggleHidden);

    m_pin = new PinButton(22);
    row->addWidget(m_pin);
    connect(m_pin, &PinButton::clicked, this, &WindowRowView::togglePinned);

    m_switch = new kit::FlameToggle;
    m_switch->setObjectName(QStringLiteral("hideSwitch"));
    kit::ViewPose small;
    small.scale = 0.85;
    kit::ViewEffect::on(m_switch).setPose(small);
    row->addWidget(m_switch);
    connect(m_switch, &kit::FlameToggle::toggleRequested, this, &WindowRowView::toggleHidden);

    titleChanged();
    sync();
}

void WindowRowView::setWindow(const WindowInfo& window, const QString& fallbackTitle)
{
    if (window.title == m_window.title && fallbackTitle == m_fallbackTitle) {
        return;
    }
    m_window = window;
    m_fallbackTitle = fallbackTitle;
    titleChanged();
}

QString WindowRowView::displayTitle() const
{
    return m_window.title.isEmpty() ? m_fallbackTitle : m_window.title;
}

void WindowRowView::titleChanged()
{
    const QString title = displayTitle();
    RowStyle::setText(m_title, title);
    RowStyle::setTooltip(m_title, title);
    // Named by what the row shows, so an untitled window's switch is not left nameless.
    m_switch->setAccessibleName(title);
}

void WindowRowView::sync()
{
    const bool hidden = m_windowManager.isHidden(m_window.id, m_window.bundleID);
    const bool pinned = m_windowManager.isPinned(m_window.id, m_window.bundleID);
    if (hidden != m_hidden) {
        m_hidden = hidden;
        const kit::Animation animation = RowStyle::hiddenAnimation();
        m_hiddenness.animate(hidden ? 1 : 0, animation);
        kit::Presence::of(m_badge).setPresent(hidden, animation);
        m_symbol->update();
    }
    m_switch->setOn(hidden);
    RowStyle::setTooltip(
        m_switch, hidden ? QStringLiteral("Show this window") : QStringLiteral("Hide just this window"));
    m_pin->setState(pinned, false);
    m_pin->setHelp(pinned ? QStringLiteral("Unpin this window")
                          : QStringLiteral("Pin on top and set transparency"));
}

void WindowRowView::toggleHidden()
{
    m_windowManager.toggleWindowHidden(m_window.id, m_window.bundleID);
}

void WindowRowView::togglePinned()
{
    const bool wasPinned = m_windowManager.isPinned(m_window.id, m_window.bundleID);
    m_windowManager.toggleWindowPinned(m_window.id, m_window.bundleID);
    if (m_onPinned) {
        m_onPinned(!wasPinned);
    }
}

void WindowRowView::enterEvent(QEnterEvent* /*e*/)
{
    setHovered(true);
}

void WindowRowView::leaveEvent(QEvent* /*e*/)
{
    setHovered(false);
}

void WindowRowView::setHovered(bool hovered)
{
    if (hovered != m_hovered) {
        m_hovered = hovered;
        m_hover.animate(hovered ? 1 : 0, RowStyle::hoverAnimation());
        m_title->update();
    }
}
