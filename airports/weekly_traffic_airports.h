// The airports for which the RealTraffic service supplies traffic, from the
// encrypted data set input/wktraffic.enc. An empty list counts every airport
// as listed.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include <pugixml.hpp>

// Sorted packed ICAO codes without duplicates, or the error text.
using WeeklyTrafficCodes = std::variant<std::vector<uint32_t>, std::string>;

WeeklyTrafficCodes gf_parseWeeklyTrafficXml(const pugi::xml_document& document);
// Finds, decrypts, parses and logs the count.
WeeklyTrafficCodes gf_readWeeklyTrafficAirportsFile();
// Replaces the list; on failure logs the error and empties it.
bool gf_loadWeeklyTrafficAirports();
// True when the list is empty or holds the code.
bool gf_isWeeklyTrafficAirport(uint32_t code);
// Empties the list (the end of the airport scan): every airport counts as listed.
void gf_clearWeeklyTrafficAirports();
