// The stands of the current park airport: lookups by id and name, reservation
// of a stand with its excluded neighbours, the user's own stand, the static
// quota, and a read-only snapshot that other threads query for the stand at
// a position.
//
// The table, its name index and all stand flags belong to the main task. The
// snapshot is the only part read elsewhere: it is replaced as a whole and
// never changed once published.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/value_types.h"
#include "airports/stand.h"
#include "simlink/stand_positions.h"

struct StandFitQuery;

struct StandTable {
    // In id order: the stand with id k is element k - 1.
    std::vector<Stand> stands;
    // Stand name -> id; the first stand of a name wins.
    std::unordered_map<std::string, int32_t> nameIndex;
    // Stands that may carry static aircraft; negative = no quota.
    int32_t staticQuota = -1;
    // Options learned or extended since the airport was loaded (shown in the
    // window).
    int32_t learnedOptionCount = 0;
    // Usable soft options of the loaded airport file; the soft searches run
    // only when there are some.
    int32_t softOptionCount = 0;
};

// The table of the current airport (main task only).
StandTable& gf_standTable();

// Makes `stands` the table, builds the name index and publishes the snapshot.
// The loader numbers the stands 1..n in order.
void gf_setStandTable(std::vector<Stand> stands);
// Empties the table and its index and publishes the empty snapshot.
void gf_clearStandTable();
// Stands of the current airport.
size_t gf_standCount();

// The stand with that id, or null when the id is below 1, beyond the table or
// the element there carries another id.
Stand* gf_standById(int32_t id);
// The stand of that name through the name index; null when unknown.
Stand* lf_standByName(std::string_view name);
// The stand's name; "sid==0?" for id 0 and "sid==?" for any other unknown id.
std::string gf_standNameById(int32_t id);

// Reserves the stand and blocks the stands it excludes. False when the stand
// is unknown or already used; otherwise whether the used stands of the table
// now number `limit` or more.
bool gf_reserveStand(int32_t id, int64_t limit);
// a == b, or b is one of the stands that a excludes.
bool gf_isSameOrAdjacentStand(int32_t a, int32_t b);
// The stand or one of the stands it excludes carries that (non-empty) name.
bool lf_standOrAdjacentHasName(const Stand& stand, std::string_view name);
// The stand is the user's reserved stand, the stand under the user aircraft,
// or one of their excluded neighbours. Live aircraft never take such a stand.
bool lf_isUserStandOrAdjacent(const Stand& stand);
// Blocks the named stand and every stand it excludes for static aircraft;
// `prefix` starts the log lines.
void gf_blockUserStandForStatic(std::string_view name, std::string_view prefix);

// Builds a new snapshot of the table and publishes it (gf_publishStandPositions);
// the previous one lives on until its last reader lets go.
void gf_publishStandSnapshot();

// Sets the number of stands that may carry static aircraft to `percentage`
// of the stands (at least one when there are few), capped at `limit` (0 when
// the limit is 0 or below), and shows it in the window with its share of all
// stands (update kind 21). Returns the quota.
int32_t gf_setStaticStandQuota(int32_t percentage, int32_t limit);
// That quota alone, neither kept nor shown.
int32_t gf_staticStandQuotaFor(int32_t percentage, int32_t limit);

// "          <name>: excludes <names>" for the park-position log.
std::string lf_formatStandExclusions(const std::vector<uint32_t>& exclusions, int32_t id);

// The id of the first stand whose name holds the gate label of a "GATE <label>"
// text as a whole word, that lies within 250 m of the position and that suits
// the aircraft (gf_standSuitsAircraft); 0 when none or for another text.
int32_t gf_findStandByGateText(const std::vector<Stand>& stands, std::string_view text, const LatLon& position,
                               const StandFitQuery& aircraft);
