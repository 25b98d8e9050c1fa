#include "engine/respawn_check.h"

#include <string>

#include <fmt/format.h>

#include "core/log.h"
#include "engine/aircraft.h"
#include "engine/geometry.h"
#include "engine/live_at_stands.h"
#include "engine/spawning.h"
#include "engine/stand_arrival.h"
#include "engine/traffic_aircraft.h"
#include "feed/traffic_records.h"
#include "liveries/livery_memory.h"
#include "liveries/regcode_lists.h"

namespace {

std::string lf_routeText(const IataCode& origin, const IataCode& destination)
{
    return fmt::format("{}>{}", origin.toString(), destination.toString());
}

// ---- Route and identity ----

// True when the route counts as unchanged.
bool lf_checkRouteChange(LiveAircraft& ac, const LiveTrafficRecord& record)
{
    bool filled = false;
    if (!ac.identity.destination.isSet() && record.destination.isSet()) {
        ac.identity.destination = record.destination;
        filled = true;
    }
    if (!ac.identity.origin.isSet() && record.origin.isSet()) {
        ac.identity.origin = record.origin;
        filled = true;
    }
    const bool destinationDiffers = ac.identity.destination.isSet() && record.destination.isSet() && !(ac.identity.destination == record.destination);
    const bool originDiffers = ac.identity.origin.isSet() && record.origin.isSet() && !(ac.identity.origin == record.origin);
    const IataCode current = lf_currentAirportIata();
    auto isCurrent = [&](const IataCode& code) { return current.isSet() && code == current; };
    auto clearPending = [&] {
        ac.remembered.pendingRoute.clear();
        ac.remembered.pendingRouteCount = 0;
    };
    bool changed = false;
    if (!destinationDiffers && !originDiffers) {
        clearPending();
    } else if ((isCurrent(ac.identity.origin) || isCurrent(ac.identity.destination)) && !isCurrent(record.origin) &&
               !isCurrent(record.destination)) {
        // The feed lost the airport the user watches this aircraft at.
        clearPending();
        return true;
    } else if (destinationDiffers != originDiffers) {
        clearPending();
    } else if (isCurrent(ac.identity.origin) && record.destination == ac.identity.origin) {
        clearPending();
    } else {
        RepeatedTextMemory memory{ac.remembered.pendingRoute, ac.remembered.pendingRouteCount};
        const bool repeated =
            gf_repeatedText(lf_routeText(ac.identity.origin, ac.identity.destination), lf_routeText(record.origin, record.destination), memory);
        ac.remembered.pendingRoute = memory.text;
        ac.remembered.pendingRouteCount = memory.count;
        if (!repeated)
            return true;
        ac.identity.origin = record.origin;
        ac.identity.destination = record.destination;
        if (ac.phases.groundMode && ac.phases.phase != FlightPhase::parking && ac.phases.phase != FlightPhase::parked) {
            ac.setPhase(FlightPhase::taxi);
        }
        changed = true;
    }
    if (!filled && !changed)
        return true;
    if (ac.phases.groundMode && ac.phases.phase == FlightPhase::taxi)
        ac.push.inboundToAirport = gf_inboundToCurrentAirport(ac) ? 1 : 0;
    return false;
}

// A new registration whose registration code names another livery: the
// aircraft is set back to choose its livery again.
void lf_newRegistration(LiveAircraft& ac, const std::string& registration)
{
    const auto it = RegcodeLiveries.find(registration);
    ac.identity.registration = registration;
    if (it == RegcodeLiveries.end() || it->second == ac.identity.liveryTitle)
        return;
    lf_resetForNewLivery(ac);
}

enum class CallsignCheck { none, changed, dropped };

CallsignCheck lf_checkCallsign(LiveAircraft& ac, const std::string& callsign)
{
    if (callsign.empty())
        return CallsignCheck::none;
    if (callsign == ac.identity.callsign || callsign == ac.identity.registration) {
        ac.remembered.lastSeenCallsign.clear();
        ac.remembered.lastSeenCallsignCount = 0;
        return CallsignCheck::none;
    }
    if (callsign == ac.remembered.lastSeenCallsign) {
        ++ac.remembered.lastSeenCallsignCount;
    } else {
        ac.remembered.lastSeenCallsign = callsign;
        ac.remembered.lastSeenCallsignCount = 1;
    }
    if (ac.remembered.lastSeenCallsignCount < 3)
        return CallsignCheck::none;
    ac.remembered.lastSeenCallsign.clear();
    ac.remembered.lastSeenCallsignCount = 0;
    const std::string old = ac.identity.callsign;
    ac.identity.callsign = callsign;
    if (lf_liveExistsForUnderscoreCallsign(ac)) {
        ac.identity.callsign = old;
        return CallsignCheck::dropped;
    }
    if (callsign.back() != '_')
        lf_removeGhostWithUnderscoreIfPresent(ac);
    ac.identity.callsign2 = callsign;
    ac.identity.callsign3.clear();
    return CallsignCheck::changed;
}

} // namespace

bool checkRespawn(LiveAircraft& ac, const LiveTrafficRecord& record)
{
    switch (ac.phases.phase) {
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff:
    case FlightPhase::landing:
    case FlightPhase::landing_roll: return true;
    default: break;
    }
    if (ac.sim.simState == SimState::buffer) {
        if (record.origin.isSet() && !(record.origin == ac.identity.origin))
            ac.identity.origin = record.origin;
        if (record.destination.isSet() && !(record.destination == ac.identity.destination))
            ac.identity.destination = record.destination;
        if (!record.callsign.empty())
            ac.identity.callsign = record.callsign;
        if (!record.registration.empty())
            ac.identity.registration = record.registration;
        return true;
    }
    if (ac.sim.simState != SimState::active || ac.phases.phase == FlightPhase::pushing_back || ac.stream.projection > 0)
        return true;
    std::string reasons;
    auto addReason = [&](const char* reason) {
        if (!reasons.empty())
            reasons += ", ";
        reasons += reason;
    };
    const std::string route = lf_routeText(ac.identity.origin, ac.identity.destination);
    const std::string oldCallsign = ac.identity.callsign;
    const std::string oldRegistration = ac.identity.registration;
    if (!lf_checkRouteChange(ac, record))
        addReason("orig-dest change");
    if (!record.registration.empty() && record.registration != ac.identity.registration) {
        lf_newRegistration(ac, record.registration);
        addReason("regcode change");
    }
    switch (lf_checkCallsign(ac, record.callsign)) {
    case CallsignCheck::dropped: return false;
    case CallsignCheck::changed: addReason("callsign change"); break;
    case CallsignCheck::none: break;
    }
    if (reasons.empty() || !gf_parametersSnapshot()->GUID_CHANGES)
        return true;
    const std::string text = fmt::format("{:8} {:12} {}", oldCallsign, oldRegistration, route);
    gf_logLine(fmt::format("{}{} respawns because of {}", text, "", reasons));
    liveryRespawn(ac);
    return false;
}
