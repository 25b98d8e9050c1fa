// The end of a live aircraft's taxi to its stand, and the respawn with a new
// livery.
#pragma once

#include "engine/aircraft.h"

// The end of the taxi to the stand; false when the aircraft cannot park.
bool arriveAtStand(LiveAircraft& aircraft);
// Takes the aircraft's object away so that it is created again in place with
// another livery.
void liveryRespawn(LiveAircraft& aircraft);
