// The program's own windows and what the shell builds on them: pointer input, the status bar in
// the simulated menu bar, popovers.
#include "platform/Window.h"

#include "platform/Popover.h"
#include "platform/Services.h"
#include "platform/StatusBar.h"
#include "platform/Values.h"
#include "platform/Workspace.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimStatusBar.h"

#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;
using platform::sim::SimStatusBar;

namespace {

class ClosingDelegate final : public WindowDelegate
{
public:
    void windowWillClose() override { ++closes; }
    int closes = 0;
};

class UnconstrainedWindow final : public Window
{
public:
    using Window::Window;
    QRectF constrainFrameRect(const QRectF& frame, const std::optional<Screen>& /*screen*/) const override
    {
        return frame;
    }
};

// A desktop with one 1512 x 982 point display and the services windows need.
struct Desk
{
    Desk()
    {
        desktop.addDisplay();
        services.screens = &desktop;
        services.appWindows = &desktop;
        services.events = &desktop;
    }
    std::unique_ptr<Window> window(const QRectF& frame)
    {
        return std::make_unique<Window>(
            services, frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    }
    void click(QPointF point)
    {
        desktop.mouseDown(point);
        desktop.mouseUp(point);
    }

    SimDesktop desktop;
    Services services;
};

// Fills itself with its colour and counts how often it was painted.
class CountingView final : public QWidget
{
public:
    QColor colour = Qt::red;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), colour);
    }
};

} // namespace

TEST(Window, OnlyTheWindowServerDrawsItAndHearsOfEveryRepaintItsWidgetsAskFor)
{
    Desk d;
    auto window = d.window(QRectF(0, 100, 200, 100));
    auto* view = new CountingView;
    window->setContentView(view);
    window->orderFrontRegardless();
    const quint32 number = window->windowNumber();
    sim::SimCompositor compositor(d.desktop);
    const auto shown = [&] {
        return compositor.renderDisplay(d.desktop.mainDisplayID(), {1512, 982}).pixelColor(100, 150);
    };
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), QColor(Qt::red));
    const int drawn = view->paints;
    EXPECT_GE(drawn, 1);

    // Repaints asked for go to the window server, which counts them; Qt paints nothing itself.
    for (int i = 0; i < 3; ++i) {
        const quint64 version = d.desktop.windowContentVersion(number);
        const quint64 generation = d.desktop.contentGeneration();
        view->colour = i % 2 == 0 ? Qt::blue : Qt::green;
        view->update();
        QCoreApplication::processEvents();
        EXPECT_GT(d.desktop.windowContentVersion(number), version) << i;
        EXPECT_GT(d.desktop.contentGeneration(), generation) << i;
    }
    view->repaint();
    EXPECT_EQ(view->paints, drawn) << "nobody looks at a backing store of its own";
    EXPECT_EQ(shown(), QColor(Qt::blue)) << "the window server draws it as it is now";
    EXPECT_EQ(view->paints, drawn + 1);
}

TEST(Window, TheWindowServerDrawsAgainOnlyWhereItsWidgetsRepaintedAndThatEqualsAWholeDrawing)
{
    Desk d;
    auto window = d.window(QRectF(0, 100, 300, 200));
    auto* content = new QWidget;
    auto* left = new CountingView;
    left->setParent(content);
    left->setGeometry(0, 0, 100, 90);
    // Opaque: Qt would copy it within its own store when it moves.
    auto* right = new CountingView;
    right->setParent(content);
    right->setAttribute(Qt::WA_OpaquePaintEvent);
    right->colour = Qt::blue;
    right->setGeometry(200, 0, 100, 90);
    // A shadow reaches beyond its view.
    auto* shadowed = new CountingView;
    shadowed->setParent(content);
    shadowed->colour = Qt::yellow;
    shadowed->setGeometry(120, 20, 40, 40);
    auto* shadow = new QGraphicsDropShadowEffect;
    shadow->setOffset(6, 6);
    shadow->setBlurRadius(8);
    shadowed->setGraphicsEffect(shadow);
    // Scrolled by Qt as a copy of its pixels too.
    auto* scroll = new QScrollArea(content);
    scroll->setGeometry(0, 100, 300, 100);
    auto* stripes = new QWidget;
    auto* column = new QVBoxLayout(stripes);
    for (int i = 0; i < 12; ++i) {
        auto* stripe = new CountingView;
        stripe->colour = QColor::fromHsv(i * 30, 200, 220);
        stripe->setFixedHeight(30);
        column->addWidget(stripe);
    }
    scroll->setWidget(stripes);
    window->setContentView(content);
    window->orderFrontRegardless();

    const quint32 display = d.desktop.mainDisplayID();
    const QSize pixels(3024, 1964);
    const QRect shown(0, 200, 600, 400); // the window at the display's two pixels a point
    sim::SimCompositor kept(d.desktop);
    kept.setKeepsWindowSurfaces(true);
    int rightDrawn = 0; // by the last drawing with the surfaces kept
    const auto check = [&](const char* change) {
        SCOPED_TRACE(change);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        const int paints = right->paints;
        const QImage partly = kept.renderSeen(display, pixels).copy(shown);
        rightDrawn = right->paints - paints;
        sim::SimCompositor fresh(d.desktop);
        fresh.setKeepsWindowSurfaces(true);
        EXPECT_EQ(partly, fresh.renderSeen(display, pixels).copy(shown));
    };
    check("first drawing");

    left->colour = Qt::green;
    left->update();
    check("one view repainted");
    EXPECT_EQ(rightDrawn, 0) << "a view nothing changed over is not drawn again";

    right->move(150, 0);
    check("an opaque view moved");
    shadowed->colour = Qt::magenta;
    shadowed->update();
    check("a view with a shadow repainted");
    scroll->verticalScrollBar()->setValue(70);
    check("scrolled");
    window->setFrame(QRectF(0, 100, 280, 200), true);
    check("the window made narrower");
}

