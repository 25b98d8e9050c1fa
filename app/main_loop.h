// The main loop: the engine's fixed 10 ms tick and the slower duties, which
// count the simulator's once-per-second reports and so pause with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>


void gf_storeWeekdayHalfHourWord();

// Runs until gf_keepRunning is false.
void lf_mainLoop();
// One tick; false ends the loop.
bool lf_tick();
void lf_everySecond();
void lf_every5Seconds();
void lf_every15Seconds();
void lf_every30Seconds();
void lf_simNotRunning();

// Live aircraft count and parked counts to the window.
void gf_refreshAircraftCounts();
// AUTO_RANGE: the range from the flight level; else the user's range. Then
// the RANGE box is usable exactly when AUTO_RANGE is off.
void gf_applyRangeSetting();
// Sets the range that follows the user's flight level.
void gf_autoRange();
// That range for the user's state, from the RANGE_* and FLIGHT_LEVEL_* settings.
double lf_autoRangeFor(bool onGround, double altitudeFeet);

// Runs a parking run that waited for its parked traffic once that query is
// over: the latched adjustment, else the first plan of the airport.
void lf_runWaitingParkingRun();

// requested != done of the parking-update handshake.
bool lf_parkingUpdatePending();

// The aircraft selector refilled with the active live aircraft (the answer to
// the "Aircraft" button), under the control-values lock.
void lf_fillAircraftSelector();

// The main loop's own state, as the restart re-initialisation leaves it.
void lf_resetMainLoopState();

// What the loop keeps between ticks; read by tests.
struct MainLoopState {
    int32_t secondsCounter = 0;
    bool notRunning = false;
    int32_t notRunningCountdown = 100;
    int32_t parkingCountdown = 20;
    bool intervalJustSet = false;
    // The parking-update request captured at a 15-second boundary.
    bool latch = false;
    uint64_t capturedGeneration = 0;
    uint64_t capturedParkTrafficOnlyGeneration = 0;
    bool capturedParkTrafficOnlyValue = false;
    // The latched adjustment waits for the parked traffic it asked for; a
    // later tick runs it once that query is over.
    bool adjustmentWaiting = false;
    // Remembered for "RANGE changed" in RT Direct mode.
    int32_t lastAutoRange = -1;
};
MainLoopState& gf_mainLoopState();

// Test hook: runs at the start of every tick (the clock may be moved there).
void gf_setTickHook(std::function<void()> hook);

// The loop's schedule for a seconds counter value, as bits.
struct SecondDuties {
    static constexpr unsigned Five = 1, Fourteen = 2, SixtyOne = 4, Fifteen = 8, Thirty = 16, Minute = 32,
                              TwentyMinutes = 64, Day = 128;
};
unsigned lf_dutiesForSecond(int32_t counter, bool parkingLatch);
