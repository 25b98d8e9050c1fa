// Runway matching: every runway of the table near the position gives one
// candidate per direction, scored by the distance from the centre line and
// the heading difference; the lookups add their tolerances on top.
#include "runways/runway_matching.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "core/geodesy.h"
#include "core/units.h"
#include "runways/runway_table.h"

namespace {

constexpr double kEarthRadiusM = 6371000.0;
constexpr double kLateralMarginM = 30.0;   // beside the runway edge
constexpr double kAlongMarginM = 700.0;    // before and beyond the runway ends
constexpr double kLookupLateralLimitM = 75.0;
constexpr double kLookupHeadingLimitDeg = 20.0;
constexpr double kLookupUnderLateralM = 15.0;
constexpr double kRunnerUpGap = 20.0;
constexpr double kRunnerUpGapForName = 10.0;
constexpr double kFinalReachM = 10000.0;  // how far out a final approach is followed
constexpr double kFinalFunnelWidening = 0.05; // the funnel's half width grows by this per metre out
// A visual final joins the centre line late: a kilometre out its reports may
// still lie a few hundred metres beside it. The funnel opens by a metre per
// metre out up to this much.
constexpr double kFinalJoinM = 300.0;

// One runway direction near the aircraft, before its match is filled.
struct Candidate {
    const RunwayRecord* runway = nullptr;
    bool primary = true; // flying along the runway heading
    double crossTrack = 0.0;
    double alongTrack = 0.0;
    double endHeading = 0.0;
    double headingDifference = 0.0;
    double distanceFromStart = 0.0;
    double score = 0.0;
};

// Where a position lies from a runway's centre: north and east, and along
// and across its heading, in metres.
struct RunwayOffset {
    double north, east, along, cross;
};

RunwayOffset lf_offsetFromRunway(const LatLon& position, const RunwayRecord& r)
{
    const double north = (position.latitude - r.latitude) * kDegToRad * kEarthRadiusM;
    const double east = gf_longitudeDelta(position.longitude, r.longitude) * kDegToRad * kEarthRadiusM *
                        gf_cosLatitude((position.latitude + r.latitude) / 2.0);
    const double h = r.heading * kDegToRad;
    return {north, east, std::sin(h) * east + std::cos(h) * north, std::cos(h) * east - std::sin(h) * north};
}

bool lf_usableRunway(const RunwayRecord& r)
{
    return gf_isValidLatLon({r.latitude, r.longitude}) && std::isfinite(r.heading) && r.heading >= 0.0 &&
           r.heading < 360.0 && std::isfinite(r.length) && r.length > 0.0 && r.length <= 10000.0 &&
           std::isfinite(r.width) && r.width > 0.0 && r.width <= 500.0;
}

// Degrees 0..180 between two headings in degrees.
double lf_headingDifferenceDeg(double a, double b)
{
    return std::fabs(std::remainder(a - b, 360.0));
}

Candidate lf_candidate(const RunwayRecord& r, bool primary, double crossTrack, double alongTrack,
                       double aircraftHeadingDeg)
{
    Candidate c;
    c.runway = &r;
    c.primary = primary;
    c.crossTrack = crossTrack;
    c.alongTrack = alongTrack;
    c.endHeading = primary ? r.heading : std::fmod(r.heading + 180.0, 360.0);
    c.headingDifference = lf_headingDifferenceDeg(c.endHeading, aircraftHeadingDeg);
    c.distanceFromStart = primary ? alongTrack + r.length * 0.5 : r.length * 0.5 - alongTrack;
    c.score = std::fabs(crossTrack) + c.headingDifference;
    return c;
}

std::string lf_endText(const Candidate& c)
{
    return c.primary ? gf_primaryEndText(*c.runway) : gf_secondaryEndText(*c.runway);
}

// The match of one runway direction, filled whole.
RunwayMatch lf_evalRunwayEnd(const Candidate& c)
{
    const RunwayRecord& r = *c.runway;
    RunwayMatch m;
    m.runwayText = gf_runwayText(r);
    m.endText = lf_endText(c);
    m.endHeading = c.endHeading;
    m.headingDifference = c.headingDifference;
    m.crossTrack = c.crossTrack;
    m.alongTrack = c.alongTrack;
    m.distanceFromStart = c.distanceFromStart;
    m.startWindow = std::min(0.4 * r.length, 1200.0);
    m.length = r.length;
    m.width = r.width;
    const RunwayStart& own = c.primary ? r.primaryStart : r.secondaryStart;
    const RunwayStart& other = c.primary ? r.secondaryStart : r.primaryStart;
    auto altitudeOf = [](const RunwayStart& s) { return s.present ? std::optional<double>(s.altitude) : std::nullopt; };
    m.startAltitude = gf_pickAltitude(r.altitude, altitudeOf(own), altitudeOf(other)).altitude;
    m.endLatitude = c.primary ? r.secondaryLatitude : r.primaryLatitude;
    m.endLongitude = c.primary ? r.secondaryLongitude : r.primaryLongitude;

    // A disabled threshold is no threshold; an enabled one must lie within
    // the first 40 % of the runway to count.
    const RunwayThreshold& t = c.primary ? r.primaryThreshold : r.secondaryThreshold;
    std::optional<double> thresholdLength;
    if (!t.enabled)
        thresholdLength = 0.0;
    else if (std::isfinite(t.length) && t.length >= 0.0 && t.length <= 0.4 * r.length)
        thresholdLength = t.length;
    if (thresholdLength) {
        m.distancePastThreshold = c.distanceFromStart - *thresholdLength;
        m.lengthFromThreshold = r.length - *thresholdLength;
    }
    m.score = c.score;
    m.valid = true;
    return m;
}

// The runner-up rule of the lookups: a second candidate must score at least
// `gap` worse than the best.
bool lf_clearOfRunnerUp(const RunwayMatch& m, double gap)
{
    return m.runnerUpText.empty() || m.runnerUpScore - m.score >= gap;
}

} // namespace

