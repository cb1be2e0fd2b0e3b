#include "platform/sim/DesktopViewer.h"

#include "platform/AtomicFile.h"
#include "platform/BoundedRead.h"
#include "platform/EventMonitor.h"
#include "platform/PropertyList.h"
#include "platform/sim/SimDesktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>

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
        // A long title is cut off at the pane's edge; it never makes the window wider.
        m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(m_title);
        layout->addWidget(m_screen, 1);
    }

    // Pointer input on the picture goes to the desktop, in the display's global points.
    void setInput(std::function<void(QEvent::Type, QPointF)> input) { m_screen->input = std::move(input); }
    // Scrolling on the picture, with how many of the display's points one of the picture's is.
    void setWheel(std::function<void(QPointF, const QWheelEvent&, double)> wheel)
    {
        m_screen->wheel = std::move(wheel);
    }
    void setDisplayFrame(const QRectF& frame) { m_screen->displayFrame = frame; }

    // Where the picture shows a point of the display, in `viewer`'s coordinates.
    std::optional<QPointF> viewPoint(QPointF location, const QWidget* viewer) const
    {
        const auto point = m_screen->fromDisplay(location);
        return point ? std::optional(QPointF(m_screen->mapTo(viewer, *point))) : std::nullopt;
    }
    // The height the title takes above the picture.
    int titleHeight() const { return m_title->fontMetrics().height() + layout()->spacing(); }

    quint32 displayID() const { return m_displayID; }
    const QImage& picture() const { return m_screen->picture; }
    QString title() const { return m_title->text(); }

    // Draws the display again where what it shows changed, or all of it when the size it is
    // shown at did, and has only that part of the widget painted again.
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
        const quint64 serial = desktop.damageSerial();
        QImage& picture = m_screen->picture;
        std::optional<QRegion> damaged;
        if (!picture.isNull() && picture.size() == pixels && m_drawnSerial
            && picture.format() == QImage::Format_ARGB32_Premultiplied && m_drawnFrame == setup->frame) {
            if (const auto points = desktop.damageSince(*m_drawnSerial)) {
                damaged = SimCompositor::pixelsOf(*points, setup->frame, pixels);
                if (damaged->isEmpty()) {
                    return; // nothing on this display changed
                }
            }
        }
        // A virtual display shows what its audience is sent; a real one what the user sees. Only
        // what lies where something changed, when that is all that is drawn.
        const QRect within =
            damaged ? SimCompositor::pointsOf(
                SimCompositor::pixelsToDraw(*damaged, setup->frame, pixels), setup->frame, pixels)
                    : setup->frame.toAlignedRect();
        const auto scene =
            compositor.displayScene(m_displayID, !desktop.isVirtualDisplay(m_displayID), &within);
        if (!scene) {
            return;
        }
        m_drawnSerial = serial;
        m_drawnFrame = setup->frame;
        picture.setDevicePixelRatio(1); // drawn in pixels
        if (damaged) {
            const QRegion drawn = SimCompositor::pixelsToDraw(*damaged, setup->frame, pixels);
            compositor.render(*scene, picture, false, &drawn);
        } else {
            if (picture.size() != pixels || picture.format() != QImage::Format_ARGB32_Premultiplied) {
                picture = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            }
            compositor.render(*scene, picture, false);
        }
        picture.setDevicePixelRatio(m_screen->devicePixelRatioF());
        compositor.dropUnusedSurfaces();
        if (damaged) {
            m_screen->update(m_screen->widgetRegion(*damaged));
        } else {
            m_screen->update();
        }
    }

    // The pixel size the picture is wanted at now.
    QSize wantedSize() const { return (m_screen->size() * m_screen->devicePixelRatioF()); }
    QSize drawnSize() const { return m_drawnSize; }
    void setDrawnSize(QSize size) { m_drawnSize = size; }

    // The widget the picture is painted on.
    QWidget* screen() const { return m_screen; }
    void setResized(std::function<void()> resized) { m_screen->resized = std::move(resized); }

