// Synthetic aircraft tracks for tests and the demo: cruise, take-off, approach
// and landing, and taxi, built on real runway geometry. A track is a list of
// timed points 1 s apart; tests turn them into traffic records, the stand-in
// App plays them from a scenario's "track" array.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <filesystem>
#include <string>
#include <vector>

#include "core/value_types.h"

namespace kvr::standin {

struct TrackPoint {
    double t = 0.0;        // seconds from the track's start
    double lat = 0.0;      // degrees
    double lon = 0.0;      // degrees
    double altFt = 0.0;    // feet above mean sea level
    double gsKt = 0.0;     // ground speed, knots
    double trackDeg = 0.0; // true track, degrees [0, 360)
    double vsFpm = 0.0;    // feet per minute
    bool onGround = false;
    bool unreported = false; // no report of the feed covers this point
    // A stale repeat that keeps its position's time: the time the line
    // carries, earlier than `t` (when it is sent). NaN: the line carries `t`.
    double stampT = std::numeric_limits<double>::quiet_NaN();
    double lineTime() const { return std::isnan(stampT) ? t : stampT; }
};

struct RunwayEndGeometry {
    std::string ident;        // "18R"
    LatLon threshold;         // the runway end (degrees)
    double elevationFt = 0.0;
    double headingDeg = 0.0;  // true heading of a movement from this end
    double displacedFt = 0.0; // displaced threshold
};

struct RunwayGeometry {
    std::string airport;
    double lengthFt = 0.0;
    double widthFt = 0.0;
    RunwayEndGeometry low, high; // "le" and "he" ends of the published list
};

// The runways of a published runway list (columns as in OurAirports'
// runways.csv). Throws std::runtime_error when the file cannot be read.
std::vector<RunwayGeometry> gf_loadRunwayCsv(const std::filesystem::path& file);
// The runway end called `ident` ("18R") of the list; throws when absent.
const RunwayEndGeometry& gf_runwayEnd(const std::vector<RunwayGeometry>& runways, const std::string& ident);
// The same runway seen from its other end.
const RunwayEndGeometry& gf_oppositeEnd(const std::vector<RunwayGeometry>& runways, const std::string& ident);

// Builds a track one second at a time.
class TrackBuilder {
public:
    TrackBuilder(LatLon start, double altFt, double gsKt, double trackDeg, bool onGround);

    // `seconds` of flight or taxi, the speed changing by accelKtPerS each
    // second and the altitude by vsFpm, turning by turnDegPerS.
    TrackBuilder& fly(double seconds, double accelKtPerS = 0.0, double vsFpm = 0.0, double turnDegPerS = 0.0);
    // Turns the shortest way onto trackDeg at rateDegPerS, moving meanwhile.
    TrackBuilder& turnTo(double trackDeg, double rateDegPerS);
    // Turns toward `to` (on the spot when stopped) and moves there at the
    // current speed (at least 1 kt); the last point is `to` itself.
    TrackBuilder& moveTo(LatLon to, double rateDegPerS = 10.0);
    // Stands still for `seconds`.
    TrackBuilder& hold(double seconds);
    // The speed from now on.
    TrackBuilder& setSpeed(double kt);
    // Ground contact from now on (the altitude is the caller's).
    TrackBuilder& setOnGround(bool onGround, double altFt);

