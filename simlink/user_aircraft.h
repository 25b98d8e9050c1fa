// The user aircraft as the simulator reports it: the position snapshot with
// its own mutex, the on-ground state, the radius, the simulator's Zulu time
// as epoch seconds and the teleport test. The handlers run on the SimClient
// thread; the snapshot is read by any thread through gf_getUserAcPosition.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The payload of the user position definition, copied in byte for byte.
struct UserAcPosition {
    double latitude = 0.0;          // degrees
    double longitude = 0.0;         // degrees
    double pitch = 0.0;             // radians
    double bank = 0.0;              // radians
    double verticalSpeed = 0.0;     // feet per minute
    double trueHeading = 0.0;       // radians
    double altitude = 0.0;          // feet, never below 0
    double indicatedAltitude = 0.0; // feet
    double altitudeAboveGround = 0.0; // feet
    double groundSpeed = 0.0;       // knots
    int64_t zuluTime = 0;           // seconds of the day
    int64_t zuluDayOfYear = 0;      // 1-based
    int64_t zuluYear = 0;
    int64_t lightStates = 0;        // bit mask
    double gpsGroundTrueTrack = 0.0; // degrees
};
static_assert(sizeof(UserAcPosition) == 120);
static_assert(offsetof(UserAcPosition, altitude) == 48 && offsetof(UserAcPosition, zuluTime) == 80 &&
              offsetof(UserAcPosition, gpsGroundTrueTrack) == 112);

// The simulator's UTC time in seconds since 1970 with its validity flag.
struct SimulatorUtcTime {
    std::atomic<int64_t> seconds{0};
    std::atomic<bool> valid{false};
};
extern SimulatorUtcTime simulatorUtcTime;

// The user aircraft's SimConnect object id (2 after a clear).
extern std::atomic<uint32_t> g_userObjectId;
// -1 unknown, 0 airborne, 1 on the ground.
extern std::atomic<int8_t> g_userOnGroundState;
// SIM ON GROUND of the user aircraft's latest ground report.
extern std::atomic<bool> userOnGround;
// Set by every accepted on-ground report; the main task exchanges it to 0.
extern std::atomic<uint8_t> g_userGroundDataArrived;
// Half the user aircraft's wingspan in nautical miles (NaN while unknown).
extern std::atomic<double> g_userAcRadius;

// A copy of the snapshot, taken under its mutex.
UserAcPosition gf_getUserAcPosition();

// The engine's copy of the user position, taken by the main task once per
// tick: stores it and publishes a copy of it for the other threads.
void gf_publishUserAcPosition(const UserAcPosition& position);
// The engine's copy (main task).
UserAcPosition gf_engineUserAcPosition();
// The published snapshot; an all-zero record until the first publication.
std::shared_ptr<const UserAcPosition> gf_publishedUserAcPosition();

// Epoch seconds of a Zulu year, day of year (1-based) and seconds of the day;
// no value when one of them is out of range.
std::optional<int64_t> gf_zuluToEpoch(int64_t year, int64_t dayOfYear, int64_t seconds) noexcept;

// The router of SIMOBJECT_DATA packets (whole packet and its size).
void lf_onSimObjectData(const void* packet, uint32_t cbData);

// Back to the values of a fresh process (radius NaN, on-ground unknown,
// object id 2, snapshot and Zulu time zero, teleport test re-armed).
void gf_resetUserAircraftState();

// True when the simulator reports the user off the ground, or on the ground
// but more than 500 ft above it.
bool lf_userIsAirborne();
