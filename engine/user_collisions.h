// The user aircraft against the traffic: the removal of aircraft that the
// user runs into or that come too close. Main task only.
#pragma once

// Removes at most one active aircraft on the ground that the user aircraft
// touches: live aircraft first, then static ones.
void gf_checkUserAcGndCollisions();
// The per-tick collision checks of every active live aircraft against the
// user aircraft.
void gf_checkUserCollisions();
