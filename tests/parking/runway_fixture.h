#pragma once
// Runway sets of the runway tests and the matching benchmark: a synthetic
// airport of 12 runways (parallels, crossings, compass ends, every
// designator) and Amsterdam's six runways as published, each either as
// records of the table or as the stand-in simulator's facility data.
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "parking/runway_table.h"

namespace kvr::test {

constexpr double kFeetPerMetreT = 3.2808399;

// One runway as a test describes it.
struct RunwaySpec {
    double latitude = 0.0; // centre
    double longitude = 0.0;
    double heading = 0.0; // degrees true
    double length = 0.0;  // metres
    double width = 0.0;   // metres
    uint32_t primaryNumber = 0;
    uint32_t primaryDesignator = 0;
    uint32_t secondaryNumber = 0;
    uint32_t secondaryDesignator = 0;
    double altitudeFt = 0.0;
    double primaryThreshold = -1.0; // metres; below 0 = disabled
    double secondaryThreshold = -1.0;
    double primaryStartFt = NAN; // NaN = the runway altitude
    double secondaryStartFt = NAN;
};

inline LatLon runwayEnd(const RunwaySpec& s, bool primary)
{
    const double bearing = s.heading * std::numbers::pi / 180.0 + (primary ? std::numbers::pi : 0.0);
    return gf_destinationPoint({s.latitude, s.longitude}, {bearing, s.length * 0.5 * kFeetPerMetreT});
}

// The point `metres` inside the runway from one end, on the centre line.
inline LatLon pointFromEnd(const RunwaySpec& s, bool primary, double metres)
{
    const double toward = s.heading * std::numbers::pi / 180.0 + (primary ? 0.0 : std::numbers::pi);
    return gf_destinationPoint(runwayEnd(s, primary), {toward, metres * kFeetPerMetreT});
}

// The record the facility reader makes of the runway.
inline RunwayRecord runwayRecord(const RunwaySpec& s)
{
    RunwayRecord r;
    r.latitude = s.latitude;
    r.longitude = s.longitude;
    const LatLon p = runwayEnd(s, true);
    const LatLon q = runwayEnd(s, false);
    r.primaryLatitude = p.latitude;
    r.primaryLongitude = p.longitude;
    r.secondaryLatitude = q.latitude;
    r.secondaryLongitude = q.longitude;
    r.altitude = s.altitudeFt;
    r.heading = s.heading;
    r.length = s.length;
    r.width = s.width;
    r.primaryNumber = s.primaryNumber;
    r.primaryDesignator = s.primaryDesignator;
    r.secondaryNumber = s.secondaryNumber;
    r.secondaryDesignator = s.secondaryDesignator;
    r.primaryStart = {p.latitude, p.longitude, std::isnan(s.primaryStartFt) ? s.altitudeFt : s.primaryStartFt,
                      s.heading, 1, true};
    r.secondaryStart = {q.latitude, q.longitude,
                        std::isnan(s.secondaryStartFt) ? s.altitudeFt : s.secondaryStartFt,
                        std::fmod(s.heading + 180.0, 360.0), 1, true};
    r.primaryThreshold = {std::max(s.primaryThreshold, 0.0), s.width, s.primaryThreshold >= 0.0};
    r.secondaryThreshold = {std::max(s.secondaryThreshold, 0.0), s.width, s.secondaryThreshold >= 0.0};
    return r;
}

inline std::vector<RunwayRecord> runwayRecords(const std::vector<RunwaySpec>& specs)
{
    std::vector<RunwayRecord> out;
    for (const RunwaySpec& s : specs)
        out.push_back(runwayRecord(s));
    return out;
}

// The stand-in's airport with these runways and their starts (altitudes of
// the facility data in metres).
inline nlohmann::json facilityAirport(const std::string& icao, double latitude, double longitude, double elevationFt,
                                      const std::vector<RunwaySpec>& specs)
{
    nlohmann::json runways = nlohmann::json::array();
    nlohmann::json starts = nlohmann::json::array();
    for (const RunwaySpec& s : specs) {
        const RunwayRecord r = runwayRecord(s);
        auto threshold = [&](const RunwayThreshold& t) {
            return nlohmann::json{{"LENGTH", t.length}, {"WIDTH", t.width}, {"ENABLE", t.enabled ? 1 : 0}};
        };
        runways.push_back({{"LATITUDE", s.latitude},
                           {"LONGITUDE", s.longitude},
                           {"ALTITUDE", s.altitudeFt / kFeetPerMetreT},
                           {"HEADING", s.heading},
                           {"LENGTH", s.length},
                           {"WIDTH", s.width},
                           {"PRIMARY_NUMBER", s.primaryNumber},
                           {"PRIMARY_DESIGNATOR", s.primaryDesignator},
                           {"SECONDARY_NUMBER", s.secondaryNumber},
                           {"SECONDARY_DESIGNATOR", s.secondaryDesignator},
                           {"PRIMARY_THRESHOLD", threshold(r.primaryThreshold)},
                           {"SECONDARY_THRESHOLD", threshold(r.secondaryThreshold)}});
        for (const auto& [start, number, designator] :
             {std::tuple{r.primaryStart, s.primaryNumber, s.primaryDesignator},
              std::tuple{r.secondaryStart, s.secondaryNumber, s.secondaryDesignator}})
            starts.push_back({{"LATITUDE", start.latitude},
                              {"LONGITUDE", start.longitude},
                              {"ALTITUDE", start.altitude / kFeetPerMetreT},
                              {"HEADING", start.heading},
                              {"NUMBER", number},
                              {"DESIGNATOR", designator},
                              {"TYPE", 1}});
    }
    return {{"icao", icao},
            {"lat", latitude},
            {"lon", longitude},
            {"elevation_ft", elevationFt},
            {"name", icao},
            {"facility", {{"RUNWAY", runways}, {"START", starts}}}};
}

// The synthetic airport XRWY: three parallels 09L/09C/09R crossed by 01-19,
// two parallels 04L/04R, a water runway 18W, the compass runways N-S, NE-SW
// and E-W, and 13A/13B side by side.
constexpr double kSyntheticLat = 40.0;
constexpr double kSyntheticLon = -75.0;
constexpr double kSyntheticElevationFt = 120.0;

inline RunwaySpec syntheticRunway(double eastM, double northM, double heading, double length, double width,
                                  uint32_t pn, uint32_t pd, uint32_t sn, uint32_t sd)
{
    RunwaySpec s;
    s.latitude = kSyntheticLat + northM / 6371000.0 * 180.0 / std::numbers::pi;
    s.longitude = kSyntheticLon + eastM / (6371000.0 * std::cos(kSyntheticLat * std::numbers::pi / 180.0)) * 180.0 /
                                      std::numbers::pi;
    s.heading = heading;
    s.length = length;
    s.width = width;
    s.primaryNumber = pn;
    s.primaryDesignator = pd;
    s.secondaryNumber = sn;
    s.secondaryDesignator = sd;
    s.altitudeFt = kSyntheticElevationFt;
    return s;
}

inline std::vector<RunwaySpec> syntheticAirport()
{
    std::vector<RunwaySpec> r{
        syntheticRunway(0, 1000, 90.0, 3000, 45, 9, 1, 27, 2),     // 09L-27R
        syntheticRunway(0, 700, 90.0, 3000, 45, 9, 3, 27, 3),      // 09C-27C
        syntheticRunway(0, 400, 90.0, 2500, 45, 9, 2, 27, 1),      // 09R-27L
        syntheticRunway(-500, -300, 10.0, 2200, 45, 1, 0, 19, 0),  // 01-19 across the three
        syntheticRunway(-2500, -1000, 40.0, 2800, 45, 4, 1, 22, 2), // 04L-22R
        syntheticRunway(-2300, -1300, 40.0, 2800, 45, 4, 2, 22, 1), // 04R-22L
        syntheticRunway(3000, 0, 180.0, 1500, 60, 18, 4, 36, 4),   // 18W-36W
        syntheticRunway(4500, 2000, 0.0, 1200, 30, 37, 0, 41, 0),  // N-S
        syntheticRunway(4500, -2000, 45.0, 1200, 30, 38, 0, 42, 0), // NE-SW
        syntheticRunway(6000, 0, 90.0, 1000, 30, 39, 0, 43, 0),    // E-W
        syntheticRunway(-4000, 3000, 130.0, 2000, 45, 13, 5, 31, 5), // 13A-31A
        syntheticRunway(-3600, 3000, 130.0, 2000, 45, 13, 6, 31, 6), // 13B-31B
    };
    r[0].primaryThreshold = 300.0;   // 09L displaced
    r[4].secondaryThreshold = 0.0;   // 22R enabled, at the runway end
    r[10].primaryThreshold = 150.0;  // 13A
    return r;
}

// A path of the shared data beside the repository, as Wine opens it.
inline std::string sharedDataPath(const std::string& name)
{
    std::string path = std::string(KELO_SHARED_DATA_DIR) + "/" + name;
    return path.starts_with("/") ? "Z:" + path : path;
}

// "09L" into number and designator codes.
inline void parseRunwayIdent(const std::string& ident, uint32_t& number, uint32_t& designator)
{
    number = static_cast<uint32_t>(std::stoi(ident.substr(0, 2)));
    const std::string letters = "LRCWAB";
    designator = ident.size() > 2 ? static_cast<uint32_t>(letters.find(ident[2]) + 1) : 0;
}

// Amsterdam's runways from the published data: both ends, lengths, widths,
// elevations and displaced thresholds. The centre is the middle of the two
// ends and the heading the bearing between them there.
inline std::vector<RunwaySpec> amsterdamRunways()
{
    std::ifstream in(sharedDataPath("runways-eham.csv"));
    std::vector<RunwaySpec> out;
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) {
            if (cell.size() >= 2 && cell.front() == '"')
                cell = cell.substr(1, cell.size() - 2);
            f.push_back(cell);
        }
        if (line.ends_with(","))
            f.emplace_back();
        if (f.size() < 20)
            continue;
        const LatLon le{std::stod(f[9]), std::stod(f[10])};
        const LatLon he{std::stod(f[15]), std::stod(f[16])};
        const double half = gf_distanceNm(le, he) * 0.5 * 6076.11549; // feet
        const LatLon centre = gf_destinationPoint(le, {gf_initialBearing(le, he), half});
        RunwaySpec s;
        s.latitude = centre.latitude;
        s.longitude = centre.longitude;
        s.heading = gf_initialBearing(centre, he) * 180.0 / std::numbers::pi;
        s.length = std::stod(f[3]) * 0.3048;
        s.width = std::stod(f[4]) * 0.3048;
        parseRunwayIdent(f[8], s.primaryNumber, s.primaryDesignator);
        parseRunwayIdent(f[14], s.secondaryNumber, s.secondaryDesignator);
        s.primaryStartFt = std::stod(f[11]);
        s.secondaryStartFt = std::stod(f[17]);
        s.altitudeFt = (s.primaryStartFt + s.secondaryStartFt) * 0.5;
        s.primaryThreshold = f[13].empty() ? -1.0 : std::stod(f[13]) * 0.3048;
        s.secondaryThreshold = f[19].empty() ? -1.0 : std::stod(f[19]) * 0.3048;
        out.push_back(s);
    }
    return out;
}

} // namespace kvr::test
