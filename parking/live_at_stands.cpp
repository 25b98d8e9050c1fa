#include "parking/live_at_stands.h"

#include "engine/aircraft_commands.h"
#include "engine/traffic_state.h"
#include "parking/parking_plan.h"
#include "parking/stand_table.h"

// The parking hand-over, arrival and departure checks of live aircraft at
// stands come with the ground motion; these are the parts spawning needs.

void assignStand(LiveAircraft& aircraft, const Stand& stand)
{
    aircraft.lat = stand.lat;
    aircraft.lon = stand.lon;
    aircraft.standLat = stand.lat;
    aircraft.standLon = stand.lon;
    aircraft.standHeading = stand.heading;
    aircraft.heading = stand.heading;
    aircraft.standId = stand.id;
}

bool lf_checkStandIsNotUsedByOtherLiveAircraftSub(const LiveAircraft& aircraft, const Stand& stand)
{
    for (const LiveAircraft& other : gf_trafficState().aircraft.live()) {
        if (other.hexid == aircraft.hexid || other.standId != stand.id)
            continue;
        if (other.phase == FlightPhase::parked || other.phase == FlightPhase::parking ||
            other.phase == FlightPhase::pushing_back || other.phase == FlightPhase::pushed_back)
            return false;
    }
    return true;
}

bool lf_canReserveStandForLive(LiveAircraft&, const Stand& stand)
{
    return gf_reserveStand(stand.id, 0);
}

bool lf_liveExistsForUnderscoreCallsign(const LiveAircraft& aircraft)
{
    const std::string& cs = aircraft.callsign;
    if (cs.empty() || cs.back() != '_')
        return false;
    const std::string_view plain(cs.data(), cs.size() - 1);
    for (const LiveAircraft& other : gf_trafficState().aircraft.live())
        if (other.callsign == plain)
            return true;
    return false;
}

void lf_removeGhostWithUnderscoreIfPresent(const LiveAircraft& aircraft)
{
    const std::string ghost = aircraft.callsign + '_';
    for (LiveAircraft& other : gf_trafficState().aircraft.live()) {
        if (other.callsign == ghost) {
            removeAircraftFromSim(other);
            return;
        }
    }
}

int gf_liveStandHolder(int32_t standId, uint32_t hexid)
{
    if (standId < 1)
        return 0;
    int holder = 0;
    for (const LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        if (ac.hexid == hexid || ac.standId != standId)
            continue;
        if (ac.phase == FlightPhase::parked && ac.objectId > 2)
            return 2;
        if (ac.phase == FlightPhase::parking || ac.phase == FlightPhase::parked ||
            ac.phase == FlightPhase::pushing_back || ac.phase == FlightPhase::pushed_back)
            holder = 1;
    }
    return holder;
}

// Every active parked aircraft stays for now: the time limit on a stay needs
// the parked-since time, which the arrival at the stand will keep.
void lf_collectLiveStayers()
{
    std::vector<LiveStayer>& stayers = gf_liveStayers();
    stayers.clear();
    for (const LiveAircraft& ac : gf_trafficState().aircraft.live())
        if (ac.phase == FlightPhase::parked && ac.simState == SimState::active)
            stayers.push_back({ac.callsign, ac.registration, 0, ac.standId, 0});
}
