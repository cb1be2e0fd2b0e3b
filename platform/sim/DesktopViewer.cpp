#include "platform/sim/DesktopViewer.h"

#include "platform/sim/SimDesktop.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace platform::sim {

namespace {

QString describe(const SimDesktop::DisplaySpec& setup)
{
    return QStringLiteral("%1 \u2014 %2 \u00d7 %3 pt @%4x")
        .arg(setup.name)
        .arg(setup.frame.width())
        .arg(setup.frame.height())
        .arg(setup.backingScale);
}

} // namespace

// One display: its name and its picture, drawn at the size the pane shows it.
class DesktopViewer::Pane final : public QWidget
{
public:
    Pane(quint32 displayID, QWidget* parent)
        : QWidget(parent)
        , m_displayID(displayID)
        , m_title(new QLabel(this))
        , m_screen(new Screen(this))
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_title);
        layout->addWidget(m_screen, 1);
    }

    // Pointer input on the picture goes to the desktop, in the display's global points.
    void setInput(std::function<void(QEvent::Type, QPointF)> input) { m_screen->input = std::move(input); }
    void setDisplayFrame(const QRectF& frame) { m_screen->displayFrame = frame; }

    quint32 displayID() const { return m_displayID; }
    const QImage& picture() const { return m_screen->picture; }
    QString title() const { return m_title->text(); }

    // Draws the display again when what it shows, or the size it is shown at, changed.
    void redraw(const SimDesktop& desktop, const SimCompositor& compositor)
    {
        const auto setup = desktop.display(m_displayID);
        if (!setup) {
            return;
        }
        m_title->setText(describe(*setup));
        setDisplayFrame(setup->frame);
        // Drawn straight at the size shown, never drawn large and scaled down.
        const QSizeF shown = setup->frame.size().scaled(m_screen->size(), Qt::KeepAspectRatio);
        QSize pixels = (shown * m_screen->devicePixelRatioF()).toSize();
        if (pixels.isEmpty()) {
            pixels = QSize(1, 1);
        }
        if (showsSame(desktop, pixels)) {
            return;
        }
        // A virtual display shows what its audience is sent; a real one what the user sees.
        const auto scene = compositor.displayScene(m_displayID, !desktop.isVirtualDisplay(m_displayID));
        if (!scene) {
            return;
        }
        m_drawnGeneration = desktop.generation();
        m_drawnContents.clear();
        for (const auto& window : scene->windows) {
            if (window.setup.content) {
                m_drawnContents.emplace_back(window.number, desktop.windowContentVersion(window.number));
            }
        }
        QByteArray key = compositor.displayKey(*scene, pixels);
        if (key == m_drawnKey && !m_screen->picture.isNull()) {
            return;
        }
        drawPicture(*scene, pixels, compositor);
        m_drawnKey = std::move(key);
        m_screen->update();
    }

    // The pixel size the picture is wanted at now.
    QSize wantedSize() const { return (m_screen->size() * m_screen->devicePixelRatioF()); }
    QSize drawnSize() const { return m_drawnSize; }
    void setDrawnSize(QSize size) { m_drawnSize = size; }

    // The widget the picture is painted on.
    QWidget* screen() const { return m_screen; }
    void setResized(std::function<void()> resized) { m_screen->resized = std::move(resized); }

