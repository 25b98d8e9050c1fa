// The steady clock and the sleeps of the main task. The start-up waits, the
// 10 ms loop, the restart countdown and the shutdown waits all read and sleep
// through here, so that tests can run them on a clock of their own.
#pragma once

#include <cstdint>
#include <functional>

// Nanoseconds of a steady clock (the performance counter).
int64_t gf_mainNowNs();
// Sleeps ns nanoseconds (nothing for ns <= 0).
void gf_mainSleepNs(int64_t ns);
inline void gf_mainSleepMs(int64_t ms)
{
    gf_mainSleepNs(ms * 1'000'000);
}

// Test hook: replaces the clock and the sleep; empty functions restore the
// real ones.
void gf_setMainClock(std::function<int64_t()> now, std::function<void(int64_t)> sleep);

inline constexpr int64_t kNsPerMs = 1'000'000;
inline constexpr int64_t kNsPerSecond = 1'000'000'000;
