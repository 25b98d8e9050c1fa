// One runway of an airport as the simulator's facility data describe it.
#pragma once

#include <cstdint>

struct RunwayStart {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
    double heading = 0.0;  // degrees
    uint32_t type = 0;     // 1 = runway start
    bool present = false;
};

struct RunwayThreshold {
    double length = 0.0; // metres
    double width = 0.0;  // metres
    bool enabled = false;
};

struct RunwayRecord {
    double latitude = 0.0; // centre, degrees
    double longitude = 0.0;
    double primaryLatitude = 0.0; // centre moved half the length against the heading
    double primaryLongitude = 0.0;
    double secondaryLatitude = 0.0; // centre moved half the length along the heading
    double secondaryLongitude = 0.0;
    double altitude = 0.0; // feet
    double heading = 0.0;  // degrees true
    double length = 0.0;   // metres
    double width = 0.0;    // metres
    uint32_t primaryNumber = 0;
    uint32_t primaryDesignator = 0;
    uint32_t secondaryNumber = 0;
    uint32_t secondaryDesignator = 0;
    RunwayStart primaryStart;
    RunwayStart secondaryStart;
    RunwayThreshold primaryThreshold;
    RunwayThreshold secondaryThreshold;
};
