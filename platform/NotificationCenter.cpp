#include "platform/NotificationCenter.h"

namespace platform {

NotificationCenter::NotificationCenter()
    : m_observers(std::make_shared<std::vector<Observer>>())
{}

NotificationCenter::~NotificationCenter() = default;

Cancellable NotificationCenter::addObserver(const QString& name,
                                            std::function<void(const Notification&)> observer)
{
    const std::uint64_t id = m_nextID++;
    m_observers->push_back(Observer{id, name, std::move(observer)});
    std::weak_ptr<std::vector<Observer>> weak = m_observers;
    return Cancellable([weak, id] {
        if (const auto observers = weak.lock()) {
            std::erase_if(*observers, [id](const Observer& o) { return o.id == id; });
        }
    });
}

void NotificationCenter::post(const Notification& notification)
{
    // Observers may subscribe or cancel while being called: walk a snapshot of the ids.
    std::vector<std::uint64_t> ids;
    for (const Observer& o : *m_observers) {
        if (o.name == notification.name) {
            ids.push_back(o.id);
        }
    }
    const auto observers = m_observers;
    for (const std::uint64_t id : ids) {
        const auto it = std::find_if(
            observers->begin(), observers->end(), [id](const Observer& o) { return o.id == id; });
        if (it != observers->end()) {
            const auto callback = it->callback;
            callback(notification);
        }
    }
}

} // namespace platform
