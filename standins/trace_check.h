// Motion checks on a trace file of the stand-in simulator: how believable the
// traffic that Kelo placed looks. Per object and in total it counts
//   jumps:        a step between consecutive position writes longer than three
//                 times the distance the object covers in a second at its
//                 written speed (the fastest within half a second), plus 20 m;
//   slides:       on the ground above 5 kt, the heading more than 30° off the
//                 direction of motion (push-back excepted);
//   backwards:    on the ground, moving against the heading (more than 150°
//                 off) outside a push-back: a push-back starts from a stop
//                 and stays below 10 kt;
//   below ground: a write whose altitude is below the ground elevation there;
//   reversals:    the direction of motion flipping by more than 150° outside
//                 push-back;
//   turn rates:   the heading changing faster than 6°/s in the air or 30°/s on
//                 the ground, and above 5 kt on the ground faster than a
//                 sideways acceleration of 3 m/s² allows (measured over at
//                 least half a second);
//   off-runway take-offs: with the airport's runways given, a take-off roll
//                 (on the ground above 30 kt up to the lift-off) that is not
//                 on a runway, lined up with it, all the way;
//   ground speeds: with the runways given, a ground move (measured by position
//                 over a second or more) faster than 50 kt off every runway
//                 (beyond its half width + 60 m, or past its ends); with or
//                 without them, any ground move faster than 200 kt; each run
//                 of such writes counts once;
//   short touch-downs: with the runways given, a touch-down (air to ground
//                 above 40 kt, by position over the second before it)
//                 lined up with a runway and on its extended centre line,
//                 more than 60 m before its threshold;
//   off-runway touch-downs: with the runways given, any other such
//                 touch-down within 3 km of a runway that is not on one
//                 (beyond its half width + 60 m, or 60 m past its ends);
//   speed snaps:  on the ground, the speed by position over half a second
//                 more than 15 kt off the speed over the half second a second
//                 before (the earlier one may end the flight before a
//                 touch-down); no aircraft brakes or gathers speed that fast,
//                 and a push-back, below 10 kt, never changes that much;
//                 spans that hold a jump or a short jump are the jump's;
//   air overspeeds: below 10,000 ft, a move by position over five seconds
//                 faster than 380 kt, or 160 kt for a helicopter (the create
//                 line's "category" "Helicopter"), spans with a jump (not a
//                 short jump) aside;
//   removed rolling: an object that Kelo removed (a "remove" line by the
//                 client) while its last writes moved it on the ground faster
//                 than 40 kt;
//   short jumps:  a step between consecutive writes longer than the distance
//                 half as fast again as the fastest written speed (or the
//                 speed by position over the half second up to the last
//                 write, when faster) covers in the time between them and a
//                 tenth of a second for frame timing, plus 5 m, that the jump
//                 rule (which takes a second at least) passes.
// Snaps, air overspeeds and short jumps count each run of such writes once.
// Over the whole trace it names the tail numbers created three times or more.
// Each object also keeps the first few findings of each kind, with the write
// where each was found, for a look at what happened there.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "standins/track_generator.h"

namespace kvr::standin {

struct MotionCounts {
    uint64_t writes = 0;
    uint64_t jumps = 0;
    uint64_t slides = 0;
    uint64_t belowGround = 0;
    uint64_t reversals = 0;
    uint64_t fastTurns = 0;
    uint64_t groundFastTurns = 0; // the turn rates of those on the ground
    uint64_t backwards = 0;
    uint64_t offRunwayTakeOffs = 0;
    // Lift-offs too far from every runway the check was given to be judged:
    // at another airport, whose runways it does not know.
    uint64_t unjudgedTakeOffs = 0;
    uint64_t offRunwayDashes = 0;  // ground moves above 50 kt off the runways
    uint64_t groundOverspeeds = 0; // ground moves above 200 kt anywhere
    uint64_t shortTouchDowns = 0;  // touch-downs before the threshold
    uint64_t offRunwayTouchDowns = 0; // other touch-downs off every runway
    uint64_t speedSnaps = 0;     // ground speed changes above 15 kt within a second
    uint64_t airOverspeeds = 0;  // below 10,000 ft above 380 kt (helicopters 160 kt)
    uint64_t removedRolling = 0; // removed by Kelo rolling above 40 kt on the ground
    uint64_t shortJumps = 0;     // steps beyond the written speed in the time between writes

    // The ground-speed and touch-down rules together.
    uint64_t groundSpeedFindings() const
    {
        return offRunwayDashes + groundOverspeeds + shortTouchDowns + offRunwayTouchDowns;
    }

    // The speed rules together: snaps, air overspeeds, removals while
    // rolling and short jumps.
    uint64_t speedFindings() const { return speedSnaps + airOverspeeds + removedRolling + shortJumps; }

    bool clean() const
    {
        return jumps == 0 && slides == 0 && belowGround == 0 && reversals == 0 && fastTurns == 0 && backwards == 0 &&
               offRunwayTakeOffs == 0 && groundSpeedFindings() == 0;
    }
    bool cleanWithSpeeds() const { return clean() && speedFindings() == 0; }
    MotionCounts& operator+=(const MotionCounts& o);
};

// One finding: its kind ("jump", "slide", "backwards", "below ground",
// "reversal", "turn rate", "off-runway take-off", "off-runway dash",
// "ground overspeed", "short touch-down", "off-runway touch-down", "speed snap",
// "air overspeed", "removed rolling", "short jump") and the write where it
// was found, with what was measured there.
struct MotionFinding {
    std::string kind;
    double t = 0.0; // trace seconds
    double lat = 0.0, lon = 0.0, altFt = 0.0, groundFt = 0.0, hdg = 0.0, kts = 0.0;
    bool onGround = false;
    std::string detail;
};

struct MotionReport {
    std::map<uint32_t, MotionCounts> objects; // by object id
    std::map<uint32_t, std::vector<MotionFinding>> findings; // the first kFindingsKept of each kind per object
    static constexpr size_t kFindingsKept = 4;
    std::map<uint32_t, std::string> tails;    // from the "create" lines
    std::map<uint32_t, std::string> categories; // from the "create" lines that carry one
    MotionCounts total;
    std::vector<std::string> churnedTails; // created three times or more

    bool clean() const { return total.clean() && churnedTails.empty(); }
};

// Reads a JSON Lines trace; lines that are not JSON objects are skipped.
// Take-off rolls are judged against `runways` when given.
MotionReport gf_checkTraceMotion(std::istream& trace, const std::vector<RunwayGeometry>& runways = {});
// The report as a table: one row per object, then the total.
std::string gf_motionTable(const MotionReport& report);
// One finding as a line: time, kind, where, what was written and measured.
std::string gf_findingText(const MotionFinding& finding);

} // namespace kvr::standin