private:
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
        std::function<void(QPointF, const QWheelEvent&, double)> wheel;

        // The widget's part that shows these pixels of the picture.
        QRegion widgetRegion(const QRegion& pixels) const
        {
            const QRectF shown = shownRect();
            if (shown.isEmpty()) {
                return {};
            }
            const double ratio = picture.devicePixelRatio();
            QRegion region;
            for (const QRect& r : pixels) {
                region += QRectF(shown.x() + r.x() / ratio,
                                 shown.y() + r.y() / ratio,
                                 r.width() / ratio,
                                 r.height() / ratio)
                              .toAlignedRect();
            }
            return region;
        }

        // Where the picture lies in this widget; empty while there is none.
        QRectF shownRect() const
        {
            if (picture.isNull() || displayFrame.isEmpty()) {
                return {};
            }
            const QSizeF size = picture.deviceIndependentSize();
            return {QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size};
        }

        // Where a point of this widget lies on the display; none off the picture.
        std::optional<QPointF> toDisplay(QPointF point) const
        {
            const QRectF shown = shownRect();
            if (!shown.contains(point) || shown.isEmpty()) {
                return std::nullopt;
            }
            return displayFrame.topLeft()
                   + QPointF((point.x() - shown.x()) * displayFrame.width() / shown.width(),
                             (point.y() - shown.y()) * displayFrame.height() / shown.height());
        }

        // Where a point of the display is shown in this widget; none when it is not on it.
        std::optional<QPointF> fromDisplay(QPointF location) const
        {
            const QRectF shown = shownRect();
            if (shown.isEmpty() || !displayFrame.contains(location)) {
                return std::nullopt;
            }
            return shown.topLeft()
                   + QPointF((location.x() - displayFrame.x()) * shown.width() / displayFrame.width(),
                             (location.y() - displayFrame.y()) * shown.height() / displayFrame.height());
        }

    protected:
        void mousePressEvent(QMouseEvent* event) override { forward(QEvent::MouseButtonPress, event); }
        void mouseMoveEvent(QMouseEvent* event) override { forward(QEvent::MouseMove, event); }
        void mouseReleaseEvent(QMouseEvent* event) override { forward(QEvent::MouseButtonRelease, event); }
        // The pointer left the picture: for the desktop it left every display.
        void leaveEvent(QEvent* /*event*/) override
        {
            if (input) {
                input(QEvent::Leave, {});
            }
        }

        void wheelEvent(QWheelEvent* event) override
        {
            const auto point = toDisplay(event->position());
            if (!point || !wheel) {
                event->ignore();
                return;
            }
            wheel(*point, *event, displayFrame.width() / shownRect().width());
        }

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
            } else if (type == QEvent::MouseMove && input) {
                // Beside the picture, in the pane's bars.
                input(QEvent::Leave, {});
            }
        }

        void resizeEvent(QResizeEvent* /*event*/) override
        {
            if (resized) {
                resized();
            }
        }

        void paintEvent(QPaintEvent* event) override
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
            if (picture.isNull()) {
                return;
            }
            // Part by part, a few rows at a time.
            constexpr int kRows = SimCompositor::kRowsPerDraw;
            for (const QRect& part : event->region()) {
                for (int top = part.top(); top <= part.bottom(); top += kRows) {
                    painter.setClipRect(
                        QRect(part.left(), top, part.width(), std::min(kRows, part.bottom() + 1 - top)));
                    painter.drawImage(at, picture);
                }
            }
        }
    };

    quint32 m_displayID;
    QLabel* m_title = nullptr;
    Screen* m_screen = nullptr;
    QSize m_drawnSize;
    // The desktop's changes the picture shows, and where the display was then.
    std::optional<quint64> m_drawnSerial;
    QRectF m_drawnFrame;
};

namespace {

const QString kShowsKey = QStringLiteral("shows");
const QString kDisplayKey = QStringLiteral("display");
const QString kShowsAll = QStringLiteral("all");
const QString kShowsOne = QStringLiteral("display");
// Longer than any display name: a file that holds one is damaged.
constexpr qsizetype kMaxNameLength = 1024;
// Far more than two short strings take.
constexpr qint64 kMaxChoiceFileBytes = qint64(64) * 1024;

} // namespace

