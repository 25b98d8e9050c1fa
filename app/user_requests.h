// What the window's commands hand to the main task. The GUI thread raises the
// flags; the main loop takes each one with an atomic exchange (to false, or to
// kNoNavLightsRequest for navLightsRequest) before it acts. Two requests are
// counters kept under the parking mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// Remove the live aircraft that match the block filter.
extern std::atomic<bool> blockRequested;
// Fill the aircraft selector with the active live aircraft.
extern std::atomic<bool> listAircraftRequested;
// Remove every static parked aircraft.
extern std::atomic<bool> flushStaticRequested;
// End a restart countdown of more than 15 s at once.
extern std::atomic<bool> restartNowRequested;
// Match the liveries again (the matching depth was raised).
extern std::atomic<bool> rematchRequested;
// New limits of static and of live aircraft.
extern std::atomic<bool> maxParkChanged;
extern std::atomic<bool> maxLiveChanged;
// An aircraft category was switched off: remove its aircraft.
extern std::atomic<bool> twoPropsOff;
extern std::atomic<bool> lightAircraftOff;
extern std::atomic<bool> helicoptersOff;
extern std::atomic<bool> highPerfOff;
// The lights of parked aircraft: kNoNavLightsRequest, else the new value (0/1).
inline constexpr uint8_t kNoNavLightsRequest = 255;
extern std::atomic<uint8_t> navLightsRequest;

// The parking-update handshake between the window and the main loop.
struct ParkingRequests {
    std::mutex mutex;
    uint64_t requestedGeneration = 0;   // raised by "Park" (and the main loop)
    uint64_t doneGeneration = 0;        // the main loop's side
    uint64_t parkTrafficOnlyGeneration = 0;
    bool parkTrafficOnlyValue = false;  // the value of the last RT_PARKTRAFFIC_ONLY toggle
};
ParkingRequests& gf_parkingRequests();

// Set while a parking adjustment runs; cleared by gf_enableParkingControls.
extern std::atomic<bool> parkingInProgress;
// Set while the parking of an airport is being generated (painted as
// "generating parking ...").
extern std::atomic<bool> parkingGenerating;
// A new parking interval in minutes for the main loop's countdown; -1 = none.
extern std::atomic<int32_t> pendingParkingInterval;
