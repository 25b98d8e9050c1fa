// Per-thread random draws and the clock texts of the window, the log and the
// stand options. All times are UTC.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <vector>

// ---- Random numbers (each thread has its own engine) ----

// The calling thread's engine, seeded on its first use.
std::mt19937& gf_threadRandomEngine();

// 0 when the RANDOM setting is off or n < 2; otherwise uniform in [0, n).
size_t gf_randomIndex(size_t n);
// With RANDOM on and at least two entries: a Fisher-Yates shuffle in place.
void gf_shuffleIfRandom(std::vector<uint16_t>& values);
// value plus or minus pct percent of it, the sign drawn from the engine.
double gf_randomPercentJitter(double value, double pct);

// ---- The engine clock ----

// The engine clock in units of 10 ms, advanced by the main task; the feeds
// stamp received records with it.
extern std::atomic<int32_t> engineClock;

// ---- Inputs of the traffic clock, written by the feeds and the time shift ----

struct TrafficClockInputs {
    // Latest traffic time stamp (seconds since 1970 UTC, 0 = none) of each feed.
    std::atomic<uint64_t> rtDirectLatestTimestamp{0};
    std::atomic<uint64_t> rtAppLastTimestamp{0};
    // The RealTraffic account is at the professional level (level 2).
    std::atomic<bool> professionalLevel{false};
    // A time shift of the traffic is active (offset above 0).
    std::atomic<bool> timeShiftActive{false};
};
TrafficClockInputs& gf_trafficClockInputs();

// ---- Clock ----

// Seconds since 1970 UTC: with useTrafficTime and a known traffic time stamp
// of the active feed, that time stamp; otherwise the system clock.
int64_t gf_nowSeconds(bool useTrafficTime);

// "3 Mar 2025 09:41Z" of the system clock; "Invalid time" on failure.
std::string gf_utcDateTimeText();
// "hh:mm:ss" of the system clock; "??:??:??" on failure.
std::string gf_utcTimeText();
// "hh:mm:ss" of the traffic clock, as "<<< hh:mm:ss" while a time shift of a
// professional account is active; "??:??:??" on failure.
std::string gf_trafficClockText();
// The same as "hh:mm"; "??:??" on failure.
std::string gf_trafficClockTextHm();
// The half-hour slot 0..47 of the traffic clock; -1 on failure.
int gf_halfHourSlotNow();
// Weekday (1 = Monday .. 7 = Sunday, -1 on failure) in the low 32 bits and
// gf_halfHourSlotNow in the high 32 bits.
int64_t gf_weekdayAndHalfHourNow();
// "Mon".."Sun" for 1..7; "???" otherwise.
const char* gf_weekdayName(int n);
// "Jan".."Dec" for 1..12; "???" otherwise.
const char* gf_monthName(int n);

// Building blocks of the above, for a given time.
// Broken-down UTC time of t; no value when the conversion fails.
std::optional<std::tm> gf_utcTm(int64_t secondsSince1970);
// The half-hour slot of a UTC time: the second half of an hour begins at hh:29:30.
int gf_halfHourSlotOf(const std::tm& utc);
// 1 = Monday .. 7 = Sunday.
int gf_weekdayOf(const std::tm& utc);

// The system clock in 100 ns units (the parked-since time of live aircraft).
int64_t gf_systemTime100ns();

// Puts another clock in the system clock's place; nullptr restores it.
void gf_setSystemTimeForTest(int64_t (*clock)());
