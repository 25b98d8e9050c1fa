// The package scan of one scan root: every add-on airport found in the root's
// packages is linked to an archived airport file, or gets a generated airport
// file with the stands of the simulator's facility data or of its BGL file,
// or a scan log line that says why it was passed over.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "airports/package_manifest.h"
#include "airports/scanned_airport.h"

// The ICAO named in a folder or file name: the first run of exactly four
// letters and digits (not "FS24") that is a valid code and passes the tests.
std::optional<IcaoCode> gf_icaoFromPath(std::string_view text, const IcaoTest& first = {},
                                        const IcaoTest& second = {});

// output/info/AirportsScanLog.txt
const std::filesystem::path& gf_airportsScanLogPath();
// Writes the scan log lines collected so far to AirportsScanLog.txt.
void lf_writeScanLogFile();

// A streamed-packages root: its package folders, one level deep, from facility data.
void lf_scanRoot(const std::filesystem::path& root);
// Any other root: its BGL files, walked recursively.
void lf_scanPackageTree(const std::filesystem::path& root);

void lf_facilitiesForAirport(ScannedAirport& airport);
bool lf_facilitiesForBgl(const std::filesystem::path& bgl);
bool lf_linkAddonAirport(ScannedAirport& airport);
// The archive path ("archive/simaddon/EHAM.enc") when the archive holds the airport.
std::optional<std::string> lf_checkSimaddonArchive(const IcaoCode& icao);
std::optional<std::string> lf_checkThirdpartyArchive(ScannedAirport& airport);
void lf_writeGeneratedAirportFile(ScannedAirport& airport, int helipads);
// A folder of the walk below `root` that is not entered: its path is too long,
// or its path below the root names a skipped package.
bool lf_isSkippedPackage(const std::filesystem::path& folder, const std::filesystem::path& root);
// The airport database knows the code and the feed has traffic for it this week.
bool lf_isScannableAirport(const IcaoCode& icao);

// How the scan reads an airport's stands from the simulator's facility data:
// true with the stands in `airport` and the number of helipads. Tests put a
// reader of their own in place; null restores the simulator's.
using FacilityStandsReader = bool (*)(const IcaoCode& icao, ScannedAirport& airport, int& helipads);
FacilityStandsReader gf_setFacilityStandsReader(FacilityStandsReader reader);
// The simulator link registers its reader and the closing of the reader's
// connection at program start; until then the scan reads no facility data.
void gf_registerSimulatorFacilityReader(FacilityStandsReader reader, void (*close)());
// Closes the simulator's facility reader, when one is registered.
void gf_closeSimulatorFacilityReader();
