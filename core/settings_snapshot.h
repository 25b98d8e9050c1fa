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
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "core/settings_table.h"
#include "core/shared_snapshot.h"
#include "core/units.h"

class Parameter;

// The aircraft that the user has blocked.
struct BlockFilter {
    std::string aircraft = setting_default::BLOCK_AIRCRAFT; // the blocked entry of the aircraft selector; empty = none
    std::string callsign = setting_default::BLOCK_CALLSIGN;
    std::string regcode = setting_default::BLOCK_REGCODE;
    int32_t hexid = setting_default::BLOCK_HEXIDDEC;
    bool callsignEndsWithUnderscore = false;

    bool operator==(const BlockFilter&) const = default;
};

// The ALL_AIR_GND_SELECTOR code of a choice text: 1 for "Airborne only", 2 for
// "Ground only", 0 for any other text.
constexpr uint8_t gf_airGroundCode(std::string_view text)
{
    return text == "Airborne only" ? 1 : text == "Ground only" ? 2 : 0;
}

// Each member mirrors the setting of its name; before the first publication it
// holds that setting's default.
struct Parameters {
    int32_t parking_percentage = setting_default::parking_percentage;
    int32_t MAX_PARK_SEL = setting_default::MAX_PARK_SEL;
    int32_t MAX_LIVE_SEL = setting_default::MAX_LIVE_SEL;
    int32_t MAX_FIT = setting_default::MAX_FIT;
    bool RT_PARKTRAFFIC_ONLY = setting_default::RT_PARKTRAFFIC_ONLY;
    bool AUTO_PARK = setting_default::AUTO_PARK;
    bool WEEK = setting_default::WEEK;
    bool PARK_SOFT = setting_default::PARK_SOFT;
    BlockFilter blockFilter;
    std::string DESTINATION = setting_default::DESTINATION;
    // 0 = all traffic, 1 = airborne only, 2 = ground only.
    uint8_t ALL_AIR_GND_SELECTOR = gf_airGroundCode(setting_default::ALL_AIR_GND_SELECTOR);
    double rangeNm = setting_default::RANGE;
    double rangeNmSquared = setting_default::RANGE * setting_default::RANGE;
    // RANGE * 1852, plus 10000 in RT Direct mode.
    int32_t rangeMeters = static_cast<int32_t>(setting_default::RANGE * kMetresPerNm);
    // The user's chosen range at the last full publication.
    int32_t rangeNmWhole = setting_default::RANGE;
    int32_t MATCHING_DEPTH = setting_default::MATCHING_DEPTH;
    int32_t HOLDING_THRESHOLD_METERS = setting_default::HOLDING_THRESHOLD_METERS;
    int32_t MAX_HOLDING_MINUTES = setting_default::MAX_HOLDING_MINUTES;
    int32_t TCAS_FL = setting_default::TCAS_FL;
    int32_t AIRP_RANGE = setting_default::AIRP_RANGE;
    int32_t AIRP_HEIGHT = setting_default::AIRP_HEIGHT;
    int32_t TIME_SHIFT_DAYS = setting_default::TIME_SHIFT_DAYS;
    int32_t TIME_SHIFT_HOURS = setting_default::TIME_SHIFT_HOURS;
    int32_t TIME_SHIFT_MINS = setting_default::TIME_SHIFT_MINS;
    int32_t PARKING_INTERVAL_MINUTES = setting_default::PARKING_INTERVAL_MINUTES;
    bool AUTO_RANGE = setting_default::AUTO_RANGE;
    bool COLLISION_USER_GND = setting_default::COLLISION_USER_GND;
    bool COLLISION_USER_AIR = setting_default::COLLISION_USER_AIR;
    bool COLLISION_LIVE_PARKED_GND = setting_default::COLLISION_LIVE_PARKED_GND;
    bool RANDOM = setting_default::RANDOM;
    bool FLIGHT_MESSAGES = setting_default::FLIGHT_MESSAGES;
    bool GUID_CHANGES = setting_default::GUID_CHANGES;
    bool NAV_LIGHTS_WHILE_PARKED = setting_default::NAV_LIGHTS_WHILE_PARKED;
    bool OBJECTID_LIST = setting_default::OBJECTID_LIST;
    bool SIM_TIME = setting_default::SIM_TIME;
    bool KEEP_SIM_TIME_PAR = setting_default::KEEP_SIM_TIME_PAR;
    bool SKIP_AIRPORT_SCAN = setting_default::SKIP_AIRPORT_SCAN;
    bool SKIP_LIVERIES_SCAN = setting_default::SKIP_LIVERIES_SCAN;
    bool LIG_PRIORITIZE = setting_default::LIG_PRIORITIZE;
    bool LIG_AUTOMATIC = setting_default::LIG_AUTOMATIC;
    bool TWO_PROPS = setting_default::TWO_PROPS;
    bool LIGHT_AIRCRAFT = setting_default::LIGHT_AIRCRAFT;
    bool HELICOPTERS = setting_default::HELICOPTERS;
    bool HIGH_PERF_AIRCRAFT = setting_default::HIGH_PERF_AIRCRAFT;

    bool operator==(const Parameters&) const = default;
};

// The block filter as the four BLOCK_ settings and the underscore flag give it.
BlockFilter gf_blockFilterFromSettings();

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
// Republishes what mirrors each of the settings, through their rows of the
// settings table, as one new record; for values stored without a save.
void gf_publishSettings(std::initializer_list<const Parameter*> settings);
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
