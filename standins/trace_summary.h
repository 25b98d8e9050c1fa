// What a trace file of the stand-in simulator says about each object: when
// it was created and with which title and tail number, how often and where it
// was written, when and by whom it was removed, whether anything was written
// to it after that, and which creations were refused. The end-to-end test
// checks a run against it; the demo prints it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kvr::standin {

struct TracedPosition {
    double t = 0.0;
    double lat = 0.0;
    double lon = 0.0;
    double altFt = 0.0;
    double groundFt = 0.0;
    bool onGround = false;
    double hdg = 0.0; // degrees
};

struct TracedEvent {
    double t = 0.0;
    std::string name; // the client event, e.g. "ENGINE_AUTO_SHUTDOWN"
};

struct TracedObject {
    uint32_t id = 0;
    std::string title;
    std::string tail;
    uint32_t creations = 0; // "create" lines with this id
    double createdAt = 0.0;
    TracedPosition createdPose; // where and how the creation placed it
    uint64_t writes = 0;
    std::optional<TracedPosition> first, last; // position writes
    std::optional<double> removedAt;
    std::string removedBy;
    uint64_t writesAfterRemoval = 0;
    std::vector<TracedPosition> positions; // every write before the removal, when kept
    std::vector<TracedEvent> events;       // client events sent to it, in order
};

struct TracedRefusal {
    double t = 0.0;
    std::string title;
    std::string tail;
    uint32_t exception = 0;
};

struct TraceSummary {
    std::map<uint32_t, TracedObject> objects; // by object id
    std::vector<TracedRefusal> refusals;
    double lastTime = 0.0; // "t" of the last line

    // The objects created with this tail number, in id order.
    std::vector<const TracedObject*> withTail(const std::string& tail) const;
};

// Reads a JSON Lines trace; lines that are not JSON objects are skipped.
// With keepPositions every write lands in its object's `positions`.
TraceSummary gf_summarizeTrace(std::istream& trace, bool keepPositions = false);
// Counts, then one row per object (tail, title, created, writes, removed and
// by whom), then the refusals.
std::string gf_summaryText(const TraceSummary& summary);

} // namespace kvr::standin
