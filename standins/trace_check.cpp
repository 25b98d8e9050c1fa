#include "standins/trace_check.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <istream>
#include <numbers>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kvr::standin {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kMetresPerKt = 1852.0 / 3600.0;
constexpr double kMinMoveM = 2.0; // shorter moves give no direction
constexpr double kStillM = 0.01;  // a shorter step leaves the aircraft where it stands
constexpr double kStandS = 3.0;   // standing this long, it starts a new move
constexpr double kSlideKt = 2.0;  // from a brisk walk on, sideways is a slide
constexpr double kWalkKt = 5.0;   // up to here a move of a few metres takes seconds
constexpr double kSideAccel = 3.0; // m/s², the most a ground turn asks of the tyres
constexpr double kRollKt = 30.0;   // faster on the ground is a take-off or landing roll

struct Write {
    double t = 0.0, lat = 0.0, lon = 0.0, alt = 0.0, hdg = 0.0, kts = 0.0, gnd = 0.0;
    bool onGround = false;
};

// Flat-earth metres east and north from a to b.
void lf_offset(const Write& a, const Write& b, double& east, double& north)
{
    north = (b.lat - a.lat) * 60.0 * 1852.0;
    east = (b.lon - a.lon) * 60.0 * 1852.0 * std::cos((a.lat + b.lat) / 2.0 * kRad);
}

