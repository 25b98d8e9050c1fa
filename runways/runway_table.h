// The runways of the current airport as the simulator's facility data give
// them. The main task loads the table with the airport's park positions and
// empties it when the airport is unloaded; every doubt about the data is
// logged with the prefix "RUNWAY_HEADING: " and the runway is kept, except
// the few that a fixed list ignores.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "airports/runway.h"
#include "core/value_types.h"

// The runways of the current airport in the order the facility data gave
// them, with the key of the load that filled them. Main task only; the
// lookups read it without a lock.
struct RunwayTable {
    std::vector<RunwayRecord> runways;
    std::string icao;   // load key: ICAO text of the last successful load
    std::string source; // load key: source text of the airport file
};
extern RunwayTable runwayTable;

// "09L": the text of the primary / secondary end.
std::string gf_primaryEndText(const RunwayRecord& runway);
std::string gf_secondaryEndText(const RunwayRecord& runway);
// "09L-27R": the text of a runway.
std::string gf_runwayText(const RunwayRecord& runway);

// Reads the runways of `airport` from the simulator unless the same airport
// and source are loaded already, checks them against the current airport
// record and logs the summary.
void lf_loadRunwayTable(const IcaoCode& airport, std::string_view source);
// Empties the table and its load key (the airport unload).
void gf_clearRunwayTable();

// Logs the problems of one runway; enters its text into `texts`.
void lf_validateRunway(std::string_view icao, const LatLon& reference, const RunwayRecord& runway,
                       std::set<std::string>& texts);

// What the per-runway checks need to name the runway in their lines.
struct RunwayCheckContext {
    std::string_view icao;
    std::string_view runwayText;
    const RunwayRecord& runway;
};
// Logs a START altitude of one end that disagrees with the runway.
void lf_checkRunwayStartAltitude(const RunwayCheckContext& context, bool primary);

struct PickedAltitude {
    double altitude = 0.0; // feet
    bool corrected = false;
};
// The altitude of a runway end: `a` (this end's START altitude) unless it is
// more than 50 ft from the reference `r` and the runway is not sloped (the
// other end's `b` as far off on the other side), then `r`, corrected.
PickedAltitude gf_pickAltitude(double reference, std::optional<double> a, std::optional<double> b);

// What the ignore list needs: the airport, the source of its file and the
// set of runway texts of the summary.
struct RunwayIgnoreContext {
    std::string_view icao;
    std::string_view source;
    std::set<std::string>& texts;
};
// True (and logged, its text erased from the set) when the runway is on the
// ignore list.
bool lf_logIgnoredRunway(RunwayIgnoreContext& context, const RunwayRecord& runway);

// True when the position lies within half a runway's length + 1500 m of the
// centre of a runway of the current airport.
bool gf_isNearAnyRunway(const LatLon& position);
// True when the position lies on a runway of the current airport or beside
// it: within its length and its half width, each with `marginM` to spare;
// with `headingRad` given, only a runway lined up with it within 20 degrees
// either way counts.
bool gf_isBesideAnyRunway(const LatLon& position, double marginM, std::optional<double> headingRad = std::nullopt);
