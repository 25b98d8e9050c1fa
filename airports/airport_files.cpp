#include "airports/airport_files.h"

#include <fmt/format.h>

std::atomic<bool> airportFileLoaded{false};
std::atomic<int> loadedAirportFileWeek{0};
std::atomic<bool> parkingAirportLoaded{false};

// No airport files can be read yet: every airport has none.
std::variant<std::vector<std::string>, std::string> gf_readApfForStands(const IcaoCode& icao)
{
    return fmt::format("no airport file for {}", icao);
}
