// Setting up the current airport from its loaded airport file, and putting
// the user's parking settings back when the airport is left.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "airports/airport_files.h"

// The airport file in force; written by the set-up, read by the learned save.
struct LoadedAirportInfo {
    std::string airportName;
    std::string publisher;
    int32_t altitude = 0;
    // The learned file of this airport, as found at load; empty when the
    // source path gives none.
    std::filesystem::path learnedPath;
};
// A copy of the record (under its own mutex).
LoadedAirportInfo gf_loadedAirportInfo();

// Set when a handmade learned file replaced the archived stands.
extern std::atomic<bool> handmadeOverrule;

// The user's parking settings, recorded before an airport's rules change them.
AirportSettings gf_airportSettingsBlock();

void gf_setupAirportFromFile(AirportFile& file);
void lf_recordAirportSettings();
// Puts the recorded settings back into the settings objects, their controls,
// parameters.xml and the snapshot.
void gf_showAirportSettings();