private:
    // Neither the desktop nor the content of this application's windows on the display changed
    // since the picture was drawn at this size: no need to work out what it shows.
    bool showsSame(const SimDesktop& desktop, QSize pixels) const
    {
        return !m_screen->picture.isNull() && m_screen->picture.size() == pixels
               && m_drawnGeneration == desktop.generation()
               && std::all_of(
                   m_drawnContents.cbegin(), m_drawnContents.cend(), [&desktop](const auto& drawn) {
                       return desktop.windowContentVersion(drawn.first) == drawn.second;
                   });
    }

    // Into the picture shown so far when nobody else holds it: a new frame costs no allocation.
    void drawPicture(const SimCompositor::Scene& scene, QSize pixels, const SimCompositor& compositor)
    {
        QImage& picture = m_screen->picture;
        if (picture.size() != pixels || !picture.isDetached()
            || picture.format() != QImage::Format_ARGB32_Premultiplied) {
            picture = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        }
        picture.setDevicePixelRatio(1); // drawn in pixels
        compositor.render(scene, picture, false);
        picture.setDevicePixelRatio(m_screen->devicePixelRatioF());
    }

    class Screen final : public QWidget
    {
    public:
        explicit Screen(QWidget* parent)
            : QWidget(parent)
        {
            setMinimumSize(160, 100);
            setMouseTracking(true);
            setAttribute(Qt::WA_OpaquePaintEvent);
        }

        QImage picture;
        QRectF displayFrame;
        std::function<void(QEvent::Type, QPointF)> input;
        std::function<void()> resized;

        // Where a point of this widget lies on the display; none off the picture.
        std::optional<QPointF> toDisplay(QPointF point) const
        {
            if (picture.isNull() || displayFrame.isEmpty()) {
                return std::nullopt;
            }
            const QSizeF size = picture.deviceIndependentSize();
            const QRectF shown(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
            if (!shown.contains(point) || shown.isEmpty()) {
                return std::nullopt;
            }
            return displayFrame.topLeft()
                   + QPointF((point.x() - shown.x()) * displayFrame.width() / shown.width(),
                             (point.y() - shown.y()) * displayFrame.height() / shown.height());
        }

    protected:
        void mousePressEvent(QMouseEvent* event) override { forward(QEvent::MouseButtonPress, event); }
        void mouseMoveEvent(QMouseEvent* event) override { forward(QEvent::MouseMove, event); }
        void mouseReleaseEvent(QMouseEvent* event) override { forward(QEvent::MouseButtonRelease, event); }

        void forward(QEvent::Type type, QMouseEvent* event)
        {
            if (event->button() != Qt::LeftButton && type != QEvent::MouseMove) {
                return;
            }
            const auto point = toDisplay(event->position());
            if (point && input) {
                input(type, *point);
            } else if (type == QEvent::MouseButtonRelease && input) {
                // A drag that ends off the picture still ends.
                input(type, displayFrame.topLeft());
            }
        }

        void resizeEvent(QResizeEvent* /*event*/) override
        {
            if (resized) {
                resized();
            }
        }

        void paintEvent(QPaintEvent* /*event*/) override
        {
            // The picture is opaque: the backdrop goes only where it cannot be, so each pixel is
            // painted about once.
            QPainter painter(this);
            QRegion backdrop(rect());
            QPointF at;
            if (!picture.isNull()) {
                const QSizeF size = picture.deviceIndependentSize();
                at = QPointF((width() - size.width()) / 2, (height() - size.height()) / 2);
                const QRectF shown(at, size);
                backdrop -= QRect(QPoint(static_cast<int>(std::ceil(shown.left())),
                                         static_cast<int>(std::ceil(shown.top()))),
                                  QPoint(static_cast<int>(std::floor(shown.right())) - 1,
                                         static_cast<int>(std::floor(shown.bottom())) - 1));
            }
            for (const QRect& part : backdrop) {
                painter.fillRect(part, QColor(0x15, 0x16, 0x18));
            }
            if (!picture.isNull()) {
                painter.drawImage(at, picture);
            }
        }
    };

    quint32 m_displayID;
    QLabel* m_title = nullptr;
    Screen* m_screen = nullptr;
    QByteArray m_drawnKey;
    QSize m_drawnSize;
    // What the picture was drawn from: the desktop's generation and this application's windows on
    // it with their content versions.
    std::optional<quint64> m_drawnGeneration;
    std::vector<std::pair<quint32, quint64>> m_drawnContents;
};

