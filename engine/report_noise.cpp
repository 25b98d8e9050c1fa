#include "engine/report_noise.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "core/geodesy.h"

#include "core/units.h"
#include "engine/geometry.h"
#include "runways/runway_matching.h"

namespace {

constexpr double kStandingDeg = 0.00015; // the box of a standing aircraft's jitter
constexpr double kStandingKt = 2.0;
constexpr double kStillRollingKt = 30.0;  // a roll this fast is under way
constexpr double kMovingKt = 5.0;         // slower reports give no direction
constexpr double kSameWayDeg = 90.0;
constexpr double kOneTrackDeg = 20.0;     // reports this close keep one track
constexpr double kGroundNoiseM = 30.0;    // ground positions stray this far
constexpr double kAirNoiseM = 10.0;      // in the air a report behind is noise at once
constexpr double kBesideRunwayM = 30.0;
// A landing's reports may lie this far beside its runway (beyond its half
// width) all the way down to the roll, where a visual final joined the line
// late or the reports of the whole landing are offset. Once the aircraft is
// down, a roll's report that far beside is one turning off onto a taxiway.
constexpr double kLandingBesideM = 400.0;
constexpr double kTouchDownFromStartM = 300.0; // a landing is on the centre line from here
constexpr double kApproachMatchedM = 700.0;    // a runway is matched this far before its beginning
constexpr double kLineUpMergeM = 600.0;        // a take-off roll's offset is gone this far ahead
constexpr double kFastestExitKt = 35.0;    // no runway exit is taken faster
constexpr double kAlongRunwayDeg = 15.0;   // a track this near the runway heading runs along it
constexpr double kSlowestMoveKt = 0.5;    // slower reports say nothing of movement
constexpr double kMoveSlackM = 3.0;       // what the speed leaves open over a short time
constexpr double kAlongTrackDeg = 45.0;   // a move along or against the track
constexpr double kStandingSpreadM = 100.0; // a standing aircraft's reports spread this far
constexpr double kSameStopM = 3.0;         // closer samples give no way into the stop

// The report new ones are judged against: the last one received and taken.
const TrafficSample& lf_lastReport(const LiveAircraft& ac)
{
    return ac.stream.lastReport;
}

// A standing report behind the nose of an aircraft standing on the ground at
// its last stop: a standing aircraft does not roll back there, the report is
// the spread of its positions (they flip between places tens of metres
// apart). The nose is judged where the aircraft will stand: the way it takes
// into its last stop, or its shown heading when it stands there already.
bool lf_behindStandingNose(const LiveAircraft& ac, const TrafficSample& sample)
{
    if (ac.sim.simState != SimState::active || !ac.phases.groundMode || ac.stream.samples.empty())
        return false;
    const TrafficSample& held = ac.stream.samples.back();
    const LatLon at{held.lat, held.lon};
    double nose = ac.motion.heading;
    bool found = false;
    for (size_t i = ac.stream.samples.size() - 1; i-- > 0 && !found;) {
        const LatLon from{ac.stream.samples[i].lat, ac.stream.samples[i].lon};
        if (gf_distanceNm(from, at) * kMetresPerNm >= kSameStopM) {
            nose = gf_initialBearing(from, at);
            found = true;
        }
    }
    if (!found && gf_distanceNm({ac.motion.lat, ac.motion.lon}, at) * kMetresPerNm >= kSameStopM)
        nose = gf_initialBearing({ac.motion.lat, ac.motion.lon}, at);
    const RelativePosition rel = gf_relativePosition(at, nose, {sample.lat, sample.lon});
    return rel.alongM < 0.0 && std::hypot(rel.alongM, rel.acrossM) <= kStandingSpreadM;
}

// Both reports moving, both in the air or both on the ground, their tracks
// within `withinDeg`: where the new one lies from the last one, along and
// across the last one's track.
std::optional<RelativePosition> lf_fromLastReportOnTrack(const LiveAircraft& ac, const TrafficSample& sample,
                                                         double withinDeg)
{
    if (ac.stream.samples.empty())
        return std::nullopt;
    const TrafficSample& back = lf_lastReport(ac);
    if (!(back.speedKt >= kMovingKt) || !(sample.speedKt >= kMovingKt) || !std::isfinite(back.trackDeg) ||
        !std::isfinite(sample.trackDeg) || back.airborne != sample.airborne)
        return std::nullopt;
    const double turned = std::fabs(std::remainder(sample.trackDeg - back.trackDeg, 360.0));
    if (turned > withinDeg)
        return std::nullopt;
    return gf_relativePosition({back.lat, back.lon}, back.trackDeg * kDegToRad, {sample.lat, sample.lon});
}

// A report beside the centre line of `m` (within the runway's half width and
// 30 m) short of the runway's end is moved toward it, to at most `keepM` from
// it on its own side (onto it with 0). Where the report lies, in metres from
// the runway's beginning in this direction, is what `keep` is given to judge.
template <typename Keep>
void lf_moveTowardCentreLine(const RunwayMatch& m, TrafficSample& sample, Keep keep, double besideM = kBesideRunwayM)
{
    const LatLon end{m.endLatitude, m.endLongitude};
    const double heading = m.endHeading * kDegToRad;
    const RelativePosition rel = gf_relativePosition(end, heading, {sample.lat, sample.lon});
    if (!(rel.alongM < 0.0) || !(std::fabs(rel.acrossM) <= m.width / 2.0 + besideM))
        return;
    const double keepM = std::max(keep(m.length + rel.alongM), 0.0);
    if (std::fabs(rel.acrossM) <= keepM)
        return;
    const double across = std::copysign(keepM, rel.acrossM);
    const LatLon abeam = gf_destinationPoint(end, {heading + std::numbers::pi, -rel.alongM * kFeetPerMetre});
    const LatLon on = across == 0.0 ? abeam
                                    : gf_destinationPoint(abeam, {heading + std::copysign(std::numbers::pi / 2.0, across),
                                                                  std::fabs(across) * kFeetPerMetre});
    sample.lat = on.latitude;
    sample.lon = on.longitude;
}

// The most a landing's report may lie beside the centre line, by how far it
// lies from the runway's beginning (m): the whole matched width 700 m before
// it, narrowing evenly to nothing 300 m past it, so that the approach flies
// any offset of its reports out before the touch-down.
double lf_landingFunnelM(const RunwayMatch& m, double fromStartM)
{
    const double share = std::clamp((kTouchDownFromStartM - fromStartM) / (kTouchDownFromStartM + kApproachMatchedM), 0.0, 1.0);
    return (m.width / 2.0 + kBesideRunwayM) * share;
}

// A report in the air whose track runs along the runway heading (degrees).
bool lf_approachesAlongRunway(const TrafficSample& sample, double runwayHeadingDeg)
{
    return sample.airborne && std::isfinite(sample.trackDeg) &&
           std::fabs(std::remainder(sample.trackDeg - runwayHeadingDeg, 360.0)) <= kAlongRunwayDeg;
}

} // namespace

