#include "core/settings_snapshot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "core/control_calls.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameter.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "core/shared_snapshot.h"
#include "core/ui_sink.h"
#include "core/units.h"
#include "core/version_data.h"

SharedSnapshot<const Parameters> g_parameters{std::make_shared<const Parameters>()};
SharedSnapshot<const ModeSettings> g_modeSettings{std::make_shared<const ModeSettings>()};
std::atomic<bool> callsignEndsWithUnderscore{false};

namespace {

constexpr double kRtDirectExtraMeters = 10000.0;

int32_t rangeMetersFor(double nm, bool rtDirect)
{
    return static_cast<int32_t>(nm * kMetresPerNm + (rtDirect ? kRtDirectExtraMeters : 0.0));
}

void setRangeFields(Parameters& p, double nm, bool rtDirect)
{
    p.rangeNm = nm;
    p.rangeNmSquared = nm * nm;
    p.rangeMeters = rangeMetersFor(nm, rtDirect);
}

BlockFilter blockFilterFromSettings()
{
    BlockFilter f;
    f.aircraft = BLOCK_AIRCRAFT.value;
    f.callsign = BLOCK_CALLSIGN.value;
    f.regcode = BLOCK_REGCODE.value;
    f.hexid = BLOCK_HEXIDDEC.value;
    f.callsignEndsWithUnderscore = callsignEndsWithUnderscore.load();
    return f;
}

template <typename T>
void setField(T Parameters::*field, T value)
{
    gf_modifyParameters([&](Parameters& p) { p.*field = value; });
}

// Rounded half away from zero and clamped to the setting's range.
int32_t lf_roundedInRange(const IntParameter& setting, double value)
{
    return static_cast<int32_t>(std::clamp(std::round(value), static_cast<double>(setting.minValue),
                                           static_cast<double>(setting.maxValue)));
}

} // namespace

std::shared_ptr<const Parameters> gf_parametersSnapshot()
{
    return g_parameters.load();
}

bool gf_isRTDirect()
{
    return !g_modeSettings.load()->rtApp;
}

bool gf_isMSFS2020()
{
    return g_modeSettings.load()->sim == 1;
}

uint8_t lf_airGroundSelectorCode(const std::string& text)
{
    if (text == "Airborne only")
        return 1;
    if (text == "Ground only")
        return 2;
    return 0;
}

// ---- Start-up ------------------------------------------------------------------

void lf_validateSimAndTrafficSource()
{
    ModeSettings mode;
    if (SIM_CHOICE.value == "MSFS 2020") {
        mode.sim = 1;
    } else if (SIM_CHOICE.value == "MSFS 2024") {
        mode.sim = 2;
    } else {
        gf_logError(fmt::format("Invalid simulator choice '{}', using '{}'", SIM_CHOICE.value, "MSFS 2024"));
        SIM_CHOICE.value = "MSFS 2024";
        mode.sim = 2;
    }

    if (RT_CHOISE.value == "RT App") {
        mode.rtApp = true;
    } else if (RT_CHOISE.value == "RT Direct") {
        mode.rtApp = false;
    } else {
        gf_logError(fmt::format("Invalid traffic source '{}', using '{}'", RT_CHOISE.value, "RT Direct"));
        RT_CHOISE.value = "RT Direct";
        mode.rtApp = false;
    }

    g_modeSettings.store(std::make_shared<const ModeSettings>(mode));
}

