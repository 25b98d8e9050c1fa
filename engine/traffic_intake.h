// Intake of received traffic records into the live aircraft: a record joins
// a known aircraft's stream, makes a new aircraft in state buffer, or is
// dropped. Main task only (buffered slices reach it through the mailbox).
#pragma once

#include <cstdint>
#include <unordered_map>

#include "engine/aircraft.h"

struct LiveTrafficRecord;

// An address whose ground track jumped (kind 0) or whose departure failed
// (kind 1): it is not shown again until its samples are consistent.
struct QuarantineEntry {
    double lat = 0.0;
    double lon = 0.0;
    double timestamp = 0.0; // seconds
    int32_t consistentCount = 0;
    uint8_t kind = 0;
    int32_t since = 0; // engine clock when the address was quarantined
};
using QuarantineMap = std::unordered_map<uint32_t, QuarantineEntry>;
QuarantineMap& gf_quarantineMap();

// Applies one received record to the live aircraft.
void decodeMessage(const LiveTrafficRecord& record);

// The per-tick intake: takes the waiting records out of the traffic mailbox
// in their order (buffered slices first, then the live batch from its back)
// and applies each, until none waits or the tick's budget is spent; what is
// left waits for the next tick.
void lf_takeMailboxRecords();
inline constexpr int64_t kIntakeBudgetNs = 1'000'000;
// The intake's clock (steady, nanoseconds); tests replace it (nullptr
// restores the steady clock).
void gf_setIntakeClockForTest(int64_t (*clock)());

// Pitch (radians, negative nose up) that goes with the sample's vertical
// speed for the category.
double pitchFromVs(const TrafficSample& sample, Category category);

// Largest climb rate (ft per tick) and stand manoeuvre speed (kt) of a
// category; std::out_of_range for an unknown one.
double gf_maxClimbRateForCategory(Category category);
double gf_standSpeedForCategory(Category category);
