// The program's airport file: XML with the data-file header, a "parameters"
// section and "parkpositions" > "parkpos" stands, each with "opt" flight
// options. One writer serves the learned files and the files the airport scan
// generates; the stand reader serves every kind of airport file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_settings.h"
#include "airports/scanned_airport.h"
#include "airports/stand.h"

// Stands read from one file at most.
inline constexpr size_t g_maxAirportFileStands = 512;

// "typestr" names by stand type 0..15.
inline constexpr std::array<std::string_view, 16> StandTypeNames{
    "NONE",       "RAMP_GA",     "RAMP_GA_SMALL", "RAMP_GA_MEDIUM", "RAMP_GA_LARGE", "RAMP_CARGO",
    "RAMP_MIL_CARGO", "RAMP_MIL_COMBAT", "GATE_SMALL", "GATE_MEDIUM", "GATE_HEAVY", "DOCK_GA",
    "FUEL",       "VEHICLE",     "RAMP_GA_EXTRA", "GATE_EXTRA",
};

enum class ApfWriteMode : uint32_t {
    Learned = 0,   // learned files: options, settings
    Generated = 1, // files of the airport scan: geometry, altitude, stand count
};

// Writes the whole file through a temporary file beside the target; true only
// when the complete file now stands at the target path.
bool gf_writeApf(const ScannedAirport& airport, const std::filesystem::path& target, ApfWriteMode mode,
                 uint32_t simulator, bool handmade, const std::optional<AirportSettings>& settings);
bool gf_writeApfParameters(pugi::xml_node root, const ScannedAirport& airport, ApfWriteMode mode, bool handmade,
                           const std::optional<AirportSettings>& settings);

// Appends the stands of the document (at most 512); their options are marked
// as read from the file.
void gf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands);
// Reads one "parkpos" as stand `id`; true when a stand was appended.
bool gf_readParkPosition(const pugi::xml_node& parkpos, const std::string& id, uint32_t optionsFromFile,
                         std::vector<Stand>& stands);

struct OptionIdentity {
    std::string callsign;
    std::string callsign2;
    AirlOprModel aom;
};
OptionIdentity lf_readOptionIdentity(const pugi::xml_node& opt);
// The option of an "opt" element with these slots and weekday, not yet numbered.
StandOption gf_readStandOption(const pugi::xml_node& opt, const HalfHourMask& slots, uint32_t weekday,
                               uint32_t fromAirportFile);

// The slots of an "hh" text: comma-separated runs "a:b" and single slots.
HalfHourMask gf_parseHalfHours(std::string_view text);
// The "hh" text of a mask: its runs joined by ","; none for an empty mask.
std::optional<std::string> gf_halfHoursText(const HalfHourMask& mask);

// (Qf_real, Qf_soft), each 0..100; (-1, -1) when no stand has an option.
std::pair<int32_t, int32_t> gf_computeStandScores(const std::vector<Stand>& stands);
// "  ", "{:2}/{:2}" below 35 real, else "{:2}".
std::string gf_qualityFactorText(int32_t real, int32_t soft);
