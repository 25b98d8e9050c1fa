#include "engine/ground_moves.h"

// Push-back and pull-out come with their own work; a hold stops the aircraft.
void lf_holdLeg(LiveAircraft& ac)
{
    ac.stepLat = 0.0;
    ac.stepLon = 0.0;
}
