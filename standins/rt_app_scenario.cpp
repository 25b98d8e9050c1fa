#include "standins/rt_app_scenario.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace kvr::standin {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;

// One second of flight or taxi along a leg.
void lf_step(AppAircraft& a, const ScenarioLeg& leg)
{
    a.groundSpeed = std::max(0.0, a.groundSpeed + leg.accel);
    a.altitude = std::max(0.0, a.altitude + leg.vs / 60.0);
    a.verticalSpeed = a.altitude > 0.0 ? leg.vs : 0.0;
    a.track = std::fmod(a.track + leg.turn + 360.0, 360.0);
    a.roll = a.altitude > 0.0 ? std::clamp(leg.turn * 8.0, -25.0, 25.0) : 0.0;
    const double nm = a.groundSpeed / 3600.0;
    a.lat += nm * std::cos(a.track * kRad) / 60.0;
    a.lon += nm * std::sin(a.track * kRad) / (60.0 * std::cos(a.lat * kRad));
}

} // namespace

RtAppScenario RtAppScenario::load(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open scenario " + file.string());
    try {
        const nlohmann::json j = nlohmann::json::parse(in);
        RtAppScenario s;
        s.airport = j.at("airport").get<std::string>();
        s.metar = j.value("metar", std::string());
        s.loopSeconds = j.value("loop_seconds", 900.0);
        for (const auto& a : j.at("aircraft")) {
            ScenarioAircraft sa;
            AppAircraft& st = sa.start;
            st.hexid = a.at("hexid").get<uint32_t>();
            st.callsign = a.value("callsign", "");
            st.type = a.at("type").get<std::string>();
            st.registration = a.value("registration", "");
            st.origin = a.value("origin", "");
            st.destination = a.value("destination", "");
            st.airline = a.value("airline", "");
            st.category = a.value("category", "A3");
            const bool tracked = a.contains("points");
            st.lat = tracked ? a.value("lat", 0.0) : a.at("lat").get<double>();
            st.lon = tracked ? a.value("lon", 0.0) : a.at("lon").get<double>();
            st.altitude = a.value("altitude", 0.0);
            st.groundSpeed = a.value("gs", 0.0);
            st.track = a.value("track", 0.0);
            for (const auto& t : a.value("points", nlohmann::json::array()))
                sa.track.push_back(TrackPoint{t.at(0).get<double>(), t.at(1).get<double>(), t.at(2).get<double>(),
                                              t.at(3).get<double>(), t.at(4).get<double>(), t.at(5).get<double>(),
                                              t.size() > 6 ? t.at(6).get<double>() : 0.0, false});
            sa.reports = a.value("reports", false);
            for (const auto& l : a.value("legs", nlohmann::json::array()))
                sa.legs.push_back(ScenarioLeg{l.at("seconds").get<double>(), l.value("accel", 0.0),
                                              l.value("vs", 0.0), l.value("turn", 0.0)});
            s.aircraft.push_back(std::move(sa));
        }
        for (const auto& p : j.value("parked", nlohmann::json::array()))
            s.parked.push_back(AppParked{p.at("hexid").get<uint32_t>(), p.value("callsign", ""),
                                         p.at("type").get<std::string>(), p.value("registration", ""),
                                         p.at("stand").get<std::string>(), p.at("lat").get<double>(),
                                         p.at("lon").get<double>()});
        return s;
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error("scenario " + file.string() + ": " + e.what());
    }
}

std::vector<AppAircraft> RtAppScenario::stateAt(double seconds, double since) const
{
    const double loop = std::max(1.0, loopSeconds);
    // A loop that began after `since` leaves nothing of the last one.
    const double after = since < 0.0 || std::floor(since / loop) != std::floor(std::max(0.0, seconds) / loop)
                             ? -1.0
                             : std::fmod(since, loop);
    const int steps = static_cast<int>(std::fmod(std::max(0.0, seconds), std::max(1.0, loopSeconds)));
    std::vector<AppAircraft> out;
    const double now = std::fmod(std::max(0.0, seconds), std::max(1.0, loopSeconds));
    for (const ScenarioAircraft& sa : aircraft) {
        AppAircraft a = sa.start;
        if (!sa.track.empty()) {
            if (now < sa.track.front().t || now > sa.track.back().t)
                continue; // not there yet, or gone
            const auto next = std::lower_bound(sa.track.begin(), sa.track.end(), now,
                                               [](const TrackPoint& p, double t) { return p.t < t; });
            if (sa.reports) {
                const TrackPoint& r = next->t <= now ? *next : *(next - 1);
                if (r.t <= after)
                    continue;
                a.lat = r.lat;
                a.lon = r.lon;
                a.altitude = r.altFt;
                a.groundSpeed = a.tas = r.gsKt;
                a.track = r.trackDeg;
                a.verticalSpeed = r.vsFpm;
                out.push_back(a);
                continue;
            }
            const TrackPoint& b = *next;
            const TrackPoint& f = next == sa.track.begin() ? b : *(next - 1);
            const double w = b.t > f.t ? (now - f.t) / (b.t - f.t) : 1.0;
            const auto mix = [w](double x, double y) { return x + (y - x) * w; };
            a.lat = mix(f.lat, b.lat);
            a.lon = mix(f.lon, b.lon);
            a.altitude = mix(f.altFt, b.altFt);
            a.groundSpeed = mix(f.gsKt, b.gsKt);
            a.track = std::fmod(f.trackDeg + std::remainder(b.trackDeg - f.trackDeg, 360.0) * w + 360.0, 360.0);
            a.verticalSpeed = mix(f.vsFpm, b.vsFpm);
            if (a.tas < 0.0) // a recorded track has no air data: still air
                a.tas = a.groundSpeed;
            out.push_back(a);
            continue;
        }
        size_t leg = 0;
        double inLeg = 0.0;
        for (int t = 0; t < steps; ++t) {
            while (leg < sa.legs.size() && inLeg >= sa.legs[leg].seconds) {
                ++leg;
                inLeg = 0.0;
            }
            lf_step(a, leg < sa.legs.size() ? sa.legs[leg] : ScenarioLeg{});
            inLeg += 1.0;
        }
        out.push_back(a);
    }
    return out;
}

} // namespace kvr::standin
