// The timing of a ground leg: how long the aircraft takes to the next
// sample, at what turn rate, and whether it turns on the spot, rolls round or
// turns onto the leg as it rolls first. Main task only.
#pragma once

struct LiveAircraft;

void lf_groundLegTiming(LiveAircraft& aircraft);
