// The settings that the engine, the readers and the simulator link need, as
// immutable records published through atomic shared pointers.
//
// A reader takes a snapshot (a shared-pointer copy) and reads it without locks
// for one piece of work. A writer never changes a published record: it copies
// the current one, changes one field and compare-exchanges the copy into
// place, retrying from the newer record until it wins. Two writers that change
// different fields at the same time therefore both take effect.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/shared_snapshot.h"

class Parameter;

// The aircraft that the user has blocked.
struct BlockFilter {
    std::string aircraft; // the blocked entry of the aircraft selector; empty = none
    std::string callsign;
    std::string regcode;
    int32_t hexid = 0;
    bool callsignEndsWithUnderscore = false;
};

struct Parameters {
    int32_t parking_percentage = 30;
    int32_t MAX_PARK_SEL = 500;
    int32_t MAX_LIVE_SEL = 500;
    int32_t MAX_FIT = 47;
    bool RT_PARKTRAFFIC_ONLY = false;
    bool AUTO_PARK = true;
    bool WEEK = false;
    bool PARK_SOFT = false;
    BlockFilter blockFilter;
    std::string DESTINATION;
    // 0 = all traffic, 1 = airborne only, 2 = ground only.
    uint8_t ALL_AIR_GND_SELECTOR = 0;
    double rangeNm = 40.0;
    double rangeNmSquared = 1600.0;
    // RANGE * 1852, plus 10000 in RT Direct mode.
    int32_t rangeMeters = 74080;
    // The user's chosen range at the last full publication.
    int32_t rangeNmWhole = 40;
    int32_t MATCHING_DEPTH = 4;
    int32_t HOLDING_THRESHOLD_METERS = 250;
    int32_t MAX_HOLDING_MINUTES = 3;
    int32_t TCAS_FL = 180;
    int32_t AIRP_RANGE = 20;
    int32_t AIRP_HEIGHT = 18000;
    int32_t TIME_SHIFT_DAYS = 0;
    int32_t TIME_SHIFT_HOURS = 0;
    int32_t TIME_SHIFT_MINS = 0;
    int32_t PARKING_INTERVAL_MINUTES = 20;
    bool AUTO_RANGE = true;
    bool COLLISION_USER_GND = true;
    bool COLLISION_USER_AIR = true;
    bool COLLISION_LIVE_PARKED_GND = false;
    bool RANDOM = true;
    bool FLIGHT_MESSAGES = true;
    bool GUID_CHANGES = true;
    bool NAV_LIGHTS_WHILE_PARKED = true;
    bool OBJECTID_LIST = false;
    bool SIM_TIME = false;
    bool KEEP_SIM_TIME_PAR = false;
    bool SKIP_AIRPORT_SCAN = false;
    bool SKIP_LIVERIES_SCAN = false;
    bool LIG_PRIORITIZE = true;
    bool LIG_AUTOMATIC = true;
    bool TWO_PROPS = false;
    bool LIGHT_AIRCRAFT = true;
    bool HELICOPTERS = true;
    bool HIGH_PERF_AIRCRAFT = true;
};

// The simulator and the traffic source, fixed for one run of the main task.
struct ModeSettings {
    uint32_t sim = 2;   // 1 = "MSFS 2020", 2 = "MSFS 2024"
    bool rtApp = false; // true = "RT App", false = "RT Direct"
};

// The published records. Readers may load these themselves.
extern SharedSnapshot<const Parameters> g_parameters;
extern SharedSnapshot<const ModeSettings> g_modeSettings;

// Whether the blocked callsign ends with "_"; set by the block command and
// copied into the block filter whenever it is published.
extern std::atomic<bool> callsignEndsWithUnderscore;

std::shared_ptr<const Parameters> gf_parametersSnapshot();
// True when the traffic source is RT Direct.
bool gf_isRTDirect();
// True when the simulator is MSFS 2020.
bool gf_isMSFS2020();

// Copies the current record, applies `change` to the copy and compare-exchanges
// it into place; on a lost race the change is applied again to the newer record.
template <typename Change>
void gf_modifyParameters(Change&& change)
{
    std::shared_ptr<const Parameters> expected = g_parameters.load();
    for (;;) {
        auto next = std::make_shared<Parameters>(*expected);
        change(*next);
        if (g_parameters.compare_exchange_weak(expected, std::shared_ptr<const Parameters>(std::move(next))))
            return;
    }
}

// ---- Start-up, in this order --------------------------------------------------

// Loads parameters.xml and checks the radius settings, then notes a version
// update. Both are skipped when the file had to be created with defaults.
void lf_checkRadiusParameters();
// Reads SIM_CHOICE and RT_CHOISE (repairing unknown texts) and publishes a new
// ModeSettings.
void lf_validateSimAndTrafficSource();
// Builds a whole Parameters record from the settings objects and publishes it.
void lf_publishParameters();
// Stores the running program's version in PROGRAM_VERSION; on the first start
// of a newer version snaps HOLDING_THRESHOLD_METERS to its grid and removes the
// left-over "new_version" folder.
void lf_noteVersionUpdate();

// ---- Live updates -----------------------------------------------------------

// Republishes the Parameters field that mirrors the settings object that has
// just changed; objects without a field are ignored.
void gf_updateParametersFrom(const Parameter& changed);
// Stores nm (clamped) in the RANGE setting, selects it in its combo box and
// publishes rangeNm, rangeNmSquared and rangeMeters from nm as given.
void gf_setRange(int32_t nm);
// Publishes nm as rangeNmWhole only.
void gf_setParametersRange(int32_t nm);
// Derives MAX_FIT_FL from MAX_FIT and selects it in its combo box.
void gf_syncMaxFitFl();

// 1 for "Airborne only", 2 for "Ground only", 0 for any other text.
void lf_setParamAirGroundSelection(const std::string& text);
void lf_setParamDestination(const std::string& destination);
void lf_setParamBlockList(const BlockFilter& filter);
void lf_setParamTimeShift(int32_t days, int32_t hours, int32_t minutes);

// ---- Rules, exposed for their callers and tests -------------------------------

// The ALL_AIR_GND_SELECTOR code of a choice text.
uint8_t lf_airGroundSelectorCode(const std::string& text);
// Applies the radius rules in place to RANGE_GROUND, RANGE_1, RANGE_2,
// RANGE_3, RANGE_ABOVE and FLIGHT_LEVEL_1..3; true when anything changed.
bool lf_applyRadiusRules(std::array<double, 5>& radii, std::array<double, 3>& levels);
// HOLDING_THRESHOLD_METERS snapped to its option grid (ties to the lower).
int32_t lf_snapHoldingThreshold(int32_t meters);
