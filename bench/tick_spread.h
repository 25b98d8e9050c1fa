// Spread of per-tick or per-frame times as benchmark counters: min, median,
// mean and p99 in microseconds.
#pragma once

#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

inline void gf_reportSpreadUs(benchmark::State& state, std::vector<double>& us)
{
    if (us.empty())
        return;
    std::sort(us.begin(), us.end());
    double sum = 0.0;
    for (double v : us)
        sum += v;
    state.counters["min_us"] = us.front();
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["mean_us"] = sum / static_cast<double>(us.size());
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}
