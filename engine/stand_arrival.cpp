#include "engine/stand_arrival.h"

#include "engine/aircraft_commands.h"

// Parking at the stand comes with its own work: nothing parks yet.
bool arriveAtStand(LiveAircraft&)
{
    return false;
}

// The respawn in place comes with its own work; until then the aircraft
// leaves the simulator and is taken up again by its next record.
void liveryRespawn(LiveAircraft& aircraft)
{
    removeAircraftFromSim(aircraft);
}