bool gf_standingJitterInRoll(const LiveAircraft& ac, const TrafficSample& sample)
{
    if (ac.phases.phase != FlightPhase::takeoff_roll || !ac.phases.groundMode || ac.stream.samples.empty() || sample.airborne)
        return false;
    const TrafficSample& back = ac.stream.samples.back();
    return !(back.speedKt >= kStillRollingKt) && !(sample.speedKt > kStandingKt) &&
           std::fabs(sample.lat - back.lat) <= kStandingDeg && std::fabs(sample.lon - back.lon) <= kStandingDeg;
}

bool gf_stepsBackAgainstTrack(const LiveAircraft& ac, const TrafficSample& sample)
{
    // A helicopter in the air hovers, turns on the spot and flies any way.
    if (sample.airborne && ac.identity.category == Category::Rotorcraft)
        return false;
    const auto rel = lf_fromLastReportOnTrack(ac, sample, kSameWayDeg);
    return rel && rel->alongM < -(sample.airborne ? kAirNoiseM : kGroundNoiseM);
}

bool gf_stepsAsideOfTrack(const LiveAircraft& ac, const TrafficSample& sample)
{
    if (sample.airborne)
        return false;
    const auto rel = lf_fromLastReportOnTrack(ac, sample, kOneTrackDeg);
    return rel && std::fabs(rel->acrossM) > kGroundNoiseM && std::fabs(rel->acrossM) > std::fabs(rel->alongM);
}

void gf_keepOnTakeOffCentreLine(const LiveAircraft& ac, TrafficSample& sample)
{
    const RunwayMatch& m = ac.flight.takeoffRunway;
    if (ac.phases.phase != FlightPhase::takeoff_roll || !ac.phases.groundMode || !m.valid)
        return;
    // The aircraft rolls where it stands beside the centre line; its reports
    // lead it onto the line over the next few hundred metres, never across
    // the runway at once.
    const RelativePosition here = gf_relativePosition({m.endLatitude, m.endLongitude}, m.endHeading * kDegToRad,
                                                      gf_aircraftPosition(ac));
    const double hereFromStartM = m.length + here.alongM;
    const double offM = std::isfinite(here.acrossM) ? std::fabs(here.acrossM) : 0.0;
    lf_moveTowardCentreLine(m, sample, [&](double fromStartM) {
        return offM * std::clamp(1.0 - (fromStartM - hereFromStartM) / kLineUpMergeM, 0.0, 1.0);
    });
}

void gf_keepStreamOnTakeOffCentreLine(LiveAircraft& ac)
{
    for (size_t i = 1; i < ac.stream.samples.size(); ++i)
        if (!ac.stream.samples[i].stationary)
            gf_keepOnTakeOffCentreLine(ac, ac.stream.samples[i]);
}

bool gf_rollsAlongRunway(const TrafficSample& sample, double runwayHeadingDeg)
{
    return !sample.airborne && !sample.stationary && sample.speedKt > kFastestExitKt && std::isfinite(sample.trackDeg) &&
           std::fabs(std::remainder(sample.trackDeg - runwayHeadingDeg, 360.0)) <= kAlongRunwayDeg;
}

