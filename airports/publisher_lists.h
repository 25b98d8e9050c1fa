// The publisher lists of the data set input/archives.enc: the scenery
// publishers and the names they go by in package paths and manifests, the
// manifest values that name no publisher, and the airports that the download
// site's archive holds as simaddon and thirdparty airport files. Filled at the
// start of each airport scan for the chosen simulator, emptied at its end.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/value_types.h"

struct ThirdpartyRecord {
    std::string publisher;
    // (entry name, version text); the version is empty unless an "ap" gave one.
    std::vector<std::pair<std::string, std::string>> entries;
};

struct PublisherLists {
    // Each group's names; the first is the publisher's name.
    std::vector<std::vector<std::string>> groups;
    // Lower-cased value -> the value as written.
    std::map<std::string, std::string> rejected;
    std::set<std::string> simaddonAirports;
    std::vector<ThirdpartyRecord> thirdparties;
};

struct PublisherLookup {
    uint32_t status = 1; // 0 found, 1 not found, 2 empty text
    std::string name;    // the found group's first name
};

struct ThirdpartyArchiveMatch {
    uint32_t status = 0; // 0 nothing, 1 matched, 2 matched and a higher version exists, 3 only a higher version
    std::string entry;   // the matching entry's name
    std::string higherVersion;
};

// Reads input/archives.enc for MSFS 2020 (true) or 2024. Throws on a missing
// file, a failed decryption or a missing simaddon section; false (logged) for
// a document that does not parse or has no root.
bool gf_loadPublishers(bool msfs2020);
void lf_clearPublisherLists();

// The first group one of whose names occurs in the text (byte for byte, or
// else ignoring ASCII case); an empty name matches every text.
PublisherLookup lf_findPublisherGroup(std::string_view text);
bool gf_isRejectedPublisherValue(std::string_view text);
// ASCII case-insensitive search; true for an empty needle.
bool gf_containsNoCase(std::string_view text, std::string_view needle);
bool gf_isSimaddonArchiveAirport(const IcaoCode& icao);
ThirdpartyArchiveMatch gf_findThirdpartyArchiveEntry(std::string_view publisher, const IcaoCode& icao,
                                                     std::string_view version);