void lf_publishParameters()
{
    auto p = std::make_shared<Parameters>();
    p->parking_percentage = parking_percentage.value;
    p->MAX_PARK_SEL = MAX_PARK_SEL.value;
    p->MAX_LIVE_SEL = MAX_LIVE_SEL.value;
    p->MAX_FIT = MAX_FIT.value;
    p->RT_PARKTRAFFIC_ONLY = RT_PARKTRAFFIC_ONLY.value;
    p->AUTO_PARK = AUTO_PARK.value;
    p->WEEK = WEEK.value;
    p->PARK_SOFT = PARK_SOFT.value;

    // A filter that still blocks the same aircraft keeps what the engine has
    // learned about it since (its current callsign, hexid and registration).
    BlockFilter filter = blockFilterFromSettings();
    const std::shared_ptr<const Parameters> published = g_parameters.load();
    if (!filter.aircraft.empty() && filter.aircraft == published->blockFilter.aircraft)
        p->blockFilter = published->blockFilter;
    else
        p->blockFilter = std::move(filter);

    p->DESTINATION = DESTINATION.value;
    p->ALL_AIR_GND_SELECTOR = lf_airGroundSelectorCode(ALL_AIR_GND_SELECTOR.value);
    setRangeFields(*p, RANGE.value, gf_isRTDirect());
    p->rangeNmWhole = RANGE.value;
    p->MATCHING_DEPTH = MATCHING_DEPTH.value;
    p->HOLDING_THRESHOLD_METERS = HOLDING_THRESHOLD_METERS.value;
    p->MAX_HOLDING_MINUTES = MAX_HOLDING_MINUTES.value;
    p->TCAS_FL = TCAS_FL.value;
    p->AIRP_RANGE = AIRP_RANGE.value;
    p->AIRP_HEIGHT = AIRP_HEIGHT.value;
    p->TIME_SHIFT_DAYS = TIME_SHIFT_DAYS.value;
    p->TIME_SHIFT_HOURS = TIME_SHIFT_HOURS.value;
    p->TIME_SHIFT_MINS = TIME_SHIFT_MINS.value;
    p->PARKING_INTERVAL_MINUTES = PARKING_INTERVAL_MINUTES.value;
    p->AUTO_RANGE = AUTO_RANGE.value;
    p->COLLISION_USER_GND = COLLISION_USER_GND.value;
    p->COLLISION_USER_AIR = COLLISION_USER_AIR.value;
    p->COLLISION_LIVE_PARKED_GND = COLLISION_LIVE_PARKED_GND.value;
    p->RANDOM = RANDOM.value;
    p->FLIGHT_MESSAGES = FLIGHT_MESSAGES.value;
    p->GUID_CHANGES = GUID_CHANGES.value;
    p->NAV_LIGHTS_WHILE_PARKED = NAV_LIGHTS_WHILE_PARKED.value;
    p->OBJECTID_LIST = OBJECTID_LIST.value;
    p->SIM_TIME = SIM_TIME.value;
    p->KEEP_SIM_TIME_PAR = KEEP_SIM_TIME_PAR.value;
    p->SKIP_AIRPORT_SCAN = SKIP_AIRPORT_SCAN.value;
    p->SKIP_LIVERIES_SCAN = SKIP_LIVERIES_SCAN.value;
    p->LIG_PRIORITIZE = LIG_PRIORITIZE.value;
    p->LIG_AUTOMATIC = LIG_AUTOMATIC.value;
    p->TWO_PROPS = TWO_PROPS.value;
    p->LIGHT_AIRCRAFT = LIGHT_AIRCRAFT.value;
    p->HELICOPTERS = HELICOPTERS.value;
    p->HIGH_PERF_AIRCRAFT = HIGH_PERF_AIRCRAFT.value;

    g_parameters.store(std::shared_ptr<const Parameters>(std::move(p)));
}

bool lf_applyRadiusRules(std::array<double, 5>& radii, std::array<double, 3>& levels)
{
    constexpr double d = 1.0;
    bool changed = false;

    for (double& r : radii) {
        if (r < 0.0) {
            r = 0.0;
            changed = true;
        }
    }

    const std::array<double, 3> levelsBefore = levels;
    std::sort(levels.begin(), levels.end());
    if (levels[0] >= levels[1])
        levels[1] = levels[0] + d;
    if (levels[1] >= levels[2])
        levels[2] = levels[1] + d;
    if (levels != levelsBefore)
        changed = true;

    for (size_t i = 1; i < radii.size(); ++i) {
        const double raised = std::max(radii[i - 1], radii[i]);
        if (raised != radii[i]) {
            radii[i] = raised;
            changed = true;
        }
    }
    return changed;
}

