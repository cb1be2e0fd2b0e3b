#include "shell/kit/Sequence.h"

#include "shell/kit/Accessibility.h"

namespace kit {

void Sequence::start(std::vector<Beat> beats)
{
    cancel();
    m_pending.resize(beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i) {
        m_pending[i].action = std::move(beats[i].action);
        m_pending[i].timer = platform::Scheduler::current().after(beats[i].delay, [this, i] { run(i); });
    }
}

void Sequence::startRespectingReduceMotion(std::vector<Beat> beats, const std::function<void()>& finalState)
{
    if (reduceMotion()) {
        cancel();
        if (finalState) {
            finalState();
        }
        return;
    }
    start(std::move(beats));
}

void Sequence::cancel()
{
    m_pending.clear(); // dropping a handle cancels its timer
}

void Sequence::finish()
{
    // Taken first: a beat may start the sequence again.
    std::vector<Pending> pending = std::move(m_pending);
    m_pending.clear();
    for (Pending& beat : pending) {
        if (beat.timer.isActive()) {
            beat.timer.cancel();
            if (beat.action) {
                beat.action();
            }
        }
    }
}

bool Sequence::isPending() const
{
    for (const Pending& beat : m_pending) {
        if (beat.timer.isActive()) {
            return true;
        }
    }
    return false;
}

void Sequence::run(std::size_t index)
{
    // The action is taken out first, so a beat that starts the sequence again is safe.
    std::function<void()> action = std::move(m_pending[index].action);
    m_pending[index].action = nullptr;
    if (action) {
        action();
    }
}

} // namespace kit
