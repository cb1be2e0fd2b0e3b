#pragma once

#include "platform/Scheduler.h"

#include <functional>
#include <vector>

namespace kit {

// Staged beats: actions that run at set delays, each measured from the start, through the
// scheduler (virtual time in tests). Starting again cancels what is still pending, so a new
// trigger replaces the running sequence; leaving a view either completes or cancels it. Pending
// beats never run after the sequence is gone. Main thread only.
class Sequence
{
public:
    struct Beat
    {
        double delay = 0; // seconds from the start
        std::function<void()> action;
    };

    Sequence() = default;
    ~Sequence() = default;
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    void start(std::vector<Beat> beats);
    // A staged reveal: the beats, or while Reduce Motion is on (read now) only `finalState`, at
    // once.
    void startRespectingReduceMotion(std::vector<Beat> beats, const std::function<void()>& finalState);
    // The pending beats never run.
    void cancel();
    // The pending beats run now, in order.
    void finish();
    bool isPending() const;

private:
    struct Pending
    {
        std::function<void()> action;
        platform::TimerHandle timer;
    };
    void run(std::size_t index);

    std::vector<Pending> m_pending;
};

} // namespace kit
