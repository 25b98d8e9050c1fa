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
#include <cstdint>
#include <mutex>
#include <vector>

#include "feed/traffic_records.h"

// Live batches go into the slot; buffered slices (the history sent once at
// start) wait whole for the main task, which applies them on its next tick
// before any live record: only the main task touches the engine's aircraft.
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

    // Guards every field below except the atomic deliveryOn.
    std::mutex mutex;
    std::vector<LiveTrafficRecord> slot; // taken from the back
    std::vector<LiveTrafficRecord> buffered; // stamped slices, applied in order by the next intake
    std::atomic<bool> deliveryOn{false}; // written under the mutex
    bool deliveryStopped = false;
    bool firstUnconsumedSet = false;
    Clock::time_point firstUnconsumed{};
    uint64_t replacedCount = 0;
    bool stalled = false;

    // The steady clock and the engine's record intake; tests replace them.
    Clock::time_point (*now)() = &Clock::now;
    void (*apply)(const LiveTrafficRecord&) = nullptr; // nullptr = decodeMessage
};

// The program's one mailbox.
TrafficMailbox& gf_trafficMailbox();

// Play time = clock + delay * 100 + (timestamp - median of the batch) * 100,
// clamped to the i32 range.
void lf_stampPlayTimes(std::vector<LiveTrafficRecord>& batch, int32_t clock, int32_t delay);
// Switches live delivery (never back on after a stall) and clears the counters.
void gf_setTrafficDelivery(bool on);
// The main task's per-tick intake: every waiting buffered record in the order
// it came, then up to two records from the back of the slot.
void lf_takeMailboxRecords();
