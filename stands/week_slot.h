// Weekday and half-hour slots: the time grid of stand options and parked ages.
#pragma once

#include <atomic>
#include <cstdint>

// Weekday 1 (Monday) .. 7 and half-hour slot 0..47; {0, 0} = none.
struct WeekSlot {
    uint32_t weekday = 0;
    uint32_t halfHour = 0;
};
// The packed word of gf_weekdayAndHalfHourNow (weekday low, slot high).
WeekSlot gf_weekSlotOfWord(int64_t word);

// The weekday (low 32 bits) and half-hour slot (high 32 bits) of now, stored
// by the main loop for the engine and the parking code; 0 after a reset.
extern std::atomic<int64_t> weekdayHalfHourWord;
// `now` moved back by `halfHours` (0..47) half-hours, across midnight into the
// previous weekday (Monday goes back to Sunday).
WeekSlot gf_weekSlotBack(WeekSlot now, int32_t halfHours);

// The week slot of now, as the main loop published it; {0, 0} while none is.
WeekSlot gf_currentWeekSlot();
