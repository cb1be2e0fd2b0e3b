#pragma once

#include "platform/Scheduler.h"

#include <functional>

// How a list view makes its rows: at most kRowsPerTurn in one pass, the rest in passes on later
// turns of the main loop, each of which should cost about its rows alone. Qt compresses each layout request
// it posts by walking every event still waiting, so thousands of rows made in one turn cost time growing with
// their square; made in batches, with the loop delivering each batch's events in between, the cost stays
// linear and the application answers meanwhile. Without a scheduler every row is made at once. The owner
// keeps it as a member, so no pass runs after the owner is gone. Main thread only.
class RowBatches
{
public:
    static constexpr int kRowsPerTurn = 200;

    RowBatches(platform::Scheduler* scheduler, std::function<void()> pass)
        : m_scheduler(scheduler)
        , m_pass(std::move(pass))
    {}

    // At the start of a pass.
    void begin()
    {
        m_left = kRowsPerTurn;
        m_deferred = false;
    }
    // Whether one more row may be made in this pass; when not, another pass follows.
    bool take()
    {
        if (m_scheduler == nullptr || m_left > 0) {
            --m_left;
            return true;
        }
        m_deferred = true;
        return false;
    }
    // At the end of a pass: the next one is due when rows were left for it, and only then.
    void end()
    {
        if (!m_deferred) {
            m_next.cancel();
        } else if (!m_next.isActive()) {
            m_next = m_scheduler->after(0, [this] { m_pass(); });
        }
    }
    // Whether rows are still to be made.
    bool isPending() const { return m_next.isActive(); }

private:
    platform::Scheduler* m_scheduler;
    std::function<void()> m_pass;
    int m_left = kRowsPerTurn;
    bool m_deferred = false;
    platform::TimerHandle m_next;
};
