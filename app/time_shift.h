// The time shift: RT Direct traffic and weather of an earlier moment, set with
// the three time-shift combo boxes and "Set", or following the simulator's
// clock. A new shift restarts the main task unless the caller says otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

// The longest shift: two weeks.
inline constexpr int32_t kMaxTimeShiftMinutes = 20160;

// Set by each (re)start; consumed by the first shift that follows the
// simulator's clock. Main task only.
extern bool firstSimTimeAfterStart;
// The simulator time (UTC seconds) seen at the previous check; 0 = unknown.
extern std::atomic<int64_t> lastSimTime;
// The time offset in minutes (0..20160) of the RT Direct traffic and
// nearest-METAR requests, kept by both RT Direct readers.
void gf_setRTDirectTimeOffset(int32_t minutes);
int32_t gf_rtDirectTimeOffset();

// (TIME_SHIFT_DAYS * 24 + TIME_SHIFT_HOURS) * 60 + TIME_SHIFT_MINS of the snapshot.
int32_t lf_getTimeShiftMinutes();
// Splits the minutes into the three settings (each clamped, saved and selected
// in its combo box) and republishes them.
void lf_storeTimeShift(int32_t minutes);
// Applies a shift: the active flag, the stored settings (unless skipStore),
// the request offset, the message, and a restart unless noRestart.
void lf_applyTimeShift(int32_t minutes, bool noRestart, bool skipStore);
// The main loop's check of the simulator's clock.
void lf_followSimTime();
// The same with the two clocks given: now and the simulator time (none when
// it is not valid), both UTC seconds.
void lf_followSimTimeAt(int64_t nowUtcSeconds, std::optional<int64_t> simUtcSeconds);
// The restart re-initialisation: first-after-start set, no last time, no shift.
void gf_resetTimeShiftState();
// "Time shifted {} minute{}": no "s" for 1 or a negative count.
std::string gf_timeShiftedText(int32_t minutes);
