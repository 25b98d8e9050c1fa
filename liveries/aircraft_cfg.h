// Reading the aircraft.cfg files of the installed AI aircraft packages: the
// two file readers that the livery scan calls per file, the [fltsim.N] section
// headers and their check, the ICAO type of a whole file, the cutting into
// sections, and the key-line readers shared with the section processors.
//
// Key lines are matched by hand, not by std::regex: a line must be, as a
// whole and without regard to ASCII letter case, blanks, the key, blanks, '=',
// blanks, a value that ends in a non-blank and holds no line break, blanks.
// The cost is linear in the line, whatever its length.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_list_file.h"

using CfgLines = std::vector<std::string>;

// The blanks of the key-line grammar: blank, tab, line feed, vertical tab,
// form feed, carriage return.
bool lf_isCfgSpace(char c);
// A-Z, a-z, 0-9 and '_'.
bool lf_isWordChar(char c);
std::string lf_pathUtf8(const std::filesystem::path& path);
// Equal without regard to ASCII letter case.
bool lf_equalNoCase(std::string_view a, std::string_view b);
// Case-insensitive (ASCII) substring test.
bool lf_containsNoCase(std::string_view text, std::string_view part);
std::string lf_asciiUpper(std::string_view text);

// The raw value of "<key> = <value>" when the whole line has that form, else
// no value. The value is not unquoted.
std::optional<std::string_view> lf_keyLineValue(std::string_view line, std::string_view key);

// Key-line readers: `value` is assigned only when the reader answers true.
bool lf_readTitleKey(std::string_view line, std::string& value);
bool lf_readTextureKey(std::string_view line, std::string& value);
// A value shorter than 5 characters counts as absent.
bool lf_readAtcIdKey(std::string_view line, std::string& value);
bool lf_readParkingTypesKey(std::string_view line, std::string& value);
// "ZZZ" for an empty value or "ZZZZ", else the value in upper case.
bool lf_readIcaoAirlineKey(std::string_view line, std::string& value);
// The type code cut to 4 characters, upper case; empty when absent.
std::string lf_readIcaoTypeKey(std::string_view line);
// The ICAO code of the stock aircraft that the base container names; empty
// when absent or not a stock aircraft.
std::string lf_readBaseContainerKey(std::string_view line);

bool lf_hasAtcIdAssignment(std::string_view line);
bool lf_hasParkingTypesKey(std::string_view line);

// The digits of a [fltsim.N] header, "10000" for a malformed one, empty for
// any other line.
std::string lf_fltsimSectionNumber(std::string_view line);
// False rejects the file (reported).
bool lf_checkFltsimNumbers(const CfgLines& lines, const std::filesystem::path& path);

// The ICAO type of the whole file; empty (reported) when there is none.
std::string lf_modelOfAircraftCfg(const std::filesystem::path& path, const CfgLines& lines);
std::string lf_modelFromBaseContainer(const std::filesystem::path& path, const CfgLines& lines);
std::string lf_ivaoModelFromPath(const std::filesystem::path& path);

std::vector<LiveryRecord> lf_splitFltSimSections(uint32_t rank, const CfgLines& lines, const std::string& model,
                                                 const std::filesystem::path& path,
                                                 const std::filesystem::path& folder);
std::vector<LiveryRecord> lf_splitIVAOSections(uint32_t rank, const CfgLines& lines, const std::string& model,
                                               const std::filesystem::path& path);

// The file readers: the liveries of one aircraft.cfg file. A walk passes one
// line buffer to every file, so the buffer keeps its room from file to file.
std::vector<LiveryRecord> lf_searchLiveriesinFile(uint32_t rank, const std::filesystem::path& path,
                                                  CfgLines& lines);
std::vector<LiveryRecord> lf_searchLiveriesinFile(uint32_t rank, const std::filesystem::path& path);
std::vector<LiveryRecord> lf_searchLiveriesinIVAOFile(uint32_t rank, const std::filesystem::path& path);
