// The initial position of a created AI aircraft, as the creation call takes it.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;  // degrees
    double Longitude; // degrees
    double Altitude;  // feet
    double Pitch;     // degrees
    double Bank;      // degrees
    double Heading;   // degrees
    uint32_t OnGround;
    uint32_t Airspeed; // knots
};
#pragma pack(pop)
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);
