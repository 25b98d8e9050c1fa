// Traced traffic at an airport of the recorded data (shared/data): its
// published runways in the runway table and the current airport set, the
// user far above it, an A320 that stands on its wheels 8 ft up, so that the
// trace tells ground writes from air ones.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"
#include "tests/engine/engine_fixture.h"
#include "tests/runways/runway_fixture.h"

namespace kvr::test {

struct RecordedAirport {
    const char* runways; // the published list in shared/data
    double fieldFt;
    LatLon reference;
    uint32_t icao;
};
inline const RecordedAirport kLasVegas{"runways-klas.csv", 2180.0, {36.0801, -115.1522}, 0x4B4C4153};
inline const RecordedAirport kLosAngeles{"runways-klax.csv", 128.0, {33.9425, -118.408}, 0x4B4C4158};
inline const RecordedAirport kNewYork{"runways-kjfk.csv", 13.0, {40.639925, -73.778694}, 0x4B4A464B};
inline const RecordedAirport kDubai{"runways-omdb.csv", 62.0, {25.2528, 55.3644}, 0x4F4D4442};

inline std::filesystem::path recordedRunwaysCsv(const RecordedAirport& a)
{
    return std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data" / a.runways;
}

// The point `m` metres from `from` along the bearing `bearingDeg`.
inline LatLon movedMetres(const LatLon& from, double bearingDeg, double m)
{
    return gf_destinationPoint(from, {bearingDeg * 3.141592653589793 / 180.0, m / 0.3048});
}

// A report of the feed as the stand-in App sends it.
inline kvr::standin::TrackPoint feedReport(double t, const LatLon& at, double altFt, double kt, double trackDeg,
                                           bool onGround, double vsFpm = 0.0)
{
    kvr::standin::TrackPoint p;
    p.t = t;
    p.lat = at.latitude;
    p.lon = at.longitude;
    p.altFt = altFt;
    p.gsKt = kt;
    p.trackDeg = trackDeg;
    p.vsFpm = vsFpm;
    p.onGround = onGround;
    return p;
}

// A creation or position write of the stand-in simulator's trace.
struct TraceWrite {
    uint32_t id = 0;
    double t = 0.0;
    LatLon at;
    double hdg = 0.0, kts = 0.0;
    bool onGround = false;
    double heightFt = 0.0; // above the simulator's ground
};

class RunwayTrafficTest : public TracedTrafficTest {
protected:
    using TracedTrafficTest::TracedTrafficTest;
    void TearDown() override
    {
        gf_clearRunwayTable();
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = {};
        }
        TracedTrafficTest::TearDown();
    }
    void at(const RecordedAirport& a)
    {
        sim.load({{"ground_ft", a.fieldFt},
                  {"user", {{"lat", a.reference.latitude + 0.4}, {"lon", a.reference.longitude}, {"alt_ft", 3000.0}}},
                  {"titles", {{{"title", "Airbus A320-200 KLM"}, {"static_cg_ft", 8.0}}}}});
        runwayTable.runways = publishedRunways(recordedRunwaysCsv(a));
        runways = kvr::standin::gf_loadRunwayCsv(recordedRunwaysCsv(a));
        std::unique_lock lock(engineLock);
        CurrentAirport = {a.icao, a.reference.latitude, a.reference.longitude, a.fieldFt, {}};
    }
    // The trace's lines of one kind ("pos": position writes, "create":
    // creations), in their order.
    std::vector<TraceWrite> traceWrites(const std::string& kind = "pos") const
    {
        std::vector<TraceWrite> out;
        std::ifstream in(tracePath, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_object() && j.value("k", "") == kind)
                out.push_back({j.value("id", 0u), j.value("t", 0.0), {j.value("lat", 0.0), j.value("lon", 0.0)},
                               j.value("hdg", 0.0), j.value("kts", 0.0), j.value("on_ground", false),
                               j.value("alt_ft", 0.0) - j.value("gnd_ft", 0.0)});
        }
        return out;
    }
    // The fastest ground move of any object by position, over 1 to 3 s.
    static double fastestOnGroundKt(const std::vector<TraceWrite>& written)
    {
        std::map<uint32_t, std::vector<TraceWrite>> byObject;
        for (const TraceWrite& w : written)
            byObject[w.id].push_back(w);
        double fastest = 0.0;
        for (const auto& [id, w] : byObject)
            for (size_t i = 1, from = 0; i < w.size(); ++i) {
                while (from + 1 < i && w[from + 1].t <= w[i].t - 1.0)
                    ++from;
                const double dt = w[i].t - w[from].t;
                if (w[i].onGround && w[from].onGround && dt >= 1.0 && dt <= 3.0)
                    fastest = std::max(fastest, gf_distanceNm(w[from].at, w[i].at) * 3600.0 / dt);
            }
        return fastest;
    }
    // The airport's published runways, as the trace check takes them.
    std::vector<kvr::standin::RunwayGeometry> runways;
};

} // namespace kvr::test
