#pragma once

#include "platform/Scheduler.h"

#include <QDateTime>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace platform::sim {

// A scheduler whose clock moves only when a test advances it. Timers fire in due order (ties in
// the order they were scheduled) with the clock set to their due time.
class VirtualScheduler final : public Scheduler
{
public:
    explicit VirtualScheduler(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC));
    ~VirtualScheduler() override;
    VirtualScheduler(const VirtualScheduler&) = delete;
    VirtualScheduler& operator=(const VirtualScheduler&) = delete;

    double now() const override { return m_now; }
    QDateTime currentDate() const override;
    [[nodiscard]] TimerHandle after(double seconds, std::function<void()> action) override;
    [[nodiscard]] TimerHandle every(double seconds, std::function<void()> action) override;

    // Moves the clock forward, running everything that falls due on the way.
    void advance(double seconds);
    // Runs what is due now (deferred calls and zero delays), including what they schedule for now.
    void runPending() { advance(0); }
    // Number of timers still waiting.
    std::size_t pendingCount() const;

protected:
    void detach(TimerHandle handle) override;

private:
    struct Entry;
    TimerHandle schedule(double delay, double interval, std::function<void()> action);

    double m_now = 0;
    QDateTime m_start;
    std::uint64_t m_sequence = 0;
    std::multimap<std::pair<double, std::uint64_t>, std::shared_ptr<Entry>> m_queue;
    std::vector<TimerHandle> m_detached;
};

} // namespace platform::sim