DesktopViewer::DesktopViewer(SimDesktop& desktop, Scheduler& scheduler, QWidget* parent)
    : QWidget(parent)
    , m_desktop(desktop)
    , m_scheduler(scheduler)
    , m_compositor(desktop)
    , m_panes(new QHBoxLayout(this))
{
    m_compositor.setKeepsWindowSurfaces(true);
    setWindowTitle(QStringLiteral("Veilmox \u2014 simulated displays"));
    resize(1280, 480);
    rebuild();
    refresh();
    m_screenChanges = m_desktop.defaultCenter().addObserver(kApplicationDidChangeScreenParameters,
                                                            [this](const Notification&) { rebuild(); });
    m_desktopChanges = m_desktop.addChangeObserver([this] { scheduleRefresh(); });
}

DesktopViewer::~DesktopViewer() = default;

void DesktopViewer::rebuild()
{
    if (displayIDs() == m_desktop.displayIDs()) {
        return;
    }
    for (Pane* pane : m_paneList) {
        delete pane;
    }
    m_paneList.clear();
    for (const quint32 id : m_desktop.displayIDs()) {
        auto* pane = new Pane(id, this);
        pane->setInput([this](QEvent::Type type, QPointF point) {
            if (type == QEvent::MouseButtonPress) {
                m_desktop.mouseDown(point);
            } else if (type == QEvent::MouseButtonRelease) {
                m_desktop.mouseUp(point);
            } else {
                m_desktop.mouseMoved(point);
            }
        });
        pane->setResized([this] { scheduleRefresh(); });
        m_panes->addWidget(pane, 1);
        pane->setVisible(true);
        m_paneList.push_back(pane);
    }
}

void DesktopViewer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scheduleRefresh();
}

void DesktopViewer::scheduleRefresh()
{
    if (m_pendingRefresh.isActive()) {
        return;
    }
    const double wait =
        m_lastRefresh ? std::max(0.0, *m_lastRefresh + kMinimumRefreshInterval - m_scheduler.now()) : 0.0;
    m_pendingRefresh = m_scheduler.after(wait, [this] {
        if (isVisible()) {
            refresh();
        }
    });
}

void DesktopViewer::refresh()
{
    m_lastRefresh = m_scheduler.now();
    // The repaints the program's windows asked for so far count, and are drawn now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    m_pendingRefresh.cancel();
    // Nothing on any display changed, nor the size a pane shows it at: nothing to look at.
    const std::pair generation(m_desktop.generation(), m_desktop.contentGeneration());
    const bool resized = std::any_of(m_paneList.cbegin(), m_paneList.cend(), [](const Pane* pane) {
        return pane->wantedSize() != pane->drawnSize();
    });
    if (generation == m_drawnGeneration && !resized) {
        return;
    }
    // Taken before drawing: a repaint that drawing makes a window ask for is drawn next time.
    m_drawnGeneration = generation;
    for (Pane* pane : m_paneList) {
        pane->redraw(m_desktop, m_compositor);
        pane->setDrawnSize(pane->wantedSize());
    }
}

QList<quint32> DesktopViewer::displayIDs() const
{
    QList<quint32> ids;
    for (const Pane* pane : m_paneList) {
        ids.append(pane->displayID());
    }
    return ids;
}

QImage DesktopViewer::picture(quint32 displayID) const
{
    for (const Pane* pane : m_paneList) {
        if (pane->displayID() == displayID) {
            return pane->picture();
        }
    }
    return {};
}

QWidget* DesktopViewer::displayView(quint32 displayID) const
{
    for (const Pane* pane : m_paneList) {
        if (pane->displayID() == displayID) {
            return pane->screen();
        }
    }
    return nullptr;
}

QString DesktopViewer::title(quint32 displayID) const
{
    for (const Pane* pane : m_paneList) {
        if (pane->displayID() == displayID) {
            return pane->title();
        }
    }
    return {};
}

} // namespace platform::sim