    const std::vector<TrackPoint>& points() const { return m_points; }
    const TrackPoint& last() const { return m_points.back(); }

private:
    void step(double accel, double vs, double turn);
    std::vector<TrackPoint> m_points;
};

// Level flight on a constant track.
std::vector<TrackPoint> gf_cruiseTrack(LatLon start, double altFt, double gsKt, double trackDeg, double seconds);
// Lined up on the threshold of `from`, standing 10 s, a roll to the rotation
// speed, then a climb at 2000 ft/min to `climbToFt` on the runway heading.
std::vector<TrackPoint> gf_takeOffTrack(const RunwayEndGeometry& from, double rotateKt, double climbToFt);
// A 3° approach to `to` from `distanceNm` out at 140 kt, touching down 300 m
// past the threshold, then a roll-out slowing to 15 kt.
std::vector<TrackPoint> gf_landingTrack(const RunwayEndGeometry& to, double distanceNm);
// Taxi along the points at `kt`, starting stopped at the first one.
std::vector<TrackPoint> gf_taxiTrack(const std::vector<LatLon>& points, double altFt, double kt);
// Taxi at 15 kt along the extended centre line from `taxiFt` behind the
// threshold onto it, then the take-off of gf_takeOffTrack.
std::vector<TrackPoint> gf_departureTrack(const RunwayEndGeometry& from, double taxiFt, double rotateKt,
                                          double climbToFt);
// The track from its first point faster than `aboveKt` on (a standing
// aircraft is parked traffic, not live), its times shifted to begin at `start`.
std::vector<TrackPoint> gf_movingFrom(std::vector<TrackPoint> track, double start, double aboveKt = 0.0);

// How the App reports a track: about every `intervalS` seconds (give or take
// `jitterS`), speeds in whole knots and tracks in whole degrees; ground
// positions off by 5-30 m while moving; a standing aircraft's position
// jitters by a few metres while its speed reads 0-2 kt and its track wanders;
// in the air, positions may step back and forth along the track by up to
// `airJumpM` (multilateration). The same seed gives the same reports.
//
// As real recordings show, too: with `staleEvery` = n, every n-th report is
// followed by a stale repeat of it in place of the next one (the App sends
// its last known position again): the same position, speed and track, its
// line time kept (`staleKeepsTime`, where the App carries position times;
// see TrackPoint::stampT) or the time it is sent (where it carries the
// receive time). With `pressureOffsetFt`, air reports give pressure
// altitudes, in steps of 25 ft: the true altitude less the offset (at a
// high airport with a high QNH, final-approach reports fall under the field
// elevation before the first ground report). With `staleInGaps`, the App
// repeats its last report at every report time while the feed has lost the
// aircraft (where the track is `unreported`), as it does for an arrival
// that turned off the runway out of coverage.
struct AppReporting {
    uint64_t seed = 1;
    double intervalS = 10.0;
    double jitterS = 1.0;
    double groundNoiseMinM = 5.0;
    double groundNoiseMaxM = 30.0;
    double standingJitterM = 3.0;
    double airJumpM = 0.0;
    int staleEvery = 0;
    bool staleKeepsTime = true;
    double pressureOffsetFt = 0.0;
    bool staleInGaps = false;
};
// The reports of a track, the first at its first point, none where a point
// is `unreported` (but one at the last point before), the last at its last
// point.
std::vector<TrackPoint> gf_appReports(const std::vector<TrackPoint>& track, const AppReporting& how);

// ---- Ground scenarios seen in real App traffic ----

// Taxi at `kt` with two 90° corners taken within a few seconds (a report
// before and one after each), then a stop.
std::vector<TrackPoint> gf_taxiCornersTrack(LatLon start, double headingDeg, double altFt, double kt);
// A landing on `to` whose roll-out leaves the runway by a high-speed exit at
// 28 kt (30° off the runway), then onto a taxiway at right angles and a stop.
std::vector<TrackPoint> gf_highSpeedExitTrack(const RunwayEndGeometry& to);
// A landing on `to` that turns off left at the end of its roll, crosses to the
// parallel taxiway 180 m off the centre line and taxis back the other way;
// the feed loses it from the end of the roll (its first point on the ground
// slower than `lostBelowKt`) until it is 500 m back along the taxiway from
// the last report on the runway (lost faster than 50 kt, it is seen taxiing
// on for a minute more).
std::vector<TrackPoint> gf_turnBackArrivalTrack(const RunwayEndGeometry& to, double lostBelowKt = 50.0);
// Parked beside the runway `from` (600 m before its threshold, 200 m to the
// right, nose on the runway heading) for `standSeconds`, then taxiing away
// forward at 25 kt, onto the centre line, lining up and taking off.
std::vector<TrackPoint> gf_standToTakeOffTrack(const RunwayEndGeometry& from, double standSeconds);
// A landing on `to` that rolls out at `rollKt` for 15 s, then leaves the
// runway to the left, slowing to a third of that speed, and taxis on beside
// the runway, parallel to it, 60 to 150 m from the centre line, then stops.
// The feed does not see the exit: the first report after the roll lies
// beside the runway at a third of the speed of the one before.
std::vector<TrackPoint> gf_sideExitTrack(const RunwayEndGeometry& to, double rollKt = 60.0);
// Taxi at `kt` for 30 s, then a reception gap of 40 s in which the aircraft
// turns by `turnDeg` (at 10°/s, positive to the right) halfway, then 30 s
// more seen on the new heading: reports before the gap show the old heading,
// the first after it the new one, far from the old line.
std::vector<TrackPoint> gf_gapTurnTrack(LatLon start, double headingDeg, double altFt, double kt, double turnDeg);
// What a push-back's reports give as the track: the direction of motion
// (the tail's, opposite the nose) or the nose's direction.
enum class PushBackTrack { Motion, Nose };
// Parked at `gate` with the nose on `noseDeg` for 30 s, pushed back 50 m
// along the gate's axis at 3 kt (the nose stays on `noseDeg`, the track as
// `convention` says), 10 s standing, then taxiing away nose first, turning
// right onto a taxi lane at 10 kt.
std::vector<TrackPoint> gf_pushBackTrack(LatLon gate, double noseDeg, double altFt, PushBackTrack convention);

} // namespace kvr::standin