int32_t lf_snapHoldingThreshold(int32_t meters)
{
    static constexpr std::array<int32_t, 15> grid{10,  50,  100, 150, 200, 250, 300, 350,
                                                  400, 450, 500, 600, 700, 800, 900};
    if (meters <= grid.front())
        return grid.front();
    if (meters >= grid.back())
        return grid.back();
    // The first grid value at or above meters; its predecessor is below.
    const auto upper = std::lower_bound(grid.begin(), grid.end(), meters);
    if (*upper == meters)
        return meters;
    const int32_t high = *upper;
    const int32_t low = *(upper - 1);
    return (high - meters < meters - low) ? high : low;
}

void lf_checkRadiusParameters()
{
    if (gf_loadParametersFile())
        return; // a new file with defaults: nothing to check, no version to note

    std::array<IntParameter*, 5> radiusSettings{&RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE};
    std::array<IntParameter*, 3> levelSettings{&FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2, &FLIGHT_LEVEL_3};
    std::array<double, 5> radii{};
    std::array<double, 3> levels{};
    for (size_t i = 0; i < radii.size(); ++i)
        radii[i] = radiusSettings[i]->value;
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = levelSettings[i]->value;

    // Judged on what would be stored: levels raised beyond their maximum come
    // back to it, and values that end where they were are no change.
    lf_applyRadiusRules(radii, levels);
    std::array<std::pair<IntParameter*, int32_t>, 8> stored{};
    for (size_t i = 0; i < radii.size(); ++i)
        stored[i] = {radiusSettings[i], lf_roundedInRange(*radiusSettings[i], radii[i])};
    for (size_t i = 0; i < levels.size(); ++i)
        stored[radii.size() + i] = {levelSettings[i], lf_roundedInRange(*levelSettings[i], levels[i])};
    const bool changed =
        std::any_of(stored.begin(), stored.end(), [](const auto& s) { return s.first->value != s.second; });

    if (changed) {
        gf_logError("Radius parameters changed to fulfill the requirements (see Manual): ");
        for (const auto& [setting, value] : stored)
            setting->setAndSave(value);
    } else {
        gf_logLine("Radius parameters okay");
    }

    lf_noteVersionUpdate();
}

void lf_noteVersionUpdate()
{
    const VersionData& program = gf_programVersion();
    // The default is the empty text; a new settings file written earlier in
    // this process carries the program version as its default instead.
    if (PROGRAM_VERSION.value.empty() || PROGRAM_VERSION.value == PROGRAM_VERSION.defaultValue) {
        PROGRAM_VERSION.setAndSave(program.toString());
        return;
    }

    const VersionData stored(PROGRAM_VERSION.value);
    if (stored != program)
        PROGRAM_VERSION.setAndSave(program.toString());
    if (stored >= program)
        return;

    gf_logLine(fmt::format("This is a version update from {} -> {}", stored, program));
    HOLDING_THRESHOLD_METERS.setAndSave(lf_snapHoldingThreshold(HOLDING_THRESHOLD_METERS.value));
    std::error_code ignored;
    std::filesystem::remove_all(g_newVersionFolder, ignored);
}

// ---- Live updates ----------------------------------------------------------------

void gf_setParametersRange(int32_t nm)
{
    setField(&Parameters::rangeNmWhole, nm);
}

void gf_setRange(int32_t nm)
{
    RANGE.value = std::clamp(nm, RANGE.minValue, RANGE.maxValue);
    // The combo box follows the range as given: an automatic range beyond the
    // list's bounds is no option and leaves the selection as it is.
    const auto option = std::find(RANGE.options.begin(), RANGE.options.end(), nm);
    if (option != RANGE.options.end() && RANGE.hasWindow())
        gf_changeControl([w = RANGE.window, i = option - RANGE.options.begin()] {
            gf_selectComboItem(w, i);
        });

    const bool rtDirect = gf_isRTDirect();
    gf_modifyParameters([&](Parameters& p) { setRangeFields(p, nm, rtDirect); });
}

