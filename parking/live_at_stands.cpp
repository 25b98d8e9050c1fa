#include "parking/live_at_stands.h"

#include "engine/aircraft_commands.h"
#include "engine/traffic_state.h"
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
