#include "engine/sample_stream.h"

#include <algorithm>
#include <cmath>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/units.h"
#include "engine/aircraft.h"
#include "engine/geometry.h"

namespace {

LatLon lf_pos(const TrafficSample& s)
{
    return {s.lat, s.lon};
}

bool lf_finiteNonNegative(double v)
{
    return std::isfinite(v) && v >= 0.0;
}

} // namespace

void lf_frontDueNow(StreamState& ac)
{
    if (!ac.samples.empty())
        ac.samples.front().playTime = engineClock.load() + 1;
}

void lf_dropFalseStops(StreamState& ac, const TrafficSample& sample)
{
    SampleStream& st = ac.samples;
    if (!sample.stationary) {
        if (st.size() <= 2)
            return;
        const size_t lo = st.size() >= 9 ? st.size() - 7 : 1;
        for (size_t i = st.size() - 1; i-- > lo;) {
            if (st[i].stationary)
                continue;
            const double dt = (sample.playTime - st[i].playTime) / 100.0;
            if (dt > 0.0 && dt <= 22.0 && gf_distanceNm(gf_samplePosition(st[i]), gf_samplePosition(sample)) * 3600.0 / dt <= 35.0)
                st.erase(st.begin() + static_cast<std::ptrdiff_t>(i) + 1, st.end());
            return;
        }
        return;
    }
    if (st.size() > 1 && std::all_of(st.begin(), st.end(), [](const TrafficSample& s) { return s.stationary; }))
        st.resize(1);
}

void lf_appendReport(StreamState& ac, const TrafficSample& sample, const TrafficSample& received)
{
    ac.samples.push_back(sample);
    ac.lastReport = received;
    ac.lastReport.playTime = sample.playTime;
}

void retimeNextSample(LiveAircraft& ac, int32_t d)
{
    if (ac.stream.projection > 0 || ac.stream.samples.size() < 2)
        return;
    const int32_t clock = engineClock.load();
    TrafficSample& next = ac.stream.samples[1];
    const int64_t t = next.playTime;
    int64_t w = static_cast<int64_t>(clock) + d;
    w = std::clamp<int64_t>(w, t - ac.leg.lagEarlier, t + ac.leg.lagLater);
    w = std::max<int64_t>(w, static_cast<int64_t>(clock) + 1);
    next.playTime = static_cast<int32_t>(w);
    const int64_t delta = w - t;
    if (delta > 0 && ac.stream.samples.size() >= 3 && ac.stream.samples[2].playTime <= w)
        for (size_t i = 2; i < ac.stream.samples.size(); ++i)
            ac.stream.samples[i].playTime += static_cast<int32_t>(delta);
}

void insertMidSample(StreamState& ac)
{
    if (ac.samples.size() < 2)
        return;
    const TrafficSample& a = ac.samples[0];
    const TrafficSample& b = ac.samples[1];
    TrafficSample m = a;
    LatLon mid{(a.lat + b.lat) / 2.0, a.lon + gf_longitudeDelta(b.lon, a.lon) / 2.0};
    gf_normalizeLatLon(mid);
    m.lat = mid.latitude;
    m.lon = mid.longitude;
    m.speedKt = (a.speedKt + b.speedKt) / 2.0;
    m.altitudeFt = (a.altitudeFt + b.altitudeFt) / 2.0;
    m.playTime = static_cast<int32_t>(std::lround((static_cast<double>(a.playTime) + b.playTime) / 2.0));
    m.airborne = m.altitudeFt > 0.0 ? 1 : 0;
    if (!m.airborne)
        m.altitudeFt = 0.0;
    m.stationary = 0;
    ac.samples.insert(ac.samples.begin() + 1, m);
}

double lf_legSpeedKt(const LiveAircraft& ac)
{
    const TrafficSample& s0 = ac.stream.samples[0];
    const TrafficSample& s1 = ac.stream.samples[1];
    double v = 0.0;
    const bool roll = ac.phases.phase == FlightPhase::takeoff_roll || ac.phases.phase == FlightPhase::landing_roll;
    if (roll && lf_finiteNonNegative(s0.speedKt) && lf_finiteNonNegative(s1.speedKt) &&
        (s0.speedKt > 0.0 || s1.speedKt > 0.0)) {
        v = (s0.speedKt + s1.speedKt) / 2.0;
    } else if (s0.speedKt > 0.0) {
        v = std::isfinite(s1.speedKt) && s1.speedKt > 0.0 ? (s0.speedKt + s1.speedKt) / 2.0 : s0.speedKt;
    } else if (!std::isfinite(s1.speedKt) || s1.speedKt <= 0.0) {
        const double ticks = std::max<double>(s1.playTime - s0.playTime, 25.0);
        v = gf_distanceNm(lf_pos(s0), lf_pos(s1)) * kTicksPerHour / ticks;
        if (!(v > 0.0))
            v = 1.0;
    } else {
        v = s1.speedKt;
    }
    return std::max(v, 1.0);
}

// The aircraft follows its samples again.
void lf_restartNormalFlight(LiveAircraft& ac)
{
    ac.stream.projection = 0;
    ac.leg.lagEarlier = 2700;
    ac.leg.lagLater = ac.phases.phase == FlightPhase::takeoff_roll ? 4500 : 2700;
    ac.push.holding = 0;
}
