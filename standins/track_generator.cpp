#include "standins/track_generator.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "core/geodesy.h"

namespace kvr::standin {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kFtPerNm = 6076.12;

double lf_wrap360(double deg)
{
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}

// -180..180: how far `to` lies clockwise of `from`.
double lf_turnBetween(double from, double to)
{
    return lf_wrap360(to - from + 180.0) - 180.0;
}

// One CSV line split at commas outside quotes, quotes removed.
std::vector<std::string> lf_csvFields(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.emplace_back();
        else if (c != '\r')
            out.back() += c;
    }
    return out;
}

double lf_number(const std::string& text)
{
    return text.empty() ? 0.0 : std::stod(text);
}

} // namespace

std::vector<RunwayGeometry> gf_loadRunwayCsv(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the runway list " + file.string());
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> header = lf_csvFields(line);
    const auto column = [&](const char* name) {
        const auto it = std::find(header.begin(), header.end(), name);
        if (it == header.end())
            throw std::runtime_error(std::string("runway list without column ") + name);
        return static_cast<size_t>(it - header.begin());
    };
    const size_t airport = column("airport_ident"), length = column("length_ft"), width = column("width_ft");
    const auto endColumns = [&](const std::string& p) {
        return std::array<size_t, 6>{column((p + "_ident").c_str()),         column((p + "_latitude_deg").c_str()),
                                     column((p + "_longitude_deg").c_str()), column((p + "_elevation_ft").c_str()),
                                     column((p + "_heading_degT").c_str()),  column((p + "_displaced_threshold_ft").c_str())};
    };
    const auto le = endColumns("le"), he = endColumns("he");
    std::vector<RunwayGeometry> out;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const std::vector<std::string> f = lf_csvFields(line);
        if (f.size() < header.size())
            throw std::runtime_error("short runway line: " + line);
        const auto end = [&](const std::array<size_t, 6>& c) {
            return RunwayEndGeometry{f[c[0]], {lf_number(f[c[1]]), lf_number(f[c[2]])}, lf_number(f[c[3]]),
                                     lf_number(f[c[4]]), lf_number(f[c[5]])};
        };
        out.push_back(RunwayGeometry{f[airport], lf_number(f[length]), lf_number(f[width]), end(le), end(he)});
    }
    return out;
}

const RunwayEndGeometry& gf_runwayEnd(const std::vector<RunwayGeometry>& runways, const std::string& ident)
{
    for (const RunwayGeometry& r : runways) {
        if (r.low.ident == ident)
            return r.low;
        if (r.high.ident == ident)
            return r.high;
    }
    throw std::runtime_error("no runway end " + ident);
}

const RunwayEndGeometry& gf_oppositeEnd(const std::vector<RunwayGeometry>& runways, const std::string& ident)
{
    for (const RunwayGeometry& r : runways) {
        if (r.low.ident == ident)
            return r.high;
        if (r.high.ident == ident)
            return r.low;
    }
    throw std::runtime_error("no runway end " + ident);
}

TrackBuilder::TrackBuilder(LatLon start, double altFt, double gsKt, double trackDeg, bool onGround)
{
    m_points.push_back(TrackPoint{0.0, start.latitude, start.longitude, altFt, gsKt, lf_wrap360(trackDeg), 0.0,
                                  onGround});
}

void TrackBuilder::step(double accel, double vs, double turn)
{
    TrackPoint p = m_points.back();
    p.t += 1.0;
    const double speedBefore = p.gsKt;
    p.gsKt = std::max(0.0, p.gsKt + accel);
    p.trackDeg = lf_wrap360(p.trackDeg + turn);
    p.vsFpm = p.onGround ? 0.0 : vs;
    p.altFt += p.vsFpm / 60.0;
    const double nm = (speedBefore + p.gsKt) / 2.0 / 3600.0;
    const LatLon next = gf_destinationPoint({p.lat, p.lon}, {p.trackDeg * kRad, nm * kFtPerNm});
    p.lat = next.latitude;
    p.lon = next.longitude;
    m_points.push_back(p);
}

TrackBuilder& TrackBuilder::fly(double seconds, double accelKtPerS, double vsFpm, double turnDegPerS)
{
    for (int i = 0; i < static_cast<int>(std::lround(seconds)); ++i)
        step(accelKtPerS, vsFpm, turnDegPerS);
    return *this;
}

TrackBuilder& TrackBuilder::turnTo(double trackDeg, double rateDegPerS)
{
    rateDegPerS = std::max(0.1, std::abs(rateDegPerS));
    for (int guard = 0; guard < 3600; ++guard) {
        const double left = lf_turnBetween(m_points.back().trackDeg, trackDeg);
        if (std::abs(left) < 1e-9)
            break;
        step(0.0, m_points.back().vsFpm, std::clamp(left, -rateDegPerS, rateDegPerS));
    }
    return *this;
}

