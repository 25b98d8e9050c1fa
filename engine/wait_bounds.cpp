#include "engine/wait_bounds.h"

#include <algorithm>
#include <string>

#include <fmt/format.h>

#include "core/log.h"
#include "engine/quarantine.h"
#include "engine/stand_arrival.h"
#include "engine/traffic_state.h"

namespace {

// A creation's wait ends when its object id arrives, not when the aircraft
// becomes active after the settling delay.
bool lf_waiting(const AircraftBase& ac)
{
    if (ac.sim.simState == SimState::adding2sim)
        return !ac.sim.creationAnswered;
    return ac.sim.simState == SimState::removingfromsim || ac.sim.simState == SimState::liveryrespawn;
}

// The request has not reached the simulator yet: still in one of the
// engine's own queues, where nothing is lost.
bool lf_requestStillQueued(const AircraftBase& ac)
{
    const TrafficState& s = gf_trafficState();
    if (ac.sim.simState != SimState::adding2sim)
        return ac.sim.objectId != 0 && std::find(s.removalQueue.begin(), s.removalQueue.end(), ac.sim.objectId) !=
                                       s.removalQueue.end();
    const uint32_t key = ac.key();
    const auto& creations = ac.sim.isStatic ? s.staticCreations : s.liveCreations;
    if (std::any_of(creations.begin(), creations.end(), [key](const CreateAcCmd& c) { return c.key == key; }))
        return true;
    return !ac.sim.isStatic && std::find(s.addingStack.begin(), s.addingStack.end(), ac.identity.hexid) != s.addingStack.end();
}

std::string lf_who(const AircraftBase& ac)
{
    return fmt::format("{} {}", ac.identity.callsign, ac.identity.registration);
}

// The record goes, as after the simulator's removal report; an object the
// simulator may still hold is removed.
void lf_drop(SimObjectState& ac)
{
    if (ac.simState == SimState::adding2sim && ac.objectId != 0)
        gf_trafficState().removalQueue.push_back(ac.objectId);
    ac.removeFlag = 1;
    if (ac.isStatic)
        gf_trafficState().staticDirty = true;
}

void lf_release(AircraftBase& ac, int32_t waitedTicks)
{
    const int32_t seconds = waitedTicks / 100;
    switch (ac.sim.simState) {
    case SimState::adding2sim:
        gf_logLine(fmt::format("{}: no answer from the simulator to the creation request after {} s, aircraft dropped",
                               lf_who(ac), seconds));
        lf_drop(ac.sim);
        break;
    case SimState::removingfromsim:
        gf_logLine(fmt::format("{}: the simulator did not confirm the removal after {} s, taken as removed", lf_who(ac),
                               seconds));
        lf_drop(ac.sim);
        break;
    case SimState::liveryrespawn:
        gf_logLine(fmt::format("{}: the simulator did not confirm the removal for the new livery after {} s, "
                               "creating it again",
                               lf_who(ac), seconds));
        lf_backToBuffer(ac);
        break;
    default:
        break;
    }
}

void lf_expire(AircraftBase& ac, int32_t clock)
{
    if (!lf_waiting(ac) || ac.sim.removeFlag || ac.sim.staticRemoveFlag) {
        ac.sim.waitState = SimState::buffer;
        return;
    }
    if (ac.sim.waitState != ac.sim.simState) {
        ac.sim.waitState = ac.sim.simState;
        ac.sim.waitSince = clock;
        return;
    }
    const int32_t bound = ac.sim.simState == SimState::adding2sim ? kCreationAnswerTicks : kRemovalAnswerTicks;
    const int32_t waited = clock - ac.sim.waitSince;
    if (waited < bound)
        return;
    if (lf_requestStillQueued(ac)) {
        ac.sim.waitSince = clock; // the wait for the answer starts when the request leaves
        return;
    }
    ac.sim.waitState = SimState::buffer;
    lf_release(ac, waited);
}

void lf_expireQuarantine(int32_t clock)
{
    std::erase_if(gf_quarantineMap(), [clock](const auto& entry) {
        const int32_t held = clock - entry.second.since;
        if (held < kQuarantineTicks)
            return false;
        gf_logLine(fmt::format("Address {:06x}: quarantine lifted after {} s", entry.first, held / 100));
        return true;
    });
}

} // namespace

void gf_expireStuckWaits()
{
    const int32_t clock = engineClock.load();
    AircraftStore& store = gf_trafficState().aircraft;
    for (LiveAircraft& ac : store.live())
        lf_expire(ac, clock);
    for (StaticAircraft& ac : store.statics())
        lf_expire(ac, clock);
    if (clock % 100 == 0)
        lf_expireQuarantine(clock);
}
