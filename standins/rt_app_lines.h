// The lines of the RealTraffic App stand-in: position and parked lines as the
// App sends them. Portable, for the tests and benchmarks of the line decoder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvr::standin {

// One aircraft as the App reports it.
struct AppAircraft {
    uint32_t hexid = 0;
    std::string callsign{};
    std::string type{};
    std::string registration{};
    std::string origin{};
    std::string destination{};
    std::string category = "A3";
    std::string airline{};
    std::string source = "adsb_icao";
    double lat = 0.0;
    double lon = 0.0;
    double altitude = 0.0; // feet
    double groundSpeed = 0.0;
    double track = 0.0;
    double verticalSpeed = 0.0;
    double roll = 0.0;
    double tas = -1.0;
};

struct AppParked {
    uint32_t hexid = 0;
    std::string callsign{};
    std::string type{};
    std::string registration{};
    std::string stand{};
    double lat = 0.0;
    double lon = 0.0;
};

// The two layouts of a position line: 44 fields with the airline last, or
// the App's documented 43 (fields 0 to 42, no airline) whose message type
// carries the data provider's prefix ("F_adsb_icao").
enum class TrafficLayout { WithAirline, Documented };

// A position line ("RTTFC" or a buffered tag such as "RTBUF").
std::string trafficLine(const AppAircraft& a, double timestamp, std::string_view tag = "RTTFC",
                        TrafficLayout layout = TrafficLayout::WithAirline);
// A parked line of 9 fields; hexid in hexadecimal.
std::string parkedLine(const AppParked& p, double timestamp);

} // namespace kvr::standin