RunwayMatch lf_matchRunway(const LatLon& position, double heading, bool strict, double minimumLateralLimit)
{
    if (!gf_isValidLatLon(position) || !(heading >= 0.0 && heading < 2.0 * std::numbers::pi))
        return {};
    const double headingDeg = heading * kRadToDeg;

    // The two best candidates so far; a later one must score strictly better
    // to pass an earlier one.
    Candidate best;
    Candidate second;
    auto consider = [&](const Candidate& c) {
        if (strict && !(c.distanceFromStart >= -kAlongMarginM &&
                        c.distanceFromStart <= std::min(0.4 * c.runway->length, 1200.0)))
            return;
        if (!best.runway || c.score < best.score) {
            second = best;
            best = c;
        } else if (!second.runway || c.score < second.score) {
            second = c;
        }
    };

    for (const RunwayRecord& r : runwayTable.runways) {
        if (!lf_usableRunway(r))
            continue;
        const auto [north, east, along, cross] = lf_offsetFromRunway(position, r);
        if (std::fabs(cross) > std::max(r.width * 0.5 + kLateralMarginM, minimumLateralLimit) ||
            std::fabs(along) > r.length * 0.5 + kAlongMarginM)
            continue;
        consider(lf_candidate(r, true, cross, along, headingDeg));
        consider(lf_candidate(r, false, cross, along, headingDeg));
    }
    if (!best.runway)
        return {};
    RunwayMatch m = lf_evalRunwayEnd(best);
    if (second.runway) {
        m.runnerUpText = fmt::format("{}:{}", gf_runwayText(*second.runway), lf_endText(second));
        m.runnerUpScore = second.score;
    }
    return m;
}

