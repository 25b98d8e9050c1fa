// Learned airport files: what was learned about an airport beyond its source
// file (learned flight options, stands made by hand, the per-airport parking
// settings), written when the airport's parking is unloaded and merged into
// the stands of the next load. A "handmade" learned file replaces the source
// file's stands.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_settings.h"
#include "airports/stand.h"

// Changes of flight options since the last save; the parking side counts them.
extern std::atomic<uint32_t> learnedUpdateCounter;

// The learned file's per-airport settings with what it adds to the stands.
struct LearnedAirportData : LearnedAirportSettings {
    std::vector<Stand> stands; // replaces the loaded stands
    bool handmade = false;
};

// Writes the current airport's learned file from the stand list.
void gf_saveLearned(const std::vector<Stand>& stands, bool handmade);
// Merges the learned file into a copy of the loaded stands.
std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const std::filesystem::path& path,
                                                                        const std::string& airportName,
                                                                        const std::vector<Stand>& stands);
// Merges the options of a learned "parkpos" into the stand of that name;
// false when the names differ.
bool lf_mergeLearnedOptions(const pugi::xml_node& parkpos, const std::string& id, Stand& stand);
// Publishes the parking settings objects into the Parameters snapshot.
void gf_publishAirportSettings();
