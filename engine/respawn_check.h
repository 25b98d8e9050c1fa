// The identity checks of a new record of a known aircraft: a changed route,
// registration or callsign respawns it with another livery (or drops the
// record). Main task only.
#pragma once

struct LiveAircraft;
struct LiveTrafficRecord;

// False when the record leads to a respawn (or is dropped) instead of
// joining the stream.
bool checkRespawn(LiveAircraft& aircraft, const LiveTrafficRecord& record);
