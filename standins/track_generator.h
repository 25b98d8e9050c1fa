// Synthetic aircraft tracks for tests and the demo: cruise, take-off, approach
// and landing, and taxi, built on real runway geometry. A track is a list of
// timed points 1 s apart; tests turn them into traffic records, the stand-in
// App plays them from a scenario's "track" array.
#pragma once

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
// The track from its first moving point on (a standing aircraft is parked
// traffic, not live), its times shifted to begin at `start`.
std::vector<TrackPoint> gf_movingFrom(std::vector<TrackPoint> track, double start);

} // namespace kvr::standin