TEST(Window, IsThisProgramsWindowInTheWindowServerAndKeepsBelowTheMenuBar)
{
    Desk d;
    auto window = d.window(QRectF(10, 40, 300, 200));
    const quint32 number = window->windowNumber();
    ASSERT_NE(number, 0U);
    EXPECT_FALSE(d.desktop.isWindowOnScreen(number)) << "created ordered out";

    window->setLevel(kStatusWindowLevel);
    window->setSharingType(WindowSharingType::None);
    window->orderFrontRegardless();
    const auto listed = d.desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
    ASSERT_TRUE(listed && !listed->isEmpty());
    const auto& description = listed->front();
    EXPECT_EQ(uint32Value(description.value(kCGWindowNumber)), number);
    EXPECT_EQ(int32Value(description.value(kCGWindowOwnerPID)), d.desktop.ownProcessIdentifier());
    EXPECT_EQ(integerValue(description.value(kCGWindowLayer)), 25);
    EXPECT_EQ(integerValue(description.value(kCGWindowSharingState)), 0);

    window->orderOut();
    EXPECT_FALSE(d.desktop.isWindowOnScreen(number));

    // Closing tells the delegate once per showing.
    ClosingDelegate delegate;
    window->setDelegate(&delegate);
    window->orderFrontRegardless();
    window->close();
    window->close();
    EXPECT_EQ(delegate.closes, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(d.desktop.isWindowOnScreen(number));
    window->orderFrontRegardless();
    window->close();
    EXPECT_EQ(delegate.closes, 2);
    window.reset();
    EXPECT_FALSE(d.desktop.window(number)) << "gone with the window";

    // Frames keep below the menu bar unless a subclass says otherwise.
    d.desktop.setMenuBarHeight(24);
    const Screen screen = d.desktop.screens().front();
    Window plain(
        d.services, screen.frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false, screen);
    plain.setFrame(screen.frame, true);
    EXPECT_EQ(plain.frame(), QRectF(0, 24, 1512, 982));
    EXPECT_EQ(d.desktop.window(plain.windowNumber())->bounds, QRectF(0, 24, 1512, 982));
    plain.setFrame(QRectF(100, 300, 200, 100), true);
    EXPECT_EQ(plain.frame(), QRectF(100, 300, 200, 100));

    UnconstrainedWindow full(
        d.services, screen.frame, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false, screen);
    full.setFrame(screen.frame, true);
    EXPECT_EQ(full.frame(), screen.frame);
}

TEST(SimDesktopPointer, AMouseDownReachesTheWidgetUnderThePointerInTheFrontmostWindowOrStatusItem)
{
    Desk d;
    auto below = d.window(QRectF(100, 100, 200, 100));
    auto above = d.window(QRectF(150, 120, 200, 100));
    auto* belowButton = new QPushButton(QStringLiteral("below"));
    auto* aboveButton = new QPushButton(QStringLiteral("above"));
    for (QPushButton* b : {belowButton, aboveButton}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding); // fills its window
    }
    below->setContentView(belowButton);
    above->setContentView(aboveButton);
    below->orderFrontRegardless();
    above->orderFrontRegardless();
    QSignalSpy belowClicks(belowButton, &QPushButton::clicked);
    QSignalSpy aboveClicks(aboveButton, &QPushButton::clicked);
    QList<QPointF> monitored;
    const Cancellable monitor = d.desktop.addMouseDownMonitor([&](QPointF p) { monitored.append(p); });

    const quint64 before = d.desktop.currentEventNumber();
    d.click(QPointF(160, 130)); // both windows: the front one takes it
    d.click(QPointF(110, 110)); // only the back one
    EXPECT_EQ(aboveClicks.count(), 1);
    EXPECT_EQ(belowClicks.count(), 1);
    EXPECT_EQ(monitored, (QList<QPointF>{{160, 130}, {110, 110}}));
    EXPECT_GT(d.desktop.currentEventNumber(), before);
    EXPECT_EQ(d.desktop.mouseLocation(), QPointF(110, 110));

    above->setIgnoresMouseEvents(true); // clicks pass through it
    d.click(QPointF(160, 130));
    EXPECT_EQ(belowClicks.count(), 2);

    // A click on another app's window brings that app to the front.
    const pid_type notes = d.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"));
    d.desktop.addWindow(notes, QStringLiteral("Notes"), QRectF(0, 300, 300, 300));
    d.desktop.activate(true);
    ASSERT_TRUE(d.desktop.isActive());
    d.desktop.mouseDown(QPointF(50, 350));
    EXPECT_EQ(d.desktop.frontmostApplication()->processIdentifier(), notes);
    EXPECT_FALSE(d.desktop.isActive());

    // Status items sit right to left in the menu bar at the status level.
    SimStatusBar bar(d.desktop);
    auto first = bar.statusItem(StatusBar::kVariableLength);
    auto second = bar.statusItem(30);
    StatusImage image;
    image.image = QImage(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.image.fill(Qt::black);
    image.size = QSizeF(16, 16);
    first->button()->setImage(image);
    const double right = 1512 - SimStatusBar::kRightMargin;
    EXPECT_EQ(first->button()->screenFrame(), QRectF(right - 24, 0, 24, 24))
        << "16 points of image and 4 each side";
    EXPECT_EQ(second->button()->screenFrame(), QRectF(right - 24 - 30, 0, 30, 24));

    const auto number = d.desktop.windowAt(QPointF(right - 12, 12));
    ASSERT_TRUE(number);
    EXPECT_EQ(d.desktop.window(*number)->layer, kStatusWindowLevel);
    int clicks = 0;
    first->button()->setAction([&] { ++clicks; });
    d.click(QPointF(right - 12, 12));
    EXPECT_EQ(clicks, 1);

    first.reset();
    EXPECT_EQ(second->button()->screenFrame(), QRectF(right - 30, 0, 30, 24)) << "moves into the freed room";
}

// A window server hands a press, its drags and its release to the window under the pointer at the
// press, even when the activation that press makes puts another window of the program in front
// of it on its level (as the pinned overlays come in front of the mask editor at an activation).
TEST(SimDesktopPointer, APressItsDragsAndItsReleaseStayWithTheWindowUnderThePointerAtThePress)
{
    class KeyPanel final : public Window
    {
    public:
        using Window::Window;
        bool canBecomeKeyWindow() const override { return true; }
    };
    class Recorder final : public QWidget
    {
    public:
        QList<QEvent::Type> events;

    protected:
        void mousePressEvent(QMouseEvent* e) override { events << e->type(); }
        void mouseMoveEvent(QMouseEvent* e) override { events << e->type(); }
        void mouseReleaseEvent(QMouseEvent* e) override { events << e->type(); }
    };
    Desk d;
    constexpr qint64 kLevel = 1000;
    KeyPanel editor(
        d.services, QRectF(0, 100, 600, 600), kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    auto overlay = d.window(QRectF(100, 200, 200, 200));
    auto* drawing = new Recorder;
    auto* covering = new Recorder;
    editor.setContentView(drawing);
    overlay->setContentView(covering);
    for (Window* w : {static_cast<Window*>(overlay.get()), static_cast<Window*>(&editor)}) {
        w->setLevel(kLevel);
        w->orderFrontRegardless();
    }
    // Another app is active; when this one becomes active, the overlay is ordered in front.
    const pid_type notes = d.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"));
    d.desktop.activateApp(notes);
    const Cancellable reorders = d.desktop.notificationCenter().addObserver(
        kWorkspaceDidActivateApplication, [&](const Notification&) { overlay->orderFrontRegardless(); });
    ASSERT_EQ(d.desktop.windowAt(QPointF(150, 250)), editor.windowNumber());

    d.desktop.mouseDown(QPointF(150, 250));
    d.desktop.mouseMoved(QPointF(200, 300));
    d.desktop.mouseUp(QPointF(250, 350));
    EXPECT_TRUE(d.desktop.isActive());
    EXPECT_EQ(d.desktop.windowAt(QPointF(150, 250)), overlay->windowNumber()) << "ordered in front meanwhile";
    EXPECT_EQ(drawing->events,
              (QList<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}));
    EXPECT_TRUE(covering->events.isEmpty());

    // The next press goes to the overlay now in front.
    d.click(QPointF(150, 250));
    EXPECT_EQ(covering->events, (QList<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseButtonRelease}));
}

