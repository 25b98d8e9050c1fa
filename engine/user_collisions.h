// The user aircraft against the traffic: the removal of aircraft that the
// user runs into or that come too close. Main task only.
#pragma once

struct LiveAircraft;

// Removes at most one active aircraft on the ground that the user aircraft
// touches: live aircraft first, then static ones.
void gf_checkUserAcGndCollisions();
// The per-tick collision checks of every active live aircraft against the
// user aircraft.
void gf_checkUserCollisions();

// The air conflict test with the user aircraft (the user's flight band picks
// the test); nothing is changed.
bool lf_userAirConflict(const LiveAircraft& aircraft, double cosUserLat);

// The aircraft lies ahead of a user on the ground, within 50 ft of its line.
bool lf_userGroundConflict(const LiveAircraft& aircraft);

// A live aircraft in air conflict with the user aircraft (the user's flight
// band picks the test) is removed; true then.
bool checkUserAirCollision(LiveAircraft& aircraft, double cosUserLat);

// A live aircraft ahead of a user on the ground, within 50 ft of its line,
// is removed; true then.
bool checkUserAirGndCollision(LiveAircraft& aircraft);

// The user aircraft's term of the ground collision radius, NM.
double lf_userGroundCollisionTermNm();