std::optional<RunwayMatch> gf_runwayUnderAircraft(const LatLon& position, double heading)
{
    RunwayMatch m = lf_matchRunway(position, heading, false, kLookupLateralLimitM);
    if (!m.valid || m.headingDifference > kLookupHeadingLimitDeg || std::fabs(m.crossTrack) > kLookupUnderLateralM)
        return std::nullopt;
    if (!std::isfinite(m.length) || m.length <= 0.0 || !gf_isValidLatLon({m.endLatitude, m.endLongitude}))
        return std::nullopt;
    if (!(m.distanceFromStart >= -kAlongMarginM && m.distanceFromStart <= m.length))
        return std::nullopt;
    if (!lf_clearOfRunnerUp(m, kRunnerUpGap))
        return std::nullopt;
    return m;
}

std::optional<RunwayMatch> gf_runwayAtPosition(const LatLon& position, double heading)
{
    RunwayMatch m = lf_matchRunway(position, heading, false, kLookupLateralLimitM);
    if (!m.valid || m.headingDifference > kLookupHeadingLimitDeg ||
        std::fabs(m.crossTrack) > m.width * 0.5 + kLateralMarginM)
        return std::nullopt;
    if (!m.distancePastThreshold || !m.lengthFromThreshold || !std::isfinite(*m.distancePastThreshold) ||
        !std::isfinite(*m.lengthFromThreshold) || *m.lengthFromThreshold <= 0.0)
        return std::nullopt;
    if (!lf_clearOfRunnerUp(m, kRunnerUpGap))
        return std::nullopt;
    return m;
}

std::optional<RunwayMatch> gf_runwayOnFinal(const LatLon& position, double heading)
{
    if (!gf_isValidLatLon(position) || !(heading >= 0.0 && heading < 2.0 * std::numbers::pi))
        return std::nullopt;
    const double headingDeg = heading * kRadToDeg;
    Candidate best;
    Candidate second;
    for (const RunwayRecord& r : runwayTable.runways) {
        if (!lf_usableRunway(r))
            continue;
        const auto [north, east, along, cross] = lf_offsetFromRunway(position, r);
        if (std::fabs(north) > r.length + kFinalReachM || std::fabs(east) > r.length + kFinalReachM)
            continue;
        for (const bool primary : {true, false}) {
            const Candidate c = lf_candidate(r, primary, cross, along, headingDeg);
            if (c.headingDifference > kLookupHeadingLimitDeg || c.distanceFromStart < -kFinalReachM ||
                c.distanceFromStart > r.length)
                continue;
            const double out = std::max(-c.distanceFromStart, 0.0);
            if (std::fabs(cross) > r.width * 0.5 + kLateralMarginM + std::min(out, kFinalJoinM) + kFinalFunnelWidening * out)
                continue;
            if (!best.runway || c.score < best.score) {
                second = best;
                best = c;
            } else if (!second.runway || c.score < second.score) {
                second = c;
            }
        }
    }
    if (!best.runway)
        return std::nullopt;
    // Between two parallels it could be either: no runway.
    if (second.runway && second.score - best.score < kRunnerUpGap)
        return std::nullopt;
    RunwayMatch m = lf_evalRunwayEnd(best);
    if (second.runway) {
        m.runnerUpText = fmt::format("{}:{}", gf_runwayText(*second.runway), lf_endText(second));
        m.runnerUpScore = second.score;
    }
    if (!m.distancePastThreshold || !m.lengthFromThreshold || !std::isfinite(*m.distancePastThreshold) ||
        !(*m.lengthFromThreshold > 0.0))
        return std::nullopt;
    return m;
}

std::optional<std::string> gf_runwayNameAt(const LatLon& position, double heading)
{
    RunwayMatch m = lf_matchRunway(position, heading, false, kLookupLateralLimitM);
    if (!m.valid || m.headingDifference > kLookupHeadingLimitDeg || !lf_clearOfRunnerUp(m, kRunnerUpGapForName))
        return std::nullopt;
    return std::move(m.endText);
}
