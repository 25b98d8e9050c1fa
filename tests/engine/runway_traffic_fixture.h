// Traced traffic at an airport of the recorded data (shared/data): its
// published runways in the runway table and the current airport set, the
// user far above it, an A320 that stands on its wheels 8 ft up, so that the
// trace tells ground writes from air ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "runways/runway_table.h"
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
        std::unique_lock lock(engineLock);
        CurrentAirport = {a.icao, a.reference.latitude, a.reference.longitude, a.fieldFt, {}};
    }
};

} // namespace kvr::test
