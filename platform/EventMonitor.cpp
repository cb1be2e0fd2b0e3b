#include "platform/EventMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace platform {
namespace {

// Watches every event of the application before its receiver gets it.
class Registry final : public QObject
{
public:
    using QObject::QObject;

    std::vector<std::pair<EventMonitor::Token, std::shared_ptr<EventMonitor::KeyDownHandler>>> monitors;
    EventMonitor::Token nextToken = 1;

    bool contains(EventMonitor::Token token) const
    {
        return std::any_of(
            monitors.cbegin(), monitors.cend(), [token](const auto& m) { return m.first == token; });
    }

    // The application's events are watched only while someone monitors them.
    void watch(bool on)
    {
        if (on == m_watching) {
            return;
        }
        m_watching = on;
        m_delivering = {};
        if (on) {
            QCoreApplication::instance()->installEventFilter(this);
        } else {
            QCoreApplication::instance()->removeEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            m_delivering = {};
            return false;
        }
        if (event->type() != QEvent::KeyPress || monitors.empty()) {
            return false;
        }
        // A key-down that a child ignores travels on to its parents, and one that reaches a
        // window is forwarded to the focused widget: the same event, which monitors see once.
        // The next key-down may be made at the same address (a modifier's press, then the key
        // pressed with it), so the key and its time must match too.
        const auto* press = static_cast<const QKeyEvent*>(event);
        const Delivery delivery{event, press->key(), press->modifiers(), press->timestamp()};
        if (delivery == m_delivering) {
            return false;
        }
        std::optional<KeyEvent> key = keyEventFromQt(*press);
        if (!key) {
            return false;
        }
        m_delivering = delivery;
        // Handlers may add or remove monitors, their own included.
        const auto snapshot = monitors;
        for (const auto& [token, handler] : snapshot) {
            if (!contains(token)) {
                continue;
            }
            key = (*handler)(*key);
            if (!key) {
                m_delivering = {};
                return true;
            }
        }
        return false;
    }

private:
    struct Delivery
    {
        const QEvent* event = nullptr;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        quint64 timestamp = 0;

        bool operator==(const Delivery&) const = default;
    };

    Delivery m_delivering;
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

std::optional<EventMonitor::Token> EventMonitor::addLocalMonitorForKeyDown(KeyDownHandler handler)
{
    Registry* r = registry();
    if (r == nullptr || !handler) {
        return std::nullopt;
    }
    const Token token = r->nextToken++;
    r->monitors.emplace_back(token, std::make_shared<KeyDownHandler>(std::move(handler)));
    r->watch(true);
    return token;
}

void EventMonitor::removeMonitor(Token token)
{
    if (Registry* r = registry()) {
        std::erase_if(r->monitors, [token](const auto& m) { return m.first == token; });
        r->watch(!r->monitors.empty());
    }
}

int EventMonitor::monitorCount()
{
    const Registry* r = registry();
    return r != nullptr ? static_cast<int>(r->monitors.size()) : 0;
}

} // namespace platform
