// The user aircraft's state as the simulator reports it, and the flags of the
// simulator link that other threads read.
#pragma once

#include <atomic>
#include <cstdint>

// The payload of the user-aircraft data definition: 15 fields of 8 bytes.
struct UserAcPosition {
    double latitude = 0.0;         // degrees
    double longitude = 0.0;        // degrees
    double pitch = 0.0;            // radians
    double bank = 0.0;             // radians
    double verticalSpeed = 0.0;    // feet per minute
    double trueHeading = 0.0;      // radians
    double altitude = 0.0;         // feet
    double indicatedAltitude = 0.0; // feet
    double altitudeAboveGround = 0.0; // feet
    double groundSpeed = 0.0;      // knots
    int64_t zuluTime = 0;          // seconds of the day
    int64_t zuluDayOfYear = 0;
    int64_t zuluYear = 0;
    int64_t lightStates = 0;       // bit mask
    double gpsGroundTrueTrack = 0.0; // degrees
};
static_assert(sizeof(UserAcPosition) == 15 * 8);

// SIM ON GROUND of the user aircraft's latest ground report.
extern std::atomic<bool> userOnGround;