double lf_angleBetween(double a, double b) // degrees, 0..180
{
    const double d = std::fmod(std::abs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

// The heading half way between two headings (degrees), the short way round.
double lf_midHeading(double a, double b)
{
    return std::fmod(a + std::remainder(b - a, 360.0) / 2.0 + 360.0, 360.0);
}

// The most a ground turn may change the heading per second at this speed.
double lf_groundTurnLimit(double kts)
{
    if (kts <= 5.0)
        return 30.0;
    return std::min(30.0, kSideAccel / (kts * kMetresPerKt) / kRad);
}

// Where a point lies in a runway's own frame: metres along its centre line
// from the end `from` toward the other end, and across it (right positive),
// with the runway's length and the centre line's direction.
struct RunwayFrame {
    double along = 0.0, across = 0.0, length = 0.0, heading = 0.0; // heading in radians
};
RunwayFrame lf_runwayFrame(const Write& p, const RunwayGeometry& r, const RunwayEndGeometry& from)
{
    const RunwayEndGeometry& to = &from == &r.low ? r.high : r.low;
    const Write a{0.0, from.threshold.latitude, from.threshold.longitude};
    const Write b{0.0, to.threshold.latitude, to.threshold.longitude};
    double east = 0.0, north = 0.0, endEast = 0.0, endNorth = 0.0;
    lf_offset(a, p, east, north);
    lf_offset(a, b, endEast, endNorth);
    const double between = std::hypot(endEast, endNorth);
    RunwayFrame f;
    // The centre line runs from one end to the other where both are given: a
    // published length may fall short of the distance between the published
    // ends (Amsterdam's 06-24 by 53 m).
    f.heading = between > 1.0 ? std::atan2(endEast, endNorth) : from.headingDeg * kRad;
    f.length = std::max(r.lengthFt * 0.3048, between);
    f.along = east * std::sin(f.heading) + north * std::cos(f.heading);
    f.across = east * std::cos(f.heading) - north * std::sin(f.heading);
    return f;
}

// Within a runway's length and its half width + `besideM`.
bool lf_withinRunway(const RunwayFrame& f, const RunwayGeometry& r, double besideM)
{
    return f.along >= -besideM && f.along <= f.length + besideM && std::abs(f.across) <= r.widthFt * 0.3048 / 2.0 + besideM;
}

// On a runway, within its length and width (with 15 m to spare) and lined up
// with it within 20°.
bool lf_onRunway(const Write& p, const std::vector<RunwayGeometry>& runways)
{
    for (const RunwayGeometry& r : runways) {
        const bool lined = lf_angleBetween(p.hdg, r.low.headingDeg) <= 20.0 || lf_angleBetween(p.hdg, r.high.headingDeg) <= 20.0;
        if (lined && lf_withinRunway(lf_runwayFrame(p, r, r.low), r, 15.0))
            return true;
    }
    return false;
}

// Farther than this from every runway it knows, a lift-off is at another
// airport: the check cannot tell its runways.
constexpr double kAirportReachM = 3000.0;

// How far the point lies from the nearest runway's centre line, in metres.
double lf_metresFromRunways(const Write& p, const std::vector<RunwayGeometry>& runways)
{
    double nearest = 1e12;
    for (const RunwayGeometry& r : runways) {
        const RunwayFrame f = lf_runwayFrame(p, r, r.low);
        const double beyond = f.along < 0.0 ? -f.along : std::max(0.0, f.along - f.length);
        nearest = std::min(nearest, std::hypot(beyond, f.across));
    }
    return nearest;
}

// Lift-offs whose roll was not on a runway all the way; each finding is the
// first write of the roll off a runway. Lift-offs at other airports are
// counted apart.
uint64_t lf_offRunwayTakeOffs(const std::vector<Write>& w, const std::vector<RunwayGeometry>& runways,
                              std::vector<const Write*>& off, uint64_t& unjudged)
{
    uint64_t count = 0;
    for (size_t i = 1; !runways.empty() && i < w.size(); ++i) {
        if (!w[i - 1].onGround || w[i].onGround || w[i - 1].kts <= kRollKt)
            continue;
        if (lf_metresFromRunways(w[i - 1], runways) > kAirportReachM) {
            ++unjudged;
            continue;
        }
        const Write* first = nullptr;
        for (size_t k = i; k-- > 0 && w[k].onGround && w[k].kts > kRollKt;)
            if (!lf_onRunway(w[k], runways))
                first = &w[k];
        if (first) {
            ++count;
            off.push_back(first);
        }
    }
    return count;
}

// Faster on the ground than taxiing aircraft go, off the runways; faster
// than any aircraft rolls, anywhere.
constexpr double kDashKt = 50.0;
constexpr double kOverspeedKt = 200.0;
// A high-speed exit leaves the runway at up to about 50 kt: next to the runway
// a move may still be that fast.
constexpr double kBesideRunwayM = 60.0;
// A touch-down is judged against a runway it lines up with when it lies on
// the extended centre line within this far before the threshold.
constexpr double kApproachM = 3000.0;
constexpr double kShortOfThresholdM = 60.0;
constexpr double kTouchDownKt = 40.0;

bool lf_besideAnyRunway(const Write& p, const std::vector<RunwayGeometry>& runways)
{
    return std::any_of(runways.begin(), runways.end(),
                       [&](const RunwayGeometry& r) { return lf_withinRunway(lf_runwayFrame(p, r, r.low), r, kBesideRunwayM); });
}

// Touch-downs short of the runway they line up with, and touch-downs near the
// runways off every one of them: where each was, how far before the
// threshold (short ones) or from the nearest runway (the others), and which
// end a short one was short of.
struct ShortTouchDown {
    const Write* at = nullptr;
    double shortM = 0.0;
    std::string ident; // empty: off the runways, not lined up with one
};
// The speed a write was reached with, by position from the write a second or
// more before it (up to three): the written speed of a first ground write may
// already be the one it slowed to, and a stale report's speed may be written
// where the object hardly moves. Without such a write, the written speed.
double lf_speedIntoKt(const std::vector<Write>& w, size_t i)
{
    size_t from = i;
    while (from > 0 && w[from].t > w[i].t - 1.0)
        --from;
    const double dt = w[i].t - w[from].t;
    if (from == i || dt < 1.0 || dt > 3.0)
        return w[i].kts;
    double east = 0.0, north = 0.0;
    lf_offset(w[from], w[i], east, north);
    return std::hypot(east, north) / dt / kMetresPerKt;
}

std::vector<ShortTouchDown> lf_shortTouchDowns(const std::vector<Write>& w, const std::vector<RunwayGeometry>& runways)
{
    std::vector<ShortTouchDown> out;
    for (size_t i = 1; !runways.empty() && i < w.size(); ++i) {
        const Write& p = w[i];
        if (w[i - 1].onGround || !p.onGround || lf_speedIntoKt(w, i) <= kTouchDownKt)
            continue;
        bool lined = false, reached = false, onOne = false;
        ShortTouchDown found{&p, 1e12, ""};
        for (const RunwayGeometry& r : runways) {
            onOne = onOne || lf_withinRunway(lf_runwayFrame(p, r, r.low), r, kShortOfThresholdM);
            for (const RunwayEndGeometry* end : {&r.low, &r.high}) {
                if (lf_angleBetween(p.hdg, end->headingDeg) > 20.0)
                    continue;
                const RunwayFrame f = lf_runwayFrame(p, r, *end);
                if (std::abs(f.across) > r.widthFt * 0.3048 / 2.0 + 30.0 || f.along < -kApproachM || f.along > f.length)
                    continue;
                lined = true;
                if (f.along >= -kShortOfThresholdM)
                    reached = true;
                else if (-f.along < found.shortM)
                    found = {&p, -f.along, end->ident};
            }
        }
        if (lined && !reached)
            out.push_back(found);
        else if (const double fromRunways = lf_metresFromRunways(p, runways); !lined && !onOne && fromRunways <= kAirportReachM)
            out.push_back({&p, fromRunways, ""});
    }
    return out;
}

// Ground moves faster than taxiing off the runways, or faster than any roll:
// each measured by position from the write a second or more before (up to
// three seconds: a longer gap between writes is no move); a run of such
// writes counts once, found at its first.
void lf_groundSpeeds(const std::vector<Write>& w, const std::vector<RunwayGeometry>& runways, MotionCounts& c,
                     const std::function<void(const char*, const Write&, std::string)>& found)
{
    size_t from = 0;
    bool dashing = false, racing = false;
    for (size_t i = 1; i < w.size(); ++i) {
        const Write& p = w[i];
        while (from + 1 < i && w[from + 1].t <= p.t - 1.0)
            ++from;
        const double dt = p.t - w[from].t;
        if (!p.onGround || !w[from].onGround || dt < 1.0 || dt > 3.0) {
            dashing = racing = false;
            continue;
        }
        double east = 0.0, north = 0.0;
        lf_offset(w[from], p, east, north);
        const double kts = std::hypot(east, north) / dt / kMetresPerKt;
        const bool race = kts > kOverspeedKt;
        if (race && !racing) {
            ++c.groundOverspeeds;
            found("ground overspeed", p, fmt::format("{:.0f} kt by position over {:.1f} s", kts, dt));
        }
        racing = race;
        const bool dash = kts > kDashKt && !runways.empty() && lf_metresFromRunways(p, runways) <= kAirportReachM &&
                          !lf_besideAnyRunway(p, runways) && !lf_besideAnyRunway(w[from], runways);
        if (dash && !dashing) {
            ++c.offRunwayDashes;
            found("off-runway dash", p, fmt::format("{:.0f} kt by position over {:.1f} s off the runways", kts, dt));
        }
        dashing = dash;
    }
}

// Speed by position between two writes, in knots.
double lf_ktsBetween(const Write& a, const Write& b)
{
    double east = 0.0, north = 0.0;
    lf_offset(a, b, east, north);
    return std::hypot(east, north) / (b.t - a.t) / kMetresPerKt;
}

// The speed rules' bounds.
constexpr double kSnapKt = 15.0;       // the most a ground speed may change within a second
constexpr double kSnapSpanS = 0.5;     // the speeds compared are measured over this long
constexpr double kWriteGapS = 3.0;     // a longer gap between writes is no move
constexpr double kAirBoundAltFt = 10000.0;
constexpr double kAeroplaneBoundKt = 380.0;
constexpr double kHelicopterBoundKt = 160.0;
constexpr double kAirSpanS = 5.0;      // air speeds are measured over this long
// The check's flat-earth distances and the trace's frame times measure a
// speed to a fraction of a knot: an aircraft measured within a knot of the
// bound flies at it.
constexpr double kAirSlackKt = 1.0;
constexpr double kRemovedRollingKt = 40.0;
// Kelo's removals this soon before it closes its link, with nothing written
// between, are its clean-up as it stops (s).
constexpr double kCleanUpBeforeCloseS = 5.0;
constexpr double kShortJumpFactor = 1.5; // written speeds are true airspeeds: room for the wind
constexpr double kFrameSlackS = 0.1;     // when a write is traced against when the engine made it
constexpr double kShortJumpM = 5.0;

using FoundFn = std::function<void(const char*, const Write&, std::string)>;

// Ground speed changes faster than braking or a take-off roll: the speed by
// position over the half second before a write against the one over the half
// second that ended a second before it. The write, and the one that starts its
// half second, are on the ground; the earlier half second may be the last of a
// flight (a touch-down's speed snapped on the runway). Spans that hold a jump
// are the jump's.
void lf_speedSnaps(const std::vector<Write>& w, const std::vector<char>& jumped, MotionCounts& c, const FoundFn& found)
{
    size_t a = 0, e = 0, b = 0; // starts of the later span, end and start of the earlier one
    size_t lastJump = 0;
    bool snapping = false;
    for (size_t i = 1; i < w.size(); ++i) {
        const Write& p = w[i];
        if (jumped[i])
            lastJump = i;
        while (a + 1 < i && w[a + 1].t <= p.t - kSnapSpanS)
            ++a;
        while (e + 1 < i && w[e + 1].t <= p.t - 1.0)
            ++e;
        while (b + 1 < e && w[b + 1].t <= w[e].t - kSnapSpanS)
            ++b;
        const double later = p.t - w[a].t, earlier = w[e].t - w[b].t;
        if (!p.onGround || !w[a].onGround || later < kSnapSpanS || earlier < kSnapSpanS || p.t - w[b].t > 2.0 * kWriteGapS ||
            later > kWriteGapS || earlier > kWriteGapS || lastJump > b) {
            snapping = false;
            continue;
        }
        const double now = lf_ktsBetween(w[a], p), before = lf_ktsBetween(w[b], w[e]);
        const bool snap = std::abs(now - before) > kSnapKt;
        if (snap && !snapping)
            found("speed snap", p,
                  fmt::format("{:.1f} kt by position over {:.2f} s, {:.1f} kt over {:.2f} s to {:.2f} s before", now,
                              later, before, earlier, p.t - w[e].t));
        c.speedSnaps += snap && !snapping ? 1 : 0;
        snapping = snap;
    }
}

// Below 10,000 ft, faster by position over five seconds than an aeroplane
// (or a helicopter) flies there; a span that holds a jump is the jump's. Short
// jumps are no such excuse: a race whose writes outrun the speed written at
// each of them is both.
void lf_airOverspeeds(const std::vector<Write>& w, const std::vector<char>& jumped, bool helicopter, MotionCounts& c,
                      const FoundFn& found)
{
    const double bound = helicopter ? kHelicopterBoundKt : kAeroplaneBoundKt;
    size_t from = 0, lastJump = 0; // lastJump: the last write a jump rule found
    std::optional<size_t> runFrom; // the first write of the run of overspeeds going on
    double peak = 0.0, peakAt = 0.0;
    // A run is found at its first write, with its fastest five seconds.
    const auto endRun = [&](size_t last) {
        if (!runFrom)
            return;
        ++c.airOverspeeds;
        found("air overspeed", w[*runFrom],
              fmt::format("up to {:.0f} kt by position over 5 s (at {:.1f} s) for {:.1f} s, bound {:.0f} kt{}", peak,
                          peakAt, w[last].t - w[*runFrom].t, bound, helicopter ? " (helicopter)" : ""));
        runFrom.reset();
    };
    for (size_t i = 1; i < w.size(); ++i) {
        const Write& p = w[i];
        if (jumped[i])
            lastJump = i;
        while (from + 1 < i && w[from + 1].t <= p.t - kAirSpanS)
            ++from;
        const double dt = p.t - w[from].t;
        const double kts = dt >= kAirSpanS && dt <= 2.0 * kAirSpanS && p.alt < kAirBoundAltFt &&
                                   w[from].alt < kAirBoundAltFt && lastJump <= from
                               ? lf_ktsBetween(w[from], p)
                               : 0.0;
        if (kts <= bound + kAirSlackKt) {
            endRun(i - 1);
            continue;
        }
        if (!runFrom) {
            runFrom = i;
            peak = 0.0;
        }
        if (kts > peak) {
            peak = kts;
            peakAt = p.t;
        }
    }
    endRun(w.size() - 1);
}

// Removals by Kelo while the last writes before them rolled on the ground
// faster than 40 kt: by position over the second before the last write, or
// its written speed without one.
void lf_removedRolling(const std::vector<Write>& w, const std::vector<double>& removals, MotionCounts& c,
                       const FoundFn& found)
{
    for (const double at : removals) {
        const auto after = std::upper_bound(w.begin(), w.end(), at, [](double t, const Write& x) { return t < x.t; });
        if (after == w.begin())
            continue;
        const size_t last = static_cast<size_t>(after - w.begin()) - 1;
        if (!w[last].onGround)
            continue;
        size_t from = last;
        while (from > 0 && w[from].t > w[last].t - 1.0)
            --from;
        const double dt = w[last].t - w[from].t;
        const bool measured = from < last && dt >= 1.0 && dt <= kWriteGapS;
        const double kts = measured ? lf_ktsBetween(w[from], w[last]) : std::abs(w[last].kts);
        if (kts > kRemovedRollingKt) {
            ++c.removedRolling;
            found("removed rolling", w[last],
                  fmt::format("removed at {:.2f} s, {:.0f} kt {}", at, kts, measured ? "by position" : "as written"));
        }
    }
}

// Keeps the first findings of an object.
struct Findings {
    std::vector<MotionFinding>& list;
    void add(const char* kind, const Write& p, std::string detail)
    {
        const auto same = std::count_if(list.begin(), list.end(), [&](const MotionFinding& f) { return f.kind == kind; });
        if (static_cast<size_t>(same) < MotionReport::kFindingsKept)
            list.push_back({kind, p.t, p.lat, p.lon, p.alt, p.gnd, p.hdg, p.kts, p.onGround, std::move(detail)});
    }
};

MotionCounts lf_check(const std::vector<Write>& w, const std::vector<RunwayGeometry>& runways, bool helicopter,
                      const std::vector<double>& removals, Findings found)
{
    MotionCounts c;
    c.writes = w.size();
    std::optional<double> lastDirection; // direction of the last move of kMinMoveM or more
    bool lastPushBack = false;
    size_t moveFrom = 0;  // start of the move being measured
    size_t stillFrom = 0; // first write at the place the aircraft last stood
    bool afterStand = false; // the move being measured began from a stand
    size_t turnFrom = 0;  // start of the turn-rate window
    size_t windowLo = 0, windowHi = 0;
    std::vector<char> jumped(w.size(), 0); // the writes the jump rule found
    std::vector<char> stepped(w.size(), 0); // the writes either jump rule found
    bool shortJumping = false;
    size_t movedFrom = 0; // the start of the last half second before the last write
    for (size_t i = 0; i < w.size(); ++i) {
        const Write& p = w[i];
        if (p.alt < p.gnd - 0.01) {
            ++c.belowGround;
            found.add("below ground", p, fmt::format("{:.1f} ft under", p.gnd - p.alt));
        }
        if (i == 0)
            continue;
        // Jumps: the step against the fastest written speed within half a second.
        while (w[windowLo].t < p.t - 0.5)
            ++windowLo;
        if (windowHi < i)
            windowHi = i;
        while (windowHi + 1 < w.size() && w[windowHi + 1].t <= p.t + 0.5)
            ++windowHi;
        double fastest = 0.0;
        for (size_t k = windowLo; k <= windowHi; ++k)
            fastest = std::max(fastest, std::abs(w[k].kts));
        double east = 0.0, north = 0.0;
        lf_offset(w[i - 1], p, east, north);
        const double step = std::hypot(east, north);
        const double dt = std::max(1.0, p.t - w[i - 1].t);
        if (step > 3.0 * fastest * kMetresPerKt * dt + 20.0) {
            ++c.jumps;
            jumped[i] = 1;
            found.add("jump", p, fmt::format("{:.0f} m in {:.2f} s at most {:.0f} kt", step, p.t - w[i - 1].t, fastest));
        }
        // The same step judged on the true time between the writes, against
        // the written speed or the way the object moved up to the last write
        // (by position over half a second or more): a written speed that
        // falls behind the motion makes no step a jump where the motion goes
        // on as it went.
        while (movedFrom + 1 < i - 1 && w[movedFrom + 1].t <= w[i - 1].t - 0.5)
            ++movedFrom;
        const double movedDt = w[i - 1].t - w[movedFrom].t;
        const double moving = movedDt >= 0.5 && movedDt <= kWriteGapS ? lf_ktsBetween(w[movedFrom], w[i - 1]) : 0.0;
        const double trueDt = p.t - w[i - 1].t;
        const bool shortJump = !jumped[i] && step > kShortJumpFactor * std::max(fastest, moving) * kMetresPerKt *
                                                            (trueDt + kFrameSlackS) +
                                                        kShortJumpM;
        stepped[i] = jumped[i] || shortJump ? 1 : 0;
        if (shortJump && !shortJumping) {
            ++c.shortJumps;
            found.add("short jump", p,
                      fmt::format("{:.0f} m in {:.3f} s at most {:.0f} kt ({:.0f} kt by position)", step, trueDt, fastest,
                                  trueDt > 0.0 ? step / trueDt / kMetresPerKt : 0.0));
        }
        shortJumping = shortJump;
        // A stand of a few seconds ends the move being measured: the next one
        // starts where the aircraft stood, not metres back before the stop,
        // on the heading it had then.
        if (step >= kStillM) {
            if (w[i - 1].t - w[stillFrom].t >= kStandS && moveFrom < i - 1) {
                moveFrom = i - 1;
                afterStand = true;
            }
            stillFrom = i;
        }
        // Direction of motion over moves of a few metres.
        lf_offset(w[moveFrom], p, east, north);
        if (std::hypot(east, north) >= kMinMoveM) {
            const double direction = std::fmod(std::atan2(east, north) / kRad + 360.0, 360.0);
            const bool against = lf_angleBetween(direction, p.hdg) > 150.0;
            // A push-back: slow, and from a stop (no earlier move, or a long
            // wait for this one) or going on with one.
            const bool fromStop = !lastDirection || afterStand || p.t - w[moveFrom].t > kStandS;
            const bool pushBack = against && p.kts < 10.0 && (lastPushBack || fromStop);
            // At walking pace the move spans seconds of a turn: an arc runs
            // along the heading half way through it, a crab does not.
            const double along = p.kts > kWalkKt ? p.hdg : lf_midHeading(w[moveFrom].hdg, p.hdg);
            if (p.onGround && p.kts > kSlideKt && !pushBack && lf_angleBetween(direction, along) > 30.0) {
                ++c.slides;
                found.add("slide", p, fmt::format("moving {:.0f}", direction));
            }
            if (p.onGround && against && !pushBack) {
                ++c.backwards;
                found.add("backwards", p, fmt::format("moving {:.0f}", direction));
            }
            if (lastDirection && !pushBack && !lastPushBack && lf_angleBetween(direction, *lastDirection) > 150.0) {
                ++c.reversals;
                found.add("reversal", p, fmt::format("moving {:.0f} after {:.0f}", direction, *lastDirection));
            }
            lastDirection = direction;
            lastPushBack = pushBack;
            moveFrom = i;
            afterStand = false;
        }
        // Turn rate over at least half a second.
        const double span = p.t - w[turnFrom].t;
        if (span >= 0.5) {
            const double rate = lf_angleBetween(p.hdg, w[turnFrom].hdg) / span;
            const double limit = p.onGround ? lf_groundTurnLimit(p.kts) : 6.0;
            if (rate > limit) {
                ++c.fastTurns;
                c.groundFastTurns += p.onGround ? 1 : 0;
                lf_offset(w[turnFrom], p, east, north);
                found.add("turn rate", p,
                          fmt::format("{:.1f} deg/s over {:.2f} s from {:.0f}, limit {:.1f} (moving {:.0f} kt by position)",
                                      rate, span, w[turnFrom].hdg, limit, std::hypot(east, north) / span / kMetresPerKt));
            }
            turnFrom = i;
        }
    }
    std::vector<const Write*> off;
    c.offRunwayTakeOffs = lf_offRunwayTakeOffs(w, runways, off, c.unjudgedTakeOffs);
    for (const Write* p : off)
        found.add("off-runway take-off", *p, "first write of the roll off a runway");
    const FoundFn add = [&](const char* kind, const Write& p, std::string detail) { found.add(kind, p, std::move(detail)); };
    lf_groundSpeeds(w, runways, c, add);
    lf_speedSnaps(w, stepped, c, add);
    lf_airOverspeeds(w, jumped, helicopter, c, add);
    lf_removedRolling(w, removals, c, add);
    for (const ShortTouchDown& s : lf_shortTouchDowns(w, runways)) {
        if (s.ident.empty()) {
            ++c.offRunwayTouchDowns;
            found.add("off-runway touch-down", *s.at, fmt::format("{:.0f} m from the nearest runway", s.shortM));
        } else {
            ++c.shortTouchDowns;
            found.add("short touch-down", *s.at, fmt::format("{:.0f} m before the threshold of {}", s.shortM, s.ident));
        }
    }
    return c;
}

} // namespace

MotionCounts& MotionCounts::operator+=(const MotionCounts& o)
{
    writes += o.writes;
    jumps += o.jumps;
    slides += o.slides;
    belowGround += o.belowGround;
    reversals += o.reversals;
    fastTurns += o.fastTurns;
    groundFastTurns += o.groundFastTurns;
    backwards += o.backwards;
    offRunwayTakeOffs += o.offRunwayTakeOffs;
    unjudgedTakeOffs += o.unjudgedTakeOffs;
    offRunwayDashes += o.offRunwayDashes;
    groundOverspeeds += o.groundOverspeeds;
    shortTouchDowns += o.shortTouchDowns;
    offRunwayTouchDowns += o.offRunwayTouchDowns;
    speedSnaps += o.speedSnaps;
    airOverspeeds += o.airOverspeeds;
    removedRolling += o.removedRolling;
    shortJumps += o.shortJumps;
    return *this;
}

MotionReport gf_checkTraceMotion(std::istream& trace, const std::vector<RunwayGeometry>& runways)
{
    std::map<uint32_t, std::vector<Write>> writes;
    MotionReport report;
    std::map<std::string, int> creations;
    std::map<uint32_t, std::vector<double>> removals; // by Kelo, per object
    // Kelo's removals after which nothing was written yet: those followed
    // soon by the link's close with still nothing written are its clean-up
    // as it stops (nothing a user watching traffic sees), the rest count.
    struct Removal {
        uint32_t id;
        double t;
    };
    std::vector<Removal> unfollowed;
    const auto keepRemovals = [&] {
        for (const Removal& r : unfollowed)
            removals[r.id].push_back(r.t);
        unfollowed.clear();
    };
    for (std::string line; std::getline(trace, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object() || !j.contains("k"))
            continue;
        const std::string kind = j.value("k", "");
        if (kind == "create") {
            report.tails[j.value("id", 0u)] = j.value("tail", "");
            if (j.contains("category"))
                report.categories[j.value("id", 0u)] = j.value("category", "");
            if (++creations[j.value("tail", "")] == 3)
                report.churnedTails.push_back(j.value("tail", ""));
        } else if (kind == "remove" && j.value("by", "") == "client") {
            unfollowed.push_back({j.value("id", 0u), j.value("t", 0.0)});
        } else if (kind == "close") {
            const double t = j.value("t", 0.0);
            std::erase_if(unfollowed, [t](const Removal& r) { return t - r.t <= kCleanUpBeforeCloseS; });
        } else if (kind == "pos") {
            keepRemovals();
            writes[j.value("id", 0u)].push_back(Write{j.value("t", 0.0), j.value("lat", 0.0), j.value("lon", 0.0),
                                                      j.value("alt_ft", 0.0), j.value("hdg", 0.0), j.value("kts", 0.0),
                                                      j.value("gnd_ft", 0.0), j.value("on_ground", false)});
        }
    }
    keepRemovals();
    for (auto& [id, times] : removals)
        std::sort(times.begin(), times.end());
    for (const auto& [id, list] : writes) {
        const auto category = report.categories.find(id);
        const bool helicopter = category != report.categories.end() && category->second == "Helicopter";
        report.objects[id] = lf_check(list, runways, helicopter, removals[id], Findings{report.findings[id]});
        if (report.findings[id].empty())
            report.findings.erase(id);
        report.total += report.objects[id];
    }
    return report;
}

std::string gf_motionTable(const MotionReport& report)
{
    constexpr const char* kRow =
        "{:>8} {:<10} {:>8} {:>6} {:>6} {:>6} {:>9} {:>6} {:>9} {:>7} {:>7} {:>8} {:>6} {:>6} {:>6} {:>7} {:>7} {:>7}\n";
    std::string out = fmt::format(fmt::runtime(kRow), "object", "tail", "writes", "jumps", "slides", "below", "reversals", "turns",
                                  "backwards", "offrwy", "dashes", "overspd", "short", "offtd", "snaps", "airspd",
                                  "rmroll", "shjump");
    const auto row = [&](const std::string& id, const std::string& tail, const MotionCounts& c) {
        out += fmt::format(fmt::runtime(kRow), id, tail, c.writes, c.jumps, c.slides, c.belowGround, c.reversals, c.fastTurns,
                           c.backwards, c.offRunwayTakeOffs, c.offRunwayDashes, c.groundOverspeeds, c.shortTouchDowns,
                           c.offRunwayTouchDowns, c.speedSnaps, c.airOverspeeds, c.removedRolling, c.shortJumps);
    };
    for (const auto& [id, counts] : report.objects) {
        const auto tail = report.tails.find(id);
        row(std::to_string(id), tail == report.tails.end() ? "" : tail->second, counts);
    }
    row("total", "", report.total);
    out += fmt::format("tails created three times or more: {}", report.churnedTails.size());
    for (const std::string& tail : report.churnedTails)
        out += " " + tail;
    return out + "\n";
}

bool gf_isSpeedFinding(const MotionFinding& f)
{
    return f.kind == "speed snap" || f.kind == "air overspeed" || f.kind == "removed rolling" || f.kind == "short jump";
}

std::string gf_findingText(const MotionFinding& f)
{
    return fmt::format("{:8.2f} s {:<19} {:.5f},{:.5f} alt {:.0f} ft (ground {:.0f}) hdg {:.0f} {:.0f} kt {}: {}", f.t,
                       f.kind, f.lat, f.lon, f.altFt, f.groundFt, f.hdg, f.kts, f.onGround ? "on ground" : "airborne",
                       f.detail);
}

} // namespace kvr::standin
