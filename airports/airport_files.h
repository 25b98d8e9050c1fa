// Loading an airport's file: from its source path (an add-on file read in
// place, or an archive file fetched from the download site), or from the
// cache airports/park_airport.xml when that holds the same archive file; the
// learned file is merged and the stands are numbered with their neighbours.
// Two lighter readers serve the airport-at-position choice and the
// destination command.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_file_store.h"
#include "airports/airport_settings.h"
#include "core/encrypted_file.h"
#include "core/value_types.h"
#include "airports/stand.h"

// Set when an airport file has been loaded and set up for the current
// airport; cleared when the airport is left.
extern std::atomic<bool> airportFileLoaded;
// The week number of the loaded airport file (0 after the airport is left).
extern std::atomic<int> loadedAirportFileWeek;
// Set by the airport-file set-up, cleared when the airport is left; the
// "Park" button acts only while it is set.
extern std::atomic<bool> parkingAirportLoaded;

// An airport file as loaded, with the per-airport settings of its learned
// file (empty when there is none, or the file has no such setting).
struct AirportFile : LearnedAirportSettings {
    std::string airport_name;
    std::string publisher;
    int32_t altitude = 0; // feet
    std::optional<std::string> version;
    int32_t qfReal = 0;
    int32_t qfSoft = 0;
    std::vector<Stand> stands;
    std::filesystem::path sourcePath;
    std::filesystem::path loadedPath;  // the source, a downloaded temporary file or the cache
    std::filesystem::path learnedPath; // the learned file merged; empty when none
    // Where this airport's learned file belongs (whether or not it exists):
    // the save after the visit writes there, so what was learned is read back.
    std::filesystem::path learnedTarget;
    int32_t rtTrafficWeek = 0;
    int32_t origin = 0; // 0 read in place, 1 downloaded, 2 from the cache
    bool learnedMerged = false;
    bool handmadeOverrule = false;
};

// The loaded file, or the error text of a failed load. A
// kvr::UserRelatedException (code 65: no "altitude") passes out.
std::variant<AirportFile, std::string> gf_readAirportFile(const std::filesystem::path& source);

struct AirportSourceFetch {
    std::filesystem::path path; // empty: read the source in place
    bool downloaded = false;
    bool encrypted = false;
};
std::variant<AirportSourceFetch, std::string> lf_fetchAirportSource(const std::filesystem::path& source, bool forPark);
// Empty on success, else the message (shown and logged).
std::string lf_downloadAirportFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                   bool binary);
// The site address of an archive source path.
std::string gf_airportFileUrl(const std::filesystem::path& source);
// Parses the file into `document`; for an encrypted file the document lives
// in `buffer`, which must outlive it.
std::optional<std::string> lf_loadAirportXml(const std::filesystem::path& path, bool encrypted, SecureBuffer& buffer,
                                             pugi::xml_document& document);
std::optional<ArchiveSourceId> lf_readCachedAirportIdentity();

struct ClosestStand {
    std::string id;
    double distanceNm = 0.0;
};
std::variant<ClosestStand, std::string> gf_readDestApfForClosestStand(const IcaoCode& icao, const LatLon& reference);
// The stand names of that airport's file, or the error text of a failed read.
std::variant<std::vector<std::string>, std::string> gf_readApfForStands(const IcaoCode& icao);
