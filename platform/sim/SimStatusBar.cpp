#include "platform/sim/SimStatusBar.h"

#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/SimDesktop.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>

namespace platform::sim {

namespace {

// Status items sit in the menu bar, which ordinary windows are kept below.
class MenuBarWindow final : public Window
{
public:
    using Window::Window;
    QRectF constrainFrameRect(const QRectF& frame, const std::optional<Screen>& /*screen*/) const override
    {
        return frame;
    }
};

// Draws the button; a mouse-down on it is a click.
class ButtonView final : public QWidget
{
public:
    explicit ButtonView(StatusBarButton& button)
        : m_button(button)
    {
        setObjectName(QStringLiteral("statusItemButton"));
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_button.paint(painter, SimStatusBar::templateColor());
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        m_button.performClick();
    }

private:
    StatusBarButton& m_button;
};

Services windowServices(SimDesktop& desktop)
{
    Services services;
    services.appWindows = &desktop;
    services.screens = &desktop;
    return services;
}

} // namespace

class SimStatusBar::Item final : public StatusItem
{
public:
    Item(SimStatusBar& bar, double length)
        : m_bar(bar)
        , m_length(length)
        , m_button(QSizeF(widthFor(length, QSizeF()), bar.m_desktop.menuBarHeight()))
        , m_window(windowServices(bar.m_desktop),
                   m_button.bounds(),
                   kWindowStyleMaskBorderless,
                   BackingStoreType::Buffered,
                   false)
    {
        m_window.setLevel(kStatusWindowLevel);
        m_window.setOpaque(false);
        m_window.setBackgroundColor(Qt::transparent);
        m_window.setHasShadow(false);
        m_view = new ButtonView(m_button);
        m_window.setContentView(m_view);
        m_button.setChangeHandler([this] { buttonChanged(); });
        if (bar.m_mirrorToHostTray && QSystemTrayIcon::isSystemTrayAvailable()) {
            m_tray = std::make_unique<QSystemTrayIcon>();
            QObject::connect(
                m_tray.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason r) {
                    if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::Context) {
                        m_bar.m_desktop.dispatchEvent([this] { m_button.performClick(); });
                    }
                });
            updateTray();
            m_tray->show();
        }
    }

    ~Item() override { m_bar.remove(this); }
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    StatusBarButton* button() override { return &m_button; }
    double width() const { return m_button.bounds().width(); }

    void place(const QRectF& frame)
    {
        m_window.setFrame(frame, true);
        m_button.setScreenFrame(frame);
        m_window.orderFrontRegardless();
    }

private:
    static double widthFor(double length, const QSizeF& imageSize)
    {
        if (length >= 0) {
            return length;
        }
        return imageSize.isEmpty() ? kEmptyWidth : imageSize.width() + 2 * kImagePadding;
    }

    void buttonChanged()
    {
        if (m_inChange) {
            return;
        }
        m_inChange = true;
        const double width = widthFor(m_length, m_button.image().size);
        if (width != m_button.bounds().width()) {
            m_button.setSize(QSizeF(width, m_bar.m_desktop.menuBarHeight()));
            m_bar.layout();
        }
        m_view->update();
        updateTray();
        m_inChange = false;
    }

    void updateTray()
    {
        if (!m_tray) {
            return;
        }
        constexpr double kScale = 2;
        QImage image((m_button.bounds().size() * kScale).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(kScale, kScale);
            // The host's panel colour is unknown; its text colour reads on it.
            m_button.paint(painter, QGuiApplication::palette().color(QPalette::WindowText));
        }
        m_tray->setIcon(QIcon(QPixmap::fromImage(image)));
        m_tray->setToolTip(m_button.toolTip());
    }

    SimStatusBar& m_bar;
    double m_length;
    StatusBarButton m_button;
    MenuBarWindow m_window;
    ButtonView* m_view = nullptr;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    bool m_inChange = false;
};

SimStatusBar::SimStatusBar(SimDesktop& desktop, bool mirrorToHostTray)
    : m_desktop(desktop)
    , m_mirrorToHostTray(mirrorToHostTray)
{
    m_screenChanges = desktop.defaultCenter().addObserver(kApplicationDidChangeScreenParameters,
                                                          [this](const Notification&) { layout(); });
}

SimStatusBar::~SimStatusBar() = default;

std::unique_ptr<StatusItem> SimStatusBar::statusItem(double length)
{
    auto item = std::make_unique<Item>(*this, length);
    m_items.push_back(item.get());
    layout();
    return item;
}

void SimStatusBar::remove(Item* item)
{
    std::erase(m_items, item);
    layout();
}

void SimStatusBar::layout()
{
    const QRectF screen = m_desktop.displayBounds(m_desktop.mainDisplayID());
    double right = screen.right() - kRightMargin;
    for (Item* item : m_items) {
        const double width = item->width();
        item->place(QRectF(right - width, screen.top(), width, m_desktop.menuBarHeight()));
        right -= width;
    }
}

} // namespace platform::sim
