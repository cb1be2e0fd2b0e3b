#include "platform/sim/VirtualScheduler.h"

#include <cmath>

namespace platform::sim {

struct VirtualScheduler::Entry
{
    double interval = 0; // 0 for one-shot timers
    std::function<void()> action;
    std::shared_ptr<TimerHandle::State> state;
};

VirtualScheduler::VirtualScheduler(QDateTime start)
    : m_start(std::move(start))
{}

VirtualScheduler::~VirtualScheduler()
{
    for (auto& [key, entry] : m_queue) {
        entry->state->active = false;
        entry->state->cancel = nullptr;
    }
}

QDateTime VirtualScheduler::currentDate() const
{
    return m_start.addMSecs(std::llround(m_now * 1000.0));
}

TimerHandle VirtualScheduler::schedule(double delay, double interval, std::function<void()> action)
{
    if (!std::isfinite(delay) || delay < 0) {
        delay = 0;
    }
    auto entry = std::make_shared<Entry>();
    entry->interval = interval;
    entry->action = std::move(action);
    entry->state = std::make_shared<TimerHandle::State>();
    std::weak_ptr<Entry> weakEntry = entry;
    entry->state->cancel = [this, weakEntry] {
        const auto e = weakEntry.lock();
        if (!e) {
            return;
        }
        std::erase_if(m_queue, [&e](const auto& item) { return item.second == e; });
    };
    auto state = entry->state;
    m_queue.emplace(std::make_pair(m_now + delay, m_sequence++), std::move(entry));
    return TimerHandle(state);
}

TimerHandle VirtualScheduler::after(double seconds, std::function<void()> action)
{
    return schedule(seconds, 0, std::move(action));
}

TimerHandle VirtualScheduler::every(double seconds, std::function<void()> action)
{
    // A zero interval would never let the clock move on.
    const double interval = std::isfinite(seconds) && seconds > 0 ? seconds : 0.001;
    return schedule(interval, interval, std::move(action));
}

void VirtualScheduler::advance(double seconds)
{
    const double target = m_now + (std::isfinite(seconds) && seconds > 0 ? seconds : 0);
    while (!m_queue.empty()) {
        auto first = m_queue.begin();
        if (first->first.first > target) {
            break;
        }
        m_now = std::max(m_now, first->first.first);
        auto entry = first->second;
        m_queue.erase(first);
        if (entry->interval > 0) {
            m_queue.emplace(std::make_pair(m_now + entry->interval, m_sequence++), entry);
        } else {
            entry->state->active = false;
            entry->state->cancel = nullptr;
        }
        // Copy: the action may cancel its own timer, which releases the entry.
        const auto action = entry->action;
        action();
    }
    m_now = target;
    std::erase_if(m_detached, [](const TimerHandle& h) { return !h.isActive(); });
}

std::size_t VirtualScheduler::pendingCount() const
{
    return m_queue.size();
}

void VirtualScheduler::detach(TimerHandle handle)
{
    m_detached.push_back(std::move(handle));
}

} // namespace platform::sim