void gf_keepOnLandingCentreLine(const LiveAircraft& ac, TrafficSample& sample)
{
    const bool landing = ac.phases.phase == FlightPhase::landing;
    if (!landing && ac.phases.phase != FlightPhase::landing_roll)
        return;
    const LatLon at{sample.lat, sample.lon};
    const double track = std::isfinite(sample.trackDeg) ? gf_normalizeAngle(sample.trackDeg * kDegToRad) : 0.0;
    const std::optional<RunwayMatch> here =
        std::isfinite(sample.trackDeg) ? gf_runwayAtPosition(at, track) : std::nullopt;
    std::optional<RunwayMatch> m = ac.flight.landing.runway.valid ? std::optional<RunwayMatch>(ac.flight.landing.runway) : here;
    if (!m && landing && std::isfinite(sample.trackDeg))
        m = gf_runwayOnFinal(at, track);
    // A report on another runway (a parallel) is that runway's, however near.
    if (!m || (here && here->runwayText != m->runwayText))
        return;
    if (sample.airborne ? landing && lf_approachesAlongRunway(sample, m->endHeading) : gf_rollsAlongRunway(sample, m->endHeading))
        lf_moveTowardCentreLine(*m, sample, [&](double fromStartM) { return lf_landingFunnelM(*m, fromStartM); },
                                landing ? kLandingBesideM : kBesideRunwayM);
}

void gf_keepStreamOnLandingCentreLine(LiveAircraft& ac)
{
    if (ac.phases.phase == FlightPhase::landing && !ac.phases.groundMode) {
        // The approach's reports ahead, those taken before it was one too,
        // and the roll's that follow them.
        for (size_t i = 1; i < ac.stream.samples.size(); ++i) {
            TrafficSample& s = ac.stream.samples[i];
            if (!s.airborne && (s.stationary || !(s.speedKt > kFastestExitKt)))
                break;
            gf_keepOnLandingCentreLine(ac, s);
        }
        return;
    }
    if (ac.phases.phase != FlightPhase::landing_roll || !ac.phases.groundMode)
        return;
    for (size_t i = 1; i < ac.stream.samples.size(); ++i) {
        TrafficSample& s = ac.stream.samples[i];
        if (!ac.flight.landing.runway.valid || !gf_rollsAlongRunway(s, ac.flight.landing.runway.endHeading))
            break; // the roll's reports come first; from a slower one on it leaves
        gf_keepOnLandingCentreLine(ac, s);
    }
}

bool gf_movedAsReported(const LiveAircraft& ac, const TrafficSample& sample)
{
    const TrafficSample& last = lf_lastReport(ac);
    if (sample.airborne || last.airborne || !(sample.speedKt >= kSlowestMoveKt) || !std::isfinite(sample.speedKt))
        return false;
    const double dt = (sample.playTime - last.playTime) / 100.0;
    if (!(dt > 0.0))
        return false;
    const LatLon from{last.lat, last.lon};
    const LatLon to{sample.lat, sample.lon};
    const double d = gf_distanceNm(from, to) * kMetresPerNm;
    const double expected = sample.speedKt * kKnotsToMetresPerSecond * dt;
    // A move shorter than the noise leaves open cannot be told from the
    // jitter round a stop (a 1 kt report a second after the last one).
    if (!(expected >= kMoveSlackM))
        return false;
    if (!(d >= 0.5 * expected) || !(d <= 1.5 * expected + kMoveSlackM))
        return false;
    if (!std::isfinite(sample.trackDeg))
        return true;
    const double way = gf_initialBearing(from, to) / kDegToRad;
    const double off = std::fabs(std::remainder(way - sample.trackDeg, 360.0));
    return off <= kAlongTrackDeg || off >= 180.0 - kAlongTrackDeg;
}

bool gf_holdStopBehind(const LiveAircraft& ac, TrafficSample& sample)
{
    if (ac.stream.samples.empty() || sample.airborne || !(sample.speedKt < kMovingKt))
        return false;
    const TrafficSample& back = lf_lastReport(ac);
    if (back.airborne || gf_movedAsReported(ac, sample))
        return false;
    const TrafficSample& held = ac.stream.samples.back();
    if (!(back.speedKt > kStandingKt)) {
        // Standing after standing: within the noise it has not moved.
        if (sample.speedKt > kStandingKt)
            return false;
        if (!(gf_distanceNm({back.lat, back.lon}, {sample.lat, sample.lon}) * kMetresPerNm <= kGroundNoiseM) &&
            !lf_behindStandingNose(ac, sample))
            return false;
        sample.lat = held.lat;
        sample.lon = held.lon;
        return true;
    }
    if (!std::isfinite(back.trackDeg))
        return false;
    const RelativePosition rel =
        gf_relativePosition({back.lat, back.lon}, back.trackDeg * kDegToRad, {sample.lat, sample.lon});
    if (!(rel.alongM < 0.0) || rel.alongM < -kGroundNoiseM || std::fabs(rel.acrossM) > kGroundNoiseM)
        return false;
    sample.lat = held.lat;
    sample.lon = held.lon;
    return true;
}
