// The hand-over of decoded live traffic from the active reader thread to the
// main task: one slot holding one batch. Every record gets its play time on
// the engine clock before it is posted, so traffic replays a fixed delay
// behind the source's time stamps. A batch that finds the slot still full
// replaces what was not taken; when nothing is taken for a minute while
// batches keep coming, delivery stops for the run and the program is asked to
// end (stop code 10).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "feed/traffic_records.h"

// Live batches go into the slot; buffered slices (the history sent once at
// start) wait for the main task, which applies them before any live record:
// only the main task touches the engine's aircraft.
enum class TrafficBatchKind : uint8_t { Live, Buffered };

class TrafficMailbox {
public:
    using Clock = std::chrono::steady_clock;

    // Stamps and hands over the batch; `batch` is always left empty. The kind
    // follows from the delay: 30 s is a live batch, any other a buffered slice.
    void post(std::vector<LiveTrafficRecord>& batch, uint32_t delay, bool dropWhenIdle);
    // The same with the kind given by the caller.
    void post(std::vector<LiveTrafficRecord>& batch, TrafficBatchKind kind, uint32_t delay, bool dropWhenIdle);
    // The engine's reset at a restart: slot emptied, counters and the
    // delivery-stopped flag cleared.
    void reset();
    // The main task's side: appends up to `max` waiting records to `out` in
    // the order they are to be applied (the buffered slices in the order they
    // came, then the slot from its back) and returns how many. Taking from
    // the slot clears the hand-over counters: the engine is consuming.
    size_t take(std::vector<LiveTrafficRecord>& out, size_t max);

    // Guards every field below except the atomic deliveryOn.
    std::mutex mutex;
    std::vector<LiveTrafficRecord> slot; // taken from the back
    std::deque<LiveTrafficRecord> buffered; // stamped slices, taken from the front
    std::atomic<bool> deliveryOn{false}; // written under the mutex
    bool deliveryStopped = false;
    bool firstUnconsumedSet = false;
    Clock::time_point firstUnconsumed{};
    uint64_t replacedCount = 0;
    bool stalled = false;

    // The steady clock; tests replace it.
    Clock::time_point (*now)() = &Clock::now;
};

// The program's one mailbox.
TrafficMailbox& gf_trafficMailbox();

// Play time = clock + delay * 100 + (timestamp - median of the batch) * 100,
// clamped to the i32 range.
void lf_stampPlayTimes(std::vector<LiveTrafficRecord>& batch, int32_t clock, int32_t delay);
// Switches live delivery (never back on after a stall) and forgets the
// hand-over state (the counters and the stall).
void gf_setTrafficDelivery(bool on);
