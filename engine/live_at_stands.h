// Live aircraft at the stands of the current airport: the stand a live
// aircraft takes, who wins when two want the same stand, the parking
// hand-over of an aircraft that has stopped, ghosts (a second copy of an
// aircraft under its callsign with a trailing '_'), static aircraft that
// duplicate a live one or stand in its way. Main task only; removals go
// through removeAircraftFromSim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "airports/stand.h"

struct LiveAircraft;

// Who holds the stand, not counting the aircraft `hexid` nor aircraft being
// removed: 2 a parked aircraft with a simulator object, 1 one parking,
// parked or leaving it, 0 none (also for a stand id below 1). A lookup in the
// stand uses, not a scan of the live aircraft.
int gf_liveStandHolder(int32_t standId, uint32_t hexid);
// The stand exists and no other live aircraft holds it.
bool lf_canReserveStandForLive(int32_t standId, uint32_t hexid);
// The competition for a stand: true when the candidate may use it. The
// losing holder is removed when the candidate has the better claim.
bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(int32_t standId, LiveAircraft& candidate);
// How the competition ended: the candidate may use the stand, is refused it
// (a ghost, or the holder keeps the stand), or the holder stays because it
// is still reported there: two aircraft reported standing at one stand do
// not take it from each other in turn.
enum class StandClaim { granted, refused, holderStays };
StandClaim lf_claimStandForLive(int32_t standId, LiveAircraft& candidate);
// `other` holds stand `standId` and would touch the candidate parked on the
// target stand.
bool lf_parkedAtStandCollides(const LiveAircraft& other, int32_t standId, const LiveAircraft& candidate,
                              const Stand& target);
// Arrival side: the target stand is free of other live aircraft at it; a
// parked one is removed (the stand is free at a later try).
bool lf_checkStandOrExcludedIsOccupiedByLiveParkedTry(const Stand& target, LiveAircraft& candidate);
// No live aircraft on the excluded stand would touch the candidate parked on
// the target stand; one that would is removed unless it is already leaving.
bool lf_checkExcludedStandIsAvailableForLiveParkingTry(int32_t excludedId, LiveAircraft& candidate,
                                                       const Stand& target);

// The aircraft takes the stand: the stand position, heading, id and its
// gate flag. Its own position stays.
void assignStand(LiveAircraft& aircraft, const Stand& stand);
// A taxiing aircraft that has come to a stop looks for the nearest stand,
// wins it and gets the path there.
void try2Park(LiveAircraft& aircraft);

// A live aircraft not being removed flies under `callsign` less its last
// character (a new "X_" is refused while "X" lives).
bool lf_liveExistsForUnderscoreCallsign(const std::string& callsign);
bool lf_liveExistsForUnderscoreCallsign(const LiveAircraft& aircraft);
// Removes the ghost flying under `callsign` + '_' and remembers its callsign
// so that it is not created again.
void lf_removeGhostWithUnderscoreIfPresent(const std::string& callsign);
void lf_removeGhostWithUnderscoreIfPresent(const LiveAircraft& aircraft);

// Removes the active static aircraft that is the live one: by its parked key
// (hexid), its registration or one of its other callsigns.
void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft& aircraft);

// Removes one active static aircraft that is the parked version of a live
// aircraft on the ground (same registration, or its callsign with a '*').
void gf_checkForAllGndIfParkedVersionExistsAndRemove();
// The collision checks of taxiing and parking live aircraft against the
// parked ones: all of them when the parked count changed or every 60th call,
// else those that moved more than about 5.5 m since their last check.
void gf_checkLiveVsParkedCollisions();
// Live aircraft parked with a simulator object; with withAge the window gets
// their mean parked age.
uint64_t gf_countLiveParked(bool withAge);

// The static aircraft on the stand (and on the stands it excludes, when they
// are too close) leaves for the live one.
void makeWayForLive(LiveAircraft& live, const Stand& stand);

// A live aircraft on the ground that runs into a static one removes it (one per call).
void collisionWithParked(LiveAircraft& aircraft);
