// Typing and scrolling in the desktop viewer reach the simulated desktop as a window server
// delivers them, and the viewer opens as large as the screen allows.
#include "platform/EventMonitor.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/VirtualScheduler.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::DesktopViewer;

namespace {

// Notes the key and wheel events that reach it; takes wheel events only when asked to.
class InputLog final : public QWidget
{
public:
    explicit InputLog(QStringList& log, QString name, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_log(log)
        , m_name(std::move(name))
    {
        setFocusPolicy(Qt::StrongFocus);
    }
    bool takesWheel = false;
    QPoint pixelDelta;

protected:
    void keyPressEvent(QKeyEvent* e) override { m_log << m_name + " +" + QKeySequence(e->key()).toString(); }
    void keyReleaseEvent(QKeyEvent* e) override
    {
        m_log << m_name + " -" + QKeySequence(e->key()).toString();
    }
    void wheelEvent(QWheelEvent* e) override
    {
        m_log << m_name + " wheel";
        pixelDelta = e->pixelDelta();
        e->setAccepted(takesWheel);
    }

private:
    QStringList& m_log;
    QString m_name;
};

struct Desk
{
    Desk()
    {
        desktop.addDisplay();
        desktop.setHotKeySystem(&hotKeys);
        services.screens = &desktop;
        services.appWindows = &desktop;
        viewer.resize(1000, 700);
        viewer.show();
        viewer.refresh();
    }
    // One of the program's windows whose content view logs what reaches it.
    std::unique_ptr<Window> window(const QString& name, const QRectF& frame, std::uint64_t style)
    {
        auto window = std::make_unique<Window>(services, frame, style, BackingStoreType::Buffered, false);
        window->setContentView(new InputLog(log, name));
        window->orderFrontRegardless();
        viewer.refresh();
        return window;
    }
    QWindow* handle() const { return viewer.windowHandle(); }
    QPoint at(QPointF location) const
    {
        return viewer.viewPoint(location).value_or(QPointF(-1, -1)).toPoint();
    }
    void click(QPointF location) { QTest::mouseClick(handle(), Qt::LeftButton, {}, at(location)); }
    void key(QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers, bool repeat = false)
    {
        qt_handleKeyEvent(handle(), type, key, modifiers, QString(), repeat);
    }
    QStringList take() { return std::exchange(log, {}); }

