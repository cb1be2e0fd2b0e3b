// Typing and scrolling in the desktop viewer reach the simulated desktop as a window server
// delivers them, and the viewer opens as large as the screen allows.
#include "platform/EventMonitor.h"
#include "platform/PropertyList.h"
#include "platform/Services.h"
#include "platform/Window.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/support/FailingDisk.h"

#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTemporaryDir>
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

        // A second display joins: what the user watches keeps its size and scale.
        const QSize opened = viewer.size();
        sim::SimDesktop::DisplaySpec wide;
        wide.name = QStringLiteral("Wide");
        wide.frame = QRectF(1512, 0, 2560, 1080);
        const quint32 second = desktop.addDisplay(wide);
        viewer.refresh();
        EXPECT_EQ(viewer.size(), opened);
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{builtIn});
        EXPECT_EQ(viewer.picture(builtIn).deviceIndependentSize(), picture);

        // All of them, as asked: side by side at one height or one above the other at one width,
        // the window as large as the screen allows.
        viewer.showAllDisplays();
        viewer.refresh();
        const QSizeF left = viewer.picture(builtIn).deviceIndependentSize();
        const QSizeF right = viewer.picture(second).deviceIndependentSize();
        EXPECT_TRUE(available.size().boundedTo(viewer.size()) == viewer.size());
        EXPECT_TRUE(viewer.width() > available.width() * 0.9 || viewer.height() > available.height() * 0.9);
        EXPECT_TRUE(std::abs(left.height() - right.height()) < 1.5
                    || std::abs(left.width() - right.width()) < 1.5)
            << viewer.width() << "x" << viewer.height() << " " << left.width() << "x" << left.height() << " "
            << right.width() << "x" << right.height();
        EXPECT_NEAR(aspect(left), 1512.0 / 982.0, 0.02);
        EXPECT_NEAR(aspect(right), 2560.0 / 1080.0, 0.02);

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

