#include "platform/EventMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace platform {
namespace {

// The delivery of one key event: Qt hands the same event object to the window, then to the focus
// widget, then up its parents while they ignore it. Monitors see it at the first of those.
struct Delivery
{
    const QEvent* event = nullptr;
    QEvent::Type type = QEvent::None;
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    bool autoRepeat = false;
    quint64 timestamp = 0;
    QPointer<QObject> receiver;

    // Whether `watched` getting `event` is this delivery going on. A new event can sit where an
    // earlier one was, so the event's fields and the path it travels must match too.
    bool continuesWith(const QObject* watched, const QKeyEvent& e) const
    {
        if (&e != event || e.type() != type || e.key() != key || e.modifiers() != modifiers
            || e.isAutoRepeat() != autoRepeat || e.timestamp() != timestamp || receiver.isNull()) {
            return false;
        }
        if (receiver->isWindowType()) {
            return watched->isWidgetType();
        }
        for (const QObject* up = receiver->parent(); up != nullptr; up = up->parent()) {
            if (up == watched) {
                return true;
            }
        }
        return false;
    }

    static Delivery of(QObject* watched, const QKeyEvent& e)
    {
        return {&e, e.type(), e.key(), e.modifiers(), e.isAutoRepeat(), e.timestamp(), watched};
    }
};

// Watches every event of the application before its receiver gets it.
class Registry final : public QObject
{
public:
    using QObject::QObject;

    struct Monitor
    {
        EventMonitor::Token token = 0;
        std::uint64_t mask = 0;
        std::shared_ptr<EventMonitor::Handler> handler;
    };

    std::vector<Monitor> monitors;
    EventMonitor::Token nextToken = 1;
    QList<QPointer<QWidget>> ignoredWindows;

    bool contains(EventMonitor::Token token) const
    {
        return std::any_of(
            monitors.cbegin(), monitors.cend(), [token](const Monitor& m) { return m.token == token; });
    }

    // The application's events are watched only while someone monitors them.
    void watch(bool on)
    {
        if (on == m_watching) {
            return;
        }
        m_watching = on;
        m_delivery = {};
        if (on) {
            QCoreApplication::instance()->installEventFilter(this);
        } else {
            QCoreApplication::instance()->removeEventFilter(this);
        }
    }

    // Whether `watched` is an ignored window, its platform window or one of its widgets.
    bool isIgnored(const QObject* watched) const
    {
        const auto* widget = qobject_cast<const QWidget*>(watched);
        for (const QPointer<QWidget>& window : ignoredWindows) {
            if (window
                && (widget != nullptr ? widget->window() == window : window->windowHandle() == watched)) {
                return true;
            }
        }
        return false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if ((event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) || monitors.empty()
            || isIgnored(watched)) {
            return false;
        }
        const auto& qtEvent = *static_cast<QKeyEvent*>(event);
        if (m_delivery.continuesWith(watched, qtEvent)) {
            m_delivery.receiver = watched;
            return false;
        }
        m_delivery = Delivery::of(watched, qtEvent);
        std::optional<KeyEvent> key = keyEventFromQt(qtEvent);
        if (!key) {
            return false;
        }
        // Handlers may add or remove monitors, their own included.
        const auto snapshot = monitors;
        for (const Monitor& monitor : snapshot) {
            if ((monitor.mask & eventMask(key->type)) == 0 || !contains(monitor.token)) {
                continue;
            }
            key = (*monitor.handler)(*key);
            if (!key) {
                return true;
            }
        }
        return false;
    }

private:
    Delivery m_delivery;
    bool m_watching = false;
};

Registry* registry()
{
    // Parented to the application, so it goes when the application does.
    static QPointer<Registry> instance;
    if (instance.isNull() && QCoreApplication::instance() != nullptr) {
        instance = new Registry(QCoreApplication::instance());
    }
    return instance.data();
}

} // namespace

std::optional<EventMonitor::Token> EventMonitor::addLocalMonitorForEvents(std::uint64_t mask, Handler handler)
{
    constexpr std::uint64_t kKnown = kEventMaskKeyDown | kEventMaskKeyUp | kEventMaskFlagsChanged;
    Registry* r = registry();
    if (r == nullptr || !handler || (mask & kKnown) == 0) {
        return std::nullopt;
    }
    const Token token = r->nextToken++;
    r->monitors.push_back({token, mask, std::make_shared<Handler>(std::move(handler))});
    r->watch(true);
    return token;
}

void EventMonitor::removeMonitor(Token token)
{
    if (Registry* r = registry()) {
        std::erase_if(r->monitors, [token](const Registry::Monitor& m) { return m.token == token; });
        r->watch(!r->monitors.empty());
    }
}

void EventMonitor::ignoreEventsOf(QWidget* window)
{
    if (Registry* r = registry(); r != nullptr && window != nullptr) {
        r->ignoredWindows.removeIf([](const QPointer<QWidget>& w) { return w.isNull(); });
        r->ignoredWindows.append(window);
    }
}

int EventMonitor::monitorCount()
{
    const Registry* r = registry();
    return r != nullptr ? static_cast<int>(r->monitors.size()) : 0;
}

} // namespace platform
