// The names and positions of the current airport's stands as other threads
// see them, published by the main task whenever its stand table changes, and
// the stand the user aircraft stands at, which the simulator thread asks for
// on every position report.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/value_types.h"

// One stand as other threads see it.
struct StandSnapshotEntry {
    std::string name;
    double lat = 0.0;
    double lon = 0.0;
};
using StandSnapshot = std::vector<StandSnapshotEntry>;

// Swaps in a new snapshot (never null).
void gf_publishStandPositions(std::shared_ptr<const StandSnapshot> snapshot);
// The snapshot in force (never null).
std::shared_ptr<const StandSnapshot> gf_standSnapshot();
// The name of the stand within 20 m of the position, nearest first (the
// earlier one on a tie); empty when there is none, when no stands are loaded
// or while the user aircraft is not on the ground. Callable from any thread;
// each thread reuses its last answer while the position moves by no more
// than 0.003 NM and the snapshot stays the same.
std::string gf_findStandAtPosition(const LatLon& position);
