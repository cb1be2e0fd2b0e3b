#include "platform/EventMonitor.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using platform::EventMonitor;
using platform::KeyEvent;

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
            return e.keyCode == platform::keycode::kEscape ? std::nullopt : std::optional<KeyEvent>(e);
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
