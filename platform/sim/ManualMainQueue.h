#pragma once

#include "platform/DispatchQueue.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace platform::sim {

// A main queue that runs its blocks only when the main thread asks, so a test decides when the
// main thread gets to them. Blocks may be submitted from any thread.
class ManualMainQueue final : public MainQueue
{
public:
    void async(std::function<void()> block) override;

    // Runs the blocks submitted so far, and those they submit, in order; returns how many ran.
    // Main thread only.
    std::size_t runPending();
    std::size_t pendingCount() const;
    // The most blocks that were waiting at one time.
    std::size_t highWaterMark() const;

private:
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_blocks;
    std::size_t m_highWaterMark = 0;
};

} // namespace platform::sim
