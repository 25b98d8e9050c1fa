#include "engine/quarantine.h"

#include <cmath>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/log.h"
#include "engine/aircraft.h"
#include "engine/geometry.h"

QuarantineMap& gf_quarantineMap()
{
    static QuarantineMap map;
    return map;
}

bool releaseQuarantine(uint32_t hexid, const TrafficSample& sample, double timestamp, const std::string& callsign)
{
    QuarantineMap& map = gf_quarantineMap();
    const auto it = map.find(hexid);
    if (it == map.end())
        return true;
    QuarantineEntry& e = it->second;
    bool released = false;
    if (sample.airborne) {
        e.consistentCount = 0;
        released = true;
    } else if (e.kind == 0) {
        const double dt = timestamp - e.timestamp;
        if (!std::isfinite(dt) || dt > 60.0) {
            e.consistentCount = 1;
        } else if (dt > 0.0) {
            const double d = gf_distanceM({e.lat, e.lon}, gf_samplePosition(sample));
            e.consistentCount = !std::isfinite(d) || d > 150.0 ? 1 : e.consistentCount + 1;
            released = e.consistentCount >= 3;
        }
    }
    e.lat = sample.lat;
    e.lon = sample.lon;
    e.timestamp = timestamp;
    if (!released)
        return false;
    const char* kind = e.kind == 1 ? "failed departure" : "ground track";
    if (sample.airborne)
        gf_logLine(fmt::format("{} {} quarantine released by an airborne sample", callsign, kind));
    else
        gf_logLine(fmt::format("{} ground track quarantine released after {} consistent sample{}", callsign,
                               e.consistentCount, e.consistentCount == 1 ? "" : "s"));
    map.erase(it);
    return true;
}
