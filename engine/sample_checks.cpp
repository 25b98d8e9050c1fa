#include "engine/sample_checks.h"

#include <algorithm>
#include <cmath>

#include "core/geodesy.h"
#include "engine/aircraft_commands.h"
#include "engine/traffic_intake.h"

// The full checks of a new sample (respawn for a new livery, stand arrival
// and departure, runway holds) come with the ground and flight-phase motion;
// until then a sample of a known aircraft joins its stream as it is.

bool releaseQuarantine(uint32_t hexid, const TrafficSample& sample, double timestamp)
{
    QuarantineMap& map = gf_quarantineMap();
    const auto it = map.find(hexid);
    if (it == map.end())
        return true;
    QuarantineEntry& e = it->second;
    const double dt = timestamp - e.timestamp;
    if (!std::isfinite(dt) || dt <= 0.0)
        return false;
    const double implied = gf_distanceNm({e.lat, e.lon}, {sample.lat, sample.lon}) * 1852.0 / dt * 1.9438444924406046;
    const double reported = std::isfinite(sample.speedKt) && sample.speedKt > 0.0 ? sample.speedKt : 0.0;
    const bool consistent = std::isfinite(implied) && implied <= std::max(3.0 * reported, 60.0);
    e.consistentCount = consistent ? e.consistentCount + 1 : 1;
    e.lat = sample.lat;
    e.lon = sample.lon;
    e.timestamp = timestamp;
    if (e.consistentCount < 3)
        return false;
    map.erase(it);
    return true;
}

bool checkRespawn(LiveAircraft&, const TrafficSample&)
{
    return true;
}

void decodeExisting(LiveAircraft& aircraft, const TrafficSample& in)
{
    TrafficSample sample = in;
    SampleStream& stream = aircraft.samples;
    if (aircraft.projection > 0) {
        // Real data again: the predicted samples behind it go.
        while (stream.size() > 1 && stream.back().playTime >= sample.playTime)
            stream.pop_back();
        aircraft.projection = 0;
        aircraft.extrapolating = 0;
    }
    if (!stream.empty()) {
        const TrafficSample& last = stream.back();
        sample.playTime = std::max(sample.playTime, last.playTime + 1);
        sample.stationary =
            std::fabs(sample.lat - last.lat) <= 1e-8 && std::fabs(sample.lon - last.lon) <= 1e-8 ? 1 : 0;
    }
    stream.push_back(sample);
}

void noMoreNextPos(LiveAircraft& aircraft)
{
    removeAircraftFromSim(aircraft);
}
