// Qt key events in the system's own form, and the monitors that see them.
#include "platform/KeyEvent.h"

#include "platform/EventMonitor.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// Records the key presses that reach it and ignores them, so they travel on to its parent.
class KeyCatcher final : public QWidget
{
public:
    using QWidget::QWidget;
    QList<int> keys;
    QList<int> releases;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        event->ignore();
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        releases.append(event->key());
        event->ignore();
    }
};

} // namespace

TEST(KeyEvent, QtKeysMapToVirtualKeyCodesAndModifiersFollowTheMacConvention)
{
    for (const auto& [key, code] : {std::pair{Qt::Key_A, 0},
                                    {Qt::Key_H, 4},
                                    {Qt::Key_K, 40},
                                    {Qt::Key_Space, 49},
                                    {Qt::Key_Return, 36},
                                    {Qt::Key_Backspace, 51},
                                    {Qt::Key_Delete, 117},
                                    {Qt::Key_Left, 123},
                                    {Qt::Key_F1, 122},
                                    {Qt::Key_F12, 111},
                                    {Qt::Key_1, 18},
                                    {Qt::Key_Exclam, 18},
                                    {Qt::Key_Escape, 53}}) {
        EXPECT_EQ(virtualKeyCode(key), code) << key;
    }
    EXPECT_FALSE(virtualKeyCode(Qt::Key_VolumeUp));
    EXPECT_FALSE(keyEventFromQt(Qt::Key_Control, Qt::ControlModifier));

    using Fields = std::tuple<std::uint16_t, std::uint64_t, std::optional<QString>>;
    const auto fields = [](const std::optional<KeyEvent>& e) {
        return e ? Fields{e->keyCode, e->modifierFlags, e->charactersIgnoringModifiers} : Fields{};
    };
    EXPECT_EQ(fields(keyEventFromQt(Qt::Key_P, Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier)),
              Fields(keycode::kP,
                     kEventModifierFlagCommand | kEventModifierFlagControl | kEventModifierFlagOption,
                     QStringLiteral("p")));
    // Function keys carry the system's private-use character; keypad keys have codes of their own.
    EXPECT_EQ(fields(keyEventFromQt(Qt::Key_F1, Qt::MetaModifier)),
              Fields(122, kEventModifierFlagControl | kEventModifierFlagFunction, QString(QChar(0xF704))));
    EXPECT_EQ(fields(keyEventFromQt(Qt::Key_5, Qt::KeypadModifier)),
              Fields(87, kEventModifierFlagNumericPad, QStringLiteral("5")));
    const QKeyEvent qt(QEvent::KeyPress, Qt::Key_K, Qt::AltModifier | Qt::ShiftModifier, QStringLiteral("K"));
    EXPECT_EQ(keyEventFromQt(qt)->modifierFlags, kEventModifierFlagOption | kEventModifierFlagShift);
}

TEST(EventMonitor, MonitorsSeeEachKeyDownOnceInOrderAndMayConsumeIt)
{
    KeyCatcher parent;
    auto* child = new KeyCatcher(&parent);
    QStringList calls;
    std::optional<EventMonitor::Token> first;
    // Passes keys on, and leaves after the first one.
    first = EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent& e) -> std::optional<KeyEvent> {
        calls << QStringLiteral("first %1").arg(e.keyCode);
        EventMonitor::removeMonitor(*first);
        return e;
    });
    // Consumes Escape.
    const auto second =
        EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent& e) -> std::optional<KeyEvent> {
            calls << QStringLiteral("second %1").arg(e.keyCode);
            return e.keyCode == keycode::kEscape ? std::nullopt : std::optional<KeyEvent>(e);
        });
    ASSERT_TRUE(first && second);

    // Ignored by the child, the key travels on to the parent; the monitors see it once.
    QTest::keyClick(child, Qt::Key_A);
    EXPECT_EQ(calls, (QStringList{"first 0", "second 0"}));
    EXPECT_EQ(child->keys, QList<int>{Qt::Key_A});
    EXPECT_EQ(parent.keys, QList<int>{Qt::Key_A});
    EXPECT_EQ(EventMonitor::monitorCount(), 1);

    // A modifier's own press is not shown, and the key pressed with it still is.
    QTest::keyClick(child, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(calls.last(), QStringLiteral("second 40"));

    // A consumed key reaches no widget; the same key again is a new key-down.
    QTest::keyClick(child, Qt::Key_Escape);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(calls.size(), 5);
    EXPECT_EQ(child->keys, (QList<int>{Qt::Key_A, Qt::Key_Control, Qt::Key_K}));
    // Keys without a virtual key code are not shown to monitors.
    QTest::keyClick(child, Qt::Key_VolumeUp);
    EXPECT_EQ(calls.size(), 5);

    EventMonitor::removeMonitor(*second);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(calls.size(), 5);
    EXPECT_EQ(child->keys.last(), Qt::Key_Escape);
    EXPECT_EQ(EventMonitor::monitorCount(), 0);
    EXPECT_FALSE(EventMonitor::addLocalMonitorForKeyDown({}));
}

TEST(EventMonitor, MonitorsSeeTheKindsTheyAskForOnceOnTheWayThroughAWindowAndMayConsumeThem)
{
    KeyCatcher window;
    auto* child = new KeyCatcher(&window);
    child->setFocusPolicy(Qt::StrongFocus);
    window.show();
    child->setFocus();
    QStringList seen;
    const auto down = EventMonitor::addLocalMonitorForKeyDown([&seen](const KeyEvent& e) {
        seen << QStringLiteral("down %1").arg(e.keyCode);
        return std::optional(e);
    });
    // Keeps key-ups of Escape from the window.
    const auto upAndFlags = EventMonitor::addLocalMonitorForEvents(
        kEventMaskKeyUp | kEventMaskFlagsChanged, [&seen](const KeyEvent& e) -> std::optional<KeyEvent> {
            seen << QStringLiteral("%1 %2").arg(e.type == EventType::KeyUp ? "up" : "flags").arg(e.keyCode);
            return e.type == EventType::KeyUp && e.keyCode == keycode::kEscape ? std::nullopt
                                                                               : std::optional(e);
        });
    ASSERT_TRUE(down && upAndFlags);
    EXPECT_FALSE(
        EventMonitor::addLocalMonitorForEvents(0, [](const KeyEvent& e) { return std::optional(e); }));

    const auto key = [&window](bool press, int code, Qt::KeyboardModifiers modifiers, bool repeat = false) {
        QTest::simulateEvent(window.windowHandle(), press, code, modifiers, QString(), repeat);
    };
    key(true, Qt::Key_Shift, Qt::NoModifier);
    key(true, Qt::Key_A, Qt::ShiftModifier);
    key(true, Qt::Key_A, Qt::ShiftModifier, true);
    key(false, Qt::Key_A, Qt::ShiftModifier);
    key(false, Qt::Key_Escape, Qt::NoModifier);
    // The window, the child and the parent share one event; a repeat is an event of its own.
    EXPECT_EQ(seen, (QStringList{"flags 56", "down 0", "down 0", "up 0", "up 53"}));
    EXPECT_EQ(child->keys, (QList<int>{Qt::Key_Shift, Qt::Key_A, Qt::Key_A}));
    EXPECT_EQ(window.releases, QList<int>{Qt::Key_A}) << "the consumed key-up never arrived";
    EventMonitor::removeMonitor(*down);
    EventMonitor::removeMonitor(*upAndFlags);
}