TEST(DesktopViewer, KeepsWhatTheUserWatchesReadableAndShowsTheDisplaysTheyChooseAcrossLaunches)
{
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString choices = folder.filePath(QStringLiteral("viewer.plist"));
    sim::SimDesktop desktop;
    sim::VirtualScheduler scheduler;
    const quint32 builtIn = desktop.addDisplay();
    const auto pid = desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
    desktop.addWindow(pid, QStringLiteral("w"), QRectF(0, 0, 756, 982));
    const QColor grey(0x80, 0x80, 0x80);
    const auto scale = [](const QImage& picture) {
        return picture.deviceIndependentSize().width() / 1512;
    };
    // The buttons at the top: "All displays", then the displays in order.
    const auto choice = [](int index) {
        return QPoint(DesktopViewer::kMargin
                          + index * (DesktopViewer::kChoiceWidth + DesktopViewer::kChoiceSpacing)
                          + DesktopViewer::kChoiceWidth / 2,
                      DesktopViewer::kMargin + DesktopViewer::kChoiceHeight / 2);
    };
    quint32 veilmox = 0;
    {
        DesktopViewer viewer(desktop, scheduler, choices);
        viewer.show();
        viewer.refresh();
        const QSize opened = viewer.size();
        const double readable = scale(viewer.picture(builtIn));
        EXPECT_GT(readable, 0);

        // "Veilmox" joins, as wide as the built-in display: the built-in display stays at its
        // size and scale, and the window keeps its size.
        sim::SimDesktop::DisplaySpec joining;
        joining.name = QStringLiteral("Veilmox");
        joining.frame = QRectF(1512, 0, 1512, 982);
        joining.desktopColor = QColor(0x10, 0x80, 0x30);
        veilmox = desktop.addVirtualDisplay(joining);
        scheduler.advance(DesktopViewer::kMinimumRefreshInterval);
        EXPECT_EQ(viewer.size(), opened);
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{builtIn});
        EXPECT_DOUBLE_EQ(scale(viewer.picture(builtIn)), readable);

        // Its button shows it alone, at the same scale.
        QTest::mouseClick(viewer.windowHandle(), Qt::LeftButton, {}, choice(2));
        scheduler.advance(DesktopViewer::kMinimumRefreshInterval);
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{veilmox});
        EXPECT_FALSE(viewer.showsAllDisplays());
        const QImage shown = viewer.picture(veilmox);
        ASSERT_FALSE(shown.isNull());
        // (The window may be fitted again, now that its frame is known.)
        EXPECT_NEAR(scale(shown), readable, 0.01);
        EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), joining.desktopColor);
        EXPECT_TRUE(viewer.hasFocus() || !viewer.isActiveWindow()) << "typing still goes to the desktop";
    }
    {
        // The next launch shows "Veilmox" again, the main display until it is there.
        desktop.removeDisplay(veilmox);
        DesktopViewer viewer(desktop, scheduler, choices);
        viewer.show();
        viewer.refresh();
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{builtIn});
        sim::SimDesktop::DisplaySpec joining;
        joining.name = QStringLiteral("Veilmox");
        joining.frame = QRectF(1512, 0, 1512, 982);
        veilmox = desktop.addVirtualDisplay(joining);
        scheduler.advance(DesktopViewer::kMinimumRefreshInterval);
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{veilmox});

        // "All displays": both, side by side.
        QTest::mouseClick(viewer.windowHandle(), Qt::LeftButton, {}, choice(0));
        scheduler.advance(DesktopViewer::kMinimumRefreshInterval);
        EXPECT_EQ(viewer.shownDisplayIDs(), (QList<quint32>{builtIn, veilmox}));
        const QImage left = viewer.picture(builtIn);
        EXPECT_EQ(left.pixelColor(left.width() / 4, left.height() / 2), grey);
        EXPECT_FALSE(viewer.picture(veilmox).isNull());
        ASSERT_TRUE(viewer.viewPoint(QPointF(2000, 500)).has_value());
        const QWidget* shownVeilmox = viewer.displayView(veilmox);
        EXPECT_TRUE(QRect(shownVeilmox->mapTo(&viewer, QPoint()), shownVeilmox->size())
                        .contains(viewer.viewPoint(QPointF(2000, 500))->toPoint()));
    }
    {
        DesktopViewer viewer(desktop, scheduler, choices);
        EXPECT_TRUE(viewer.showsAllDisplays());
        viewer.show();
        // A disk that takes nothing: this window still shows what was chosen, and the file keeps
        // the choice before it.
        const testing_support::FailingDisk full(testing_support::FailingDisk::Step::Write);
        QTest::mouseClick(viewer.windowHandle(), Qt::LeftButton, {}, choice(1));
        EXPECT_FALSE(viewer.showsAllDisplays());
    }
    {
        DesktopViewer viewer(desktop, scheduler, choices);
        EXPECT_TRUE(viewer.showsAllDisplays());
    }
    const auto plistOf = [](const QVariantMap& values) {
        return platform::plist::writeBinary(values).value_or(QByteArray());
    };
    // A damaged file, an older version's, one of the wrong types or that names a display no
    // longer there, leaves the main display shown.
    for (const QByteArray& text :
         {QByteArray("[viewer]\nshows=@Variant(\\0\\0\\0\\x7f)\n"),
          QByteArray("\xff\xfe\x00garbage"),
          plistOf({{QStringLiteral("shows"), 7}, {QStringLiteral("display"), QStringLiteral("Veilmox")}}),
          plistOf({{QStringLiteral("shows"), QStringLiteral("display")},
                   {QStringLiteral("display"), QByteArray("Veilmox")}}),
          plistOf({{QStringLiteral("shows"), QStringLiteral("display")},
                   {QStringLiteral("display"), QStringLiteral("Gone")}})}) {
        QFile file(choices);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        DesktopViewer viewer(desktop, scheduler, choices);
        viewer.refresh();
        EXPECT_FALSE(viewer.showsAllDisplays());
        EXPECT_EQ(viewer.shownDisplayIDs(), QList<quint32>{builtIn});
    }
}
