// AI flight plans: with MSFS 2020 each live AI aircraft gets a small .pln
// that names its departure and destination, in the folder "orig_dest" of
// the settings folder. With MSFS 2024 there is no folder and no plan.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

struct LiveAircraft;

// settings folder \ "orig_dest" with MSFS 2020; no value otherwise.
std::optional<std::filesystem::path> gf_flightPlanFolder();
// True when the path is a folder afterwards (created with its parents).
bool gf_ensureFlightPlanFolder(const std::filesystem::path& folder);
// The written plan "<number>.pln"; an empty path when there is no folder or
// the file cannot be written.
std::filesystem::path gf_createFlightPlan(uint32_t number, const LiveAircraft& aircraft);
// Writes the eight lines of the plan; false (and no file) on failure.
bool lf_writeFlightPlanFile(const std::filesystem::path& path, const LiveAircraft& aircraft);
// True when a plan file was removed.
bool gf_removeFlightPlan(uint32_t number);
// Removes the folder with whatever is left in it; true without a folder.
bool gf_removeFlightPlanFolder();
