// Qt key events in the system's own form, and the monitors that see them.
#include "platform/KeyEvent.h"

#include "platform/EventMonitor.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// Records the key presses that reach it and ignores them, so they travel on to its parent.
class KeyCatcher final : public QWidget
{
public:
    using QWidget::QWidget;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        event->ignore();
    }
};

} // namespace

TEST(KeyEvent, QtKeysAndModifiersFollowTheMacConvention)
{
    struct Case
    {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::uint16_t code;
        std::uint64_t flags;
        std::optional<QString> characters;
    };
    const Case cases[] = {
        {Qt::Key_P,
         Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier,
         keycode::kP,
         kEventModifierFlagCommand | kEventModifierFlagControl | kEventModifierFlagOption,
         QStringLiteral("p")},
        // Function keys carry the system's private-use character; keypad keys have codes of their own.
        {Qt::Key_F1,
         Qt::MetaModifier,
         122,
         kEventModifierFlagControl | kEventModifierFlagFunction,
         QString(QChar(0xF704))},
        {Qt::Key_5, Qt::KeypadModifier, 87, kEventModifierFlagNumericPad, QStringLiteral("5")},
    };
    for (const Case& c : cases) {
        const auto event = keyEventFromQt(c.key, c.modifiers);
        ASSERT_TRUE(event) << c.key;
        EXPECT_EQ(std::make_tuple(event->keyCode, event->modifierFlags, event->charactersIgnoringModifiers),
                  std::make_tuple(c.code, c.flags, c.characters))
            << c.key;
    }
    const QKeyEvent qt(QEvent::KeyPress, Qt::Key_K, Qt::AltModifier | Qt::ShiftModifier, QStringLiteral("K"));
    EXPECT_EQ(keyEventFromQt(qt)->modifierFlags, kEventModifierFlagOption | kEventModifierFlagShift);
}

TEST(KeyEvent, KeysMapToTheirVirtualKeyCodes)
{
    struct Case
    {
        int key;
        std::uint16_t code;
    };
    const Case cases[] = {{Qt::Key_A, 0},
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
                          {Qt::Key_Escape, 53}};
    for (const Case& c : cases) {
        EXPECT_EQ(virtualKeyCode(c.key), c.code) << c.key;
    }
    EXPECT_FALSE(virtualKeyCode(Qt::Key_VolumeUp));
    EXPECT_FALSE(keyEventFromQt(Qt::Key_Control, Qt::ControlModifier));
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

    // A consumed key reaches no widget; the same key again is a new key-down.
    QTest::keyClick(child, Qt::Key_Escape);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(calls.size(), 4);
    EXPECT_EQ(child->keys, QList<int>{Qt::Key_A});
    // Keys without a virtual key code are not shown to monitors.
    QTest::keyClick(child, Qt::Key_VolumeUp);
    EXPECT_EQ(calls.size(), 4);

    EventMonitor::removeMonitor(*second);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(calls.size(), 4);
    EXPECT_EQ(child->keys.last(), Qt::Key_Escape);
    EXPECT_EQ(EventMonitor::monitorCount(), 0);
    EXPECT_FALSE(EventMonitor::addLocalMonitorForKeyDown({}));
}