TrackBuilder& TrackBuilder::moveTo(LatLon to, double rateDegPerS)
{
    TrackPoint& here = m_points.back();
    if (here.gsKt < 1.0)
        here.gsKt = 1.0;
    const double bearing = gf_initialBearing({here.lat, here.lon}, to) / kRad;
    turnTo(bearing, rateDegPerS);
    for (int guard = 0; guard < 36000; ++guard) {
        const TrackPoint& p = m_points.back();
        const double leftNm = gf_distanceNm({p.lat, p.lon}, to);
        const double stepNm = p.gsKt / 3600.0;
        if (leftNm <= stepNm) {
            TrackPoint last = p;
            last.t += std::max(0.2, leftNm / std::max(stepNm, 1e-9));
            last.lat = to.latitude;
            last.lon = to.longitude;
            m_points.push_back(last);
            break;
        }
        m_points.back().trackDeg = gf_initialBearing({p.lat, p.lon}, to) / kRad;
        step(0.0, p.vsFpm, 0.0);
    }
    return *this;
}

TrackBuilder& TrackBuilder::hold(double seconds)
{
    m_points.back().gsKt = 0.0;
    for (int i = 0; i < static_cast<int>(std::lround(seconds)); ++i)
        step(0.0, 0.0, 0.0);
    return *this;
}

TrackBuilder& TrackBuilder::setSpeed(double kt)
{
    m_points.back().gsKt = std::max(0.0, kt);
    return *this;
}

TrackBuilder& TrackBuilder::setOnGround(bool onGround, double altFt)
{
    m_points.back().onGround = onGround;
    m_points.back().altFt = altFt;
    if (onGround)
        m_points.back().vsFpm = 0.0;
    return *this;
}

std::vector<TrackPoint> gf_cruiseTrack(LatLon start, double altFt, double gsKt, double trackDeg, double seconds)
{
    return TrackBuilder(start, altFt, gsKt, trackDeg, false).fly(seconds).points();
}

std::vector<TrackPoint> gf_takeOffTrack(const RunwayEndGeometry& from, double rotateKt, double climbToFt)
{
    TrackBuilder b(from.threshold, from.elevationFt, 0.0, from.headingDeg, true);
    b.hold(10.0);
    const double accel = 2.5; // knots per second
    b.fly(std::ceil(rotateKt / accel), accel);
    b.setOnGround(false, from.elevationFt);
    const double climbSeconds = std::max(0.0, climbToFt - from.elevationFt) / 2000.0 * 60.0;
    b.fly(std::min(climbSeconds, 40.0), 0.5, 2000.0);
    b.fly(std::max(0.0, climbSeconds - 40.0), 0.2, 2000.0);
    return b.points();
}

std::vector<TrackPoint> gf_landingTrack(const RunwayEndGeometry& to, double distanceNm)
{
    // The touch-down point 300 m past the threshold; the approach starts on
    // the extended centre line, on a 3° path to it.
    const double touchFt = 300.0 / 0.3048;
    const LatLon touch = gf_destinationPoint(to.threshold, {to.headingDeg * kRad, touchFt});
    const double startFt = distanceNm * kFtPerNm;
    const LatLon start = gf_destinationPoint(touch, {lf_wrap360(to.headingDeg + 180.0) * kRad, startFt});
    const double height = startFt * std::tan(3.0 * kRad);
    // About 140 kt, so that the approach ends on a whole second at the touch-down point.
    const double seconds = std::max(1.0, std::round(distanceNm / 140.0 * 3600.0));
    const double kt = distanceNm / seconds * 3600.0;
    const double vs = -height / seconds * 60.0;
    TrackBuilder b(start, to.elevationFt + height, kt, to.headingDeg, false);
    b.fly(seconds, 0.0, vs);
    b.setOnGround(true, to.elevationFt);
    b.fly(10.0, -3.0);
    b.fly(std::ceil((b.last().gsKt - 15.0) / 2.0), -2.0);
    return b.points();
}

std::vector<TrackPoint> gf_taxiTrack(const std::vector<LatLon>& points, double altFt, double kt)
{
    if (points.empty())
        return {};
    TrackBuilder b(points.front(), altFt, 0.0, 0.0, true);
    if (points.size() > 1)
        b.turnTo(gf_initialBearing(points[0], points[1]) / kRad, 360.0);
    b.hold(1.0);
    for (size_t i = 1; i < points.size(); ++i) {
        b.setSpeed(kt).moveTo(points[i], 15.0);
    }
    return b.points();
}

std::vector<TrackPoint> gf_departureTrack(const RunwayEndGeometry& from, double taxiFt, double rotateKt,
                                          double climbToFt)
{
    const LatLon holding = gf_destinationPoint(from.threshold, {lf_wrap360(from.headingDeg + 180.0) * kRad, taxiFt});
    TrackBuilder taxi(holding, from.elevationFt, 15.0, from.headingDeg, true);
    taxi.moveTo(from.threshold);
    std::vector<TrackPoint> track = taxi.points();
    const double offset = track.back().t + 1.0;
    for (TrackPoint p : gf_takeOffTrack(from, rotateKt, climbToFt)) {
        p.t += offset;
        track.push_back(p);
    }
    return track;
}

std::vector<TrackPoint> gf_movingFrom(std::vector<TrackPoint> track, double start)
{
    const auto moving = std::find_if(track.begin(), track.end(), [](const TrackPoint& p) { return p.gsKt > 0.0; });
    track.erase(track.begin(), moving == track.end() ? track.end() - std::min<size_t>(1, track.size()) : moving);
    const double t0 = track.empty() ? 0.0 : track.front().t;
    for (TrackPoint& p : track)
        p.t += start - t0;
    return track;
}

} // namespace kvr::standin
