// Engine state that the feed and the main task share.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

// The engine clock in units of 10 ms, advanced by the main task.
extern std::atomic<int32_t> engineClock;

// The reader/writer lock over the engine state and CurrentAirport.
extern std::shared_mutex engineLock;