DesktopViewer::DesktopViewer(SimDesktop& desktop,
                             Scheduler& scheduler,
                             const QString& choiceFile,
                             QWidget* parent)
    : QWidget(parent)
    , m_desktop(desktop)
    , m_scheduler(scheduler)
    , m_compositor(desktop)
    , m_choiceFile(choiceFile)
    , m_panes(new QBoxLayout(QBoxLayout::LeftToRight))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kMargin);
    // The buttons never make the window wider: past its edge they are cut off.
    auto* header = new QWidget(this);
    header->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    header->setFixedHeight(kChoiceHeight);
    m_choices = new QHBoxLayout(header);
    m_choices->setContentsMargins(0, 0, 0, 0);
    m_choices->setSpacing(kChoiceSpacing);
    m_choices->addStretch(1);
    layout->addWidget(header);
    layout->addLayout(m_panes, 1);
    if (!m_choiceFile.isEmpty()) {
        // Anything else in the file (an older or damaged one) leaves the main display shown.
        const platform::FileContents file = platform::readRegularFile(m_choiceFile, kMaxChoiceFileBytes);
        const QVariantMap stored =
            file.isRead() ? plist::readDictionary(file.bytes).value_or(QVariantMap()) : QVariantMap();
        const QVariant shows = stored.value(kShowsKey);
        const QVariant name = stored.value(kDisplayKey);
        if (shows.typeId() == QMetaType::QString && shows.toString() == kShowsAll) {
            m_choice.all = true;
        } else if (shows.typeId() == QMetaType::QString && shows.toString() == kShowsOne
                   && name.typeId() == QMetaType::QString && name.toString().size() <= kMaxNameLength) {
            m_choice.name = name.toString();
        }
    }
    m_compositor.setKeepsWindowSurfaces(true);
    setWindowTitle(QStringLiteral("Veilmox \u2014 simulated displays"));
    // Typing here is the desktop's keyboard, never the application's own.
    setFocusPolicy(Qt::StrongFocus);
    EventMonitor::ignoreEventsOf(this);
    rebuild();
    refresh();
    m_screenChanges = m_desktop.defaultCenter().addObserver(kApplicationDidChangeScreenParameters,
                                                            [this](const Notification&) { rebuild(); });
    m_desktopChanges = m_desktop.addChangeObserver([this] { scheduleRefresh(); });
}

DesktopViewer::~DesktopViewer() = default;

QString DesktopViewer::standardChoiceFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/veilmox/desktop-viewer.plist");
}

void DesktopViewer::rebuild()
{
    if (displayIDs() == m_desktop.displayIDs()) {
        return;
    }
    for (Pane* pane : m_paneList) {
        delete pane;
    }
    m_paneList.clear();
    for (QPushButton* button : m_choiceButtons) {
        delete button;
    }
    m_choiceButtons.clear();
    const auto addChoice = [this](const QString& text, const Choice& choice) {
        auto* button = new QPushButton(text, m_choices->parentWidget());
        button->setCheckable(true);
        button->setFixedSize(kChoiceWidth, kChoiceHeight);
        button->setToolTip(text);
        // Typing stays the desktop's keyboard after a click on a button.
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, choice] { choose(choice); });
        m_choices->insertWidget(static_cast<int>(m_choiceButtons.size()), button);
        button->setVisible(true);
        m_choiceButtons.push_back(button);
    };
    addChoice(QStringLiteral("All displays"), Choice{true, {}});
    for (const quint32 id : m_desktop.displayIDs()) {
        const QString name = m_desktop.display(id).value_or(SimDesktop::DisplaySpec()).name;
        const QString text = fontMetrics().elidedText(name, Qt::ElideRight, kChoiceWidth - 16);
        addChoice(text, Choice{false, name});
    }
    for (const quint32 id : m_desktop.displayIDs()) {
        auto* pane = new Pane(id, this);
        pane->setInput([this](QEvent::Type type, QPointF point) {
            if (type == QEvent::MouseButtonPress) {
                m_desktop.mouseDown(point);
            } else if (type == QEvent::MouseButtonRelease) {
                m_desktop.mouseUp(point);
            } else if (type == QEvent::Leave) {
                m_desktop.mouseExited();
            } else {
                m_desktop.mouseMoved(point);
            }
        });
        pane->setWheel([this](QPointF point, const QWheelEvent& event, double pointsPerPixel) {
            scroll(point, event, pointsPerPixel);
        });
        pane->setResized([this] { scheduleRefresh(); });
        m_panes->addWidget(pane, 1);
        m_paneList.push_back(pane);
    }
    applyChoice(false);
}

void DesktopViewer::showAllDisplays()
{
    choose(Choice{true, {}});
}

void DesktopViewer::showDisplay(const QString& name)
{
    choose(Choice{false, name});
}

bool DesktopViewer::showsAllDisplays() const
{
    return m_choice.all;
}

QList<quint32> DesktopViewer::shownDisplayIDs() const
{
    return m_shown;
}

