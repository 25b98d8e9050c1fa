#pragma once
// A point of a synthetic track as the feed delivers it: one traffic record of
// an A320 of KLM.
#include <cstdint>
#include <string>

#include "feed/traffic_records.h"
#include "liveries/model_database.h"
#include "standins/track_generator.h"

namespace kvr::test {

inline LiveTrafficRecord trackRecord(const kvr::standin::TrackPoint& p, uint32_t hexid, const std::string& callsign,
                                     double t0 = 1.7e9)
{
    LiveTrafficRecord r;
    r.ids = {gf_airlineCode2Id("KLM"), 0, gf_modelCode2Id("A320"), 0, 0};
    r.callsign = callsign;
    r.registration = "PH-" + callsign.substr(callsign.size() - 3);
    r.lat = p.lat;
    r.lon = p.lon;
    r.altitude = p.onGround ? 0.0 : p.altFt;
    r.groundSpeed = p.gsKt;
    r.track = p.trackDeg;
    r.verticalSpeed = p.vsFpm;
    r.tas = p.gsKt;
    r.airborne = p.onGround ? 0 : 1;
    r.timestamp = t0 + p.t;
    r.hexid = hexid;
    return r;
}

} // namespace kvr::test
