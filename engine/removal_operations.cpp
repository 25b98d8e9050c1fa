#include "engine/removal_operations.h"

#include <algorithm>

#include <fmt/format.h>

#include "core/log.h"
#include "core/settings_snapshot.h"
#include "engine/aircraft_commands.h"
#include "engine/traffic_log.h"
#include "liveries/category.h"
#include "engine/traffic_state.h"
#include "engine/static_placement.h"
#include "liveries/livery_memory.h"
#include "stands/stand_table.h"

namespace {

// An aircraft whose creation is still pending: its queued request is dropped
// and the record marked for erasing, or, when the simulator link has the
// request already, it is removed once created.
void lf_dropPendingCreation(AircraftBase& aircraft, std::deque<CreateAcCmd>& queue)
{
    if (aircraft.sim.removeWhenCreated)
        return;
    if (lf_cancelPendingCreation(queue, aircraft.key()))
        aircraft.sim.staticRemoveFlag = 1;
    else
        aircraft.sim.removeWhenCreated = 1;
}

void lf_removeCategoryMember(AircraftBase& aircraft)
{
    gf_logLine(fmt::format("{} {} removed because '{}' no longer included category", aircraft.identity.callsign,
                           gf_modelCodeText(aircraft.identity.ids.model), gf_categoryName(aircraft.identity.category)));
    removeAircraftFromSim(aircraft);
}

} // namespace

void gf_removeAllStatic()
{
    TrafficState& s = gf_trafficState();
    try {
        for (StaticAircraft& st : s.aircraft.statics()) {
            if (st.sim.simState == SimState::active) {
                gf_logLine(fmt::format("{:14}: {:8} removed", gf_standNameById(st.stand.standId), st.identity.callsign));
                removeAircraftFromSim(st);
            } else if (st.sim.simState == SimState::adding2sim) {
                lf_dropPendingCreation(st, s.staticCreations);
            }
        }
    } catch (...) {
        gf_reportTrafficException("gf_removeAllStatic");
    }
    gf_compactStaticAircraft();
}

void gf_removeLiveAircraftCategory(Category category)
{
    try {
        for (LiveAircraft& ac : gf_trafficState().aircraft.live())
            if (ac.identity.category == category && ac.sim.simState != SimState::removingfromsim)
                lf_removeCategoryMember(ac);
    } catch (...) {
        gf_reportTrafficException("gf_removeLiveAircraftCategory");
    }
}

void gf_removeStaticAircraftCategory()
{
    TrafficState& s = gf_trafficState();
    try {
        for (StaticAircraft& st : s.aircraft.statics()) {
            if (st.identity.category != Category::Rotorcraft)
                continue;
            if (st.sim.simState == SimState::active)
                lf_removeCategoryMember(st);
            else if (st.sim.simState == SimState::adding2sim)
                lf_dropPendingCreation(st, s.staticCreations);
        }
        gf_compactStaticAircraft();
        std::erase_if(gf_parkingPlan(), [](const ParkingPlanEntry& e) {
            return gf_modelCategory(gf_modelCode2Id(gf_modelCodeText(e.ids.model))) == Category::Rotorcraft;
        });
    } catch (...) {
        gf_reportTrafficException("gf_removeStaticAircraftCategory");
    }
}

void gf_clearUserDestGate(const std::string& standName)
{
    const Stand* stand = standName.empty() ? nullptr : lf_standByName(standName);
    if (!stand || stand->id < 1)
        return; // aircraft without a stand are not on the user's gate
    const int32_t id = stand->id;
    AircraftStore& store = gf_trafficState().aircraft;
    try {
        for (StaticAircraft& st : store.statics())
            if (st.sim.simState == SimState::active && st.stand.standId == id) {
                removeAircraftFromSim(st);
                return;
            }
        for (LiveAircraft& ac : store.live())
            if (ac.sim.simState == SimState::active && ac.phases.phase == FlightPhase::parked && ac.stand.standId == id) {
                removeAircraftFromSim(ac);
                return;
            }
    } catch (...) {
        gf_reportTrafficException("gf_clearUserDestGate");
    }
}

void lf_removeAllStaticAndLiveAtAirport()
{
    TrafficState& s = gf_trafficState();
    try {
        gf_removeAllStatic();
        for (LiveAircraft& ac : s.aircraft.live()) {
            switch (ac.phases.phase) {
            case FlightPhase::pushing_back:
            case FlightPhase::pushed_back:
            case FlightPhase::taxi:
            case FlightPhase::takeoff_roll:
            case FlightPhase::landing_roll:
            case FlightPhase::parked:
                break;
            default:
                continue;
            }
            s.aircraft.setStandId(ac, 0);
            if (ac.sim.simState == SimState::active)
                removeAircraftFromSim(ac);
            else if (ac.sim.simState == SimState::adding2sim)
                lf_dropPendingCreation(ac, s.liveCreations);
        }
    } catch (...) {
        gf_reportTrafficException("lf_removeAllStaticAndLiveAtAirport");
    }
    gf_compactLiveAircraft();
}

void gf_removeBlockedAc()
{
    const BlockFilter block = gf_parametersSnapshot()->blockFilter;
    try {
        const auto live = gf_trafficState().aircraft.live();
        auto removeFirst = [&](auto matches) {
            for (LiveAircraft& ac : live)
                if (ac.sim.simState == SimState::active && matches(ac)) {
                    removeAircraftFromSim(ac);
                    return true;
                }
            return false;
        };
        if (block.hexid != 0 &&
            removeFirst([&](const LiveAircraft& ac) { return ac.identity.hexid == static_cast<uint32_t>(block.hexid); }))
            return;
        if (!block.callsign.empty()) {
            removeFirst([&](const LiveAircraft& ac) { return ac.identity.callsign == block.callsign; });
            return;
        }
        if (!block.regcode.empty())
            removeFirst([&](const LiveAircraft& ac) { return ac.identity.registration == block.regcode; });
    } catch (...) {
        gf_reportTrafficException("gf_removeBlockedAc");
    }
}

void gf_removeTCASCoverageAcs()
{
    const double limitFt = gf_parametersSnapshot()->TCAS_FL * 100.0 - 1000.0;
    for (LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        if (ac.sim.simState != SimState::active || !ac.identity.matchedBeyondDepth || !(ac.motion.altitudeFt < limitFt))
            continue;
        try {
            lf_forgetLiveryOfHexid(ac.identity.hexid);
            removeAircraftFromSim(ac);
        } catch (...) {
            gf_reportTrafficException("gf_removeTCASCoverageAcs");
        }
    }
}
