// Intake of received traffic records into the live aircraft: a record joins
// a known aircraft's stream, makes a new aircraft in state buffer, or is
// dropped. Main task only (buffered slices reach it through the mailbox).
#pragma once

#include <cstdint>


#include "liveries/category.h"

struct LiveTrafficRecord;

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

// Largest climb rate (ft per tick) and stand manoeuvre speed (kt) of a
// category; std::out_of_range for an unknown one.
double gf_maxClimbRateForCategory(Category category);
double gf_standSpeedForCategory(Category category);