void DesktopViewer::choose(const Choice& choice)
{
    m_choice = choice;
    if (!m_choiceFile.isEmpty()) {
        const QVariantMap stored{{kShowsKey, choice.all ? kShowsAll : kShowsOne}, {kDisplayKey, choice.name}};
        const std::optional<QByteArray> bytes = plist::writeBinary(stored);
        QString error;
        // Not kept, the choice still holds for as long as the viewer is open.
        if (!bytes || !platform::makePrivateFolder(QFileInfo(m_choiceFile).path(), &error)
            || !platform::writeFileAtomically(m_choiceFile, *bytes, 0600, &error)) {
            qWarning("Desktop viewer: the displays shown could not be kept for the next launch: %s",
                     qPrintable(error));
        }
    }
    // Asked for: the window takes the size that shows the choice best.
    applyChoice(true);
}

void DesktopViewer::applyChoice(bool refit)
{
    // The chosen display while it is there, else the main one.
    QList<quint32> shown;
    const QList<quint32> ids = m_desktop.displayIDs();
    if (m_choice.all) {
        shown = ids;
    } else {
        for (const quint32 id : ids) {
            if (!m_choice.name.isEmpty() && m_desktop.display(id)->name == m_choice.name) {
                shown = {id};
                break;
            }
        }
        if (shown.isEmpty() && !ids.isEmpty()) {
            shown = {ids.contains(m_desktop.mainDisplayID()) ? m_desktop.mainDisplayID() : ids.front()};
        }
    }
    for (Pane* pane : m_paneList) {
        pane->setVisible(shown.contains(pane->displayID()));
    }
    const auto settle = [this] {
        // In place at once: a click lands where the buttons are drawn, a picture is drawn at the
        // size its pane now has.
        layout()->activate();
        for (Pane* pane : m_paneList) {
            if (pane->isVisibleTo(this)) {
                pane->layout()->activate();
            }
        }
    };
    for (std::size_t i = 0; i < m_choiceButtons.size(); ++i) {
        const bool chosen = i == 0 ? m_choice.all
                                   : !m_choice.all && shown.size() == 1 && i - 1 < std::size_t(ids.size())
                                         && ids[static_cast<qsizetype>(i - 1)] == shown.front();
        m_choiceButtons[i]->setChecked(chosen);
    }
    settle();
    if (shown == m_shown && !refit) {
        return; // what the user watches keeps its size
    }
    m_shown = shown;
    if (refit) {
        m_fittedSize.reset();
    }
    fitToDisplays();
    settle();
    scheduleRefresh();
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
    const bool resized = std::any_of(m_paneList.cbegin(), m_paneList.cend(), [this](const Pane* pane) {
        return m_shown.contains(pane->displayID()) && pane->wantedSize() != pane->drawnSize();
    });
    if (generation == m_drawnGeneration && !resized) {
        return;
    }
    // Taken before drawing: a repaint that drawing makes a window ask for is drawn next time.
    m_drawnGeneration = generation;
    for (Pane* pane : m_paneList) {
        // A display not shown is drawn once it is.
        if (!m_shown.contains(pane->displayID())) {
            pane->setDrawnSize(QSize());
            continue;
        }
        pane->redraw(m_desktop, m_compositor);
        pane->setDrawnSize(pane->wantedSize());
    }
}

