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
constexpr double kMetresPerKtS = 0.5144444444444445; // metres covered in a second at 1 kt

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

// A small seeded generator (splitmix64): the same draws on every platform.
class SeededDraws {
public:
    explicit SeededDraws(uint64_t seed) : m_state(seed) {}
    double uniform(double lo, double hi)
    {
        m_state += 0x9E3779B97F4A7C15ull;
        uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return lo + (hi - lo) * static_cast<double>(z >> 11) / 9007199254740992.0;
    }

private:
    uint64_t m_state;
};

// The track at time t, interpolated between its points.
TrackPoint lf_pointAt(const std::vector<TrackPoint>& track, double t)
{
    const auto next = std::lower_bound(track.begin(), track.end(), t,
                                       [](const TrackPoint& p, double at) { return p.t < at; });
    if (next == track.begin())
        return track.front();
    if (next == track.end())
        return track.back();
    const TrackPoint& f = *(next - 1);
    const TrackPoint& b = *next;
    const double w = b.t > f.t ? (t - f.t) / (b.t - f.t) : 1.0;
    const auto mix = [w](double x, double y) { return x + (y - x) * w; };
    TrackPoint p = f;
    p.t = t;
    p.lat = mix(f.lat, b.lat);
    p.lon = mix(f.lon, b.lon);
    p.altFt = mix(f.altFt, b.altFt);
    p.gsKt = mix(f.gsKt, b.gsKt);
    p.trackDeg = lf_wrap360(f.trackDeg + lf_turnBetween(f.trackDeg, b.trackDeg) * w);
    p.vsFpm = mix(f.vsFpm, b.vsFpm);
    p.unreported = f.unreported || b.unreported;
    return p;
}

LatLon lf_moved(const TrackPoint& p, double bearingDeg, double metres)
{
    return gf_destinationPoint({p.lat, p.lon}, {lf_wrap360(bearingDeg) * kRad, metres / 0.3048});
}

// One report of the point, with the App's rounding and noise.
TrackPoint lf_report(TrackPoint p, const AppReporting& how, SeededDraws& draws, double& airSide)
{
    LatLon at{p.lat, p.lon};
    if (p.onGround && p.gsKt < 1.0) {
        at = lf_moved(p, draws.uniform(0.0, 360.0), draws.uniform(0.0, how.standingJitterM));
        p.gsKt = std::floor(draws.uniform(0.0, 2.999));
        p.trackDeg = draws.uniform(0.0, 360.0);
    } else if (p.onGround) {
        // Fast on a runway the aircraft's own position is good to a few metres.
        const double most = p.gsKt > 40.0 ? how.groundNoiseMinM : how.groundNoiseMaxM;
        at = lf_moved(p, draws.uniform(0.0, 360.0), draws.uniform(std::min(most, how.groundNoiseMinM), most));
    } else if (how.airJumpM > 0.0) {
        airSide = -airSide;
        at = lf_moved(p, p.trackDeg, airSide * draws.uniform(0.5, 1.0) * how.airJumpM);
    }
    p.lat = at.latitude;
    p.lon = at.longitude;
    p.gsKt = std::round(p.gsKt);
    p.trackDeg = lf_wrap360(std::round(p.trackDeg));
    if (!p.onGround && how.pressureOffsetFt != 0.0)
        p.altFt = std::round((p.altFt - how.pressureOffsetFt) / 25.0) * 25.0;
    return p;
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

namespace {

// The approach of gf_landingTrack and its roll-out down to `rollOutKt`.
TrackBuilder lf_landing(const RunwayEndGeometry& to, double distanceNm, double rollOutKt)
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
    b.fly(std::ceil((b.last().gsKt - rollOutKt) / 2.0), -2.0);
    return b;
}

// Appends `tail` (its times from 0) to `track`, one second after its end.
void lf_append(std::vector<TrackPoint>& track, const std::vector<TrackPoint>& tail)
{
    const double offset = track.back().t + 1.0;
    for (TrackPoint p : tail) {
        p.t += offset;
        track.push_back(p);
    }
}

} // namespace

std::vector<TrackPoint> gf_landingTrack(const RunwayEndGeometry& to, double distanceNm)
{
    return lf_landing(to, distanceNm, 15.0).points();
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
    lf_append(track, gf_takeOffTrack(from, rotateKt, climbToFt));
    return track;
}

