#include "platform/Window.h"

#include "platform/Services.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QVBoxLayout>
#include <QWidget>
#include <QtWidgets/private/qwidget_p.h>
#include <QtWidgets/private/qwidgetrepaintmanager_p.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace platform {

namespace {

Window* g_keyWindow = nullptr;

// The title bar's three buttons at the top-left corner: close (red, active), then miniaturise and
// zoom, drawn grey because these windows offer neither.
class TitlebarButtons final : public QWidget
{
public:
    static constexpr double kDiameter = 12;
    static constexpr double kSpacing = 8;
    static constexpr double kInset = 8;

    TitlebarButtons(QWidget* parent, std::function<void()> close)
        : QWidget(parent)
        , m_close(std::move(close))
    {
        setObjectName(QStringLiteral("windowCloseButton"));
        const int width = static_cast<int>(3 * kDiameter + 2 * kSpacing);
        setGeometry(static_cast<int>(kInset), static_cast<int>(kInset), width, static_cast<int>(kDiameter));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor colors[] = {
            QColor(0xff, 0x5f, 0x57), QColor(0x4a, 0x4b, 0x50), QColor(0x4a, 0x4b, 0x50)};
        for (int i = 0; i < 3; ++i) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colors[i]);
            painter.drawEllipse(QRectF(i * (kDiameter + kSpacing), 0, kDiameter, kDiameter));
        }
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->position().x() <= kDiameter && m_close) {
            m_close();
        }
        event->accept();
    }

private:
    std::function<void()> m_close;
};

// What Qt would paint of a window at its next repaint, in the window's coordinates: what was
// invalidated as a whole and what each view asked for (a view's effect's reach included). Qt has
// no public way to tell; its repaint manager keeps both lists.
QRegion pendingRepaint(QWidget* root)
{
    const QWidgetRepaintManager* manager = QWidgetPrivate::get(root)->maybeRepaintManager();
    if (manager == nullptr) {
        return {};
    }
    QRegion region = manager->dirtyRegion();
    for (QWidget* view : manager->dirtyWidgetList()) {
        region += QWidgetPrivate::get(view)->dirty.translated(view->mapTo(root, QPoint()));
    }
    return region & root->rect();
}

} // namespace

// The window's top widget. Qt would paint the widgets into a backing store for the host's screen
// at every repaint they ask for; nobody looks at that store (the window server draws the widgets
// itself when a picture of the window is wanted), so each repaint is passed on to the window
// server as where the window's content changed, and Qt's pending one is dropped unpainted. Never
// painted, Qt's store is never sized either, so Qt never moves pixels within it: a view that moves
// or scrolls asks to be repainted where it lands, as any other change does.
class Window::Root final : public QWidget
{
public:
    explicit Root(Window& window)
        : m_window(window)
    {
        setAttribute(Qt::WA_DontShowOnScreen);
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest) {
            return QWidget::event(event);
        }
        const QRegion dirty = isVisible() ? pendingRepaint(this) : QRegion();
        // Qt drops a repaint of a hidden window along with its dirty regions; while this one
        // looks hidden, that is all its repaint does.
        setAttribute(Qt::WA_WState_Visible, false);
        QWidget::event(event);
        setAttribute(Qt::WA_WState_Visible, true);
        if (m_window.m_server != nullptr && !dirty.isEmpty()) {
            m_window.m_server->windowContentChanged(m_window.m_number, dirty);
        }
        return true;
    }

private:
    Window& m_window;
};

