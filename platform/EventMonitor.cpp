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

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            m_delivering = nullptr;
            return false;
        }
        // A key-down that a child ignores travels on to its parents, and one that reaches a
        // window is forwarded to the focused widget: the same event, which monitors see once.
        if (event->type() != QEvent::KeyPress || monitors.empty() || event == m_delivering) {
            return false;
        }
        m_delivering = event;
        std::optional<KeyEvent> key = keyEventFromQt(*static_cast<QKeyEvent*>(event));
        if (!key) {
            return false;
        }
        // Handlers may add or remove monitors, their own included.
        const auto snapshot = monitors;
        for (const auto& [token, handler] : snapshot) {
            if (!contains(token)) {
                continue;
            }
            key = (*handler)(*key);
            if (!key) {
                m_delivering = nullptr;
                return true;
            }
        }
        return false;
    }

private:
    const QEvent* m_delivering = nullptr;
};

Registry* registry()
{
    // Parented to the application, so it goes when the application does.
    static QPointer<Registry> instance;
    if (instance.isNull() && QCoreApplication::instance() != nullptr) {
        instance = new Registry(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(instance);
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
    return token;
}

void EventMonitor::removeMonitor(Token token)
{
    if (Registry* r = registry()) {
        std::erase_if(r->monitors, [token](const auto& m) { return m.first == token; });
    }
}

int EventMonitor::monitorCount()
{
    const Registry* r = registry();
    return r != nullptr ? static_cast<int>(r->monitors.size()) : 0;
}

} // namespace platform
