#pragma once
// Runway sets of the runway tests and the matching benchmark: a synthetic
// airport of 12 runways (parallels, crossings, compass ends, every
// designator) and Amsterdam's six runways as published, each either as
// records of the table or as the stand-in simulator's facility data.
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "runways/runway_table.h"
#include "standins/track_generator.h"

namespace kvr::test {

constexpr double kFeetPerMetreT = 3.2808399;

// A runway as the facility reader makes it: the ends half the length from
// the centre, a runway start at each end at the runway's altitude, no
// displaced thresholds.
inline RunwayRecord makeRunway(double lat, double lon, double heading, double length, double width, uint32_t pn,
                               uint32_t pd, uint32_t sn, uint32_t sd, double altitudeFt)
{
    RunwayRecord r;
    r.latitude = lat;
    r.longitude = lon;
    r.altitude = altitudeFt;
    r.heading = heading;
    r.length = length;
    r.width = width;
    r.primaryNumber = pn;
    r.primaryDesignator = pd;
    r.secondaryNumber = sn;
    r.secondaryDesignator = sd;
    const double h = heading * std::numbers::pi / 180.0;
    const LatLon p = gf_destinationPoint({lat, lon}, {h + std::numbers::pi, length * 0.5 * kFeetPerMetreT});
    const LatLon q = gf_destinationPoint({lat, lon}, {h, length * 0.5 * kFeetPerMetreT});
    r.primaryLatitude = p.latitude;
    r.primaryLongitude = p.longitude;
    r.secondaryLatitude = q.latitude;
    r.secondaryLongitude = q.longitude;
    r.primaryStart = {p.latitude, p.longitude, altitudeFt, heading, 1, true};
    r.secondaryStart = {q.latitude, q.longitude, altitudeFt, std::fmod(heading + 180.0, 360.0), 1, true};
    r.primaryThreshold = {0.0, width, false};
    r.secondaryThreshold = {0.0, width, false};
    return r;
}

// The point `metres` inside the runway from one end, on the centre line.
inline LatLon pointFromEnd(const RunwayRecord& r, bool primary, double metres)
{
    const double toward = r.heading * std::numbers::pi / 180.0 + (primary ? 0.0 : std::numbers::pi);
    const LatLon end = primary ? LatLon{r.primaryLatitude, r.primaryLongitude}
                               : LatLon{r.secondaryLatitude, r.secondaryLongitude};
    return gf_destinationPoint(end, {toward, metres * kFeetPerMetreT});
}

// The stand-in's airport with these runways and their starts (altitudes of
// the facility data in metres).
inline nlohmann::json facilityAirport(const std::string& icao, double latitude, double longitude, double elevationFt,
                                      const std::vector<RunwayRecord>& records)
{
    nlohmann::json runways = nlohmann::json::array();
    nlohmann::json starts = nlohmann::json::array();
    for (const RunwayRecord& r : records) {
        auto threshold = [&](const RunwayThreshold& t) {
            return nlohmann::json{{"LENGTH", t.length}, {"WIDTH", t.width}, {"ENABLE", t.enabled ? 1 : 0}};
        };
        runways.push_back({{"LATITUDE", r.latitude},
                           {"LONGITUDE", r.longitude},
                           {"ALTITUDE", r.altitude / kFeetPerMetreT},
                           {"HEADING", r.heading},
                           {"LENGTH", r.length},
                           {"WIDTH", r.width},
                           {"PRIMARY_NUMBER", r.primaryNumber},
                           {"PRIMARY_DESIGNATOR", r.primaryDesignator},
                           {"SECONDARY_NUMBER", r.secondaryNumber},
                           {"SECONDARY_DESIGNATOR", r.secondaryDesignator},
                           {"PRIMARY_THRESHOLD", threshold(r.primaryThreshold)},
                           {"SECONDARY_THRESHOLD", threshold(r.secondaryThreshold)}});
        for (const auto& [start, number, designator] :
             {std::tuple{r.primaryStart, r.primaryNumber, r.primaryDesignator},
              std::tuple{r.secondaryStart, r.secondaryNumber, r.secondaryDesignator}})
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

// A point `eastM`/`northM` metres from the synthetic airport's reference.
inline LatLon syntheticPoint(double eastM, double northM)
{
    return {kSyntheticLat + northM / 6371000.0 * 180.0 / std::numbers::pi,
            kSyntheticLon +
                eastM / (6371000.0 * std::cos(kSyntheticLat * std::numbers::pi / 180.0)) * 180.0 / std::numbers::pi};
}

inline RunwayRecord syntheticRunway(double eastM, double northM, double heading, double length, double width,
                                    uint32_t pn, uint32_t pd, uint32_t sn, uint32_t sd)
{
    const LatLon c = syntheticPoint(eastM, northM);
    return makeRunway(c.latitude, c.longitude, heading, length, width, pn, pd, sn, sd, kSyntheticElevationFt);
}

inline std::vector<RunwayRecord> syntheticAirport()
{
    std::vector<RunwayRecord> r{
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
    r[0].primaryThreshold = {300.0, 45.0, true};  // 09L displaced
    r[4].secondaryThreshold = {0.0, 45.0, true};  // 22R enabled, at the runway end
    r[10].primaryThreshold = {150.0, 45.0, true}; // 13A
    return r;
}

// "09L" into number and designator codes.
inline void parseRunwayIdent(const std::string& ident, uint32_t& number, uint32_t& designator)
{
    size_t digits = 0;
    number = static_cast<uint32_t>(std::stoi(ident, &digits)); // "6L" as published, or "06L"
    const std::string letters = "LRCWAB";
    designator = ident.size() > digits ? static_cast<uint32_t>(letters.find(ident[digits]) + 1) : 0;
}

// Whether a published list gives a runway's landing thresholds in place of
// its ends. Dubai's does: its two points lie closer together than the runway
// is long by just the two displaced thresholds (750 and 850 m), and aircraft
// line up on the centre line up to 160 m behind the point of 30R. Elsewhere
// the points are the ends (within 60 m of the length).
inline bool publishedAtThresholds(const kvr::standin::RunwayGeometry& g)
{
    const double betweenFt = gf_distanceNm(g.low.threshold, g.high.threshold) * 6076.11549;
    const double shortFt = g.lengthFt - betweenFt;
    return shortFt > 500.0 && std::fabs(shortFt - (g.low.displacedFt + g.high.displacedFt)) < 250.0;
}

// The runway end `e` of `g` (one of its two) and its landing threshold.
inline LatLon publishedRunwayEnd(const kvr::standin::RunwayGeometry& g, const kvr::standin::RunwayEndGeometry& e)
{
    const kvr::standin::RunwayEndGeometry& other = &e == &g.low ? g.high : g.low;
    if (!publishedAtThresholds(g) || !(e.displacedFt > 0.0))
        return e.threshold;
    return gf_destinationPoint(e.threshold, {gf_initialBearing(other.threshold, e.threshold), e.displacedFt});
}
inline LatLon publishedLandingThreshold(const kvr::standin::RunwayGeometry& g, const kvr::standin::RunwayEndGeometry& e)
{
    const kvr::standin::RunwayEndGeometry& other = &e == &g.low ? g.high : g.low;
    if (publishedAtThresholds(g) || !(e.displacedFt > 0.0))
        return e.threshold;
    return gf_destinationPoint(e.threshold, {gf_initialBearing(e.threshold, other.threshold), e.displacedFt});
}

// The runways of a published list (OurAirports' columns): both ends,
// lengths, widths, elevations and displaced thresholds. The centre is the
// middle of the two ends and the heading the bearing between them there.
// With `flatFt` every runway and start lies at that elevation (the stand-in
// simulator's ground is flat around an airport).
inline std::vector<RunwayRecord> publishedRunways(const std::filesystem::path& csv,
                                                  std::optional<double> flatFt = std::nullopt)
{
    std::vector<RunwayRecord> out;
    for (const auto& g : kvr::standin::gf_loadRunwayCsv(csv)) {
        const LatLon le = publishedRunwayEnd(g, g.low);
        const LatLon he = publishedRunwayEnd(g, g.high);
        const double halfFt = gf_distanceNm(le, he) * 0.5 * 6076.11549;
        const LatLon centre = gf_destinationPoint(le, {gf_initialBearing(le, he), halfFt});
        uint32_t pn, pd, sn, sd;
        parseRunwayIdent(g.low.ident, pn, pd);
        parseRunwayIdent(g.high.ident, sn, sd);
        const double width = g.widthFt * 0.3048;
        RunwayRecord r = makeRunway(centre.latitude, centre.longitude,
                                    gf_initialBearing(centre, he) * 180.0 / std::numbers::pi, g.lengthFt * 0.3048,
                                    width, pn, pd, sn, sd, flatFt.value_or((g.low.elevationFt + g.high.elevationFt) * 0.5));
        r.primaryStart.altitude = flatFt.value_or(g.low.elevationFt);
        r.secondaryStart.altitude = flatFt.value_or(g.high.elevationFt);
        if (g.low.displacedFt > 0.0)
            r.primaryThreshold = {g.low.displacedFt * 0.3048, width, true};
        if (g.high.displacedFt > 0.0)
            r.secondaryThreshold = {g.high.displacedFt * 0.3048, width, true};
        out.push_back(r);
    }
    return out;
}

// Amsterdam's runways from the published list.
inline std::vector<RunwayRecord> amsterdamRunways()
{
    return publishedRunways(std::filesystem::path(KELO_SOURCE_DIR) / "../shared/data/runways-eham.csv");
}

} // namespace kvr::test