    sim::SimDesktop desktop;
    sim::SimHotKeySystem hotKeys;
    sim::VirtualScheduler scheduler;
    Services services;
    DesktopViewer viewer{desktop, scheduler};
    QStringList log;
};

} // namespace

TEST(SimDesktopKeyboard, HotKeysTakeTheirKeysFirstTheRestGoesToTheKeyWindowOfTheFrontmostAppOnce)
{
    Desk d;
    int presses = 0;
    d.hotKeys.installEventHandler(
        d.hotKeys.applicationEventTarget(),
        [](EventHandlerCallRef, EventRef, void* count) {
            ++*static_cast<int*>(count);
            return noErr;
        },
        1,
        std::array{EventTypeSpec{kEventClassKeyboard, kEventHotKeyPressed}}.data(),
        &presses,
        nullptr);
    EventHotKeyRef ref = nullptr;
    ASSERT_EQ(d.hotKeys.registerEventHotKey(
                  keycode::kH, cmdKey | shiftKey, {}, d.hotKeys.applicationEventTarget(), 0, &ref),
              noErr);
    d.hotKeys.claimForOtherApplication(keycode::kP, cmdKey | shiftKey | optionKey);
    const auto left = d.window("left", QRectF(100, 100, 300, 200), kWindowStyleMaskTitled);
    const auto right = d.window("right", QRectF(500, 100, 300, 200), kWindowStyleMaskTitled);
    const auto panel = d.window("panel", QRectF(100, 500, 300, 200), kWindowStyleMaskBorderless);
    int monitored = 0;
    const auto monitor = EventMonitor::addLocalMonitorForEvents(
        kEventMaskKeyDown | kEventMaskKeyUp | kEventMaskFlagsChanged, [&monitored](const KeyEvent& e) {
            ++monitored;
            return std::optional(e);
        });

    // With another app in front, a click on the Dock, or on a borderless window, leaves the keys
    // where they were; on a titled one it makes that window key and this app the active one.
    const pid_type notes = d.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"));
    d.desktop.activateApp(notes);
    sim::SimDesktop::AppSpec dock;
    dock.bundleID = QStringLiteral("com.apple.dock");
    dock.policy = ActivationPolicy::Accessory;
    d.desktop.addWindow(d.desktop.launchApp(dock), QStringLiteral("Dock"), QRectF(500, 600, 300, 60));
    d.viewer.refresh();
    d.click(QPointF(650, 630));
    d.click(QPointF(250, 600));
    EXPECT_EQ(d.desktop.frontmostApplication()->processIdentifier(), notes);
    EXPECT_FALSE(panel->isKeyWindow() || d.desktop.isActive());
    d.click(QPointF(250, 200));
    EXPECT_TRUE(left->isKeyWindow() && d.desktop.isActive());
    EXPECT_EQ(d.desktop.keyWindow(), left->windowNumber());
    QTest::keyClick(d.handle(), Qt::Key_A);
    EXPECT_EQ(d.take(), (QStringList{"left +A", "left -A"}));
    EXPECT_EQ(monitored, 2) << "each event seen once";

    // ⇧⌘H is a hot key: its press, repeats and release never reach the window; the modifiers do.
    d.key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    d.key(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    d.key(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier, true);
    d.key(QEvent::KeyPress, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    d.key(QEvent::KeyPress, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier, true);
    d.key(QEvent::KeyRelease, Qt::Key_H, Qt::ShiftModifier | Qt::ControlModifier);
    // A combination another app holds is kept from this one too.
    d.key(QEvent::KeyPress, Qt::Key_Alt, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    d.key(QEvent::KeyPress, Qt::Key_P, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(d.take(), (QStringList{"left +Shift", "left +Control", "left +Alt"}));

    // Keys still down when the viewer loses the keyboard are let go of on the desktop too.
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(&d.viewer, &out);
    EXPECT_EQ(d.take(), (QStringList{"left -Alt", "left -Control", "left -Shift"}));

    // The key window leaving the screen passes the keys to the frontmost window that can take
    // them; with none left, only the app's monitors see the keys.
    d.click(QPointF(650, 200));
    ASSERT_TRUE(right->isKeyWindow());
    right->orderOut();
    EXPECT_TRUE(left->isKeyWindow());
    left->orderOut();
    EXPECT_EQ(d.desktop.keyWindow(), 0U);
    monitored = 0;
    QTest::keyClick(d.handle(), Qt::Key_Return);
    EXPECT_EQ(std::pair(d.take(), monitored), std::pair(QStringList(), 2));
    EventMonitor::removeMonitor(monitor.value_or(0));
}

TEST(DesktopViewer, OpensAsLargeAsTheScreenAllowsAndPassesScrollingOnInPoints)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    sim::SimDesktop desktop;
    sim::VirtualScheduler scheduler;
    const quint32 builtIn = desktop.addDisplay();
    const auto aspect = [](QSizeF size) {
        return size.width() / size.height();
    };
    {
        DesktopViewer viewer(desktop, scheduler);
        viewer.show();
        viewer.refresh();
        const QSizeF picture = viewer.picture(builtIn).deviceIndependentSize();
        EXPECT_TRUE(available.size().boundedTo(viewer.size()) == viewer.size());
        EXPECT_TRUE(viewer.width() > available.width() * 0.9 || viewer.height() > available.height() * 0.9);
        EXPECT_NEAR(aspect(picture), 1512.0 / 982.0, 0.02);
        EXPECT_GT(picture.width(), viewer.width() * 0.9) << "the picture fills its pane";
        EXPECT_GT(picture.height(), viewer.height() * 0.8);

        // A second display joins: side by side at one height, the window takes the screen's width.
        sim::SimDesktop::DisplaySpec wide;
        wide.frame = QRectF(1512, 0, 2560, 1080);
        const quint32 second = desktop.addDisplay(wide);
        viewer.refresh();
        EXPECT_LE(viewer.width(), available.width());
        EXPECT_GT(viewer.width(), available.width() * 0.9);
        EXPECT_NEAR(viewer.picture(builtIn).deviceIndependentSize().height(),
                    viewer.picture(second).deviceIndependentSize().height(),
                    1.5);
        EXPECT_NEAR(aspect(viewer.picture(second).deviceIndependentSize()), 2560.0 / 1080.0, 0.02);

        // Once the user has sized it, it keeps their size.
        viewer.resize(600, 300);
        desktop.removeDisplay(second);
        viewer.refresh();
        EXPECT_EQ(viewer.size(), QSize(600, 300));
    }

    Desk d;
    const auto window = d.window("content", QRectF(100, 100, 300, 200), kWindowStyleMaskBorderless);
    auto* content = static_cast<InputLog*>(window->contentView());
    auto* child = new InputLog(d.log, QStringLiteral("child"), content);
    child->setGeometry(0, 0, 100, 100);
    child->show();
    content->takesWheel = true;
    // The child under the pointer lets it go on to its parent; a touchpad's travel on the picture
    // is as many of the display's points.
    const QPoint point = d.at(QPointF(150, 150));
    QWheelEvent wheel(
        point, point, QPoint(0, 10), QPoint(0, 120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(d.handle(), &wheel);
    EXPECT_EQ(d.take(), (QStringList{"child wheel", "content wheel"}));
    const double pointsPerPixel =
        1512 / d.viewer.picture(d.desktop.mainDisplayID()).deviceIndependentSize().width();
    EXPECT_EQ(content->pixelDelta, QPoint(0, qRound(10 * pointsPerPixel)));
}