TEST(SimDesktopPointer, MovesEnterAndLeaveWidgetsAndAPersonSeesWindowsNoCaptureSees)
{
    Desk d;
    auto window = d.window(QRectF(100, 100, 200, 100));
    auto* content = new QWidget;
    auto* child = new QWidget(content);
    child->setGeometry(0, 0, 50, 50);
    child->setAutoFillBackground(true);
    child->setPalette(QPalette(Qt::red));
    window->setContentView(content);
    window->orderFrontRegardless();
    QStringList events;
    struct Recorder final : QObject
    {
        Recorder(QStringList& into, QString called)
            : log(into)
            , name(std::move(called))
        {}
        bool eventFilter(QObject* /*watched*/, QEvent* e) override
        {
            if (e->type() == QEvent::Enter || e->type() == QEvent::Leave) {
                log << name + (e->type() == QEvent::Enter ? QStringLiteral("+") : QStringLiteral("-"));
            }
            return false;
        }
        QStringList& log;
        QString name;
    };
    Recorder contentRecorder(events, QStringLiteral("content"));
    Recorder childRecorder(events, QStringLiteral("child"));
    content->installEventFilter(&contentRecorder);
    child->installEventFilter(&childRecorder);
    d.desktop.mouseMoved(QPointF(10, 10));
    d.desktop.mouseMoved(QPointF(120, 120)); // the child
    d.desktop.mouseMoved(QPointF(250, 150)); // the content only
    d.desktop.mouseMoved(QPointF(500, 500)); // outside
    EXPECT_EQ(events, (QStringList{"content+", "child+", "child-", "content-"}));

    // Kept out of captures, the window is still on the display for the person in front of it.
    window->setSharingType(WindowSharingType::None);
    const sim::SimCompositor compositor(d.desktop);
    const quint32 display = d.desktop.mainDisplayID();
    EXPECT_EQ(compositor.renderSeen(display, QSize(1512, 982)).pixelColor(110, 110), QColor(Qt::red));
    EXPECT_NE(compositor.renderDisplay(display, QSize(1512, 982)).pixelColor(110, 110), QColor(Qt::red));
}

