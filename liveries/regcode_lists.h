// Registration codes (regcodes) that tie a real aircraft to one installed
// livery, from three sources in rising precedence: the registration a scanned
// livery carries, the AIG list input\AIG-regcodes.enc and the user's lists
// input\my_regcodes\*.txt. The loaders never throw for bad content: every
// problem is one error text, and good records are kept. The merge fills the
// regcode tables, whose titles are views into the matching tables' titles.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "liveries/fnv_hash.h"

struct RegcodeRecord {
    std::string title;
    std::vector<std::string> codes; // distinct, ascending; empty = a don't-use title
    bool special = false;
};

struct RegcodeLoadResult {
    std::vector<RegcodeRecord> records;
    std::vector<std::string> errors;
};

// Registration code -> livery title.
extern std::unordered_map<std::string, std::string_view, Fnv1aHash, std::equal_to<>> RegcodeLiveries;
// Livery title -> its in-line registration code.
extern std::unordered_map<std::string_view, std::string, Fnv1aHash> LiveryRegcodes;
// Titles of special records that are scanned liveries: never a random pick.
extern std::unordered_set<std::string_view, Fnv1aHash> SpecialLiveryTitles;
// The single codes of special records: a match on them counts as step 0.
extern std::set<std::string, std::less<>> UniqueRegcodes;
// The lines of output\info\OfflineRegcodes.txt.
extern std::vector<std::string> OfflineRegcodeReport;

// 3 to 12 bytes, each A-Z, 0-9, '+', '-' or '.'.
bool gf_isValidRegcode(std::string_view code);
// "{} line {}: ", "{}: " (line 0), "line {}: " (no source) or "".
std::string lf_regcodeErrorPrefix(std::string_view source, size_t line);

RegcodeLoadResult gf_parseAigRegcodes(const pugi::xml_document& document);
RegcodeLoadResult gf_loadAigRegcodeFile(const std::filesystem::path& path);
RegcodeLoadResult gf_parseRegcodeLines(const std::vector<std::string>& lines, std::string_view source);
RegcodeLoadResult gf_loadRegcodeFolder(const std::filesystem::path& folder);
// "title; code, code" for every user title with codes that is not scanned.
std::vector<std::string> gf_missingCustomRepaintLines(const std::vector<RegcodeRecord>& records,
                                                      const std::vector<std::string_view>& scannedTitles);

// The merge steps of the matching-table build, in this order.
void lf_processInlineRegcodes();
void lf_mergeRegcodeRecords(const RegcodeLoadResult& result);
void lf_processAigRegcodeFile(const std::filesystem::path& path);
void lf_processRegcodeFolder();
void lf_processOfflineRegcodes();

// The titles without codes of the AIG list / the user folder go into the
// scan's don't-use set; the number new to the set is logged and returned.
size_t gf_readDontUseTitles(const std::filesystem::path& path, std::unordered_set<std::string>& dontUse);
size_t gf_readDontUseTitlesInFolder(std::unordered_set<std::string>& dontUse);
