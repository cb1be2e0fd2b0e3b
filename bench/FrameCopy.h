#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

// The yardstick of the capture benchmarks: one memcpy of a full frame of a 1512 x 982 point
// display at scale 2, so results read as "so many frame copies".
namespace bench {

using Clock = std::chrono::steady_clock;

inline constexpr int kFrameWidth = 3024;
inline constexpr int kFrameHeight = 1964;
inline constexpr std::size_t kFrameBytes = std::size_t{kFrameWidth} * kFrameHeight * 4;

inline double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The time of one memcpy of a frame: the median of a few, after a warm-up.
inline double frameCopySeconds()
{
    static std::vector<unsigned char> from(kFrameBytes, 1);
    static std::vector<unsigned char> to(kFrameBytes, 0);
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        const auto start = Clock::now();
        std::memcpy(to.data(), from.data(), kFrameBytes);
        benchmark::ClobberMemory();
        times.push_back(seconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace bench