TEST(Popover, SitsBelowTheRectangleOnTheScreenAndATransientOneClosesOnAClickOutside)
{
    const QSizeF size(350, 680);
    const QRectF screen(0, 24, 1512, 958);
    struct Case
    {
        QRectF anchor;
        RectEdge edge;
        QRectF expected;
    };
    const Case cases[] = {
        {QRectF(700, 0, 24, 24), RectEdge::MinY, QRectF(537, 24 + Popover::kArrowGap, 350, 680)},
        {QRectF(1480, 0, 24, 24), RectEdge::MinY, QRectF(1162, 30, 350, 680)}, // kept on the screen
        {QRectF(0, 0, 24, 24), RectEdge::MinY, QRectF(0, 30, 350, 680)},
        {QRectF(700, 900, 24, 24), RectEdge::MaxY, QRectF(537, 900 - 6 - 680, 350, 680)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Popover::frameFor(size, c.anchor, c.edge, screen), c.expected);
    }

    // A transient popover closes on a click outside it only.
    Desk d;
    Popover popover(d.services);
    popover.setContentSize(QSizeF(200, 100));
    popover.setContentView(new QWidget);
    popover.setBehavior(PopoverBehavior::Transient);
    popover.show(QRectF(500, 0, 24, 24), RectEdge::MinY);
    ASSERT_TRUE(popover.isShown() && popover.contentWindow()->isVisible());

    d.desktop.mouseDown(popover.contentWindow()->frame().center());
    EXPECT_TRUE(popover.isShown()) << "a click inside";
    EXPECT_EQ(popover.closedByEventNumber(), 0U);
    d.desktop.mouseDown(QPointF(10, 500));
    EXPECT_FALSE(popover.isShown());
    EXPECT_FALSE(popover.contentWindow()->isVisible());
    EXPECT_EQ(popover.closedByEventNumber(), d.desktop.currentEventNumber());

    popover.setBehavior(PopoverBehavior::ApplicationDefined);
    popover.show(QRectF(500, 0, 24, 24), RectEdge::MinY);
    d.desktop.mouseDown(QPointF(10, 500));
    EXPECT_TRUE(popover.isShown()) << "only its owner closes it";
    popover.performClose();
    EXPECT_FALSE(popover.isShown());
}
