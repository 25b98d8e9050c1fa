#include "engine/engine_reports.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <numbers>
#include <shared_mutex>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_database_state.h"
#include "core/geodesy.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "core/units.h"
#include "engine/aircraft_commands.h"
#include "engine/traffic_log.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "simlink/user_model.h"

uint32_t lf_airportNear(const LatLon& position, uint32_t fallbackCode)
{
    CurrentAirportRecord current;
    {
        std::shared_lock lock(engineLock);
        current = CurrentAirport;
    }
    const bool validPoint = gf_isValidLatLon(position);
    if (current.code != 0 && validPoint && gf_isValidLatLon({current.latitude, current.longitude})) {
        const LatLon airport{current.latitude, current.longitude};
        if (gf_flatOffsetNm(airport, position, gf_cosLatitude(current.latitude)).squared() <= 25.0)
            return current.code;
    }
    if (fallbackCode != 0 || !validPoint)
        return fallbackCode;
    AirportDatabase& db = gf_airportDatabase();
    std::shared_lock lock(db.lock);
    uint32_t best = 0;
    double bestD2 = std::numeric_limits<double>::infinity();
    for (const AirportDbRecord& r : db.records) {
        if (std::fabs(position.latitude - r.position.latitude) * kNmPerDegree > 5.0)
            continue;
        const FlatOffsetNm offset = gf_flatOffsetNm(r.position, position, gf_cosLatitude(r.position.latitude));
        const double d2 = offset.squared();
        if (std::fabs(offset.east) <= 5.0 && d2 <= 25.0 && d2 < bestD2) {
            bestD2 = d2;
            best = r.icao.code;
        }
    }
    return best;
}

std::vector<std::string> lf_listActiveAircraft()
{
    const uint8_t selector = gf_parametersSnapshot()->ALL_AIR_GND_SELECTOR;
    std::vector<std::string> list;
    for (const LiveAircraft& ac : gf_trafficState().aircraft.live()) {
        if (ac.sim.simState != SimState::active)
            continue;
        if ((selector == 1 && ac.phases.groundMode) || (selector == 2 && !ac.phases.groundMode))
            continue;
        const std::string head = fmt::format("{}, {}, {:x}", ac.identity.callsign.empty() ? "null" : ac.identity.callsign,
                                             ac.identity.registration.empty() ? "null" : ac.identity.registration, ac.identity.hexid);
        list.push_back(fmt::format("{}, oid={}", head, gf_objectIdText(ac.sim.objectId)));
    }
    std::sort(list.begin(), list.end());
    return list;
}

LiveAircraft* gf_farthestActiveLive(double distanceNm)
{
    const auto live = gf_trafficState().aircraft.live();
    if (live.empty())
        return nullptr;
    const UserAcPosition user = gf_engineUserAcPosition();
    const double cosLat = gf_cosLatitude(user.latitude);
    const double margin = distanceNm < 0.0 ? 0.0 : 0.1;
    double bestFlat = distanceNm < 0.0 ? -std::numeric_limits<double>::infinity() : distanceNm;
    double bestNm = bestFlat;
    LiveAircraft* farthest = nullptr;
    for (LiveAircraft& ac : live) {
        if (ac.sim.simState != SimState::active)
            continue;
        const double flat = gf_flatOffsetNm({user.latitude, user.longitude}, {ac.motion.lat, ac.motion.lon}, cosLat).length();
        if (!(flat > bestFlat + margin))
            continue;
        const double nm = gf_distanceNm({user.latitude, user.longitude}, {ac.motion.lat, ac.motion.lon});
        if (!(nm > bestNm + margin))
            continue;
        bestFlat = flat;
        bestNm = nm;
        farthest = &ac;
    }
    return farthest;
}

bool lf_isThisTheFurthestLive(double distanceNm)
{
    LiveAircraft* farthest = gf_farthestActiveLive(distanceNm);
    if (!farthest)
        return true;
    try {
        removeAircraftFromSim(*farthest);
    } catch (...) {
        gf_reportTrafficException("lf_isThisTheFurthestLive");
    }
    return false;
}

std::vector<std::string> lf_objectIdListLines()
{
    const auto live = gf_trafficState().aircraft.live();
    std::vector<std::string> lines;
    lines.reserve(live.size() + 1);
    for (const LiveAircraft& ac : live) {
        if (ac.sim.simState != SimState::active)
            continue;
        lines.push_back(fmt::format("{};{};{};{};{};{};{}", gf_objectIdText(ac.sim.objectId), ac.identity.callsign,
                                    ac.identity.registration, gf_airlineCodeText(ac.identity.ids.airline),
                                    gf_modelCodeText(ac.identity.ids.model), ac.phases.groundMode ? "GND" : "AIR",
                                    ac.phases.phase == FlightPhase::parked ? "PARKED" : ""));
    }
    return lines;
}

void lf_writeObjectIdList()
{
    if (!gf_writeLines(lf_objectIdListLines(), g_objectIdListPath))
        gf_logError(fmt::format("Failed to write {}", wide_to_utf8(g_objectIdListPath.wstring())));
}

std::vector<uint32_t> gf_parkedObjectIdsInSim()
{
    TrafficState& s = gf_trafficState();
    std::vector<uint32_t> ids;
    for (const StaticAircraft& st : s.aircraft.statics())
        if (st.sim.simState == SimState::active && st.sim.objectId != 0)
            ids.push_back(st.sim.objectId);
    for (const LiveAircraft& ac : s.aircraft.live())
        if (ac.sim.simState == SimState::active && ac.phases.phase == FlightPhase::parked && ac.sim.objectId != 0)
            ids.push_back(ac.sim.objectId);
    return ids;
}
