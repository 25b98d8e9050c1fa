// What the window's commands hand to the main task: one typed queue of user
// requests (gf_postUserRequest) from the GUI thread, the main loop taking each
// kind where it handles it (gf_takeUserRequest). A kind asked again before it
// is taken is held once: the later request replaces the earlier one in its
// place. Two requests are counters kept under the parking mutex.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

struct UserRequest {
    // Remove the live aircraft that match the block filter.
    struct Block {};
    // Fill the aircraft selector with the active live aircraft.
    struct ListAircraft {};
    // Remove every static parked aircraft.
    struct FlushStatic {};
    // End a restart countdown of more than 15 s at once.
    struct RestartNow {};
    // Match the liveries again (the matching depth was raised).
    struct Rematch {};
    // New limits of static and of live aircraft.
    struct MaxParkChanged {};
    struct MaxLiveChanged {};
    // An aircraft category was switched off: remove its aircraft.
    struct TwoPropsOff {};
    struct LightAircraftOff {};
    struct HelicoptersOff {};
    struct HighPerfOff {};
    // The lights of parked aircraft.
    struct NavLights {
        bool on = false;
    };

    using Kind = std::variant<Block, ListAircraft, FlushStatic, RestartNow, Rematch, MaxParkChanged, MaxLiveChanged,
                              TwoPropsOff, LightAircraftOff, HelicoptersOff, HighPerfOff, NavLights>;
    template <typename T>
    static constexpr std::size_t indexOf = Kind(std::in_place_type<T>).index();
};

void gf_postUserRequest(UserRequest::Kind request);
// Takes the pending request of that kind index out of the queue.
std::optional<UserRequest::Kind> gf_takeUserRequest(std::size_t kind);
bool gf_userRequestPending(std::size_t kind);

// Takes the pending request of kind T; empty when none is pending.
template <typename T>
std::optional<T> gf_takeUserRequest()
{
    std::optional<UserRequest::Kind> taken = gf_takeUserRequest(UserRequest::indexOf<T>);
    if (!taken)
        return std::nullopt;
    return std::get<T>(*taken);
}

// True while a request of kind T waits; it stays in the queue.
template <typename T>
bool gf_userRequestPending()
{
    return gf_userRequestPending(UserRequest::indexOf<T>);
}

// Forgets a pending request of kind T.
template <typename T>
void gf_dropUserRequest()
{
    (void)gf_takeUserRequest(UserRequest::indexOf<T>);
}

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