void DesktopViewer::fitToDisplays()
{
    std::vector<Pane*> shown;
    std::vector<QSizeF> frames;
    int titleHeight = 0;
    for (Pane* pane : m_paneList) {
        if (!m_shown.contains(pane->displayID())) {
            continue;
        }
        const auto setup = m_desktop.display(pane->displayID());
        shown.push_back(pane);
        frames.push_back(setup && !setup->frame.isEmpty() ? setup->frame.size() : QSizeF(1, 1));
        titleHeight = std::max(titleHeight, pane->titleHeight());
    }
    const QScreen* host = screen();
    if (shown.empty() || host == nullptr) {
        return;
    }
    // The window manager's frame: known once the window was framed, else a title bar.
    QSize frame = frameGeometry().size() - size();
    if (frame == QSize(0, 0)) {
        frame.setHeight(style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
    const QMargins margins = layout()->contentsMargins();
    const int count = static_cast<int>(shown.size());
    const int gaps = m_panes->spacing() * (count - 1);
    const QSizeF room(host->availableGeometry().size() - frame
                      - QSize(margins.left() + margins.right(),
                              margins.top() + margins.bottom() + kChoiceHeight + layout()->spacing()));
    // Side by side at one height, or one above the other at one width: whichever shows the
    // displays larger.
    double aspects = 0;
    double inverseAspects = 0;
    for (const QSizeF& f : frames) {
        aspects += f.width() / f.height();
        inverseAspects += f.height() / f.width();
    }
    const double rowHeight = std::min((room.width() - gaps) / aspects, room.height() - titleHeight);
    const double columnWidth =
        std::min(room.width(), (room.height() - gaps - count * titleHeight) / inverseAspects);
    double rowScale = HUGE_VAL;
    double columnScale = HUGE_VAL;
    for (const QSizeF& f : frames) {
        rowScale = std::min(rowScale, rowHeight / f.height());
        columnScale = std::min(columnScale, columnWidth / f.width());
    }
    const bool row = count == 1 || rowScale >= columnScale;
    m_panes->setDirection(row ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // Each pane its share of the space: its picture's length along the row or column, and its
    // title in a column.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double share =
            row ? std::max(rowHeight, 1.0) * frames[i].width() / frames[i].height()
                : std::max(columnWidth, 1.0) * frames[i].height() / frames[i].width() + titleHeight;
        m_panes->setStretchFactor(shown[i], std::max(1, qRound(share)));
    }
    // Once the user has sized the window, it stays as they left it until they choose again.
    if (m_fittedSize && size() != *m_fittedSize) {
        return;
    }
    const QSize chrome(margins.left() + margins.right(),
                       margins.top() + margins.bottom() + kChoiceHeight + layout()->spacing());
    QSizeF content;
    if (row && rowHeight > 0) {
        content = QSizeF(rowHeight * aspects + gaps, rowHeight + titleHeight);
    } else if (!row && columnWidth > 0) {
        content = QSizeF(columnWidth, columnWidth * inverseAspects + gaps + count * titleHeight);
    }
    if (!content.isEmpty()) {
        resize((content + QSizeF(chrome)).toSize().expandedTo(minimumSizeHint()));
    }
    m_fittedSize = size();
}

void DesktopViewer::keyPressEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat()) {
        m_keysDown.removeAll(event->key());
        m_keysDown.append(event->key());
    }
    m_desktop.keyEvent(*event);
}

void DesktopViewer::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat()) {
        m_keysDown.removeAll(event->key());
    }
    m_desktop.keyEvent(*event);
}

void DesktopViewer::focusOutEvent(QFocusEvent* event)
{
    // Keys let go of elsewhere are let go of on the desktop too, the last pressed first, each
    // with the modifiers still held after it.
    static const QHash<int, Qt::KeyboardModifier> kModifiers = {{Qt::Key_Control, Qt::ControlModifier},
                                                                {Qt::Key_Shift, Qt::ShiftModifier},
                                                                {Qt::Key_Alt, Qt::AltModifier},
                                                                {Qt::Key_Meta, Qt::MetaModifier},
                                                                {Qt::Key_Super_L, Qt::MetaModifier},
                                                                {Qt::Key_Super_R, Qt::MetaModifier}};
    while (!m_keysDown.isEmpty()) {
        const int key = m_keysDown.takeLast();
        Qt::KeyboardModifiers held;
        for (const int down : std::as_const(m_keysDown)) {
            held |= kModifiers.value(down, Qt::NoModifier);
        }
        m_desktop.keyEvent(QKeyEvent(QEvent::KeyRelease, key, held));
    }
    QWidget::focusOutEvent(event);
}

bool DesktopViewer::focusNextPrevChild(bool /*next*/)
{
    return false;
}

void DesktopViewer::scroll(QPointF location, const QWheelEvent& event, double pointsPerPixel)
{
    SimDesktop::ScrollEvent scroll;
    scroll.angleDelta = event.angleDelta();
    // A touchpad's travel over the picture, as far on the display.
    scroll.pixelDelta = QPointF(event.pixelDelta()) * pointsPerPixel;
    scroll.phase = event.phase();
    scroll.inverted = event.inverted();
    scroll.modifiers = event.modifiers();
    m_desktop.scrollWheel(location, scroll);
}

std::optional<QPointF> DesktopViewer::viewPoint(QPointF location) const
{
    for (const Pane* pane : m_paneList) {
        if (!m_shown.contains(pane->displayID())) {
            continue;
        }
        if (const auto point = pane->viewPoint(location, this)) {
            return point;
        }
    }
    return std::nullopt;
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