Window::Window(const Services& services,
               const QRectF& contentRect,
               std::uint64_t styleMask,
               BackingStoreType /*backing*/,
               bool /*defer*/,
               std::optional<Screen> screen)
    : m_server(services.appWindows)
    , m_screens(services.screens)
    , m_root(std::make_unique<Root>(*this))
    , m_frame(contentRect)
    , m_styleMask(styleMask)
    , m_screen(std::move(screen))
{
    auto* layout = new QVBoxLayout(m_root.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The frame belongs to the window, not to what it holds: a content view's minimum size does
    // not resize or constrain the window.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    m_root->resize(m_frame.size().toSize());
    applyBackground();
    if (m_server != nullptr) {
        m_number = m_server->registerWindow(m_root.get(), m_frame);
        m_server->setWindowSharingType(m_number, m_sharingType);
        m_server->setWindowKeyHandler(m_number, [this] {
            makeKeyWindow();
            return isKeyWindow();
        });
    }
    addTitlebarButtons();
}

void Window::addTitlebarButtons()
{
    const std::uint64_t closable = kWindowStyleMaskTitled | kWindowStyleMaskClosable;
    if ((m_styleMask & closable) != closable) {
        return;
    }
    m_closeButton = new TitlebarButtons(m_root.get(), [this] { close(); });
    m_closeButton->raise();
}

Window::~Window()
{
    if (g_keyWindow == this) {
        g_keyWindow = nullptr;
    }
    if (m_server != nullptr) {
        m_server->unregisterWindow(m_number);
    }
}

void Window::setContentView(QWidget* view)
{
    if (m_contentView) {
        delete m_contentView.data();
    }
    m_contentView = view;
    if (view != nullptr) {
        m_root->layout()->addWidget(view);
    }
    if (m_closeButton != nullptr) {
        m_closeButton->raise();
    }
}

void Window::setFrame(const QRectF& frame, bool /*display*/)
{
    m_frame = constrainFrameRect(frame, m_screen);
    m_root->resize(m_frame.size().toSize());
    if (m_server != nullptr) {
        m_server->setWindowFrame(m_number, m_frame);
    }
}

QRectF Window::constrainFrameRect(const QRectF& frame, const std::optional<Screen>& screen) const
{
    if (!screen || m_screens == nullptr) {
        return frame;
    }
    const double visibleTop = screen->frame.top() + m_screens->menuBarHeight();
    if (frame.top() >= visibleTop) {
        return frame;
    }
    QRectF constrained = frame;
    constrained.moveTop(visibleTop);
    return constrained;
}

void Window::setOpaque(bool opaque)
{
    m_opaque = opaque;
    applyBackground();
}

void Window::setBackgroundColor(const QColor& color)
{
    m_backgroundColor = color;
    applyBackground();
}

void Window::applyBackground()
{
    QPalette palette = m_root->palette();
    palette.setColor(QPalette::Window, m_backgroundColor);
    m_root->setPalette(palette);
    m_root->setAutoFillBackground(m_opaque);
}

void Window::setSharingType(WindowSharingType type)
{
    m_sharingType = type;
    if (m_server != nullptr) {
        m_server->setWindowSharingType(m_number, type);
    }
}

void Window::setIgnoresMouseEvents(bool ignores)
{
    m_ignoresMouseEvents = ignores;
    m_root->setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
    if (m_server != nullptr) {
        m_server->setWindowIgnoresMouseEvents(m_number, ignores);
    }
}

void Window::setLevel(qint64 level)
{
    m_level = level;
    if (m_server != nullptr) {
        m_server->setWindowLevel(m_number, level);
    }
}

void Window::orderFrontRegardless()
{
    m_visible = true;
    m_closed = false;
    m_root->show();
    if (m_server != nullptr) {
        m_server->orderWindowFront(m_number);
    }
}

void Window::setAlphaValue(double alpha)
{
    m_alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
    if (m_server != nullptr) {
        m_server->setWindowAlpha(m_number, m_alpha);
    }
}

void Window::center()
{
    std::optional<Screen> screen = m_screen;
    if (!screen && m_screens != nullptr && !m_screens->screens().isEmpty()) {
        screen = m_screens->screens().front();
    }
    if (!screen) {
        return;
    }
    const QRectF visible = screen->visibleFrame.isEmpty() ? screen->frame : screen->visibleFrame;
    QRectF frame = m_frame;
    frame.moveLeft(visible.center().x() - frame.width() / 2);
    // A third of the spare height above, two thirds below: a little above the middle.
    frame.moveTop(visible.top() + std::max(0.0, visible.height() - frame.height()) / 3);
    setFrame(frame, true);
}

bool Window::canBecomeKeyWindow() const
{
    return (m_styleMask & (kWindowStyleMaskTitled | kWindowStyleMaskResizable)) != 0;
}

void Window::makeKeyWindow()
{
    if (!canBecomeKeyWindow()) {
        return;
    }
    g_keyWindow = this;
    if (m_contentView && m_root->focusWidget() == nullptr && m_contentView->focusPolicy() != Qt::NoFocus) {
        m_contentView->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (m_server != nullptr) {
        m_server->setKeyWindow(m_number);
    }
}

void Window::makeKeyAndOrderFront()
{
    orderFrontRegardless();
    makeKeyWindow();
}

bool Window::isKeyWindow() const
{
    return g_keyWindow == this && m_visible;
}

void Window::orderOut()
{
    if (g_keyWindow == this) {
        g_keyWindow = nullptr;
    }
    m_visible = false;
    m_root->hide();
    if (m_server != nullptr) {
        m_server->orderWindowOut(m_number);
    }
}

void Window::close()
{
    // A closed window closing again says nothing more.
    if (m_closed) {
        return;
    }
    m_closed = true;
    if (m_delegate != nullptr) {
        m_delegate->windowWillClose();
    }
    orderOut();
}

} // namespace platform
