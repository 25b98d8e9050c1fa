// Motion checks on a trace file of the stand-in simulator: how believable the
// traffic that Kelo placed looks. Per object and in total it counts
//   jumps:        a step between consecutive position writes longer than three
//                 times the distance the object covers in a second at its
//                 written speed (the fastest within half a second), plus 20 m;
//   slides:       on the ground above 5 kt, the heading more than 30° off the
//                 direction of motion (push-back excepted);
//   below ground: a write whose altitude is below the ground elevation there;
//   reversals:    the direction of motion flipping by more than 150° outside
//                 push-back;
//   turn rates:   the heading changing faster than 6°/s in the air or 30°/s on
//                 the ground (measured over at least half a second).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

namespace kvr::standin {

struct MotionCounts {
    uint64_t writes = 0;
    uint64_t jumps = 0;
    uint64_t slides = 0;
    uint64_t belowGround = 0;
    uint64_t reversals = 0;
    uint64_t fastTurns = 0;

    bool clean() const { return jumps == 0 && slides == 0 && belowGround == 0 && reversals == 0 && fastTurns == 0; }
    MotionCounts& operator+=(const MotionCounts& o);
};

struct MotionReport {
    std::map<uint32_t, MotionCounts> objects; // by object id
    std::map<uint32_t, std::string> tails;    // from the "create" lines
    MotionCounts total;
};

// Reads a JSON Lines trace; lines that are not JSON objects are skipped.
MotionReport gf_checkTraceMotion(std::istream& trace);
// The report as a table: one row per object, then the total.
std::string gf_motionTable(const MotionReport& report);

} // namespace kvr::standin
