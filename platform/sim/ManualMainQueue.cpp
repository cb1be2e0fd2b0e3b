#include "platform/sim/ManualMainQueue.h"

#include <algorithm>

namespace platform::sim {

void ManualMainQueue::async(std::function<void()> block)
{
    const std::lock_guard lock(m_mutex);
    m_blocks.push_back(std::move(block));
    m_highWaterMark = std::max(m_highWaterMark, m_blocks.size());
}

std::size_t ManualMainQueue::runPending()
{
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> block;
        {
            const std::lock_guard lock(m_mutex);
            if (m_blocks.empty()) {
                return ran;
            }
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
        }
        block();
        ++ran;
    }
}

std::size_t ManualMainQueue::pendingCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_blocks.size();
}

std::size_t ManualMainQueue::highWaterMark() const
{
    const std::lock_guard lock(m_mutex);
    return m_highWaterMark;
}

} // namespace platform::sim