void gf_syncMaxFitFl()
{
    const int32_t index = std::clamp(MAX_FIT.value, 0, 47);
    const float hours = static_cast<float>(index + 1) * 0.5f;
    MAX_FIT_FL.set(hours);

    const auto& options = MAX_FIT_FL.options;
    const auto it = std::find(options.begin(), options.end(), MAX_FIT_FL.value);
    if (it != options.end() && MAX_FIT_FL.hasWindow())
        gf_changeControl([w = MAX_FIT_FL.window, i = it - options.begin()] {
            gf_selectComboItem(w, i);
        });
}

void lf_setParamHighPerfAircraft(bool value) { setField(&Parameters::HIGH_PERF_AIRCRAFT, value); }
void lf_setParamRandom(bool value) { setField(&Parameters::RANDOM, value); }
void lf_setParamFlightMessages(bool value) { setField(&Parameters::FLIGHT_MESSAGES, value); }
void lf_setParamGuidChanges(bool value) { setField(&Parameters::GUID_CHANGES, value); }
void lf_setParamNavLightsWhileParked(bool value) { setField(&Parameters::NAV_LIGHTS_WHILE_PARKED, value); }
void lf_setParamObjectIdList(bool value) { setField(&Parameters::OBJECTID_LIST, value); }
void lf_setParamSimTime(bool value) { setField(&Parameters::SIM_TIME, value); }
void lf_setParamKeepSimTime(bool value) { setField(&Parameters::KEEP_SIM_TIME_PAR, value); }
void lf_setParamParkingPercentage(int32_t value) { setField(&Parameters::parking_percentage, value); }
void lf_setParamMaxPark(int32_t value) { setField(&Parameters::MAX_PARK_SEL, value); }
void lf_setParamMaxLive(int32_t value) { setField(&Parameters::MAX_LIVE_SEL, value); }
void lf_setParamMaxFit(int32_t value) { setField(&Parameters::MAX_FIT, value); }
void lf_setParamParkingInterval(int32_t value) { setField(&Parameters::PARKING_INTERVAL_MINUTES, value); }
void lf_setParamRTParkTrafficOnly(bool value) { setField(&Parameters::RT_PARKTRAFFIC_ONLY, value); }
void lf_setParamAutoPark(bool value) { setField(&Parameters::AUTO_PARK, value); }
void lf_setParamWeek(bool value) { setField(&Parameters::WEEK, value); }
void lf_setParamParkSoft(bool value) { setField(&Parameters::PARK_SOFT, value); }

void lf_setParamAirGroundSelection(const std::string& text)
{
    setField(&Parameters::ALL_AIR_GND_SELECTOR, lf_airGroundSelectorCode(text));
}

void lf_setParamDestination(const std::string& destination)
{
    gf_modifyParameters([&](Parameters& p) { p.DESTINATION = destination; });
}

void lf_setParamBlockList(const BlockFilter& filter)
{
    gf_modifyParameters([&](Parameters& p) { p.blockFilter = filter; });
}

void lf_setParamTimeShift(int32_t days, int32_t hours, int32_t minutes)
{
    gf_modifyParameters([&](Parameters& p) {
        p.TIME_SHIFT_DAYS = days;
        p.TIME_SHIFT_HOURS = hours;
        p.TIME_SHIFT_MINS = minutes;
    });
}

