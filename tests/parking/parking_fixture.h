#pragma once
// A small airport for the parking tests: stands in a row with their options,
// parked aircraft on them, and the settings and week slot the parking reads.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/settings_snapshot.h"
#include "engine/engine.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "stands/stand_table.h"

namespace kvr::test {

// Stand i (1-based) is "GATE A<i>", 100 m apart in a row, heading 90 degrees.
inline std::vector<Stand> rowOfStands(int n)
{
    std::vector<Stand> stands(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) {
        Stand& s = stands[static_cast<size_t>(i - 1)];
        s.id = i;
        s.name = fmt::format("GATE A{}", i);
        s.lat = 52.30;
        s.lon = 4.76 + 0.0015 * i;
        s.heading = 1.5707963267948966;
        s.type = StandType::GATE_MEDIUM;
    }
    return stands;
}

inline StandOption option(const char* airline, const char* callsign, const char* registration, uint32_t weekday,
                          std::initializer_list<int> halfHours, const char* callsign2 = "")
{
    StandOption o;
    o.aom = {gf_airlineCode2Id(airline), 0, gf_modelCode2Id("B738"), 0, 0};
    o.callsign = callsign;
    o.callsign2 = callsign2;
    o.registration = registration;
    o.weekday = weekday;
    o.real = 1;
    for (const int h : halfHours)
        o.halfHours.set(static_cast<size_t>(h));
    return o;
}

// Numbers the options of every stand 1, 2, 3 ... and makes the table current.
inline void loadStands(std::vector<Stand> stands)
{
    for (Stand& s : stands)
        for (size_t k = 0; k < s.options.size(); ++k)
            s.options[k].optionId = static_cast<int32_t>(k + 1);
    gf_setStandTable(std::move(stands));
}

inline void setNow(uint32_t weekday, uint32_t halfHour)
{
    weekdayHalfHourWord.store(static_cast<int64_t>(weekday) | (static_cast<int64_t>(halfHour) << 32));
}

// Fresh engine state and settings, restored at the end; B738 is Large and
// EC35 Rotorcraft, every other type Light.
class ParkingState {
public:
    ParkingState() : m_parameters(g_parameters.load())
    {
        gf_resetTrafficState();
        gf_initTrafficState();
        gf_modifyParameters([](Parameters& p) { p.RANDOM = false; });
        gf_modelDatabase().large.insert(gf_modelCode2Id("B738"));
        gf_modelDatabase().rotorcraft.insert(gf_modelCode2Id("EC35"));
    }
    ~ParkingState()
    {
        g_parameters.store(m_parameters);
        gf_resetTrafficState();
        gf_initTrafficState();
        gf_standTable().staticQuota = -1;
        gf_clearModelDatabase();
    }
    ParkingState(const ParkingState&) = delete;
    ParkingState& operator=(const ParkingState&) = delete;

    // Aircraft in a state; an active one owns an object id.
    StaticAircraft& addStatic(const std::string& callsign, int32_t standId, SimState simState = SimState::active,
                              WeekSlot parked = {}, const char* model = "B738")
    {
        StaticAircraft& st = gf_trafficState().aircraft.addStatic(
            StaticAircraft(base(0, callsign, model), gf_nextStaticKey(), standId, {}, true));
        st.sim.createdWeekSlot = parked;
        st.sim.staticSource = 1;
        return place(st, simState);
    }
    LiveAircraft& addLive(uint32_t hexid, FlightPhase phase, SimState simState = SimState::active,
                          int32_t standId = 0, const char* model = "B738")
    {
        LiveAircraft ac(TrafficSample{}, base(hexid, fmt::format("L{:x}", hexid), model), 0.0);
        ac.phases.phase = phase;
        ac.stand.standId = standId;
        return place(gf_trafficState().aircraft.addLive(std::move(ac)), simState);
    }
    // Callsigns of the aircraft in that state.
    template <typename Range>
    static std::set<std::string> callsigns(Range aircraft, SimState simState = SimState::removingfromsim)
    {
        std::set<std::string> names;
        for (const AircraftBase& ac : aircraft)
            if (ac.sim.simState == simState)
                names.insert(ac.identity.callsign);
        return names;
    }

private:
    static AircraftBase base(uint32_t hexid, const std::string& callsign, const char* model)
    {
        AircraftBase b;
        b.identity.hexid = hexid;
        b.identity.callsign = callsign;
        b.identity.ids.model = gf_modelCode2Id(model);
        b.identity.category = gf_modelCategory(b.identity.ids.model);
        return b;
    }
    template <typename T>
    T& place(T& ac, SimState simState)
    {
        ac.sim.simState = simState;
        if (simState == SimState::active)
            gf_trafficState().aircraft.setObjectId(ac, m_nextObject++);
        return ac;
    }
    std::shared_ptr<const Parameters> m_parameters;
    uint32_t m_nextObject = 100;
};

} // namespace kvr::test