std::vector<TrackPoint> gf_movingFrom(std::vector<TrackPoint> track, double start, double aboveKt)
{
    const auto moving =
        std::find_if(track.begin(), track.end(), [aboveKt](const TrackPoint& p) { return p.gsKt > aboveKt; });
    track.erase(track.begin(), moving == track.end() ? track.end() - std::min<size_t>(1, track.size()) : moving);
    const double t0 = track.empty() ? 0.0 : track.front().t;
    for (TrackPoint& p : track)
        p.t += start - t0;
    return track;
}

std::vector<TrackPoint> gf_appReports(const std::vector<TrackPoint>& track, const AppReporting& how)
{
    std::vector<TrackPoint> out;
    if (track.empty())
        return out;
    SeededDraws draws(how.seed);
    double airSide = 1.0;
    const double end = track.back().t;
    int fresh = 0; // fresh reports since the last stale repeat
    for (double t = track.front().t;; t = std::min(end, t + how.intervalS + draws.uniform(-how.jitterS, how.jitterS))) {
        const TrackPoint p = lf_pointAt(track, t);
        if (how.staleEvery > 0 && fresh >= how.staleEvery && t < end && !out.empty()) {
            // The last report once more, in place of this one.
            TrackPoint again = out.back();
            if (how.staleKeepsTime)
                again.stampT = again.lineTime();
            again.t = t;
            out.push_back(again);
            fresh = 0;
        } else if (!p.unreported) {
            ++fresh;
            out.push_back(lf_report(p, how, draws, airSide));
        } else {
            // The feed's last word before it loses the aircraft.
            auto seen = std::lower_bound(track.begin(), track.end(), t,
                                         [](const TrackPoint& q, double at) { return q.t < at; });
            while (seen != track.begin() && seen->unreported)
                --seen;
            if (!seen->unreported && (out.empty() || seen->t > out.back().t)) {
                out.push_back(lf_report(*seen, how, draws, airSide));
                ++fresh;
            } else if (how.staleInGaps && !out.empty() && t > out.back().t) {
                TrackPoint again = out.back();
                if (how.staleKeepsTime)
                    again.stampT = again.lineTime();
                again.t = t;
                out.push_back(again);
            }
        }
        if (t >= end)
            break;
    }
    return out;
}

std::vector<TrackPoint> gf_taxiCornersTrack(LatLon start, double headingDeg, double altFt, double kt)
{
    TrackBuilder b(start, altFt, 0.0, headingDeg, true);
    b.hold(1.0).setSpeed(kt).fly(25.0).turnTo(headingDeg + 90.0, 18.0).fly(25.0).turnTo(headingDeg, 18.0).fly(25.0);
    b.fly(std::ceil(kt / 2.0), -2.0).hold(10.0);
    return b.points();
}

std::vector<TrackPoint> gf_highSpeedExitTrack(const RunwayEndGeometry& to)
{
    TrackBuilder b = lf_landing(to, 3.0, 28.0);
    b.turnTo(to.headingDeg - 30.0, 3.0).fly(15.0).fly(6.0, -2.0).turnTo(to.headingDeg - 90.0, 6.0).fly(15.0);
    b.fly(8.0, -2.0).hold(10.0);
    return b.points();
}

std::vector<TrackPoint> gf_turnBackArrivalTrack(const RunwayEndGeometry& to, double lostBelowKt)
{
    TrackBuilder b = lf_landing(to, 3.0, 20.0);
    // Two left turns at 6.5°/s and 20 kt: 180 m across, the other way round.
    // Lost at a higher speed it rolls further: it taxis back that much
    // longer, and a minute more, seen taxiing after the loss.
    const auto rollOutM = [](double kt) { return std::max(0.0, kt * kt - 400.0) / 4.0 * kMetresPerKtS; };
    const double back = 160.0 + (rollOutM(lostBelowKt) - rollOutM(50.0)) / (20.0 * kMetresPerKtS);
    b.turnTo(to.headingDeg - 90.0, 6.5).turnTo(to.headingDeg - 180.0, 6.5).fly(lostBelowKt > 50.0 ? back : 100.0);
    b.fly(10.0, -2.0).hold(10.0);
    std::vector<TrackPoint> track = b.points();
    const auto lost = std::find_if(track.begin(), track.end(),
                                   [&](const TrackPoint& p) { return p.onGround && p.gsKt < lostBelowKt; });
    if (lost == track.begin() || lost == track.end())
        return track;
    const TrackPoint seen = *(lost - 1); // reported last
    for (auto p = lost; p != track.end(); ++p) {
        const double bearing = gf_initialBearing({seen.lat, seen.lon}, {p->lat, p->lon}) / kRad;
        const double along = gf_distanceNm({seen.lat, seen.lon}, {p->lat, p->lon}) * 1852.0 *
                             std::cos(lf_turnBetween(to.headingDeg, bearing) * kRad);
        if (along <= -500.0)
            break;
        p->unreported = true;
    }
    return track;
}

