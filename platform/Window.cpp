#include "platform/Window.h"

#include "platform/Services.h"

#include <QPalette>
#include <QVBoxLayout>
#include <QWidget>

namespace platform {

Window::Window(const Services& services,
               const QRectF& contentRect,
               std::uint64_t styleMask,
               BackingStoreType /*backing*/,
               bool /*defer*/,
               std::optional<Screen> screen)
    : m_server(services.appWindows)
    , m_screens(services.screens)
    , m_root(std::make_unique<QWidget>())
    , m_frame(contentRect)
    , m_styleMask(styleMask)
    , m_screen(std::move(screen))
{
    // The widgets live only on the system's displays, drawn by the window server.
    m_root->setAttribute(Qt::WA_DontShowOnScreen);
    auto* layout = new QVBoxLayout(m_root.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_root->resize(m_frame.size().toSize());
    applyBackground();
    if (m_server != nullptr) {
        m_number = m_server->registerWindow(m_root.get(), m_frame);
        m_server->setWindowSharingType(m_number, m_sharingType);
    }
}

Window::~Window()
{
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

void Window::orderOut()
{
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
