#include "standins/rt_app_lines.h"

#include <vector>

#include <fmt/format.h>

namespace kvr::standin {

std::string trafficLine(const AppAircraft& a, double timestamp, std::string_view tag, TrafficLayout layout)
{
    // Fields 0..43; the ones Kelo does not read carry plausible fillers.
    const bool documented = layout == TrafficLayout::Documented;
    std::vector<std::string> f(documented ? 43 : 44);
    f[0] = tag;
    f[1] = std::to_string(a.hexid);
    f[2] = fmt::format("{:.5f}", a.lat);
    f[3] = fmt::format("{:.5f}", a.lon);
    f[4] = fmt::format("{:.0f}", a.altitude);
    f[5] = fmt::format("{:.0f}", a.verticalSpeed);
    f[6] = a.altitude > 0 ? "1" : "0";
    f[7] = fmt::format("{:.1f}", a.track);
    f[8] = fmt::format("{:.1f}", a.groundSpeed);
    f[9] = a.callsign;
    f[10] = a.type;
    f[11] = a.registration;
    f[12] = a.origin;
    f[13] = a.destination;
    f[14] = fmt::format("{:.2f}", timestamp);
    f[15] = "X";
    f[16] = a.callsign;
    f[17] = documented && !a.source.empty() ? "F_" + a.source : a.source;
    f[18] = "1200";
    f[19] = fmt::format("{:.0f}", a.tas > 0 ? a.tas * 0.8 : a.groundSpeed);
    f[20] = fmt::format("{:.0f}", a.tas);
    f[21] = "0.0";
    f[22] = fmt::format("{:.0f}", a.altitude);
    f[23] = fmt::format("{:.1f}", a.roll);
    f[24] = fmt::format("{:.1f}", a.track);
    f[25] = fmt::format("{:.1f}", a.track);
    f[26] = "0";
    f[27] = "0";
    f[28] = a.category;
    for (size_t i = 29; i < 43; ++i)
        f[i] = "0";
    if (!documented)
        f[43] = a.airline;
    std::string line = f[0];
    for (size_t i = 1; i < f.size(); ++i) {
        line += ',';
        line += f[i];
    }
    return line;
}

std::string parkedLine(const AppParked& p, double timestamp)
{
    return fmt::format("RTPARK,{:x},{:.6f},{:.6f},{},{},{},{},{:.0f}", p.hexid, p.lat, p.lon, p.callsign, p.type,
                       p.registration, p.stand, timestamp);
}

} // namespace kvr::standin