void gf_updateParametersFrom(const Parameter& changed)
{
    const Parameter* const c = &changed;

    // Check boxes mirrored by a field of the same name.
    static const std::pair<const CheckBoxParameter*, bool Parameters::*> boolFields[] = {
        {&SKIP_AIRPORT_SCAN, &Parameters::SKIP_AIRPORT_SCAN},
        {&SKIP_LIVERIES_SCAN, &Parameters::SKIP_LIVERIES_SCAN},
        {&LIG_PRIORITIZE, &Parameters::LIG_PRIORITIZE},
        {&LIG_AUTOMATIC, &Parameters::LIG_AUTOMATIC},
        {&AUTO_RANGE, &Parameters::AUTO_RANGE},
        {&COLLISION_USER_GND, &Parameters::COLLISION_USER_GND},
        {&COLLISION_USER_AIR, &Parameters::COLLISION_USER_AIR},
        {&COLLISION_LIVE_PARKED_GND, &Parameters::COLLISION_LIVE_PARKED_GND},
        {&TWO_PROPS, &Parameters::TWO_PROPS},
        {&LIGHT_AIRCRAFT, &Parameters::LIGHT_AIRCRAFT},
        {&HELICOPTERS, &Parameters::HELICOPTERS},
    };
    for (const auto& [setting, field] : boolFields) {
        if (c == static_cast<const Parameter*>(setting)) {
            setField(field, setting->value);
            return;
        }
    }

    // Integer choices mirrored by a field of the same name.
    static const std::pair<const IntChoiceParameter*, int32_t Parameters::*> intFields[] = {
        {&MATCHING_DEPTH, &Parameters::MATCHING_DEPTH},
        {&HOLDING_THRESHOLD_METERS, &Parameters::HOLDING_THRESHOLD_METERS},
        {&MAX_HOLDING_MINUTES, &Parameters::MAX_HOLDING_MINUTES},
        {&TCAS_FL, &Parameters::TCAS_FL},
        {&AIRP_RANGE, &Parameters::AIRP_RANGE},
        {&AIRP_HEIGHT, &Parameters::AIRP_HEIGHT},
    };
    for (const auto& [setting, field] : intFields) {
        if (c == static_cast<const Parameter*>(setting)) {
            setField(field, setting->value);
            return;
        }
    }

    if (c == &HIGH_PERF_AIRCRAFT) return lf_setParamHighPerfAircraft(HIGH_PERF_AIRCRAFT.value);
    if (c == &RANDOM) return lf_setParamRandom(RANDOM.value);
    if (c == &FLIGHT_MESSAGES) return lf_setParamFlightMessages(FLIGHT_MESSAGES.value);
    if (c == &GUID_CHANGES) return lf_setParamGuidChanges(GUID_CHANGES.value);
    if (c == &NAV_LIGHTS_WHILE_PARKED) return lf_setParamNavLightsWhileParked(NAV_LIGHTS_WHILE_PARKED.value);
    if (c == &OBJECTID_LIST) return lf_setParamObjectIdList(OBJECTID_LIST.value);
    if (c == &SIM_TIME) return lf_setParamSimTime(SIM_TIME.value);
    if (c == &KEEP_SIM_TIME_PAR) return lf_setParamKeepSimTime(KEEP_SIM_TIME_PAR.value);
    if (c == &parking_percentage) return lf_setParamParkingPercentage(parking_percentage.value);
    if (c == &MAX_PARK_SEL) return lf_setParamMaxPark(MAX_PARK_SEL.value);
    if (c == &MAX_LIVE_SEL) return lf_setParamMaxLive(MAX_LIVE_SEL.value);
    if (c == &MAX_FIT || c == &MAX_FIT_FL) return lf_setParamMaxFit(MAX_FIT.value);
    if (c == &PARKING_INTERVAL_MINUTES) return lf_setParamParkingInterval(PARKING_INTERVAL_MINUTES.value);
    if (c == &RT_PARKTRAFFIC_ONLY) return lf_setParamRTParkTrafficOnly(RT_PARKTRAFFIC_ONLY.value);
    if (c == &AUTO_PARK) return lf_setParamAutoPark(AUTO_PARK.value);
    if (c == &WEEK) return lf_setParamWeek(WEEK.value);
    if (c == &PARK_SOFT) return lf_setParamParkSoft(PARK_SOFT.value);
    if (c == &ALL_AIR_GND_SELECTOR) return lf_setParamAirGroundSelection(ALL_AIR_GND_SELECTOR.value);
    if (c == &DESTINATION) return lf_setParamDestination(DESTINATION.value);
    if (c == &BLOCK_AIRCRAFT || c == &BLOCK_CALLSIGN || c == &BLOCK_REGCODE || c == &BLOCK_HEXIDDEC)
        return lf_setParamBlockList(blockFilterFromSettings());
    if (c == &TIME_SHIFT_DAYS || c == &TIME_SHIFT_HOURS || c == &TIME_SHIFT_MINS)
        return lf_setParamTimeShift(TIME_SHIFT_DAYS.value, TIME_SHIFT_HOURS.value, TIME_SHIFT_MINS.value);
    // Every other setting has no live update.
}
