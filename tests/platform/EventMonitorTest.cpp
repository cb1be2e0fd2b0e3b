#include "platform/EventMonitor.h"

#include <QKeyEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using platform::EventMonitor;
using platform::KeyEvent;

namespace {

// Records the key presses that reach it; ignores them when asked, so they travel to its parent.
class KeyCatcher final : public QWidget
{
public:
    explicit KeyCatcher(bool ignores = false, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_ignores(ignores)
    {}

    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        event->setAccepted(!m_ignores);
    }

private:
    bool m_ignores;
};

// Removes a monitor when the test ends, whatever happened.
struct Installed
{
    explicit Installed(std::optional<EventMonitor::Token> t)
        : token(t)
    {}
    ~Installed()
    {
        if (token) {
            EventMonitor::removeMonitor(*token);
        }
    }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

    std::optional<EventMonitor::Token> token;
};

} // namespace

TEST(EventMonitor, SeesEachKeyDownOnceBeforeAnyWidgetAndMayConsumeIt)
{
    KeyCatcher parent;
    auto* child = new KeyCatcher(true, &parent);
    QList<std::uint16_t> seen;
    Installed monitor(
        EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent& e) -> std::optional<KeyEvent> {
            seen.append(e.keyCode);
            if (e.keyCode == platform::keycode::kEscape) {
                return std::nullopt;
            }
            return e;
        }));
    ASSERT_TRUE(monitor.token);

    // The child ignores the key, which travels on to the parent; the monitor sees it once.
    QTest::keyClick(child, Qt::Key_A);
    EXPECT_EQ(seen, QList<std::uint16_t>{0});
    EXPECT_EQ(child->keys, QList<int>{Qt::Key_A});
    EXPECT_EQ(parent.keys, QList<int>{Qt::Key_A});

    QTest::keyClick(child, Qt::Key_Escape);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(seen, (QList<std::uint16_t>{0, platform::keycode::kEscape, platform::keycode::kEscape}));
    EXPECT_EQ(child->keys, QList<int>{Qt::Key_A});

    // Keys without a virtual key code are not shown to monitors.
    QTest::keyClick(child, Qt::Key_VolumeUp);
    EXPECT_EQ(seen.size(), 3);
    EXPECT_EQ(parent.keys.last(), Qt::Key_VolumeUp);

    EventMonitor::removeMonitor(*monitor.token);
    QTest::keyClick(child, Qt::Key_Escape);
    EXPECT_EQ(seen.size(), 3);
    EXPECT_EQ(child->keys.last(), Qt::Key_Escape);
}

TEST(EventMonitor, MonitorsRunInOrderAndMayRemoveThemselves)
{
    KeyCatcher target;
    QStringList calls;
    std::optional<EventMonitor::Token> first;
    first = EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent& e) -> std::optional<KeyEvent> {
        calls << QStringLiteral("first");
        EventMonitor::removeMonitor(*first);
        return e;
    });
    Installed removeFirst(first);
    Installed second(EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent&) -> std::optional<KeyEvent> {
        calls << QStringLiteral("second");
        return std::nullopt;
    }));
    Installed third(
        EventMonitor::addLocalMonitorForKeyDown([&](const KeyEvent& e) -> std::optional<KeyEvent> {
            calls << QStringLiteral("third");
            return e;
        }));
    EXPECT_EQ(EventMonitor::monitorCount(), 3);

    QTest::keyClick(&target, Qt::Key_B);
    QTest::keyClick(&target, Qt::Key_B);
    // A consuming monitor stops the event: later monitors and the widget never see it.
    EXPECT_EQ(calls, (QStringList{"first", "second", "second"}));
    EXPECT_TRUE(target.keys.isEmpty());
    EXPECT_EQ(EventMonitor::monitorCount(), 2);
    EXPECT_FALSE(EventMonitor::addLocalMonitorForKeyDown({}));
}
