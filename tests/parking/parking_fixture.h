#pragma once
// A small airport for the parking tests: stands in a row with their options,
// the settings that the parking code reads, and the week slot of now.
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "liveries/model_database.h"
#include "parking/parking_plan.h"
#include "parking/stand_table.h"

namespace kvr::test {

// Stand i (1-based) is "GATE A<i>", 100 m apart in a row, heading 90 degrees.
inline std::vector<Stand> rowOfStands(int n)
{
    std::vector<Stand> stands;
    for (int i = 1; i <= n; ++i) {
        Stand s;
        s.id = i;
        s.name = fmt::format("GATE A{}", i);
        s.lat = 52.30;
        s.lon = 4.76 + 0.0015 * i;
        s.heading = 1.5707963267948966;
        s.radius = 0.03;
        s.type = static_cast<uint32_t>(StandType::GATE_MEDIUM);
        stands.push_back(std::move(s));
    }
    return stands;
}

inline StandOption option(const char* airline, const char* model, const char* callsign, const char* registration,
                          uint32_t weekday, std::initializer_list<int> halfHours, const char* callsign2 = "")
{
    StandOption o;
    o.aom.airline = gf_airlineCode2Id(airline);
    o.aom.model = gf_modelCode2Id(model);
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
    for (Stand& s : stands) {
        int32_t id = 0;
        for (StandOption& o : s.options)
            o.optionId = ++id;
    }
    gf_setStandTable(std::move(stands));
}

inline void setNow(uint32_t weekday, uint32_t halfHour)
{
    weekdayHalfHourWord.store(static_cast<int64_t>(weekday) | (static_cast<int64_t>(halfHour) << 32));
}

// Restores the settings, the engine state and the stand table at the end.
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

private:
    std::shared_ptr<const Parameters> m_parameters;
};

} // namespace kvr::test
