#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

// The yardstick of the capture benchmarks, measured in the same loop as the work it measures:
// one memcpy of a frame of the size under test. Both are counted as CPU time of the whole process
// (every thread), so work handed to another thread is not missed.
namespace bench {

inline double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class Yardstick
{
public:
    explicit Yardstick(std::size_t frameBytes)
        : m_from(frameBytes, 1)
        , m_to(frameBytes, 0)
    {
        copy(); // first touch of the pages, not counted
        m_seconds = 0;
        m_copies = 0;
    }

    // One frame copied; its CPU time counts.
    void copy()
    {
        const double start = processCpuSeconds();
        std::memcpy(m_to.data(), m_from.data(), m_to.size());
        benchmark::ClobberMemory();
        m_seconds += processCpuSeconds() - start;
        ++m_copies;
    }

    double secondsPerCopy() const { return m_copies > 0 ? m_seconds / m_copies : 0; }

    // The work's CPU time per iteration as a number of frame copies, with the copy's time.
    void report(benchmark::State& state, double workSeconds) const
    {
        const double perIteration = workSeconds / static_cast<double>(state.iterations());
        state.counters["frame_copies"] = perIteration / secondsPerCopy();
        state.counters["memcpy_ms"] = secondsPerCopy() * 1e3;
    }

private:
    std::vector<unsigned char> m_from;
    std::vector<unsigned char> m_to;
    double m_seconds = 0;
    int m_copies = 0;
};

// The CPU time a thread has used so far.
inline double threadCpuSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The same yardstick on a thread of its own, one copy every interval while running, for work that
// lives on a timed loop: it takes no turn of that loop (no tick of the work is late or skipped for
// it), and its thread's whole CPU time is known, so it can be taken out of the process's.
class ThreadYardstick
{
public:
    ThreadYardstick(std::size_t frameBytes, std::chrono::microseconds interval)
        : m_from(frameBytes, 1)
        , m_to(frameBytes, 0)
        , m_interval(interval)
        , m_thread([this] { run(); })
    {
        pthread_getcpuclockid(m_thread.native_handle(), &m_clock);
    }
    ~ThreadYardstick()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    ThreadYardstick(const ThreadYardstick&) = delete;
    ThreadYardstick& operator=(const ThreadYardstick&) = delete;

    void setRunning(bool running)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_running = running;
        }
        m_wake.notify_all();
    }

    double secondsPerCopy() const
    {
        const int copies = m_copies.load();
        return copies > 0 ? m_copySeconds.load() / copies : 0;
    }
    int copies() const { return m_copies.load(); }
    // Everything the yardstick's thread used so far, waiting and bookkeeping included.
    double threadSeconds() const { return threadCpuSeconds(m_clock); }

private:
    void run()
    {
        std::memcpy(m_to.data(), m_from.data(), m_to.size()); // first touch of the pages, not counted
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            if (!m_running) {
                m_wake.wait(lock, [this] { return m_quit || m_running; });
                next = std::chrono::steady_clock::now();
                continue;
            }
            next += m_interval;
            if (m_wake.wait_until(lock, next, [this] { return m_quit || !m_running; })) {
                continue;
            }
            const double start = threadCpuSeconds();
            std::memcpy(m_to.data(), m_from.data(), m_to.size());
            benchmark::ClobberMemory();
            m_copySeconds.store(m_copySeconds.load() + threadCpuSeconds() - start);
            m_copies.fetch_add(1);
        }
    }

    std::vector<unsigned char> m_from;
    std::vector<unsigned char> m_to;
    std::chrono::microseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_quit = false;
    std::atomic<double> m_copySeconds{0};
    std::atomic<int> m_copies{0};
    clockid_t m_clock = CLOCK_THREAD_CPUTIME_ID;
    std::thread m_thread;
};

} // namespace bench
