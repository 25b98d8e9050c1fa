#include "engine/stand_arrival.h"

// Parking at the stand comes with its own work: nothing parks yet.
bool arriveAtStand(LiveAircraft&)
{
    return false;
}
