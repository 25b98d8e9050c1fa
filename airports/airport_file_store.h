// Where airport files are and what their paths mean: the add-on folders
// airports/my_thirdparty and airports/my_simaddon (airport files and link
// files), the archive paths of the download site (archive/stock,
// archive/simaddon, archive/thirdparty/<publisher folder>) and the learned
// files under airports/learned.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/value_types.h"

// The identity of an archive airport file.
struct ArchiveSourceId {
    IcaoCode icao;
    std::string publisher;
    std::string version; // the digits after the code; empty when none
    friend bool operator==(const ArchiveSourceId&, const ArchiveSourceId&) = default;
};

// True when an add-on airport file or link file exists for the code, or the
// airport database knows it.
bool gf_hasAirportFile(const IcaoCode& icao);
// The source path of the airport's file: a link's target or an add-on file
// (my_thirdparty first, then my_simaddon), else archive/stock/<ICAO>.enc for
// a database airport.
std::optional<std::filesystem::path> gf_findAirportFilePath(const IcaoCode& icao);
// The target of a link file <ICAO>.txt: its first line, when that names an
// ".xml" or ".enc" file under archive/ or under an airports/my_* folder,
// relative and without "..".
std::optional<std::filesystem::path> gf_readAirportLink(const std::filesystem::path& linkFile);
// The identity of archive/{stock|simaddon|thirdparty/<folder>}/<ICAO><digits>.{xml|enc}.
std::optional<ArchiveSourceId> gf_parseArchiveSourcePath(const std::filesystem::path& path);
// The learned file that belongs to a source path.
std::optional<std::filesystem::path> gf_learnedAirportFilePath(const std::filesystem::path& source,
                                                               std::string_view publisher);
// archive/stock/EDDF12.enc -> archive/stock/EDDF.enc (stems of 5 or more characters).
std::filesystem::path gf_stripFileNameVersion(const std::filesystem::path& path);
// "%41" -> "A"; a '%' without two hex digits stays as it is.
std::string gf_percentDecode(std::string_view text);
// Every byte outside A-Z a-z 0-9 "-._~" as "%XX" (upper-case hex).
std::string gf_percentEncode(std::string_view text);
// A folder name made from a publisher name; empty when none can be made
// (control and reserved characters become blanks; names of dots and blanks
// only and Windows device names are refused).
std::string gf_safeFileName(std::string_view text);
// Case-insensitive comparison of the path's extension with `extension` (".xml").
bool gf_hasExtension(const std::filesystem::path& path, std::string_view extension);

// <ICAO>.xml, <ICAO>.enc, <ICAO>.txt
std::filesystem::path gf_airportXmlName(const IcaoCode& icao);
std::filesystem::path gf_airportEncName(const IcaoCode& icao);
std::filesystem::path gf_airportTxtName(const IcaoCode& icao);
