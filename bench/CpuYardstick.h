#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <sys/resource.h>
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

} // namespace bench
