#include "app/main_clock.h"

#include <windows.h>

#include <mutex>

namespace {

std::mutex g_clockMutex;
std::function<int64_t()> g_now;
std::function<void(int64_t)> g_sleep;

int64_t lf_performanceCounterNs()
{
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const int64_t ticks = c.QuadPart;
    // Split to keep the product inside 64 bits.
    return (ticks / frequency) * kNsPerSecond + (ticks % frequency) * kNsPerSecond / frequency;
}

} // namespace

int64_t gf_mainNowNs()
{
    std::function<int64_t()> now;
    {
        std::lock_guard lock(g_clockMutex);
        now = g_now;
    }
    return now ? now() : lf_performanceCounterNs();
}

void gf_mainSleepNs(int64_t ns)
{
    if (ns <= 0)
        return;
    std::function<void(int64_t)> sleep;
    {
        std::lock_guard lock(g_clockMutex);
        sleep = g_sleep;
    }
    if (sleep) {
        sleep(ns);
        return;
    }
    // Sleep takes whole milliseconds; the loop runs with a 1 ms timer resolution.
    Sleep(static_cast<DWORD>((ns + kNsPerMs - 1) / kNsPerMs));
}

void gf_setMainClock(std::function<int64_t()> now, std::function<void(int64_t)> sleep)
{
    std::lock_guard lock(g_clockMutex);
    g_now = std::move(now);
    g_sleep = std::move(sleep);
}