std::vector<TrackPoint> gf_standToTakeOffTrack(const RunwayEndGeometry& from, double standSeconds)
{
    const double h = from.headingDeg;
    const auto at = [&](double behindM, double rightM) {
        const LatLon back = gf_destinationPoint(from.threshold, {lf_wrap360(h + 180.0) * kRad, behindM / 0.3048});
        return gf_destinationPoint(back, {lf_wrap360(h + 90.0) * kRad, rightM / 0.3048});
    };
    TrackBuilder b(at(600.0, 200.0), from.elevationFt, 0.0, h, true);
    b.hold(standSeconds).setSpeed(5.0).fly(7.0, 3.0);
    b.moveTo(at(250.0, 200.0), 15.0).moveTo(at(250.0, 0.0), 15.0).setSpeed(12.0).moveTo(from.threshold, 15.0);
    std::vector<TrackPoint> track = b.points();
    lf_append(track, gf_takeOffTrack(from, 140.0, 3000.0));
    return track;
}

std::vector<TrackPoint> gf_sideExitTrack(const RunwayEndGeometry& to, double rollKt)
{
    TrackBuilder b = lf_landing(to, 3.0, rollKt);
    b.setSpeed(rollKt).fly(15.0);
    // Off to the left, down to a third of the speed, unseen by the feed.
    const size_t gapFrom = b.points().size();
    b.fly(4.0, -(rollKt * 2.0 / 3.0) / 4.0, 0.0, -10.0);
    b.turnTo(to.headingDeg - 60.0, 10.0).fly(6.0).turnTo(to.headingDeg, 10.0);
    const size_t gapTo = b.points().size();
    b.fly(30.0).fly(std::ceil(b.last().gsKt / 2.0), -2.0).hold(10.0);
    std::vector<TrackPoint> track = b.points();
    for (size_t i = gapFrom; i < gapTo; ++i)
        track[i].unreported = true;
    return track;
}

std::vector<TrackPoint> gf_gapTurnTrack(LatLon start, double headingDeg, double altFt, double kt, double turnDeg)
{
    TrackBuilder b(start, altFt, kt, headingDeg, true);
    b.fly(30.0);
    const size_t gapFrom = b.points().size();
    const double turnSeconds = std::abs(turnDeg) / 10.0;
    const double straight = std::max(0.0, (40.0 - turnSeconds) / 2.0);
    b.fly(straight).turnTo(headingDeg + turnDeg, 10.0).fly(straight);
    const size_t gapTo = b.points().size();
    b.fly(30.0);
    std::vector<TrackPoint> track = b.points();
    for (size_t i = gapFrom; i < gapTo; ++i)
        track[i].unreported = true;
    return track;
}

std::vector<TrackPoint> gf_pushBackTrack(LatLon gate, double noseDeg, double altFt, PushBackTrack convention)
{
    TrackBuilder at(gate, altFt, 0.0, noseDeg, true);
    at.hold(30.0);
    std::vector<TrackPoint> track = at.points();
    const double tail = lf_wrap360(noseDeg + 180.0);
    constexpr int kPushSeconds = 32; // 50 m at 3 kt
    for (int i = 1; i <= kPushSeconds; ++i) {
        const LatLon p = gf_destinationPoint(gate, {tail * kRad, 50.0 * i / kPushSeconds / 0.3048});
        TrackPoint q = track.back();
        q.t += 1.0;
        q.lat = p.latitude;
        q.lon = p.longitude;
        q.gsKt = i < kPushSeconds ? 3.0 : 0.0;
        q.trackDeg = convention == PushBackTrack::Motion ? tail : lf_wrap360(noseDeg);
        track.push_back(q);
    }
    track.back().trackDeg = lf_wrap360(noseDeg);
    TrackBuilder away({track.back().lat, track.back().lon}, altFt, 0.0, noseDeg, true);
    away.hold(10.0).setSpeed(4.0).turnTo(noseDeg + 90.0, 6.0).fly(6.0, 1.0).fly(40.0);
    lf_append(track, away.points());
    return track;
}

} // namespace kvr::standin
